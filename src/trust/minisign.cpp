// minisign public key and signature files: text lines (a CR before the line end is dropped, as minisign does),
// an untrusted comment, then base64 of fixed-size binary parts.
#include <cstring>

#include "trust/formats.h"

namespace kaldorn::trust {

namespace {

constexpr char kUntrusted[] = "untrusted comment: ";
constexpr char kTrusted[] = "trusted comment: ";

struct Lines {
    const char* at;
    const char* end;
    size_t number = 0;
    // The next line without its LF and a CR before it; false at the end of the text.
    bool next(const char*& line, size_t& length) {
        if (at >= end) return false;
        const void* lf = std::memchr(at, '\n', static_cast<size_t>(end - at));
        const char* stop = lf != nullptr ? static_cast<const char*>(lf) : end;
        line = at, length = static_cast<size_t>(stop - at);
        at = lf != nullptr ? stop + 1 : end;
        if (length > 0 && line[length - 1] == '\r') --length;
        ++number;
        return true;
    }
    bool done() const { return at >= end; }
};

bool starts_with(const char* line, size_t length, const char* prefix) {
    const size_t n = std::strlen(prefix);
    return length >= n && std::memcmp(line, prefix, n) == 0;
}

// Line 1 of every file: the untrusted comment within minisign's limit (its LF counted).
bool untrusted_comment(Lines& lines, const char* what, int bad, KAL_DORN_TRUST_ERROR* error) {
    const char* line = nullptr;
    size_t length = 0;
    if (!lines.next(line, length) || !starts_with(line, length, kUntrusted))
        return refuse(error, bad, "%s: line 1 is not an untrusted comment", what);
    if (length + 1 > kUntrustedLineMax)
        return refuse(error, KAL_DORN_TRUST_E_COMMENT_LIMIT, "%s: the untrusted comment line holds %zu bytes, over %zu",
                      what, length + 1, kUntrustedLineMax);
    return true;
}

}  // namespace

bool parse_public_key(const char* text, size_t length, PublicKey& key, KAL_DORN_TRUST_ERROR* error) {
    unsigned char raw[42];
    const char* line = text;
    size_t line_length = length;
    Lines lines{text, text + length};
    if (starts_with(text, length, kUntrusted)) {
        if (!untrusted_comment(lines, "public key", KAL_DORN_TRUST_E_KEY_FORMAT, error)) return false;
        if (!lines.next(line, line_length))
            return refuse(error, KAL_DORN_TRUST_E_KEY_FORMAT, "public key: no key line after the comment");
        const char* rest = nullptr;
        size_t rest_length = 0;
        if (lines.next(rest, rest_length) && (rest_length > 0 || !lines.done()))
            return refuse(error, KAL_DORN_TRUST_E_KEY_FORMAT, "public key: text after the key line");
    } else {
        while (line_length > 0 && (line[line_length - 1] == '\n' || line[line_length - 1] == '\r')) --line_length;
    }
    if (!decode_base64(line, line_length, raw, sizeof raw))
        return refuse(error, KAL_DORN_TRUST_E_KEY_FORMAT, "public key: not the base64 of 42 bytes");
    if (raw[0] != 'E' || raw[1] != 'd')
        return refuse(error, KAL_DORN_TRUST_E_KEY_FORMAT, "public key: algorithm 0x%02x%02x, not \"Ed\"", raw[0],
                      raw[1]);
    std::memcpy(key.id, raw + 2, 8);
    std::memcpy(key.key, raw + 10, 32);
    return true;
}

bool parse_signature(const char* text, size_t length, Signature& signature, KAL_DORN_TRUST_ERROR* error) {
    constexpr int bad = KAL_DORN_TRUST_E_SIGNATURE_FORMAT;
    Lines lines{text, text + length};
    const char* line = nullptr;
    size_t n = 0;
    if (!untrusted_comment(lines, "signature", bad, error)) return false;
    unsigned char raw[74];
    if (!lines.next(line, n) || !decode_base64(line, n, raw, sizeof raw))
        return refuse(error, bad, "signature: line 2 is not the base64 of 74 bytes");
    std::memcpy(signature.algorithm, raw, 2);
    std::memcpy(signature.key_id, raw + 2, 8);
    std::memcpy(signature.signature, raw + 10, 64);
    if (!(raw[0] == 'E' && (raw[1] == 'D' || raw[1] == 'd')))
        return refuse(error, KAL_DORN_TRUST_E_ALGORITHM, "signature: algorithm 0x%02x%02x, neither \"ED\" nor \"Ed\"",
                      raw[0], raw[1]);
    if (!lines.next(line, n) || !starts_with(line, n, kTrusted))
        return refuse(error, bad, "signature: line 3 is not a trusted comment");
    signature.comment = line + std::strlen(kTrusted);
    signature.comment_length = n - std::strlen(kTrusted);
    if (signature.comment_length > kTrustedCommentMax)
        return refuse(error, KAL_DORN_TRUST_E_COMMENT_LIMIT, "signature: the trusted comment holds %zu bytes, over %zu",
                      signature.comment_length, kTrustedCommentMax);
    if (!lines.next(line, n) || !decode_base64(line, n, signature.global, sizeof signature.global))
        return refuse(error, bad, "signature: line 4 is not the base64 of 64 bytes");
    if (lines.next(line, n) && (n > 0 || !lines.done()))
        return refuse(error, bad, "signature: text after line 4");
    return true;
}

}  // namespace kaldorn::trust

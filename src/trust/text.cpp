// Messages, hex and base64 text, times, whole small files, and the digests and signature check of libcrypto.
#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "support/fileio.h"
#include "support/replace.h"
#include "trust/formats.h"

namespace kaldorn::trust {

bool refuse(KAL_DORN_TRUST_ERROR* error, int code, const char* format, ...) {
    if (error == nullptr) return false;
    error->code = code;
    va_list args;
    va_start(args, format);
    std::vsnprintf(error->message, sizeof error->message, format, args);
    va_end(args);
    return false;
}

void escape_text(const char* text, size_t n, char* out, size_t cap) {
    static const char digits[] = "0123456789abcdef";
    size_t used = 0;
    for (size_t i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const bool plain = c >= 0x20 && c < 0x7f && c != '\\';
        if (used + (plain ? 1 : 4) >= cap) break;
        if (plain) {
            out[used++] = static_cast<char>(c);
        } else {
            out[used++] = '\\', out[used++] = 'x', out[used++] = digits[c >> 4], out[used++] = digits[c & 15];
        }
    }
    if (cap > 0) out[used] = '\0';
}

void hex_lower(const unsigned char* bytes, size_t n, char* out) {
    static const char digits[] = "0123456789abcdef";
    for (size_t i = 0; i < n; ++i) out[2 * i] = digits[bytes[i] >> 4], out[2 * i + 1] = digits[bytes[i] & 15];
    out[2 * n] = '\0';
}

bool parse_hex_lower(const char* text, unsigned char* out, size_t n) {
    auto value = [](char c) { return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1; };
    for (size_t i = 0; i < n; ++i) {
        const int high = value(text[2 * i]), low = value(text[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        out[i] = static_cast<unsigned char>(high << 4 | low);
    }
    return true;
}

void key_id_text(const unsigned char id[8], char out[17]) {
    static const char digits[] = "0123456789ABCDEF";
    for (size_t i = 0; i < 8; ++i) out[2 * i] = digits[id[7 - i] >> 4], out[2 * i + 1] = digits[id[7 - i] & 15];
    out[16] = '\0';
}

void time_text(int64_t seconds, char* out, size_t cap) {
    const time_t t = static_cast<time_t>(seconds);
    struct tm utc{};
    if (::gmtime_r(&t, &utc) == nullptr) {
        std::snprintf(out, cap, "%lld seconds", static_cast<long long>(seconds));
        return;
    }
    std::snprintf(out, cap, "%04d-%02d-%02dT%02d:%02d:%02dZ", utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday,
                  utc.tm_hour, utc.tm_min, utc.tm_sec);
}

namespace {
int base64_value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    return c == '+' ? 62 : c == '/' ? 63 : -1;
}
}  // namespace

bool decode_base64(const char* text, size_t length, unsigned char* out, size_t n) {
    if (length != 4 * ((n + 2) / 3)) return false;
    size_t written = 0;
    for (size_t i = 0; i < length; i += 4) {
        uint32_t bits = 0;
        size_t pads = 0;
        for (size_t j = 0; j < 4; ++j) {
            const bool pad = text[i + j] == '=' && i + 4 == length && j >= 2;
            const int v = pad ? 0 : base64_value(text[i + j]);
            if (v < 0 || (pads > 0 && !pad)) return false;
            pads += pad ? 1 : 0;
            bits = bits << 6 | static_cast<uint32_t>(v);
        }
        const unsigned char bytes[3] = {static_cast<unsigned char>(bits >> 16), static_cast<unsigned char>(bits >> 8),
                                        static_cast<unsigned char>(bits)};
        for (size_t j = 0; j < 3 - pads; ++j) {
            if (written == n) return false;
            out[written++] = bytes[j];
        }
        if ((pads == 1 && bytes[2] != 0) || (pads == 2 && bytes[1] != 0)) return false;  // bits past the end
    }
    return written == n;
}

void encode_base64(const unsigned char* bytes, size_t n, char* out) {
    EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out), bytes, static_cast<int>(n));
}

ReadResult read_small_file(const char* path, size_t cap, detail::HeapPtr<char>& data, size_t& size) {
    detail::FdGuard fd(detail::open_regular_at(AT_FDCWD, path));
    if (!fd.valid() && errno == ENOENT) return ReadResult::absent;
    struct stat st{};
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return ReadResult::missing;
    if (st.st_size < 0 || static_cast<uint64_t>(st.st_size) > cap) return ReadResult::too_large;
    data.reset(static_cast<char*>(detail::allocate(static_cast<size_t>(st.st_size) + 2)));
    if (!data) return ReadResult::no_memory;
    // One byte more than the size tells a file that grew since; it counts as too large.
    size = detail::read_full(fd.get(), data.get(), static_cast<size_t>(st.st_size) + 1);
    if (size > static_cast<size_t>(st.st_size)) return ReadResult::too_large;
    data.get()[size] = '\0';
    return size == static_cast<size_t>(st.st_size) ? ReadResult::ok : ReadResult::missing;
}

bool replace_whole_file(const char* path, const void* data, size_t n, bool create_only) {
    detail::FileReplacement change;
    detail::FdGuard existing(create_only ? -1 : detail::open_read_write(path));
    const int fd = existing.valid() ? change.begin(path, existing.get()) : change.begin_new(path);
    return fd >= 0 && detail::pwrite_full(fd, data, n, 0) && ::ftruncate(fd, static_cast<off_t>(n)) == 0 &&
           change.commit();
}

bool sha256(const void* data, size_t n, unsigned char out[32]) {
    unsigned int length = 0;
    return EVP_Digest(data, n, out, &length, EVP_sha256(), nullptr) == 1 && length == 32;
}

bool blake2b512(const void* data, size_t n, unsigned char out[64]) {
    unsigned int length = 0;
    return EVP_Digest(data, n, out, &length, EVP_blake2b512(), nullptr) == 1 && length == 64;
}

bool ed25519_verify(const unsigned char key[32], const unsigned char signature[64], const void* data, size_t n) {
    EVP_PKEY* pkey = EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, key, 32);
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    const bool ok = pkey != nullptr && ctx != nullptr &&
                    EVP_DigestVerifyInit(ctx, nullptr, nullptr, nullptr, pkey) == 1 &&
                    EVP_DigestVerify(ctx, signature, 64, static_cast<const unsigned char*>(data), n) == 1;
    EVP_MD_CTX_free(ctx);
    EVP_PKEY_free(pkey);
    return ok;
}

}  // namespace kaldorn::trust

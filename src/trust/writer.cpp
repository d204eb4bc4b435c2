// The publisher's writers: minisign key files (an unencrypted secret key, or one encrypted with scrypt and checked
// by its BLAKE2b-256, which libsodium computes: OpenSSL 3.0 gives BLAKE2b with a 64-byte output only), SHA256SUMS
// of a directory and its "ED" signature. Signing and every digest but that checksum use libcrypto.
#include <dirent.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/kdf.h>
#include <openssl/rand.h>
#include <sodium.h>
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "support/fileio.h"
#include "support/path.h"
#include "trust/writer.h"

namespace kaldorn::trust {

namespace {

constexpr size_t kSecretKeySize = 158;  // "Ed", KDF id, "B2", salt, opslimit, memlimit, then the 104 encrypted bytes

// libsodium's choice of scrypt parameters for an opslimit and a memlimit, which minisign stores in the key.
void scrypt_parameters(uint64_t opslimit, uint64_t memlimit, uint64_t& n, uint32_t& r, uint32_t& p) {
    opslimit = std::max<uint64_t>(opslimit, 32768);
    r = 8;
    uint64_t max_n = opslimit < memlimit / 32 ? opslimit / (r * 4) : memlimit / (r * 128);
    uint32_t log2 = 1;
    while (log2 < 63 && (uint64_t{1} << log2) <= max_n / 2) ++log2;
    n = uint64_t{1} << log2;
    p = 1;
    if (opslimit >= memlimit / 32) p = static_cast<uint32_t>(std::min<uint64_t>((opslimit / 4) / n, 0x3fffffff)) / r;
}

// The 104-byte stream XORed over key id, secret key and checksum.
bool scrypt_stream(const char* passphrase, size_t length, const unsigned char* salt, uint64_t opslimit,
                   uint64_t memlimit, unsigned char* out, size_t n) {
    uint64_t cost = 0, maxmem = uint64_t{4} << 30;
    uint32_t r = 0, p = 0;
    scrypt_parameters(opslimit, memlimit, cost, r, p);
    EVP_KDF* kdf = EVP_KDF_fetch(nullptr, "SCRYPT", nullptr);
    EVP_KDF_CTX* ctx = kdf != nullptr ? EVP_KDF_CTX_new(kdf) : nullptr;
    static const char kEmpty[1] = {0};
    OSSL_PARAM params[] = {
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_PASSWORD, const_cast<char*>(length ? passphrase : kEmpty),
                                          length),
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_SALT, const_cast<unsigned char*>(salt), 32),
        OSSL_PARAM_construct_uint64(OSSL_KDF_PARAM_SCRYPT_N, &cost),
        OSSL_PARAM_construct_uint32(OSSL_KDF_PARAM_SCRYPT_R, &r),
        OSSL_PARAM_construct_uint32(OSSL_KDF_PARAM_SCRYPT_P, &p),
        OSSL_PARAM_construct_uint64(OSSL_KDF_PARAM_SCRYPT_MAXMEM, &maxmem),
        OSSL_PARAM_construct_end()};
    const bool ok = ctx != nullptr && EVP_KDF_derive(ctx, out, n, params) == 1;
    EVP_KDF_CTX_free(ctx);
    EVP_KDF_free(kdf);
    return ok;
}

// BLAKE2b-256 of "Ed", key id and secret key.
void checksum(const unsigned char* id, const unsigned char* secret, unsigned char out[32]) {
    unsigned char input[2 + 8 + 64] = {'E', 'd'};
    std::memcpy(input + 2, id, 8);
    std::memcpy(input + 10, secret, 64);
    crypto_generichash(out, 32, input, sizeof input, nullptr, 0);
}

bool ed25519_sign(const unsigned char secret[64], const void* data, size_t n, unsigned char out[64]) {
    EVP_PKEY* pkey = EVP_PKEY_new_raw_private_key(EVP_PKEY_ED25519, nullptr, secret, 32);
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    size_t length = 64;
    const bool ok = pkey != nullptr && ctx != nullptr &&
                    EVP_DigestSignInit(ctx, nullptr, nullptr, nullptr, pkey) == 1 &&
                    EVP_DigestSign(ctx, out, &length, static_cast<const unsigned char*>(data), n) == 1 &&
                    length == 64;
    EVP_MD_CTX_free(ctx);
    EVP_PKEY_free(pkey);
    return ok;
}

// "untrusted comment: <comment>\n<base64>\n" written to a new file.
bool write_key_file(const char* path, const char* comment, const unsigned char* raw, size_t n, bool create_only) {
    std::string text = std::string("untrusted comment: ") + comment + "\n";
    std::string encoded(4 * ((n + 2) / 3) + 1, '\0');
    encode_base64(raw, n, encoded.data());
    text += encoded.c_str();
    text += "\n";
    return replace_whole_file(path, text.data(), text.size(), create_only);
}

}  // namespace

bool generate_keys(const char* public_path, const char* secret_path, const char* passphrase, size_t passphrase_length,
                   KAL_DORN_TRUST_ERROR* error, uint64_t opslimit, uint64_t memlimit) {
    unsigned char key[kSecretKeySize] = {'E', 'd', 0, 0, 'B', '2'};
    unsigned char* salt = key + 6;
    unsigned char* id = key + 54;
    unsigned char* secret = key + 62;
    EVP_PKEY* pkey = nullptr;
    size_t public_length = 32;
    const bool made = RAND_bytes(id, 8) == 1 && RAND_bytes(secret, 32) == 1 &&
                      (pkey = EVP_PKEY_new_raw_private_key(EVP_PKEY_ED25519, nullptr, secret, 32)) != nullptr &&
                      EVP_PKEY_get_raw_public_key(pkey, secret + 32, &public_length) == 1 && public_length == 32;
    EVP_PKEY_free(pkey);
    if (!made || sodium_init() < 0) return refuse(error, kRandomFailed, "no random bytes for a new key");
    checksum(id, secret, key + 126);
    unsigned char pub[42] = {'E', 'd'};
    std::memcpy(pub + 2, id, 8);
    std::memcpy(pub + 10, secret + 32, 32);
    if (passphrase != nullptr) {
        unsigned char stream[104];
        key[2] = 'S', key[3] = 'c';
        for (size_t i = 0; i < 8; ++i)
            key[38 + i] = static_cast<unsigned char>(opslimit >> (8 * i)),
            key[46 + i] = static_cast<unsigned char>(memlimit >> (8 * i));
        if (RAND_bytes(salt, 32) != 1 ||
            !scrypt_stream(passphrase, passphrase_length, salt, opslimit, memlimit, stream, sizeof stream))
            return refuse(error, kRandomFailed, "scrypt cannot derive the key's encryption");
        for (size_t i = 0; i < sizeof stream; ++i) key[54 + i] ^= stream[i];
    }
    char id_text[17], comment[64];
    key_id_text(pub + 2, id_text);
    std::snprintf(comment, sizeof comment, "kaldorn public key %s", id_text);
    if (!write_key_file(secret_path, passphrase != nullptr ? "kaldorn encrypted secret key" : "kaldorn secret key",
                        key, sizeof key, true))
        return refuse(error, kWriteFailed, "secret key %s cannot be written (it must not exist yet)", secret_path);
    if (!write_key_file(public_path, comment, pub, sizeof pub, true))
        return refuse(error, kWriteFailed, "public key %s cannot be written (it must not exist yet)", public_path);
    return true;
}

bool load_secret_key(const char* path, const char* passphrase, size_t passphrase_length, SecretKey& key,
                     KAL_DORN_TRUST_ERROR* error) {
    detail::HeapPtr<char> text;
    size_t size = 0;
    if (read_small_file(path, kKeyFileMax, text, size) != ReadResult::ok)
        return refuse(error, kWriteFailed, "secret key %s cannot be read", path);
    const char* lf = static_cast<const char*>(std::memchr(text.get(), '\n', size));
    size_t length = lf == nullptr ? 0 : size - static_cast<size_t>(lf + 1 - text.get());
    while (length > 0 && (lf[length] == '\n' || lf[length] == '\r')) --length;
    unsigned char raw[kSecretKeySize];
    if (std::strncmp(text.get(), "untrusted comment: ", 19) != 0 || !decode_base64(lf + 1, length, raw, sizeof raw) ||
        raw[0] != 'E' || raw[1] != 'd' || raw[4] != 'B' || raw[5] != '2')
        return refuse(error, kSecretKeyFormat, "%s is not a minisign secret key", path);
    const bool encrypted = raw[2] == 'S' && raw[3] == 'c';
    if (!encrypted && (raw[2] != 0 || raw[3] != 0))
        return refuse(error, kSecretKeyFormat, "%s: key derivation 0x%02x%02x, neither scrypt nor none", path, raw[2],
                      raw[3]);
    if (encrypted) {
        if (passphrase == nullptr)
            return refuse(error, kWrongPassphrase, "%s is encrypted: a passphrase is needed", path);
        uint64_t ops = 0, mem = 0;
        for (size_t i = 0; i < 8; ++i) ops |= uint64_t{raw[38 + i]} << (8 * i), mem |= uint64_t{raw[46 + i]} << (8 * i);
        unsigned char stream[104], sum[32];
        if (!scrypt_stream(passphrase, passphrase_length, raw + 6, ops, mem, stream, sizeof stream))
            return refuse(error, kRandomFailed, "scrypt cannot derive the decryption of %s", path);
        for (size_t i = 0; i < sizeof stream; ++i) raw[54 + i] ^= stream[i];
        if (sodium_init() < 0) return refuse(error, kRandomFailed, "libsodium cannot start");
        checksum(raw + 54, raw + 62, sum);
        if (std::memcmp(sum, raw + 126, 32) != 0)
            return refuse(error, kWrongPassphrase, "wrong passphrase for secret key %s", path);
    }
    std::memcpy(key.id, raw + 54, 8);
    std::memcpy(key.secret, raw + 62, 64);
    return true;
}

bool write_sums(const char* directory, KAL_DORN_TRUST_ERROR* error) {
    DIR* dir = ::opendir(directory);
    if (dir == nullptr) return refuse(error, kWriteFailed, "%s cannot be listed", directory);
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        struct stat st{};
        if (name[0] != '.' && name != "SHA256SUMS" && name != "SHA256SUMS.minisig" &&
            ::fstatat(::dirfd(dir), entry->d_name, &st, 0) == 0 && S_ISREG(st.st_mode))
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    std::vector<const char*> given;
    for (const std::string& name : names) given.push_back(name.c_str());
    std::vector<FileDigest> read(names.size());
    const bool digested = sha256_files(::dirfd(dir), given.data(), nullptr, given.size(), read.data());
    ::closedir(dir);
    if (!digested) return refuse(error, kWriteFailed, "the files of %s cannot be read", directory);
    std::string text;
    for (size_t i = 0; i < names.size(); ++i) {
        char line[2 * kNameMax + 128], shown[2 * kNameMax];
        escape_text(names[i].data(), names[i].size(), shown, sizeof shown);
        if (read[i].outcome != FileRead::read)
            return refuse(error, kWriteFailed, "%s/%s cannot be read", directory, shown);
        const size_t n = format_sums_entry(names[i].c_str(), read[i].length, read[i].sha256, line);
        if (n == 0) return refuse(error, KAL_DORN_TRUST_E_SUMS_NAME, "\"%s\" is not a name a release can list", shown);
        text.append(line, n);
    }
    char path[PATH_MAX];
    if (text.size() > kSumsFileMax || !detail::join_path(path, sizeof path, directory, "SHA256SUMS") ||
        !replace_whole_file(path, text.data(), text.size(), false))
        return refuse(error, kWriteFailed, "SHA256SUMS of %s cannot be written (%zu bytes)", directory, text.size());
    return true;
}

bool sign_sums(const char* directory, const SecretKey& key, const ReleaseComment& comment,
               KAL_DORN_TRUST_ERROR* error) {
    char path[PATH_MAX], text[kTrustedCommentMax + 1];
    detail::HeapPtr<char> sums;
    size_t size = 0;
    if (!detail::join_path(path, sizeof path, directory, "SHA256SUMS") ||
        read_small_file(path, kSumsFileMax, sums, size) != ReadResult::ok)
        return refuse(error, kWriteFailed, "SHA256SUMS of %s cannot be read", directory);
    if (!format_release_comment(comment, text, sizeof text))
        return refuse(error, KAL_DORN_TRUST_E_COMMENT_GRAMMAR, "no release comment for that source id and expiry");
    unsigned char raw[74] = {'E', 'D'}, prehash[64], global[64];
    std::memcpy(raw + 2, key.id, 8);
    std::string signed_comment(64, '\0');
    if (!blake2b512(sums.get(), size, prehash) || !ed25519_sign(key.secret, prehash, sizeof prehash, raw + 10))
        return refuse(error, kRandomFailed, "libcrypto cannot sign SHA256SUMS");
    std::memcpy(signed_comment.data(), raw + 10, 64);
    signed_comment += text;
    if (!ed25519_sign(key.secret, signed_comment.data(), signed_comment.size(), global))
        return refuse(error, kRandomFailed, "libcrypto cannot sign the trusted comment");
    char id[17], first[104], second[89];
    key_id_text(key.id, id);
    encode_base64(raw, sizeof raw, first);
    encode_base64(global, sizeof global, second);
    const std::string file = std::string("untrusted comment: signature from kaldorn secret key ") + id + "\n" + first +
                             "\ntrusted comment: " + text + "\n" + second + "\n";
    if (!detail::join_path(path, sizeof path, directory, "SHA256SUMS.minisig") ||
        !replace_whole_file(path, file.data(), file.size(), false))
        return refuse(error, kWriteFailed, "%s cannot be written", path);
    return true;
}

}  // namespace kaldorn::trust

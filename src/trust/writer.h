// The publisher's side of a release, for the tool and the tests (never part of libkaldorn-trust.so): minisign key
// pairs, SHA256SUMS of a source directory and its signature. Each writer replaces its file crash-safely and
// reports through the host's error record, with the codes below for what only a publisher meets.
#pragma once

#include <cstddef>
#include <cstdint>

#include "trust/formats.h"

namespace kaldorn::trust {

constexpr int kWriteFailed = 100;        // a file cannot be listed, read or written
constexpr int kSecretKeyFormat = 101;    // a secret key file is not minisign's 158 bytes
constexpr int kWrongPassphrase = 102;    // the decrypted secret key fails its checksum
constexpr int kRandomFailed = 103;       // no random bytes, or libcrypto cannot sign or derive

// minisign's scrypt limits for new encrypted keys (libsodium's "sensitive" ones: N = 2^20, r = 8, p = 1).
constexpr uint64_t kOpsLimit = 33554432;
constexpr uint64_t kMemLimit = 1073741824;

struct SecretKey {
    unsigned char id[8];
    unsigned char secret[64];  // Ed25519 seed, then the public key
};

// A new key pair in minisign's files; the passphrase encrypts the secret key (with the scrypt limits given, which
// the key file records) unless it is null (an unencrypted key, as minisign -W writes it). Never replaces a file.
bool generate_keys(const char* public_path, const char* secret_path, const char* passphrase, size_t passphrase_length,
                   KAL_DORN_TRUST_ERROR* error, uint64_t opslimit = kOpsLimit, uint64_t memlimit = kMemLimit);
// Reads a minisign secret key file, decrypting it with the passphrase when it is encrypted.
bool load_secret_key(const char* path, const char* passphrase, size_t passphrase_length, SecretKey& key,
                     KAL_DORN_TRUST_ERROR* error);
// SHA256SUMS of directory: every regular file but hidden ones, SHA256SUMS and SHA256SUMS.minisig, by name.
bool write_sums(const char* directory, KAL_DORN_TRUST_ERROR* error);
// SHA256SUMS.minisig over the directory's SHA256SUMS: "ED", with the release's trusted comment.
bool sign_sums(const char* directory, const SecretKey& key, const ReleaseComment& comment,
               KAL_DORN_TRUST_ERROR* error);

}  // namespace kaldorn::trust

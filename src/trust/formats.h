// The release formats as the checks and the publisher's writers share them: minisign key and signature files,
// SHA256SUMS with its size lines, the trusted comment of a release and the state file, plus the digests and the
// signature check libcrypto runs for them. Every parser takes hostile bytes and fills an error record.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kaldorn/trust.h"
#include "support/alloc.h"
#include "support/lane_reader.h"

namespace kaldorn::trust {

// Caps: minisign reads an untrusted comment line of at most 1024 bytes with its newline and signs a trusted
// comment of at most 8173 bytes; the files holding them are capped well above that.
constexpr size_t kUntrustedLineMax = 1024;
constexpr size_t kTrustedCommentMax = 8173;
constexpr size_t kKeyFileMax = 4096;
constexpr size_t kSignatureFileMax = 16384;
constexpr size_t kSumsFileMax = size_t{16} << 20;
constexpr size_t kSumsLineMax = 1024;
constexpr size_t kNameMax = 255;
constexpr size_t kSourceIdMax = 64;
constexpr size_t kStateFileMax = 1024;

// Sets code and a formatted message (cut to fit); always returns false. A null record is allowed.
bool refuse(KAL_DORN_TRUST_ERROR* error, int code, const char* format, ...) __attribute__((format(printf, 3, 4)));

// Hostile bytes for a message: printable ASCII as is, anything else as \xHH, cut to fit cap with its NUL.
void escape_text(const char* text, size_t n, char* out, size_t cap);
void hex_lower(const unsigned char* bytes, size_t n, char* out);  // 2n digits and a NUL
bool parse_hex_lower(const char* text, unsigned char* out, size_t n);  // exactly 2n lower-case digits
// The key id as minisign prints it: the 8 bytes read as a little-endian number, 16 upper-case hex digits.
void key_id_text(const unsigned char id[8], char out[17]);
// Seconds since 1970 as "YYYY-MM-DDTHH:MM:SSZ" (out holds at least 32 bytes).
void time_text(int64_t seconds, char* out, size_t cap);

// Standard base64 with "=" padding, no line breaks: false unless text decodes to exactly n bytes.
bool decode_base64(const char* text, size_t length, unsigned char* out, size_t n);
// Encodes n bytes; out holds 4 * ((n + 2) / 3) + 1 bytes.
void encode_base64(const unsigned char* bytes, size_t n, char* out);


// A whole small file read into a fresh block (NUL-terminated); the codes say why not: absent when nothing is at
// the path (the open's ENOENT), missing when it cannot be opened or read as a regular file.
enum class ReadResult { ok, absent, missing, too_large, no_memory };
ReadResult read_small_file(const char* path, size_t cap, detail::HeapPtr<char>& data, size_t& size);

struct PublicKey {
    unsigned char id[8];   // random, names the key pair
    unsigned char key[32];  // Ed25519 public key
};
// A public key file, or the key's base64 text alone (line 2 of the file).
bool parse_public_key(const char* text, size_t length, PublicKey& key, KAL_DORN_TRUST_ERROR* error);

struct Signature {
    unsigned char algorithm[2];  // "ED": over the BLAKE2b-512 of the file; "Ed": over the file itself
    unsigned char key_id[8];
    unsigned char signature[64];
    const char* comment;  // the trusted comment's text, inside the parsed buffer
    size_t comment_length;
    unsigned char global[64];  // over signature and comment text
};
bool parse_signature(const char* text, size_t length, Signature& signature, KAL_DORN_TRUST_ERROR* error);

// Replaces (or creates, mode 0600) the whole file at path crash-safely: a copy beside it, flushed, renamed over
// it, the directory flushed. With create_only an existing file is never replaced.
bool replace_whole_file(const char* path, const void* data, size_t n, bool create_only);
// What became of a file whose SHA-256 was asked for, and the digest of what was read.
enum class FileRead : unsigned char { absent, read, unreadable };
struct FileDigest {
    unsigned char sha256[32];
    uint64_t length;  // bytes read: past a cap, the file was not read further
    FileRead outcome;
};
// The SHA-256 of files named in the directory open as dir, read through the lane reader (many at once, through
// the ring where the kernel gives one); caps[i], when caps is given, is the size past which file i is not read
// further. False when memory or libcrypto cannot be had; every file's outcome is in out otherwise.
bool sha256_files(int dir, const char* const* names, const uint64_t* caps, size_t count, FileDigest* out,
                  detail::FileIo io = detail::FileIo::ring);
// The same for one file open as fd, read from its start.
bool sha256_descriptor(int fd, uint64_t cap, FileDigest& out);

// libcrypto: false when the digest cannot be computed or the signature does not verify.
bool sha256(const void* data, size_t n, unsigned char out[32]);
bool blake2b512(const void* data, size_t n, unsigned char out[64]);
bool ed25519_verify(const unsigned char key[32], const unsigned char signature[64], const void* data, size_t n);

// A decimal number: 1 to 20 digits, no leading zero but "0" itself, at most 2^64 - 1.
bool parse_decimal(const char* text, size_t n, uint64_t& value);

// The source id rule: 1 to 64 bytes of A-Z a-z 0-9 . _ - (NUL-terminated, or n bytes)
bool valid_source_id(const char* id);
bool valid_source_id(const char* id, size_t n);

// The trusted comment: "kaldorn-release source=ID serial=N expires=YYYY-MM-DDTHH:MM:SSZ".
struct ReleaseComment {
    char source[kSourceIdMax + 1];
    uint64_t serial;
    int64_t expires;
};
bool parse_release_comment(const char* text, size_t length, ReleaseComment& comment);
// Writes the comment text; false when it does not fit cap or the id breaks its rule.
bool format_release_comment(const ReleaseComment& comment, char* out, size_t cap);
// "YYYY-MM-DDTHH:MM:SSZ" exactly, a valid UTC date and time from 1970 to 9999.
bool parse_utc_time(const char* text, size_t length, int64_t& seconds);

// SHA256SUMS: entries sorted by name, names in one block; both freed by the owner.
struct SumsList {
    KAL_DORN_TRUST_FILE* files = nullptr;
    char* names = nullptr;
    size_t count = 0;
};
bool parse_sums(const char* data, size_t size, SumsList& list, KAL_DORN_TRUST_ERROR* error);
void free_sums(SumsList& list);
// One listed file as sha256sum writes it, with its size line before it; out holds 2 * kNameMax + 128 bytes.
// Returns the line's length, 0 when the name breaks the rule.
size_t format_sums_entry(const char* name, uint64_t size, const unsigned char sha256[32], char* out);

// The state of one source id, kept in "release-ID.state" of the state directory.
struct State {
    char source[kSourceIdMax + 1];
    uint64_t serial;
    unsigned char sums_sha256[32];
};
// The state file's path; false when it does not fit cap.
bool state_path(const char* directory, const char* source_id, char* out, size_t cap);
// Reads the state of source_id: 1 read, 0 no state file, -1 refused (error set, naming the reset command).
int read_state(const char* directory, const char* source_id, State& state, KAL_DORN_TRUST_ERROR* error);
bool parse_state(const char* data, size_t size, State& state);
// Replaces the state file crash-safely: a copy beside it, flushed, renamed over it, the directory flushed.
bool write_state(const char* directory, const State& state, KAL_DORN_TRUST_ERROR* error);

}  // namespace kaldorn::trust

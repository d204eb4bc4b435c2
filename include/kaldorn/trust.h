/*
 * kaldorn/trust.h - the C interface of libkaldorn-trust.so: signed releases
 * of an update source.
 *
 * A release is two files in a source directory: SHA256SUMS, in the format
 * sha256sum writes, listing every file a host reads or downloads with its
 * size and SHA-256, and SHA256SUMS.minisig, a detached minisign signature
 * whose trusted comment names the source, a serial number and an expiry.
 * A host opens the release before it plans from the directory; the open
 * succeeds only for a release its publisher signed for this source, that has
 * not expired and that is not older than the last one this host accepted.
 * The formats are written down in docs/reference/releases.md.
 *
 * Conventions that hold for every function here:
 *   - the result is 1 on success and 0 on failure;
 *   - the error record the caller passes last (it may be null) is cleared on
 *     entry and, on failure, holds one KAL_DORN_TRUST_E_* code and a message
 *     that states the facts (key id, serials, times, file name, sizes,
 *     digests, the state file and the command that resets it);
 *   - strings are NUL-terminated 8-bit text, paths as the host gives them;
 *   - a release handed out belongs to the caller and goes back through
 *     KalDornTrustCloseRelease; every pointer read from it lives as long as
 *     the release;
 *   - nothing keeps global state: separate releases may be used from
 *     separate threads at once.
 * Compiles as C11 and as C++.
 */
#ifndef KALDORN_TRUST_H
#define KALDORN_TRUST_H

#include <stddef.h>
#include <stdint.h>

#include "kaldorn/base.h"

/* Refusal codes, one per kind of refusal. */
#define KAL_DORN_TRUST_E_NONE 0               /*!< success */
#define KAL_DORN_TRUST_E_ARGUMENT 1           /*!< a required pointer is null, no key given, or a path too long */
#define KAL_DORN_TRUST_E_NO_MEMORY 2          /*!< memory cannot be allocated */
#define KAL_DORN_TRUST_E_SOURCE_ID 3          /*!< the source id breaks its rule (1 to 64 of A-Z a-z 0-9 . _ -) */
#define KAL_DORN_TRUST_E_KEY_UNREADABLE 4     /*!< a public key file cannot be read */
#define KAL_DORN_TRUST_E_KEY_FORMAT 5         /*!< a public key is not 42 bytes of "Ed", key id, Ed25519 key */
#define KAL_DORN_TRUST_E_SIGNATURE_MISSING 6  /*!< SHA256SUMS.minisig cannot be read */
#define KAL_DORN_TRUST_E_SIGNATURE_FORMAT 7   /*!< the signature file's lines, base64 or lengths are wrong */
#define KAL_DORN_TRUST_E_ALGORITHM 8          /*!< the signature's algorithm is neither "ED" nor "Ed" */
#define KAL_DORN_TRUST_E_COMMENT_LIMIT 9      /*!< an untrusted or trusted comment is past minisign's limit */
#define KAL_DORN_TRUST_E_UNKNOWN_KEY 10       /*!< no trusted key has the signature's key id */
#define KAL_DORN_TRUST_E_SUMS_MISSING 11      /*!< SHA256SUMS cannot be read */
#define KAL_DORN_TRUST_E_TOO_LARGE 12         /*!< SHA256SUMS, a key or signature file is past its size cap */
#define KAL_DORN_TRUST_E_SIGNATURE 13         /*!< the signature of SHA256SUMS does not verify */
#define KAL_DORN_TRUST_E_GLOBAL_SIGNATURE 14  /*!< the signature of the trusted comment does not verify */
#define KAL_DORN_TRUST_E_COMMENT_GRAMMAR 15   /*!< the trusted comment is not a release comment */
#define KAL_DORN_TRUST_E_OTHER_SOURCE 16      /*!< the release was signed for another source id */
#define KAL_DORN_TRUST_E_EXPIRED 17           /*!< the release's expiry is not after the current time */
#define KAL_DORN_TRUST_E_SUMS_LINE 18         /*!< a SHA256SUMS line is malformed or too long, or lacks its size */
#define KAL_DORN_TRUST_E_SUMS_CRLF 19         /*!< a SHA256SUMS line ends in CR LF */
#define KAL_DORN_TRUST_E_SUMS_NAME 20         /*!< a listed name is not a single plain file name */
#define KAL_DORN_TRUST_E_SUMS_DUPLICATE 21    /*!< a name is listed twice */
#define KAL_DORN_TRUST_E_STATE_UNREADABLE 22  /*!< the state file exists but cannot be read */
#define KAL_DORN_TRUST_E_STATE_CORRUPT 23     /*!< the state file is truncated or damaged */
#define KAL_DORN_TRUST_E_STATE_OTHER 24       /*!< the state file records another source id */
#define KAL_DORN_TRUST_E_ROLLBACK 25          /*!< the serial is below the one recorded */
#define KAL_DORN_TRUST_E_SAME_SERIAL 26       /*!< the serial equals the recorded one, with other SHA256SUMS */
#define KAL_DORN_TRUST_E_SOURCE_UNREADABLE 27 /*!< the source directory cannot be listed */
#define KAL_DORN_TRUST_E_NOT_LISTED 28        /*!< an index DAT or component list present is not listed */
#define KAL_DORN_TRUST_E_NOT_IN_RELEASE 29    /*!< the name to check is not listed */
#define KAL_DORN_TRUST_E_FILE_UNREADABLE 30   /*!< a file to check cannot be opened or read, or is no regular file */
#define KAL_DORN_TRUST_E_SIZE 31              /*!< a file's size differs from the listed one */
#define KAL_DORN_TRUST_E_DIGEST 32            /*!< a file's SHA-256 differs from the listed one */
#define KAL_DORN_TRUST_E_STATE_UNWRITABLE 33  /*!< the state file cannot be written or removed */
#define KAL_DORN_TRUST_E_CRYPTO 34            /*!< libcrypto cannot run a digest or a verification */

/* Bytes of the message buffer, its NUL included. */
#define KAL_DORN_TRUST_MESSAGE_SIZE 512

/* The error record: a code and a message (NUL-terminated, cut to fit). */
typedef struct KAL_DORN_TRUST_ERROR {
    int code;                                  /*!< a KAL_DORN_TRUST_E_* code */
    char message[KAL_DORN_TRUST_MESSAGE_SIZE]; /*!< the facts, for a person */
} KAL_DORN_TRUST_ERROR;

/* An opened release (opaque). */
typedef struct KAL_DORN_TRUST_RELEASE KAL_DORN_TRUST_RELEASE;

/* One listed file. */
typedef struct KAL_DORN_TRUST_FILE {
    const char* name;         /*!< the file name, unescaped; lives as long as the release */
    uint64_t size;            /*!< its size in bytes */
    unsigned char sha256[32]; /*!< its SHA-256 */
} KAL_DORN_TRUST_FILE;

KALDORN_C_BEGIN

/* Opens the release of sourceDirectory. keys holds keyCount trusted public
 * keys, each either the path of a minisign public key file or the key's
 * base64 text (56 characters starting "RW"); the signature's key id picks
 * one of them. sourceId is the source the host expects, now the current time
 * in seconds since 1970 (UTC), stateDirectory the directory (which must
 * exist) where the host keeps one state file per source id.
 *
 * Succeeds only when, in this order: the signature file parses and its key id
 * is in the keyring; the signature of SHA256SUMS and the signature of the
 * trusted comment verify; the trusted comment names sourceId and an expiry
 * after now; SHA256SUMS parses; its serial is above the recorded one (equal
 * only with the byte-identical SHA256SUMS); every index DAT
 * ("%08x_index.dat") and component list ("%08x_compns.lst") present in the
 * directory is listed with its size and SHA-256 (listed files that are
 * absent pass). Then, and only then, it records the serial and the SHA-256
 * of SHA256SUMS in the state file (crash-safely) and hands out *release.
 * On failure *release is null and the state file is unchanged. */
KALDORN_EXPORT int KalDornTrustOpenRelease(const char* sourceDirectory, const char* const* keys, size_t keyCount,
                                           const char* sourceId, int64_t now, const char* stateDirectory,
                                           KAL_DORN_TRUST_RELEASE** release, KAL_DORN_TRUST_ERROR* error);

/* Frees a release (null is allowed). */
KALDORN_EXPORT void KalDornTrustCloseRelease(KAL_DORN_TRUST_RELEASE* release);

/* The release's serial number, expiry (seconds since 1970, UTC), source id,
 * and the key id that signed it (16 upper-case hex digits of the 8 bytes
 * read as a little-endian number, as minisign prints it). Null release: 0 or
 * an empty string. */
KALDORN_EXPORT uint64_t KalDornTrustReleaseSerial(const KAL_DORN_TRUST_RELEASE* release);
KALDORN_EXPORT int64_t KalDornTrustReleaseExpires(const KAL_DORN_TRUST_RELEASE* release);
KALDORN_EXPORT const char* KalDornTrustReleaseSourceId(const KAL_DORN_TRUST_RELEASE* release);
KALDORN_EXPORT const char* KalDornTrustReleaseKeyId(const KAL_DORN_TRUST_RELEASE* release);

/* The number of listed files, and the one at index (in byte order of the
 * names) or by name; 0 when there is none. */
KALDORN_EXPORT size_t KalDornTrustReleaseFileCount(const KAL_DORN_TRUST_RELEASE* release);
KALDORN_EXPORT int KalDornTrustReleaseFile(const KAL_DORN_TRUST_RELEASE* release, size_t index,
                                           KAL_DORN_TRUST_FILE* file);
KALDORN_EXPORT int KalDornTrustReleaseFindFile(const KAL_DORN_TRUST_RELEASE* release, const char* name,
                                               KAL_DORN_TRUST_FILE* file);

/* Checks a downloaded file at path against the size and SHA-256 listed for
 * name. A host calls it before it installs what it fetched. Fails with
 * NOT_IN_RELEASE, FILE_UNREADABLE, SIZE (checked before any byte is read)
 * or DIGEST. */
KALDORN_EXPORT int KalDornTrustCheckFile(const KAL_DORN_TRUST_RELEASE* release, const char* name, const char* path,
                                         KAL_DORN_TRUST_ERROR* error);

/* What KalDornTrustCheckDirectory tells of each listed file it finds: the
 * file's name and its outcome (code KAL_DORN_TRUST_E_NONE and an empty
 * message when it matches). */
typedef void (*KAL_DORN_TRUST_REPORT)(void* context, const char* name, const KAL_DORN_TRUST_ERROR* outcome);

/* Checks every listed file present in directory (a download directory, or
 * the source itself) against its listed size and SHA-256, as
 * sha256sum -c --ignore-missing would: listed files that are absent are
 * skipped, and a listed name that is no regular file fails (FILE_UNREADABLE).
 * The files are read many at once, through an io_uring where the kernel
 * gives one. report (may be null) is called with context for each file found,
 * in the release's order; *checked (may be null) counts them. Succeeds when
 * every file found matches; otherwise fails with the first mismatch in the
 * release's order (SIZE, DIGEST or FILE_UNREADABLE), or with
 * SOURCE_UNREADABLE or NO_MEMORY when the check cannot run. */
KALDORN_EXPORT int KalDornTrustCheckDirectory(const KAL_DORN_TRUST_RELEASE* release, const char* directory,
                                              KAL_DORN_TRUST_REPORT report, void* context, size_t* checked,
                                              KAL_DORN_TRUST_ERROR* error);

/* Removes the state file of sourceId from stateDirectory, so that the next
 * open accepts any serial: the administrator's reset after a key compromise
 * or a damaged state file. Succeeds when no state file was there. */
KALDORN_EXPORT int KalDornTrustForget(const char* stateDirectory, const char* sourceId, KAL_DORN_TRUST_ERROR* error);

KALDORN_C_END

#endif /* KALDORN_TRUST_H */

// The host's checks of a signed release: the signature by a key of the keyring, the trusted comment (source,
// expiry, serial against the recorded state), the listed sizes and digests of the index DATs and component lists
// present, then the new state; and the check of one downloaded file.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "support/fileio.h"
#include "support/path.h"
#include "trust/formats.h"

using namespace kaldorn::trust;
namespace detail = kaldorn::detail;

struct KAL_DORN_TRUST_RELEASE {
    uint64_t serial;
    int64_t expires;
    char source[kSourceIdMax + 1];
    char key_id[17];
    SumsList sums;
};

namespace {

// Reads the keys of the keyring and picks the one with the signature's key id.
bool pick_key(const char* const* keys, size_t count, const Signature& signature, PublicKey& key,
              KAL_DORN_TRUST_ERROR* error) {
    bool found = false;
    for (size_t i = 0; i < count; ++i) {
        if (keys[i] == nullptr) return refuse(error, KAL_DORN_TRUST_E_ARGUMENT, "trusted key %zu is null", i + 1);
        PublicKey candidate{};
        const size_t length = std::strlen(keys[i]);
        // A key's base64 text alone, or the path of a key file.
        if (length != 56 || !parse_public_key(keys[i], length, candidate, nullptr)) {
            detail::HeapPtr<char> text;
            size_t size = 0;
            const ReadResult read = read_small_file(keys[i], kKeyFileMax, text, size);
            if (read == ReadResult::no_memory)
                return refuse(error, KAL_DORN_TRUST_E_NO_MEMORY, "no memory to read key %s", keys[i]);
            if (read != ReadResult::ok)
                return refuse(error, read == ReadResult::too_large ? KAL_DORN_TRUST_E_TOO_LARGE
                                                                   : KAL_DORN_TRUST_E_KEY_UNREADABLE,
                              "public key %s cannot be read or is over %zu bytes", keys[i], kKeyFileMax);
            if (!parse_public_key(text.get(), size, candidate, error)) return false;
        }
        if (std::memcmp(candidate.id, signature.key_id, 8) == 0) key = candidate, found = true;
    }
    char id[17];
    key_id_text(signature.key_id, id);
    return found || refuse(error, KAL_DORN_TRUST_E_UNKNOWN_KEY, "SHA256SUMS.minisig is signed by key %s, which is not "
                           "among the %zu trusted key(s)", id, count);
}

// Reads a file of the source directory; the code for a missing one is the caller's.
bool read_source_file(const char* directory, const char* name, size_t cap, int missing,
                      detail::HeapPtr<char>& data, size_t& size, KAL_DORN_TRUST_ERROR* error) {
    char path[PATH_MAX];
    if (!detail::join_path(path, sizeof path, directory, name))
        return refuse(error, KAL_DORN_TRUST_E_ARGUMENT, "the source directory path is too long");
    switch (read_small_file(path, cap, data, size)) {
        case ReadResult::ok:
            return true;
        case ReadResult::absent:
        case ReadResult::missing:
            return refuse(error, missing, "%s cannot be read", path);
        case ReadResult::too_large:
            return refuse(error, KAL_DORN_TRUST_E_TOO_LARGE, "%s is over %zu bytes", path, cap);
        case ReadResult::no_memory:
            break;
    }
    return refuse(error, KAL_DORN_TRUST_E_NO_MEMORY, "no memory to read %s", path);
}

// The signature over SHA256SUMS ("ED": over its BLAKE2b-512), then over the signature and the trusted comment.
bool verify_signatures(const Signature& signature, const PublicKey& key, const char* sums, size_t size,
                       KAL_DORN_TRUST_ERROR* error) {
    char id[17];
    key_id_text(key.id, id);
    unsigned char prehash[64];
    const bool prehashed = signature.algorithm[1] == 'D';
    if (prehashed && !blake2b512(sums, size, prehash))
        return refuse(error, KAL_DORN_TRUST_E_CRYPTO, "libcrypto cannot compute BLAKE2b-512");
    if (!ed25519_verify(key.key, signature.signature, prehashed ? static_cast<const void*>(prehash) : sums,
                        prehashed ? sizeof prehash : size))
        return refuse(error, KAL_DORN_TRUST_E_SIGNATURE, "the signature of SHA256SUMS by key %s does not verify", id);
    unsigned char signed_comment[64 + kTrustedCommentMax];
    std::memcpy(signed_comment, signature.signature, 64);
    std::memcpy(signed_comment + 64, signature.comment, signature.comment_length);
    if (!ed25519_verify(key.key, signature.global, signed_comment, 64 + signature.comment_length))
        return refuse(error, KAL_DORN_TRUST_E_GLOBAL_SIGNATURE,
                      "the signature of the trusted comment by key %s does not verify", id);
    return true;
}

// The trusted comment: this source, not yet expired.
bool check_comment(const Signature& signature, const char* source_id, int64_t now, ReleaseComment& comment,
                   KAL_DORN_TRUST_ERROR* error) {
    if (!parse_release_comment(signature.comment, signature.comment_length, comment)) {
        char shown[160];
        escape_text(signature.comment, signature.comment_length, shown, sizeof shown);
        return refuse(error, KAL_DORN_TRUST_E_COMMENT_GRAMMAR, "trusted comment \"%s\" is not \"kaldorn-release "
                      "source=ID serial=N expires=YYYY-MM-DDTHH:MM:SSZ\"", shown);
    }
    if (std::strcmp(comment.source, source_id) != 0)
        return refuse(error, KAL_DORN_TRUST_E_OTHER_SOURCE, "the release is signed for source %s, not %s",
                      comment.source, source_id);
    char expires[32], current[32];
    time_text(comment.expires, expires, sizeof expires);
    time_text(now, current, sizeof current);
    return now < comment.expires || refuse(error, KAL_DORN_TRUST_E_EXPIRED,
                                           "release %" PRIu64 " expired at %s; the time is now %s", comment.serial,
                                           expires, current);
}

// Serial above the recorded one, or equal with the same SHA256SUMS.
bool check_serial(const State& recorded, const ReleaseComment& comment, const unsigned char sums_sha256[32],
                  KAL_DORN_TRUST_ERROR* error) {
    if (comment.serial < recorded.serial)
        return refuse(error, KAL_DORN_TRUST_E_ROLLBACK, "release serial %" PRIu64 " is older than serial %" PRIu64
                      " already accepted for source %s", comment.serial, recorded.serial, comment.source);
    if (comment.serial == recorded.serial && std::memcmp(recorded.sums_sha256, sums_sha256, 32) != 0)
        return refuse(error, KAL_DORN_TRUST_E_SAME_SERIAL, "release serial %" PRIu64 " was already accepted for "
                      "source %s with another SHA256SUMS", comment.serial, comment.source);
    return true;
}

// The verdict on a listed file once read: its length, then its SHA-256 against the listed ones.
bool judge(const KAL_DORN_TRUST_FILE& file, const FileDigest& read, const char* shown, KAL_DORN_TRUST_ERROR* error) {
    if (read.outcome != FileRead::read)
        return refuse(error, KAL_DORN_TRUST_E_FILE_UNREADABLE, "%s cannot be opened or read as a regular file", shown);
    if (read.length > file.size)
        return refuse(error, KAL_DORN_TRUST_E_SIZE, "%s holds more than the %" PRIu64 " bytes the release lists",
                      shown, file.size);
    if (read.length < file.size)
        return refuse(error, KAL_DORN_TRUST_E_SIZE, "%s holds %" PRIu64 " bytes; the release lists %" PRIu64, shown,
                      read.length, file.size);
    if (std::memcmp(read.sha256, file.sha256, 32) == 0) return true;
    char want[65], have[65];
    hex_lower(file.sha256, 32, want);
    hex_lower(read.sha256, 32, have);
    return refuse(error, KAL_DORN_TRUST_E_DIGEST, "%s has SHA-256 %s; the release lists %s", shown, have, want);
}

// Size first (from the open descriptor), then the SHA-256 of the content.
bool check_open_file(int fd, const KAL_DORN_TRUST_FILE& file, const char* shown, KAL_DORN_TRUST_ERROR* error) {
    struct stat st{};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return refuse(error, KAL_DORN_TRUST_E_FILE_UNREADABLE, "%s cannot be opened as a regular file", shown);
    if (static_cast<uint64_t>(st.st_size) != file.size)
        return refuse(error, KAL_DORN_TRUST_E_SIZE, "%s holds %" PRIu64 " bytes; the release lists %" PRIu64, shown,
                      static_cast<uint64_t>(st.st_size), file.size);
    FileDigest read{};
    if (!sha256_descriptor(fd, file.size, read))
        return refuse(error, KAL_DORN_TRUST_E_NO_MEMORY, "no memory or digest context to read %s", shown);
    return judge(file, read, shown, error);
}

const KAL_DORN_TRUST_FILE* find_file(const SumsList& sums, const char* name) {
    KAL_DORN_TRUST_FILE key{};
    key.name = name;
    return static_cast<const KAL_DORN_TRUST_FILE*>(std::bsearch(&key, sums.files, sums.count, sizeof key,
        [](const void* a, const void* b) {
            return std::strcmp(static_cast<const KAL_DORN_TRUST_FILE*>(a)->name,
                               static_cast<const KAL_DORN_TRUST_FILE*>(b)->name);
        }));
}

// "%08x_index.dat" or "%08x_compns.lst", eight lower-case hex digits: the files a host plans from.
bool planned_from(const char* name) {
    for (size_t i = 0; i < 8; ++i)
        if (!((name[i] >= '0' && name[i] <= '9') || (name[i] >= 'a' && name[i] <= 'f'))) return false;
    return std::strcmp(name + 8, "_index.dat") == 0 || std::strcmp(name + 8, "_compns.lst") == 0;
}

// Files of a directory to check against the release: listed entries, their digests once read.
struct Batch {
    detail::HeapPtr<const KAL_DORN_TRUST_FILE*> listed;
    detail::HeapPtr<const char*> names;
    detail::HeapPtr<uint64_t> caps;
    detail::HeapPtr<FileDigest> read;
    size_t count = 0;

    bool reserve(size_t n) {
        listed.reset(static_cast<const KAL_DORN_TRUST_FILE**>(detail::allocate_zeroed(n, sizeof(void*))));
        names.reset(static_cast<const char**>(detail::allocate_zeroed(n, sizeof(char*))));
        caps.reset(static_cast<uint64_t*>(detail::allocate_zeroed(n, sizeof(uint64_t))));
        read.reset(static_cast<FileDigest*>(detail::allocate_zeroed(n, sizeof(FileDigest))));
        return listed && names && caps && read;
    }
    void add(const KAL_DORN_TRUST_FILE* file) {
        listed.get()[count] = file, names.get()[count] = file->name, caps.get()[count] = file->size;
        ++count;
    }
    // Reads them all through the lane reader.
    bool digest(int dir) { return sha256_files(dir, names.get(), caps.get(), count, read.get()); }
};

// The entries of an open directory but "." and "..", with whether each is a regular file (a link is followed).
template <typename Visit>
void list_entries(DIR* dir, Visit visit) {
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        visit(entry->d_name, S_ISREG(detail::entry_type(::dirfd(dir), *entry)));
    }
}

// Every index DAT and component list present is listed, with its size and SHA-256.
bool check_present(const char* directory, const SumsList& sums, KAL_DORN_TRUST_ERROR* error) {
    DIR* dir = ::opendir(directory);
    if (dir == nullptr)
        return refuse(error, KAL_DORN_TRUST_E_SOURCE_UNREADABLE, "source directory %s cannot be listed", directory);
    Batch batch;
    bool ok = batch.reserve(sums.count);
    if (!ok) refuse(error, KAL_DORN_TRUST_E_NO_MEMORY, "no memory to check %s", directory);
    list_entries(dir, [&](const char* name, bool regular) {
        if (!ok || !planned_from(name)) return;
        char path[PATH_MAX];
        detail::join_path(path, sizeof path, directory, name);
        const KAL_DORN_TRUST_FILE* file = find_file(sums, name);
        if (file == nullptr)
            ok = refuse(error, KAL_DORN_TRUST_E_NOT_LISTED, "%s is not listed in SHA256SUMS", path);
        else if (!regular)
            ok = refuse(error, KAL_DORN_TRUST_E_FILE_UNREADABLE, "%s is not a regular file", path);
        else
            batch.add(file);
    });
    if (ok && !batch.digest(::dirfd(dir))) ok = refuse(error, KAL_DORN_TRUST_E_NO_MEMORY, "no memory to read %s",
                                                       directory);
    for (size_t i = 0; ok && i < batch.count; ++i) {
        char path[PATH_MAX];
        detail::join_path(path, sizeof path, directory, batch.names.get()[i]);
        ok = judge(*batch.listed.get()[i], batch.read.get()[i], path, error);
    }
    ::closedir(dir);
    return ok;
}

bool open_release(const char* directory, const char* const* keys, size_t count, const char* source_id, int64_t now,
                  const char* state_directory, KAL_DORN_TRUST_RELEASE*& release, KAL_DORN_TRUST_ERROR* error) {
    if (directory == nullptr || keys == nullptr || count == 0 || source_id == nullptr || state_directory == nullptr)
        return refuse(error, KAL_DORN_TRUST_E_ARGUMENT, "a directory, a source id and at least one key are needed");
    if (!valid_source_id(source_id))
        return refuse(error, KAL_DORN_TRUST_E_SOURCE_ID, "the source id is not 1 to %zu of A-Z a-z 0-9 . _ -",
                      kSourceIdMax);
    detail::HeapPtr<char> signature_text, sums_text;
    size_t signature_size = 0, sums_size = 0;
    Signature signature{};
    PublicKey key{};
    ReleaseComment comment{};
    State state{};
    if (!read_source_file(directory, "SHA256SUMS.minisig", kSignatureFileMax, KAL_DORN_TRUST_E_SIGNATURE_MISSING,
                          signature_text, signature_size, error) ||
        !parse_signature(signature_text.get(), signature_size, signature, error) ||
        !pick_key(keys, count, signature, key, error) ||
        !read_source_file(directory, "SHA256SUMS", kSumsFileMax, KAL_DORN_TRUST_E_SUMS_MISSING, sums_text,
                          sums_size, error) ||
        !verify_signatures(signature, key, sums_text.get(), sums_size, error) ||
        !check_comment(signature, source_id, now, comment, error))
        return false;
    if (!sha256(sums_text.get(), sums_size, state.sums_sha256))
        return refuse(error, KAL_DORN_TRUST_E_CRYPTO, "libcrypto cannot compute SHA-256");
    auto* opened = static_cast<KAL_DORN_TRUST_RELEASE*>(detail::allocate_zeroed(1, sizeof(KAL_DORN_TRUST_RELEASE)));
    if (opened == nullptr) return refuse(error, KAL_DORN_TRUST_E_NO_MEMORY, "no memory for the release");
    release = opened;
    opened->serial = comment.serial, opened->expires = comment.expires;
    std::memcpy(opened->source, comment.source, sizeof opened->source);
    key_id_text(key.id, opened->key_id);
    State recorded{};
    const int have_state = parse_sums(sums_text.get(), sums_size, opened->sums, error)
                               ? read_state(state_directory, source_id, recorded, error) : -1;
    if (have_state < 0 || (have_state == 1 && !check_serial(recorded, comment, state.sums_sha256, error)) ||
        !check_present(directory, opened->sums, error))
        return false;
    std::memcpy(state.source, comment.source, sizeof state.source);
    state.serial = comment.serial;
    return write_state(state_directory, state, error);
}

void clear(KAL_DORN_TRUST_ERROR* error) {
    if (error != nullptr) error->code = KAL_DORN_TRUST_E_NONE, error->message[0] = '\0';
}

}  // namespace

extern "C" {

KALDORN_EXPORT int KalDornTrustOpenRelease(const char* sourceDirectory, const char* const* keys, size_t keyCount,
                                           const char* sourceId, int64_t now, const char* stateDirectory,
                                           KAL_DORN_TRUST_RELEASE** release, KAL_DORN_TRUST_ERROR* error) {
    clear(error);
    if (release == nullptr) return refuse(error, KAL_DORN_TRUST_E_ARGUMENT, "no place for the release");
    *release = nullptr;
    KAL_DORN_TRUST_RELEASE* opened = nullptr;
    if (open_release(sourceDirectory, keys, keyCount, sourceId, now, stateDirectory, opened, error)) {
        *release = opened;
        return 1;
    }
    KalDornTrustCloseRelease(opened);
    return 0;
}

KALDORN_EXPORT void KalDornTrustCloseRelease(KAL_DORN_TRUST_RELEASE* release) {
    if (release == nullptr) return;
    free_sums(release->sums);
    std::free(release);
}

KALDORN_EXPORT uint64_t KalDornTrustReleaseSerial(const KAL_DORN_TRUST_RELEASE* release) {
    return release != nullptr ? release->serial : 0;
}

KALDORN_EXPORT int64_t KalDornTrustReleaseExpires(const KAL_DORN_TRUST_RELEASE* release) {
    return release != nullptr ? release->expires : 0;
}

KALDORN_EXPORT const char* KalDornTrustReleaseSourceId(const KAL_DORN_TRUST_RELEASE* release) {
    return release != nullptr ? release->source : "";
}

KALDORN_EXPORT const char* KalDornTrustReleaseKeyId(const KAL_DORN_TRUST_RELEASE* release) {
    return release != nullptr ? release->key_id : "";
}

KALDORN_EXPORT size_t KalDornTrustReleaseFileCount(const KAL_DORN_TRUST_RELEASE* release) {
    return release != nullptr ? release->sums.count : 0;
}

KALDORN_EXPORT int KalDornTrustReleaseFile(const KAL_DORN_TRUST_RELEASE* release, size_t index,
                                           KAL_DORN_TRUST_FILE* file) {
    if (release == nullptr || file == nullptr || index >= release->sums.count) return 0;
    *file = release->sums.files[index];
    return 1;
}

KALDORN_EXPORT int KalDornTrustReleaseFindFile(const KAL_DORN_TRUST_RELEASE* release, const char* name,
                                               KAL_DORN_TRUST_FILE* file) {
    const KAL_DORN_TRUST_FILE* found = release != nullptr && name != nullptr ? find_file(release->sums, name) : nullptr;
    if (found == nullptr || file == nullptr) return 0;
    *file = *found;
    return 1;
}

KALDORN_EXPORT int KalDornTrustCheckFile(const KAL_DORN_TRUST_RELEASE* release, const char* name, const char* path,
                                         KAL_DORN_TRUST_ERROR* error) {
    clear(error);
    if (release == nullptr || name == nullptr || path == nullptr)
        return refuse(error, KAL_DORN_TRUST_E_ARGUMENT, "a release, a name and a path are needed");
    const KAL_DORN_TRUST_FILE* file = find_file(release->sums, name);
    char shown[2 * kNameMax];
    escape_text(name, std::strlen(name), shown, sizeof shown);
    if (file == nullptr)
        return refuse(error, KAL_DORN_TRUST_E_NOT_IN_RELEASE, "\"%s\" is not listed in release %" PRIu64, shown,
                      release->serial);
    detail::FdGuard fd(detail::open_regular_at(AT_FDCWD, path));
    return check_open_file(fd.get(), *file, path, error) ? 1 : 0;
}

KALDORN_EXPORT int KalDornTrustCheckDirectory(const KAL_DORN_TRUST_RELEASE* release, const char* directory,
                                              KAL_DORN_TRUST_REPORT report, void* context, size_t* checked,
                                              KAL_DORN_TRUST_ERROR* error) {
    clear(error);
    if (checked != nullptr) *checked = 0;
    if (release == nullptr || directory == nullptr)
        return refuse(error, KAL_DORN_TRUST_E_ARGUMENT, "a release and a directory are needed");
    DIR* dir = ::opendir(directory);
    if (dir == nullptr)
        return refuse(error, KAL_DORN_TRUST_E_SOURCE_UNREADABLE, "directory %s cannot be listed", directory);
    const SumsList& sums = release->sums;
    detail::HeapPtr<unsigned char> present(static_cast<unsigned char*>(detail::allocate_zeroed(sums.count, 1)));
    Batch batch;
    bool ok = present && batch.reserve(sums.count);
    // Listed files that are there, in the release's order; a listed name that is no regular file is checked too
    // (and found unreadable), one that is absent is skipped.
    if (ok)
        list_entries(dir, [&](const char* name, bool regular) {
            if (const KAL_DORN_TRUST_FILE* file = find_file(sums, name))
                present.get()[file - sums.files] = regular ? 1 : 2;
        });
    for (size_t i = 0; ok && i < sums.count; ++i)
        if (present.get()[i] == 1) batch.add(&sums.files[i]);
    ok = ok && batch.digest(::dirfd(dir));
    ::closedir(dir);
    if (!ok) return refuse(error, KAL_DORN_TRUST_E_NO_MEMORY, "no memory to check %s", directory);
    KAL_DORN_TRUST_ERROR first{}, outcome{};
    for (size_t i = 0, b = 0; i < sums.count; ++i) {
        if (present.get()[i] == 0) continue;
        char path[PATH_MAX];
        detail::join_path(path, sizeof path, directory, sums.files[i].name);
        const FileDigest unread{{}, 0, FileRead::unreadable};
        const bool good = judge(sums.files[i], present.get()[i] == 1 ? batch.read.get()[b++] : unread, path, &outcome);
        if (good) outcome = KAL_DORN_TRUST_ERROR{};
        if (!good && first.code == 0) first = outcome;
        if (report != nullptr) report(context, sums.files[i].name, &outcome);
        if (checked != nullptr) ++*checked;
    }
    if (first.code == 0) return 1;
    if (error != nullptr) *error = first;
    return 0;
}

KALDORN_EXPORT int KalDornTrustForget(const char* stateDirectory, const char* sourceId, KAL_DORN_TRUST_ERROR* error) {
    clear(error);
    char path[PATH_MAX];
    if (stateDirectory == nullptr || sourceId == nullptr)
        return refuse(error, KAL_DORN_TRUST_E_ARGUMENT, "a state directory and a source id are needed");
    if (!valid_source_id(sourceId))
        return refuse(error, KAL_DORN_TRUST_E_SOURCE_ID, "the source id is not 1 to %zu of A-Z a-z 0-9 . _ -",
                      kSourceIdMax);
    if (!state_path(stateDirectory, sourceId, path, sizeof path))
        return refuse(error, KAL_DORN_TRUST_E_ARGUMENT, "the state directory path is too long");
    if (::unlink(path) != 0 && errno != ENOENT)
        return refuse(error, KAL_DORN_TRUST_E_STATE_UNWRITABLE, "state file %s cannot be removed (errno %d)", path,
                      errno);
    return 1;
}

}  // extern "C"

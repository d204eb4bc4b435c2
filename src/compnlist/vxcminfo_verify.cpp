// Verification of an installation against a component list: the records
// marked for verification whose file is missing or whose MD5 digest differs.
// Each component is opened once, by its name under a descriptor of its
// directory opened once per call; the open tells a missing file from one
// that is there. The files found are digested several at a time, one per
// lane, and the outcome of every record is then taken in list order, so the
// records reported and the first failure are those of checking one file
// after another.
// The list is walked in place as it was loaded and checked; only the
// records reported are copied out into 300-byte records.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "compnlist/list_view.h"
#include "compnlist/verify.h"
#include "support/alloc.h"
#include "support/fileio.h"
#include "support/md5_files.h"
#include "support/path.h"

using namespace kaldorn::detail;

namespace {

using RecordList = GEN_LIST<CompnRecord>;

// Frees the collection when the call ends, whatever the path.
struct Collection {
    RecordList* head = nullptr;
    RecordList* tail = nullptr;
    uint32_t count = 0;
    ~Collection() { FreeGenList(head); }
};

// A directory given for verification: its path with one trailing "/" in a
// 260-byte buffer, and a descriptor to look names up from (when it cannot be
// opened, names are looked up by their whole path).
struct Directory {
    char path[KALDORN_MAX_PATH];
    size_t length = 0;
    FdGuard fd;

    // False (code 9) for an empty, over-long or missing directory.
    bool prepare(const char* dir) {
        if (dir[0] == '\0' || !join_path(path, sizeof path, dir, "")) return false;
        fd.reset(open_directory(path));
        if (!fd.valid() && open_failed_missing(AT_FDCWD, path, errno)) return false;
        length = std::strlen(path);
        return true;
    }

    // Where dir + name is, resolved exactly as that joined path would be:
    // a base descriptor (or AT_FDCWD) and the name under it, in a 260-byte
    // buffer; false when the joined path does not fit one.
    bool locate(const char* name, int& base, char* at) const {
        char joined[KALDORN_MAX_PATH];
        if (!join_path(joined, sizeof joined, path, name)) return false;
        base = AT_FDCWD;
        const char* rest = joined;
        if (fd.valid()) {
            base = fd.get();
            for (rest = joined + length; *rest == '/';) ++rest;  // "dir//x" is dir's x
            if (*rest == '\0') rest = ".";                       // "dir/" is dir itself
        }
        std::memcpy(at, rest, std::strlen(rest) + 1);
        return true;
    }

    // Whether an open of name that failed with err failed because the file
    // is not there.
    bool missing(const char* name, int err) const {
        char at[KALDORN_MAX_PATH];
        int base = AT_FDCWD;
        return !locate(name, base, at) || open_failed_missing(base, at, err);
    }

    // Opens dir + name; false when it does not fit a path buffer. A file
    // that is not there leaves fd invalid with missing set; one that is
    // there but cannot be opened leaves fd invalid with missing clear.
    bool open(const char* name, FdGuard& out, bool& is_missing) const {
        char at[KALDORN_MAX_PATH];
        int base = AT_FDCWD;
        if (!locate(name, base, at)) return false;
        out.reset(open_read_at(base, at));
        is_missing = !out.valid() && open_failed_missing(base, at, errno);
        return true;
    }
};

// What checking one record found.
enum Outcome : unsigned char { kUnchecked, kKept, kReported, kTooLong, kUnreadable };

// Hands the files found to the digester in list order and records each
// record's outcome. After the first failure no later record is started:
// checking one file after another would have stopped there.
class Checks final : public FileJobs {
public:
    Checks(const ListView& list, const Directory& first, const Directory* second, unsigned char* outcome)
        : list_(list), first_(first), second_(second), outcome_(outcome) {}

    bool next(size_t& item, int& dir, char* name) override {
        while (!failed_ && cursor_ < list_.count) {
            uint32_t i = cursor_++;
            if (list_.flag(i) != 1) continue;
            if (!first_.locate(list_.name(i), dir, name)) {
                fail(i, kTooLong);
                return false;
            }
            item = i;
            return true;
        }
        return false;
    }

    // Not in the first directory: the second one, when given, is asked.
    int open_failed(size_t item, int err) override {
        const char* name = list_.name(static_cast<uint32_t>(item));
        bool missing = first_.missing(name, err);
        FdGuard fd;
        if (missing && second_ != nullptr && !second_->open(name, fd, missing)) return fail(item, kTooLong);
        if (fd.valid()) return fd.release();
        if (!missing) return fail(item, kUnreadable);
        outcome_[item] = kReported;
        return -1;
    }

    void done(size_t item, const unsigned char* digest) override {
        if (digest == nullptr) {
            fail(item, kUnreadable);
            return;
        }
        outcome_[item] = std::memcmp(digest, list_.digest(static_cast<uint32_t>(item)), 16) != 0 ? kReported : kKept;
    }

private:
    int fail(size_t i, Outcome why) {
        outcome_[i] = why;
        failed_ = true;
        return -1;
    }

    const ListView& list_;
    const Directory& first_;
    const Directory* second_;
    unsigned char* outcome_;
    uint32_t cursor_ = 0;
    bool failed_ = false;
};

// Takes the outcomes in list order: the first failure ends the call with its
// code, reported records are collected as copies.
unsigned int gather(const ListView& list, const unsigned char* outcome, Collection& found) {
    for (uint32_t i = 0; i < list.count; ++i) {
        if (outcome[i] == kTooLong) return KALDORN_E_OPEN;
        if (outcome[i] == kUnreadable) return KALDORN_E_DIGEST;
        if (outcome[i] != kReported) continue;
        CompnRecord copy;
        list.copy_out(i, copy);
        if (AddToGenList(&copy, &found.head, &found.tail) != 1) return KALDORN_E_NO_MEMORY;
        ++found.count;
    }
    return 0;
}

unsigned int collect(Md5Path path, FileIo io, const ListView& list, const Directory& first, const Directory* second,
                     Collection& found) {
    size_t flagged = 0;
    for (uint32_t i = 0; i < list.count; ++i) flagged += list.flag(i) == 1 ? 1u : 0u;
    if (flagged == 0) return 0;
    HeapPtr<unsigned char> outcome(static_cast<unsigned char*>(allocate_zeroed(list.count, 1)));
    if (!outcome) return KALDORN_E_NO_MEMORY;
    Checks checks(list, first, second, outcome.get());
    if (!digest_files(path, io, flagged, checks)) return KALDORN_E_NO_MEMORY;
    return gather(list, outcome.get(), found);
}

unsigned int to_array(const Collection& found, HeapPtr<CompnRecord>& out) {
    if (found.count == 0) return 0;
    out.reset(static_cast<CompnRecord*>(allocate(size_t{found.count} * sizeof(CompnRecord))));
    if (!out) return KALDORN_E_NO_MEMORY;
    CompnRecord* next = out.get();
    for (const RecordList* n = found.head; n != nullptr; n = n->pNext) *next++ = n->stData;
    return 0;
}

unsigned int verify(Md5Path path, FileIo io, const char* list, const char* dir1, const char* dir2,
                    HeapPtr<CompnRecord>& out, uint32_t& count) {
    Directory first, second;
    if (!first.prepare(dir1) || (dir2 != nullptr && !second.prepare(dir2))) return KALDORN_E_NO_DIRECTORY;
    ListView view;
    unsigned int code = load_list_view(list, view);
    if (code != 0) return code;
    Collection found;
    if ((code = collect(path, io, view, first, dir2 != nullptr ? &second : nullptr, found)) != 0) return code;
    if ((code = to_array(found, out)) != 0) return code;
    count = found.count;
    return 0;
}

}  // namespace

int kaldorn::detail::verify_compns_on(Md5Path path, FileIo io, const char* list, const char* dir1, const char* dir2,
                                      CompnRecord** records, unsigned int* count, unsigned int* error) {
    if (list == nullptr || dir1 == nullptr || records == nullptr || count == nullptr || error == nullptr) return 0;
    *error = 0;
    HeapPtr<CompnRecord> out;
    uint32_t n = 0;
    if (unsigned int code = verify(path, io, list, dir1, dir2, out, n)) {
        *error = code;
        return 0;
    }
    *records = out.release();
    *count = n;
    return 1;
}

int VerifyCompnsFileRecords(const char* list, const char* dir1, const char* dir2,
                            tagVX_COMPONENT_FILE_MEM_RECORD_INFO** records, unsigned int* count,
                            unsigned int* error) {
    return verify_compns_on(best_md5_path(), FileIo::ring, list, dir1, dir2, records, count, error);
}

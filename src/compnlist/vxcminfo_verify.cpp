// Verification of an installation against a component list: the records
// marked for verification whose file is missing or whose MD5 digest differs.
// Each component is opened once: the open tells a missing file (ENOENT,
// ENOTDIR) from one that is there, which saves a system call per file.
#include <unistd.h>

#include <cerrno>

#include <cstring>

#include "compnlist/format.h"
#include "kaldorn/md5lib.h"
#include "support/alloc.h"
#include "support/fileio.h"
#include "support/md5file.h"
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

// dir with one trailing "/", in a 260-byte buffer; false (code 9) for an
// empty, over-long or missing directory.
bool prepare_directory(char* out, const char* dir) {
    return dir[0] != '\0' && join_path(out, KALDORN_MAX_PATH, dir, "") && ::access(out, F_OK) == 0;
}

// Opens dir + name; false when the joined path does not fit. A file that
// is not there leaves fd invalid with missing set; one that is there but
// cannot be opened leaves fd invalid with missing clear.
bool open_component(const char* dir, const char* name, FdGuard& fd, bool& missing) {
    char path[KALDORN_MAX_PATH];
    if (!join_path(path, sizeof path, dir, name)) return false;
    fd.reset(open_read(path));
    missing = !fd.valid() && (errno == ENOENT || errno == ENOTDIR);
    return true;
}

// Decides whether one record is reported: missing from the first directory
// and from the second (when given), or found with another digest. A file
// found in the first directory is never looked for in the second.
unsigned int check_record(CMd5& md5, const char* first, const char* second, const CompnRecord& r, bool& report) {
    FdGuard fd;
    bool missing = false;
    if (!open_component(first, r.szFileName, fd, missing)) return KALDORN_E_OPEN;
    if (missing && second != nullptr && !open_component(second, r.szFileName, fd, missing)) return KALDORN_E_OPEN;
    report = missing;
    if (missing) return 0;
    unsigned char digest[16];
    if (!fd.valid() || digest_descriptor(md5, fd.get(), digest) != 1) return KALDORN_E_DIGEST;
    report = std::memcmp(digest, r.uchMD5Digest, sizeof digest) != 0;
    return 0;
}

unsigned int collect(const CompnRecord* records, unsigned int count, const char* first, const char* second,
                     Collection& found) {
    CMd5 md5;
    for (unsigned int i = 0; i < count; ++i) {
        if (records[i].dwFlag != 1) continue;
        bool report = false;
        if (unsigned int code = check_record(md5, first, second, records[i], report)) return code;
        if (!report) continue;
        CompnRecord copy = records[i];
        if (AddToGenList(&copy, &found.head, &found.tail) != 1) return KALDORN_E_NO_MEMORY;
        ++found.count;
    }
    return 0;
}

unsigned int to_array(const Collection& found, HeapPtr<CompnRecord>& out) {
    if (found.count == 0) return 0;
    out.reset(static_cast<CompnRecord*>(allocate(size_t{found.count} * sizeof(CompnRecord))));
    if (!out) return KALDORN_E_NO_MEMORY;
    CompnRecord* next = out.get();
    for (const RecordList* n = found.head; n != nullptr; n = n->pNext) *next++ = n->stData;
    return 0;
}

unsigned int verify(const char* list, const char* dir1, const char* dir2, HeapPtr<CompnRecord>& out,
                    uint32_t& count) {
    char first[KALDORN_MAX_PATH], second[KALDORN_MAX_PATH];
    if (!prepare_directory(first, dir1) || (dir2 != nullptr && !prepare_directory(second, dir2)))
        return KALDORN_E_NO_DIRECTORY;
    CompnRecord* raw = nullptr;
    unsigned int n = 0, code = 0;
    if (GetCompnListFromLstFile(list, &raw, &n, &code) != 1) return code;
    HeapPtr<CompnRecord> records(raw);
    Collection found;
    if ((code = collect(raw, n, first, dir2 != nullptr ? second : nullptr, found)) != 0) return code;
    if ((code = to_array(found, out)) != 0) return code;
    count = found.count;
    return 0;
}

}  // namespace

int VerifyCompnsFileRecords(const char* list, const char* dir1, const char* dir2,
                            tagVX_COMPONENT_FILE_MEM_RECORD_INFO** records, unsigned int* count,
                            unsigned int* error) {
    if (list == nullptr || dir1 == nullptr || records == nullptr || count == nullptr || error == nullptr) return 0;
    *error = 0;
    HeapPtr<CompnRecord> out;
    uint32_t n = 0;
    if (unsigned int code = verify(list, dir1, dir2, out, n)) {
        *error = code;
        return 0;
    }
    *records = out.release();
    *count = n;
    return 1;
}

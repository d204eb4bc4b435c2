// Component list writer, the record of one file, and adding an entry.
// A list is always written whole into a copy beside it (records first, head
// last), which replaces the list only once complete and flushed: a write that
// fails or stops part-way leaves the old list as it was. Where no copy can
// replace the list (a link, an owner this process cannot give), it is
// rewritten in place, where a write that stops part-way leaves a file the
// reader rejects.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include <cstring>

#include "compnlist/format.h"
#include "kaldorn/crc32.h"
#include "kaldorn/md5lib.h"
#include "support/md5_files.h"
#include "support/alloc.h"
#include "support/bytes.h"
#include "support/fileio.h"
#include "support/path.h"
#include "support/replace.h"

using namespace kaldorn::detail;

namespace {

// Encodes records into a block buffer, summing the stored bytes, and writes
// each full block at the file position.
class EncodingWriter {
public:
    explicit EncodingWriter(int fd) : fd_(fd) {}

    bool put(const CompnRecord& r) {
        return put_bytes(reinterpret_cast<const unsigned char*>(&r), kCompnFixedSize + r.dwNameLength);
    }
    bool flush() {
        bool ok = used_ == 0 || write_full(fd_, buf_, used_);
        used_ = 0;
        return ok;
    }
    uint32_t sum() const { return sum_; }

private:
    bool put_bytes(const unsigned char* p, size_t n) {
        while (n > 0) {
            if (used_ == sizeof buf_ && !flush()) return false;
            size_t take = sizeof buf_ - used_ < n ? sizeof buf_ - used_ : n;
            unsigned char* out = buf_ + used_;
            for (size_t i = 0; i < take; ++i) {
                out[i] = rotate_stored(p[i]);
                sum_ += out[i];
            }
            used_ += take;
            p += take;
            n -= take;
        }
        return true;
    }

    int fd_;
    size_t used_ = 0;
    uint32_t sum_ = 0;
    unsigned char buf_[64 * 1024];
};

bool all_storable(const CompnRecord* records, unsigned int count, const CompnRecord* extra) {
    for (unsigned int i = 0; records != nullptr && i < count; ++i)
        if (!compn_name_storable(records[i])) return false;
    return extra == nullptr || compn_name_storable(*extra);
}

unsigned int write_records(EncodingWriter& out, const CompnRecord* records, unsigned int count,
                           const CompnRecord* extra, uint32_t& written) {
    for (unsigned int i = 0; records != nullptr && i < count; ++i, ++written)
        if (!out.put(records[i])) return KALDORN_E_WRITE;
    if (extra != nullptr) {
        if (!out.put(*extra)) return KALDORN_E_WRITE;
        ++written;
    }
    return out.flush() ? 0 : KALDORN_E_WRITE;
}

// The count goes in before the header block: until the magic is written the
// file fails the reader's head check, whichever write fails.
unsigned int write_head(int fd, uint32_t sum, uint32_t count) {
    unsigned char block[kCompnHeaderBlockSize] = {};
    std::memcpy(block + kCompnMagicOffset, kCompnMagic, sizeof kCompnMagic);
    block[kCompnFormatOffset] = 1;
    block[kCompnFormatOffset + 1] = 1;
    std::memcpy(block + kCompnMakerOffset, kCompnMaker, kCompnMakerSize);
    store_le32(block + kCompnChecksumOffset, sum);
    unsigned char stored_count[4];
    store_le32(stored_count, count);
    if (!seek_to(fd, kCompnCountOffset)) return KALDORN_E_SEEK;
    if (!write_full(fd, stored_count, sizeof stored_count)) return KALDORN_E_WRITE;
    if (!seek_to(fd, 0)) return KALDORN_E_SEEK;
    return write_full(fd, block, sizeof block) ? 0 : KALDORN_E_WRITE;
}

unsigned int dump_list(const char* path, const CompnRecord* records, unsigned int count, const CompnRecord* extra) {
    if (!all_storable(records, count, extra)) return KALDORN_E_WRITE;
    FdGuard original(open_read_write(path));
    if (!original.valid() && !open_failed_missing(AT_FDCWD, path, errno)) return KALDORN_E_OPEN;
    FileReplacement change;
    int fd = change.begin_whole(path, original.get());
    if (fd < 0) return KALDORN_E_OPEN;
    if (!seek_to(fd, kCompnHeadSize)) return KALDORN_E_SEEK;
    EncodingWriter out(fd);
    uint32_t written = 0;
    if (unsigned int code = write_records(out, records, count, extra, written)) return code;
    if (unsigned int code = write_head(fd, out.sum(), written)) return code;
    return change.commit() ? 0 : KALDORN_E_WRITE;
}

const char* base_name(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash == nullptr ? path : slash + 1;
}

// The component is opened once: that open tells whether it is there, and
// its size and digest come from the same descriptor. A size the record's 32
// bits cannot hold is refused (13), never cut.
unsigned int build_record(const char* path, unsigned int flag, CompnRecord& r) {
    FdGuard fd(open_read(path));
    if (!fd.valid() && open_failed_missing(AT_FDCWD, path, errno)) return KALDORN_E_NO_FILE;
    if (!copy_bounded(r.szFileName, sizeof r.szFileName, base_name(path))) return KALDORN_E_OPEN;
    r.dwNameLength = static_cast<unsigned int>(std::strlen(r.szFileName) + 1);
    if (!fd.valid()) return KALDORN_E_DIGEST;
    int64_t size = file_size(fd.get());
    if (size < 0 || size > int64_t{UINT32_MAX}) return KALDORN_E_READ;
    if (!md5_descriptor(fd.get(), r.uchMD5Digest)) return KALDORN_E_DIGEST;
    r.dwFileSize = static_cast<unsigned int>(size);
    r.dwFlag = flag;
    return 0;
}

// Index of the first record named like name ignoring case, or count.
unsigned int find_name(const CompnRecord* records, unsigned int count, const char* name) {
    unsigned int i = 0;
    while (i < count && !same_name_folded(records[i].szFileName, name, sizeof records[i].szFileName)) ++i;
    return i;
}

}  // namespace

int DumpRecordsToCompnLstFile(const char* path, tagVX_COMPONENT_FILE_MEM_RECORD_INFO* records, unsigned int count,
                              int append, tagVX_COMPONENT_FILE_MEM_RECORD_INFO* extra, unsigned int* error) {
    if (path == nullptr || error == nullptr) return 0;
    *error = dump_list(path, records, count, append == 1 ? extra : nullptr);
    return *error == 0 ? 1 : 0;
}

int GetCompnLstFileRecord(const char* path, unsigned int flag, tagVX_COMPONENT_FILE_MEM_RECORD_INFO* record,
                          unsigned int* error) {
    if (path == nullptr || record == nullptr || error == nullptr) return 0;
    CompnRecord r{};
    if (unsigned int code = build_record(path, flag, r)) {
        *error = code;
        return 0;
    }
    *record = r;
    return 1;
}

int AddEntrytoCompnLstFile(const char* component, unsigned int flag, int /*unused*/, const char* list,
                           unsigned int* reserved, unsigned int* error) {
    if (component == nullptr || list == nullptr || reserved == nullptr || error == nullptr) return 0;
    *error = 0;
    char path[KALDORN_MAX_PATH];
    if (!copy_bounded(path, sizeof path, component)) {
        *error = KALDORN_E_OPEN;
        return 0;
    }
    if (!is_plain_name(base_name(path), sizeof path)) {  // "." or "..": refused before anything is opened
        *error = KALDORN_E_WRITE;
        return 0;
    }
    CompnRecord fresh{};
    if (GetCompnLstFileRecord(path, flag, &fresh, error) != 1) return 0;

    CompnRecord* raw = nullptr;
    unsigned int count = 0;
    if (GetCompnListFromLstFile(list, &raw, &count, error) != 1) {
        if (*error != KALDORN_E_NO_FILE) return 0;  // no list yet: one holding just this record
        return DumpRecordsToCompnLstFile(list, nullptr, 0, 1, &fresh, error);
    }
    HeapPtr<CompnRecord> records(raw);
    unsigned int at = find_name(raw, count, fresh.szFileName);
    if (at == count) return DumpRecordsToCompnLstFile(list, raw, count, 1, &fresh, error);
    if (raw[at].dwFlag == fresh.dwFlag && std::memcmp(raw[at].uchMD5Digest, fresh.uchMD5Digest, 16) == 0) {
        *error = KALDORN_E_ALREADY_PRESENT;
        return 1;
    }
    raw[at] = fresh;
    return DumpRecordsToCompnLstFile(list, raw, count, 0, nullptr, error);
}

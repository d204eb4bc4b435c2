// Component list reader, release, the platform identifiers of the head, and
// the GEN_LIST instance over component records.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "compnlist/list_view.h"
#include "kaldorn/crc32.h"
#include "support/alloc.h"
#include "support/bytes.h"
#include "support/fileio.h"
#include "support/lists_impl.h"
#include "support/path.h"
#include "support/replace.h"

using namespace kaldorn::detail;

template KALDORN_EXPORT unsigned char AddToGenList<tagVX_COMPONENT_FILE_MEM_RECORD_INFO>(
    tagVX_COMPONENT_FILE_MEM_RECORD_INFO*, GEN_LIST<tagVX_COMPONENT_FILE_MEM_RECORD_INFO>**,
    GEN_LIST<tagVX_COMPONENT_FILE_MEM_RECORD_INFO>**);
template KALDORN_EXPORT unsigned char FreeGenList<tagVX_COMPONENT_FILE_MEM_RECORD_INFO>(
    GEN_LIST<tagVX_COMPONENT_FILE_MEM_RECORD_INFO>*);

namespace {

// Largest count whose array size, count * 300, fits 32 bits.
constexpr uint32_t kMaxRecords = 0xFFFFFFFFu / sizeof(CompnRecord);

// Opens an existing file; 0, or the code 8 (not there) / 7.
unsigned int open_existing(const char* path, FdGuard& fd, bool writable) {
    fd.reset(writable ? open_read_write(path) : open_read(path));
    if (fd.valid()) return 0;
    return open_failed_missing(AT_FDCWD, path, errno) ? KALDORN_E_NO_FILE : KALDORN_E_OPEN;
}

// The whole file in one heap block of at least the 80-byte head. Record
// offsets are 32-bit, so a larger file is refused whole (13), never cut; so
// is anything but a regular file.
unsigned int load_list_file(const char* path, HeapPtr<unsigned char>& bytes, size_t& size) {
    FdGuard fd;
    if (unsigned int code = open_existing(path, fd, false)) return code;
    int64_t length = regular_file_size(fd.get());
    if (length < 0 || length > int64_t{UINT32_MAX}) return KALDORN_E_READ;
    if (static_cast<uint64_t>(length) < kCompnHeadSize) return KALDORN_E_SHORT_HEAD;
    size = static_cast<size_t>(length);
    bytes.reset(static_cast<unsigned char*>(allocate(size)));
    if (!bytes) return KALDORN_E_NO_MEMORY;
    return read_full(fd.get(), bytes.get(), size) == size ? 0 : KALDORN_E_READ;
}

bool head_matches(const unsigned char* b) {
    return std::memcmp(b + kCompnMagicOffset, kCompnMagic, sizeof kCompnMagic) == 0 &&
           b[kCompnFormatOffset] == 1 && b[kCompnFormatOffset + 1] == 1 &&
           std::memcmp(b + kCompnMakerOffset, kCompnMaker, kCompnMakerSize) == 0;
}

// Sums the stored record area, decoding it in place; false on a mismatch.
bool checksum_and_decode(unsigned char* b, size_t size) {
    uint32_t sum = 0;
    for (size_t i = kCompnHeadSize; i < size; ++i) {
        sum += b[i];
        b[i] = rotate_loaded(b[i]);
    }
#ifdef KALDORN_FUZZ_SKIP_CHECKSUMS  // fuzz build only: reach the record decoder
    (void)sum;
    return true;
#else
    return sum == load_le32(b + kCompnChecksumOffset);
#endif
}

// Checks one decoded record at pos and moves past it; 18 when it reaches
// past the end, its name is not 1 to 260 bytes holding a NUL, or the name
// would reach outside the directory it is joined to.
unsigned int check_record(const unsigned char* b, size_t size, size_t& pos) {
    if (size - pos < kCompnFixedSize) return KALDORN_E_RECORD_PAST_END;
    size_t n = load_le32(b + pos + offsetof(CompnRecord, dwNameLength));
    const unsigned char* name = b + pos + kCompnFixedSize;
    if (n == 0 || n > KALDORN_MAX_PATH || size - pos - kCompnFixedSize < n) return KALDORN_E_RECORD_PAST_END;
    if (std::memchr(name, 0, n) == nullptr) return KALDORN_E_RECORD_PAST_END;
    if (!is_plain_name(reinterpret_cast<const char*>(name), n)) return KALDORN_E_RECORD_PAST_END;
    pos += kCompnFixedSize + n;
    return 0;
}

unsigned int index_records(ListView& view, size_t size, uint32_t count) {
    if (count > kMaxRecords) return KALDORN_E_NO_MEMORY;
    // Each record takes at least 41 stored bytes: refuse a count the file
    // cannot hold before allocating for it.
    if ((size - kCompnHeadSize) / (kCompnFixedSize + 1) < count) return KALDORN_E_RECORD_PAST_END;
    view.offsets.reset(static_cast<uint32_t*>(allocate_zeroed(count, sizeof(uint32_t))));
    if (!view.offsets) return KALDORN_E_NO_MEMORY;
    size_t pos = kCompnHeadSize;
    for (uint32_t i = 0; i < count; ++i) {
        view.offsets.get()[i] = static_cast<uint32_t>(pos);
        if (unsigned int code = check_record(view.bytes.get(), size, pos)) return code;
    }
    view.count = count;
    return 0;
}

unsigned int read_list(const char* path, HeapPtr<CompnRecord>& records, uint32_t& count) {
    ListView view;
    if (unsigned int code = load_list_view(path, view)) return code;
    count = view.count;
    if (count == 0) return 0;
    // Each record is written once, so the array is not cleared first.
    records.reset(static_cast<CompnRecord*>(allocate(size_t{count} * sizeof(CompnRecord))));
    if (!records) return KALDORN_E_NO_MEMORY;
    for (uint32_t i = 0; i < count; ++i) view.copy_out(i, records.get()[i]);
    return 0;
}

// Opens a list and reads its 76-byte header block.
unsigned int read_header_block(const char* path, FdGuard& fd, bool writable, unsigned char* block) {
    if (unsigned int code = open_existing(path, fd, writable)) return code;
    int64_t length = regular_file_size(fd.get());
    if (length >= 0 && static_cast<uint64_t>(length) < kCompnHeadSize) return KALDORN_E_SHORT_HEAD;
    return read_full(fd.get(), block, kCompnHeaderBlockSize) == kCompnHeaderBlockSize ? 0 : KALDORN_E_READ;
}

}  // namespace

unsigned int kaldorn::detail::load_list_view(const char* path, ListView& view) {
    size_t size = 0;
    if (unsigned int code = load_list_file(path, view.bytes, size)) return code;
    unsigned char* b = view.bytes.get();
    if (!head_matches(b) || !checksum_and_decode(b, size)) return KALDORN_E_BAD_HEAD;
    uint32_t count = load_le32(b + kCompnCountOffset);
    return count == 0 ? 0 : index_records(view, size, count);
}

int GetCompnListFromLstFile(const char* path, tagVX_COMPONENT_FILE_MEM_RECORD_INFO** records, unsigned int* count,
                            unsigned int* error) {
    if (path == nullptr || records == nullptr || count == nullptr || error == nullptr) return 0;
    *error = 0;
    HeapPtr<CompnRecord> array;
    uint32_t n = 0;
    if (unsigned int code = read_list(path, array, n)) {
        *error = code;
        return 0;
    }
    *records = array.release();
    *count = n;
    return 1;
}

int ReleaseCompnList(tagVX_COMPONENT_FILE_MEM_RECORD_INFO* records, unsigned int /*count*/, unsigned int* error) {
    if (records == nullptr || error == nullptr) return 0;
    std::free(records);
    *error = 0;
    return 1;
}

int GetCompnListFilePlatformId(const char* path, unsigned int* id1, unsigned int* id2, unsigned int* id3,
                               unsigned int* error) {
    if (path == nullptr || id1 == nullptr || id2 == nullptr || id3 == nullptr || error == nullptr) return 0;
    *error = 0;
    FdGuard fd;
    unsigned char block[kCompnHeaderBlockSize];
    if (unsigned int code = read_header_block(path, fd, false, block)) {
        *error = code;
        return 0;
    }
    *id1 = load_le32(block + kCompnPlatformOffset);
    *id2 = load_le32(block + kCompnPlatformOffset + 4);
    *id3 = load_le32(block + kCompnPlatformOffset + 8);
    return 1;
}

int SetCompnListFilePlatformId(const char* path, unsigned int id1, unsigned int id2, unsigned int id3,
                               unsigned int* error) {
    if (path == nullptr || error == nullptr) return 0;
    *error = 0;
    FdGuard fd;
    unsigned char block[kCompnHeaderBlockSize];
    unsigned int code = read_header_block(path, fd, true, block);
    if (code == 0) {
        store_le32(block + kCompnPlatformOffset, id1);
        store_le32(block + kCompnPlatformOffset + 4, id2);
        store_le32(block + kCompnPlatformOffset + 8, id3);
        // Through a copy that replaces the list once written, as every writer.
        FileReplacement change;
        int out = change.begin(path, fd.get());
        if (out < 0)
            code = KALDORN_E_WRITE;
        else if (!seek_to(out, 0))
            code = KALDORN_E_SEEK;
        else if (!write_full(out, block, sizeof block) || !change.commit())
            code = KALDORN_E_WRITE;
    }
    *error = code;
    return code == 0 ? 1 : 0;
}

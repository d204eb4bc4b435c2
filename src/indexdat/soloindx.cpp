// Readers of version index DATs and definition index DATs, and the exported
// checksum functions.
#include <cstdlib>
#include <cstring>

#include "indexdat/frame.h"
#include "kaldorn/soloindx.h"
#include "support/alloc.h"
#include "support/bytes.h"
#include "support/fileio.h"

using namespace kaldorn::detail;

int CalculateCheckSumFd(int fd, int start, unsigned int* out) {
    if (out == nullptr) return 0;
    *out = block_crc(fd, start);
    return 1;
}

unsigned int CalculateChecksum(int fd) {
    unsigned char block[64 * 1024];
    unsigned int sum = 0;
    int64_t offset = kIndexHeaderOffset;
    for (;;) {
        size_t got = pread_full(fd, block, sizeof block, offset);
        for (size_t i = 0; i < got; ++i) sum += static_cast<unsigned int>(static_cast<signed char>(block[i]));
        if (got < sizeof block) break;
        offset += static_cast<int64_t>(got);
    }
    return sum;
}

int GetUpdateVersionInfo(const char* path, tagUPDT_DAT_VERSION_INFO_MEM* info) {
    if (path == nullptr || info == nullptr) return 0;
    FdGuard fd(open_read(path));
    if (!fd.valid()) return 0;
    IndexFrame frame;
    if (!read_index_frame(fd.get(), frame)) return 0;
#ifndef KALDORN_FUZZ_SKIP_CHECKSUMS  // skipped in the fuzz build only, to reach the text decoder
    if (block_crc(fd.get(), frame.section_offset + 4) != frame.section_checksum) return 0;
#endif
    // A payload that cannot be in the file is refused before any allocation.
    int64_t size = file_size(fd.get());
    if (size < frame.payload_offset || size - frame.payload_offset < frame.payload_size) return 0;

    auto* text = static_cast<unsigned char*>(allocate(static_cast<size_t>(frame.payload_size) + 1));
    if (text == nullptr) return 0;
    if (pread_full(fd.get(), text, frame.payload_size, frame.payload_offset) != frame.payload_size) {
        std::free(text);
        return 0;
    }
    text[frame.payload_size] = '\0';
    info->stFirstVersion = frame.first_version;
    info->stDbVersion = frame.db_version;
    info->stBuffer.pData = text;
    info->stBuffer.dwSize = frame.payload_size;
    return 1;
}

int ReleaseUpdateVersionInfo(tagUPDT_DAT_VERSION_INFO_MEM* info) {
    if (info == nullptr || info->stBuffer.pData == nullptr) return 0;
    std::free(info->stBuffer.pData);
    info->stBuffer.pData = nullptr;
    info->stBuffer.dwSize = 0;
    return 0;
}

bool kaldorn::detail::read_definition_header(const char* path, tagSOLO_DAT_HEADER_INFO& header, bool* missing) {
    FdGuard fd;
    IndexFrame frame;
    tagSOLO_DAT_HEADER_INFO read{};
    if (!open_definition_file(path, false, fd, frame, read, missing) || !solo_checksum_ok(fd.get(), frame, read))
        return false;
    header = read;
    return true;
}

bool kaldorn::detail::read_definitions(const char* path, tagSOLO_DEF_MEM_RECORD_INFO*& records, unsigned int& count,
                                       bool* missing) {
    FdGuard fd;
    IndexFrame frame;
    tagSOLO_DAT_HEADER_INFO header{};
    if (!open_definition_file(path, false, fd, frame, header, missing)) return false;
    if (header.dwRecordCount == 0) {
        records = nullptr;
        count = 0;
        return true;
    }
    if (!solo_checksum_ok(fd.get(), frame, header)) return false;
    // Every stored record takes at least 36 bytes: a count the file cannot
    // hold is refused before allocating for it.
    int64_t room = file_size(fd.get()) - first_record_offset(frame);
    if (room < 0 || static_cast<uint64_t>(room) / (kRecordFixedSize + 1) < header.dwRecordCount) return false;

    // read_record writes every byte of a slot; the count is bounded by the
    // file size above, so the product cannot overflow.
    HeapPtr<tagSOLO_DEF_MEM_RECORD_INFO> array(static_cast<tagSOLO_DEF_MEM_RECORD_INFO*>(
        allocate(sizeof(tagSOLO_DEF_MEM_RECORD_INFO) * header.dwRecordCount)));
    if (!array) return false;
    BufferedReader in(fd.get(), first_record_offset(frame));
    for (unsigned int i = 0; i < header.dwRecordCount; ++i)
        if (!read_record(in, array.get()[i])) return false;
    records = array.release();
    count = header.dwRecordCount;
    return true;
}

int GetSoloIndexDatHeader(const char* path, tagSOLO_DAT_HEADER_INFO* header, unsigned int* error) {
    if (path == nullptr || header == nullptr || error == nullptr) return 0;
    *error = 0;
    return read_definition_header(path, *header, nullptr) ? 1 : 0;
}

int GetDefListFromDatFile(const char* path, tagSOLO_DEF_MEM_RECORD_INFO** records, unsigned int* count,
                          unsigned int* error) {
    if (path == nullptr || records == nullptr || count == nullptr || error == nullptr) return 0;
    *error = 0;
    return read_definitions(path, *records, *count, nullptr) ? 1 : 0;
}

int ReleaseDefList(tagSOLO_DEF_MEM_RECORD_INFO* records, unsigned int /*count*/, unsigned int* error) {
    if (records == nullptr || error == nullptr) return 0;
    *error = 0;
    std::free(records);
    return 1;
}

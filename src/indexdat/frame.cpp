// Index DAT frame reading and the two checksum rules. Everything is read with
// positioned reads, so callers' file positions never move.
#include "indexdat/frame.h"

#include <cstring>

#include "kaldorn/crc32.h"
#include "support/bytes.h"
#include "support/fileio.h"

namespace kaldorn::detail {

bool read_index_frame(int fd, IndexFrame& frame) {
    unsigned char head[20];
    if (pread_full(fd, head, sizeof head, kIndexHeaderOffset) != sizeof head) return false;
    IndexFrame f;
    f.product_id = load_le32(head);
    f.revision = load_le32(head + 4);
    f.entry_count = load_le32(head + 8);
    f.section_offset = kEntryTableOffset + kEntrySize * static_cast<int64_t>(f.entry_count);

    unsigned char section[kSectionHeaderSize];
    if (pread_full(fd, section, sizeof section, f.section_offset) != sizeof section) return false;
    f.section_checksum = load_le32(section);
    f.first_version = {load_le32(section + 4), load_le32(section + 8)};
    f.db_version = {load_le32(section + 12), load_le32(section + 16)};
    f.payload_size = load_le32(section + 20);
    f.payload_offset = f.section_offset + kSectionHeaderSize;
    frame = f;
    return true;
}

bool read_solo_header(int fd, const IndexFrame& frame, tagSOLO_DAT_HEADER_INFO& header) {
    unsigned char raw[kSoloHeaderSize];
    if (pread_full(fd, raw, sizeof raw, frame.payload_offset) != sizeof raw) return false;
    unsigned int fields[9];
    for (int i = 0; i < 9; ++i) fields[i] = load_le32(raw + 4 * i);
    static_assert(sizeof fields == sizeof header);
    std::memcpy(&header, fields, sizeof header);
    return true;
}

uint32_t block_crc(int fd, int64_t start) {
    int64_t size = file_size(fd);
    if (start < 0 || size < 0 || start >= size) return 0;
    // Only the last block counts: each block's CRC restarts, and only the
    // last one survives.
    int64_t last = start + ((size - start - 1) / 1024) * 1024;
    unsigned char block[1024];
    size_t got = pread_full(fd, block, static_cast<size_t>(size - last), last);
    if (got == 0) return 0;
    CVXCrc32 crc;
    unsigned int reg = 0;
    crc.GetBuffCrc32(block, static_cast<int>(got), &reg);
    return ~reg;
}

}  // namespace kaldorn::detail

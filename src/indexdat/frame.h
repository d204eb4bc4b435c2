// The index DAT frame shared by every reader and writer: index header, entry
// table, section header and, for definition files, the solo header.
#pragma once

#include <cstdint>

#include "kaldorn/soloindx.h"

namespace kaldorn::detail {

inline constexpr uint32_t kIndexMagic = 0xDBDF;
inline constexpr int64_t kIndexHeaderOffset = 8;
inline constexpr int64_t kEntryTableOffset = 28;
inline constexpr int64_t kEntrySize = 16;
inline constexpr int64_t kSectionHeaderSize = 32;
inline constexpr int64_t kSoloHeaderSize = 36;
inline constexpr int64_t kRecordFixedSize = 35;

struct IndexFrame {
    uint32_t product_id = 0;
    uint32_t revision = 0;
    uint32_t entry_count = 0;
    int64_t section_offset = 0;  // 28 + 16N: the section checksum
    uint32_t section_checksum = 0;
    tagKAL_DORN_DBVERSION_INFO first_version{};
    tagKAL_DORN_DBVERSION_INFO db_version{};
    uint32_t payload_size = 0;
    int64_t payload_offset = 0;  // P = 60 + 16N
};

// Reads the index and section headers; false on a short file.
bool read_index_frame(int fd, IndexFrame& frame);

// Reads the 36-byte solo header at the frame's payload offset.
bool read_solo_header(int fd, const IndexFrame& frame, tagSOLO_DAT_HEADER_INFO& header);

// The block CRC rule over [start, end of file); see CalculateCheckSumFd.
uint32_t block_crc(int fd, int64_t start);

// Definition records start right after the solo header.
inline int64_t first_record_offset(const IndexFrame& frame) { return frame.payload_offset + kSoloHeaderSize; }

}  // namespace kaldorn::detail

// The index DAT frame shared by every reader and writer: index header, entry
// table, section header and, for definition files, the solo header.
#pragma once

#include <cstdint>

#include "kaldorn/soloindx.h"
#include "support/fileio.h"

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

// Opens a definition index DAT (read-only, or for reading and writing) and
// reads its frame and solo header; false on an open failure or short file.
// When given, missing tells whether the open failed because nothing is there.
bool open_definition_file(const char* path, bool writable, FdGuard& fd, IndexFrame& frame,
                          tagSOLO_DAT_HEADER_INFO& header, bool* missing = nullptr);

// The readers behind GetSoloIndexDatHeader and GetDefListFromDatFile, which
// also tell (when missing is given) whether a failure was a file not there.
bool read_definition_header(const char* path, tagSOLO_DAT_HEADER_INFO& header, bool* missing);
bool read_definitions(const char* path, tagSOLO_DEF_MEM_RECORD_INFO*& records, unsigned int& count, bool* missing);

// True when the solo header's checksum matches the block CRC from P + 4.
bool solo_checksum_ok(int fd, const IndexFrame& frame, const tagSOLO_DAT_HEADER_INFO& header);

// Reads and decodes one stored record: the rotated 35-byte fixed part, then
// its name (forced NUL-terminated, the rest of szDefName zeroed). False on a
// short file, a name length outside 1..260, or a name that is not a plain
// file name (see is_plain_name).
bool read_record(BufferedReader& in, tagSOLO_DEF_MEM_RECORD_INFO& rec);

// Reads the first `count` stored records in file order, handing each with
// its offset to `stop`, until `stop` returns true. Returns the offset just
// past the last record read, or -1 when one does not read.
template <typename Stop>
int64_t walk_records(int fd, const IndexFrame& frame, unsigned int count, Stop stop) {
    BufferedReader in(fd, first_record_offset(frame));
    int64_t offset = first_record_offset(frame);
    tagSOLO_DEF_MEM_RECORD_INFO rec;
    for (unsigned int i = 0; i < count; ++i) {
        if (!read_record(in, rec)) return -1;
        int64_t at = offset;
        offset += kRecordFixedSize + rec.dwNameLength;
        if (stop(rec, at)) break;
    }
    return offset;
}

// Offset just past the last of `count` stored records, or -1 when one does
// not read.
inline int64_t records_end(int fd, const IndexFrame& frame, unsigned int count) {
    return walk_records(fd, frame, count, [](const tagSOLO_DEF_MEM_RECORD_INFO&, int64_t) { return false; });
}

// The 36 solo header bytes as stored.
void encode_solo_header(const tagSOLO_DAT_HEADER_INFO& header, unsigned char out[kSoloHeaderSize]);

// Writes the solo header, then its checksum over the region from P + 4 as it
// now stands (records and the header fields after the checksum). Writers
// call it once every record change is on disk.
bool seal_solo_header(int fd, const IndexFrame& frame, tagSOLO_DAT_HEADER_INFO& header);

// Recomputes the byte sum and writes the lead block (magic, byte sum) at 0.
// Always the last write: the sum covers everything from offset 8, the solo
// checksum included.
bool write_lead_block(int fd);

}  // namespace kaldorn::detail

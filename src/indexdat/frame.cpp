// Index DAT frame reading and the two checksum rules. Everything is read with
// positioned reads, so callers' file positions never move.
#include "indexdat/frame.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>

#include "kaldorn/crc32.h"
#include "kaldorn/base.h"
#include "support/bytes.h"
#include "support/fileio.h"
#include "support/path.h"

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

bool open_definition_file(const char* path, bool writable, FdGuard& fd, IndexFrame& frame,
                          tagSOLO_DAT_HEADER_INFO& header, bool* missing) {
    fd.reset(writable ? open_read_write(path) : open_read(path));
    if (missing != nullptr) *missing = !fd.valid() && open_failed_missing(AT_FDCWD, path, errno);
    return fd.valid() && read_index_frame(fd.get(), frame) && read_solo_header(fd.get(), frame, header);
}

bool solo_checksum_ok(int fd, const IndexFrame& frame, const tagSOLO_DAT_HEADER_INFO& header) {
#ifdef KALDORN_FUZZ_SKIP_CHECKSUMS  // fuzz build only: reach the record decoders
    (void)fd, (void)frame, (void)header;
    return true;
#else
    return block_crc(fd, frame.payload_offset + 4) == header.dwChecksum;
#endif
}

bool read_record(BufferedReader& in, tagSOLO_DEF_MEM_RECORD_INFO& rec) {
    unsigned char fixed[kRecordFixedSize];
    if (!in.read_exact(fixed, sizeof fixed)) return false;
    decode_rotated(fixed, sizeof fixed);
    std::memcpy(&rec, fixed, sizeof fixed);
    auto length = static_cast<int>(rec.dwNameLength);
    if (length < 1 || length > KALDORN_MAX_PATH) return false;
    auto* name = reinterpret_cast<unsigned char*>(rec.szDefName);
    if (!in.read_exact(name, static_cast<size_t>(length))) return false;
    decode_rotated(name, static_cast<size_t>(length));
    name[length - 1] = '\0';
    if (!is_plain_name(rec.szDefName, static_cast<size_t>(length))) return false;
    // The rest of the name field is zero, so that arrays need no zeroing pass.
    std::memset(name + length, 0, sizeof rec.szDefName - static_cast<size_t>(length));
    return true;
}

void encode_solo_header(const tagSOLO_DAT_HEADER_INFO& header, unsigned char out[kSoloHeaderSize]) {
    unsigned int fields[9];
    static_assert(sizeof fields == sizeof header);
    std::memcpy(fields, &header, sizeof fields);
    for (int i = 0; i < 9; ++i) store_le32(out + 4 * i, fields[i]);
}

bool seal_solo_header(int fd, const IndexFrame& frame, tagSOLO_DAT_HEADER_INFO& header) {
    unsigned char raw[kSoloHeaderSize];
    encode_solo_header(header, raw);
    if (!pwrite_full(fd, raw, sizeof raw, frame.payload_offset)) return false;
    header.dwChecksum = block_crc(fd, frame.payload_offset + 4);
    encode_solo_header(header, raw);
    return pwrite_full(fd, raw, sizeof raw, frame.payload_offset);
}

bool write_lead_block(int fd) {
    unsigned char lead[8];
    store_le32(lead, kIndexMagic);
    store_le32(lead + 4, CalculateChecksum(fd));
    return pwrite_full(fd, lead, sizeof lead, 0);
}

}  // namespace kaldorn::detail

// Maintenance of definition index DATs: stamping the current definition and
// rewriting one record. Both verify the solo checksum before the first write,
// so a damaged file is refused untouched, and both write through a copy that
// replaces the file only when complete (in place where no copy can be made).
#include <cstring>

#include "indexdat/frame.h"
#include "kaldorn/soloindx.h"
#include "support/bytes.h"
#include "support/fileio.h"
#include "support/replace.h"

using namespace kaldorn::detail;

namespace {

// Opens for reading and writing and verifies the solo checksum and that every
// record reads: a file holding a name that reaches outside its directory is
// refused untouched, as the readers refuse it.
bool open_for_update(const char* path, FdGuard& fd, IndexFrame& frame, tagSOLO_DAT_HEADER_INFO& header) {
    return open_definition_file(path, true, fd, frame, header) && solo_checksum_ok(fd.get(), frame, header) &&
           records_end(fd.get(), frame, header.dwRecordCount) >= 0;
}

bool write_le32_at(int fd, int64_t offset, uint32_t value) {
    unsigned char raw[4];
    store_le32(raw, value);
    return pwrite_full(fd, raw, sizeof raw, offset);
}

// The section header's payload size and the index header's revision; the
// section checksum of a definition file is not maintained.
bool restamp_frame(int fd, const IndexFrame& frame, int64_t length) {
    constexpr int64_t kPayloadSizeField = 20;
    constexpr int64_t kRevisionField = 12;
    return write_le32_at(fd, frame.section_offset + kPayloadSizeField,
                         static_cast<uint32_t>(length - frame.payload_offset)) &&
           write_le32_at(fd, kRevisionField, frame.revision + 1);
}

// Finds the first record with the id; its offset goes to `at`.
bool find_record(int fd, const IndexFrame& frame, unsigned int count, unsigned int id, int64_t& at,
                 tagSOLO_DEF_MEM_RECORD_INFO& rec) {
    bool found = false;
    walk_records(fd, frame, count, [&](const tagSOLO_DEF_MEM_RECORD_INFO& r, int64_t offset) {
        if (r.dwDefId != id) return false;
        rec = r;
        at = offset;
        return found = true;
    });
    return found;
}

}  // namespace

int UpdateSoloIndexDatFile(const char* path, unsigned int defId, unsigned int* error) {
    if (path == nullptr || error == nullptr) return 0;
    *error = 0;
    FdGuard fd;
    IndexFrame frame;
    tagSOLO_DAT_HEADER_INFO header{};
    if (!open_for_update(path, fd, frame, header)) return 0;
    // Lengths are signed 32-bit in this format.
    int64_t length = file_size(fd.get());
    if (length < frame.payload_offset || length > INT32_MAX) return 0;

    FileReplacement change;
    int out = change.begin(path, fd.get());
    header.dwDatVersion = 1;
    header.dwCurrentDefId = defId;
    header.dwFileLength = static_cast<uint32_t>(length);
    return out >= 0 && seal_solo_header(out, frame, header) && restamp_frame(out, frame, length) &&
                   write_lead_block(out) && change.commit()
               ? 1
               : 0;
}

int ModifyDefEntryFromDatFile(const char* path, unsigned int defId, const tagVXDEFDATE* date, unsigned int defData,
                              unsigned int defStatus, unsigned int* error) {
    if (path == nullptr || date == nullptr || error == nullptr) return 0;
    *error = 0;
    FdGuard fd;
    IndexFrame frame;
    tagSOLO_DAT_HEADER_INFO header{};
    if (!open_for_update(path, fd, frame, header)) return 0;
    int64_t at = 0;
    tagSOLO_DEF_MEM_RECORD_INFO rec{};
    if (!find_record(fd.get(), frame, header.dwRecordCount, defId, at, rec)) return 0;

    rec.stDefDate = *date;
    rec.dwDefData = defData;
    rec.dwDefStatus = defStatus;
    unsigned char fixed[kRecordFixedSize];
    std::memcpy(fixed, &rec, sizeof fixed);
    encode_rotated(fixed, sizeof fixed);
    FileReplacement change;
    int out = change.begin(path, fd.get());
    return out >= 0 && pwrite_full(out, fixed, sizeof fixed, at) && seal_solo_header(out, frame, header) &&
                   write_lead_block(out) && change.commit()
               ? 1
               : 0;
}

// Diff and lookup of definition records, and the one operation that creates
// definition index DATs and appends records to them.
#include <cstring>

#include "indexdat/defselect.h"
#include "indexdat/frame.h"
#include "kaldorn/soloindx.h"
#include "support/bytes.h"
#include "support/fileio.h"
#include "support/path.h"
#include "support/replace.h"

using namespace kaldorn::detail;

namespace {

bool same_name(const char* a, const char* b) { return same_name_folded(a, b, KALDORN_MAX_PATH); }

// Frame and solo header of a new file: no entries, both version pairs 1, 1,
// everything else 0 but the product identifier (P = 60).
bool write_initial_content(int fd, unsigned int productId) {
    unsigned char raw[kEntryTableOffset + kSectionHeaderSize + kSoloHeaderSize] = {};
    store_le32(raw, kIndexMagic);
    store_le32(raw + kIndexHeaderOffset, productId);
    unsigned char* section = raw + kEntryTableOffset;
    for (int i = 1; i <= 4; ++i) store_le32(section + 4 * i, 1);
    store_le32(raw + kEntryTableOffset + kSectionHeaderSize + 8, productId);
    return pwrite_full(fd, raw, sizeof raw, 0);
}

// Writes an active record with the next id at the end of the file, then the
// solo header, its checksum and the lead block. The records must end where
// the file ends: a record written behind other bytes would never be read
// back (the reader would take those bytes for it), so such a file is refused.
bool append_record(int fd, const char* name, unsigned int& newId) {
    IndexFrame frame;
    tagSOLO_DAT_HEADER_INFO header{};
    if (!read_index_frame(fd, frame) || !read_solo_header(fd, frame, header)) return false;
    int64_t end = file_size(fd);
    if (end < 0 || records_end(fd, frame, header.dwRecordCount) != end) return false;

    tagSOLO_DEF_MEM_RECORD_INFO rec{};
    rec.dwDefId = header.dwLastDefId + 1;
    rec.dwDefStatus = 1;
    rec.dwNameLength = static_cast<unsigned int>(std::strlen(name) + 1);
    std::memcpy(rec.szDefName, name, rec.dwNameLength);
    size_t stored = static_cast<size_t>(kRecordFixedSize) + rec.dwNameLength;
    auto* bytes = reinterpret_cast<unsigned char*>(&rec);
    encode_rotated(bytes, stored);
    if (!pwrite_full(fd, bytes, stored, end)) return false;

    header.dwRecordCount += 1;
    header.dwLastDefId += 1;
    if (!seal_solo_header(fd, frame, header) || !write_lead_block(fd)) return false;
    newId = header.dwLastDefId;
    return true;
}

// Looks the name up in the file's records: 1 found, 0 absent, -1 unreadable.
int find_in_file(unsigned int productId, const char* path, const char* name, char* fileName, unsigned int size,
                 unsigned int* defId) {
    DefArray records;
    bool missing = false;
    if (!records.read(path, &missing)) return missing ? 0 : -1;
    if (records.count == 0) return 0;
    unsigned int error = 0;
    if (GetDefEntryFromDatList(productId, records.records, records.count, name, fileName, size, defId, &error) == 1)
        return 1;
    return error == KALDORN_E_NAME_NOT_FOUND ? 0 : -1;
}

}  // namespace

int GenerateDiffforDatFiles(const char* oldPath, const char* newPath, tagSOLO_DEF_MEM_RECORD_INFO** records,
                            unsigned int* count, unsigned int* error) {
    if (oldPath == nullptr || newPath == nullptr || records == nullptr || count == nullptr || error == nullptr)
        return 0;
    *error = 0;
    DefArray older, newer;
    DefIdIndex index;
    if (!older.read(oldPath) || !newer.read(newPath) || !index.build(older.records, older.count)) return 0;

    DefSelection selection;
    bool consistent = walk_active(newer, index, [&](const DefRecord& rec, const DefRecord* old) {
        if (old == nullptr) return selection.add(rec);
        if (!same_name(rec.szDefName, old->szDefName)) return false;  // one id, two names
        return !dates_differ(rec, *old) || selection.add(rec);
    });
    if (!consistent) return 0;
    DefRecord* out = selection.to_array();
    if (out == nullptr && selection.count != 0) return 0;
    *records = out;
    *count = selection.count;
    return 1;
}

int GetDefEntryFromDatList(unsigned int productId, tagSOLO_DEF_MEM_RECORD_INFO* records, unsigned int count,
                           const char* name, char* fileName, unsigned int /*fileNameSize*/, unsigned int* defId,
                           unsigned int* error) {
    if (records == nullptr || name == nullptr || fileName == nullptr || defId == nullptr || error == nullptr)
        return 0;
    *error = 0;
    for (unsigned int i = 0; i < count; ++i) {
        if (!same_name(records[i].szDefName, name)) continue;
        *defId = records[i].dwDefId;
        format_definition_file_name(fileName, productId, records[i].dwDefId);
        return 1;
    }
    *error = KALDORN_E_NAME_NOT_FOUND;
    return 0;
}

int GetDefEntryFromDatFile(unsigned int productId, const char* path, const char* name, int append, char* fileName,
                           unsigned int fileNameSize, unsigned int* defId, unsigned int* error) {
    if (path == nullptr || name == nullptr || fileName == nullptr || defId == nullptr || error == nullptr) return 0;
    *error = 0;
    // A stored name holds at most 260 bytes with its NUL, and names one file.
    if (::strnlen(name, KALDORN_MAX_PATH) >= KALDORN_MAX_PATH || !is_plain_name(name, KALDORN_MAX_PATH)) return 0;
    int found = find_in_file(productId, path, name, fileName, fileNameSize, defId);
    if (found != 0) return found == 1 ? 1 : 0;
    if (append == 0) return 0;

    // An existing file is changed through a copy; a new one is written under
    // a hidden name and appears complete or not at all.
    FdGuard original(open_read_write(path));
    FileReplacement change;
    int out = original.valid() ? change.begin(path, original.get()) : change.begin_new(path);
    if (out < 0 || (!original.valid() && !write_initial_content(out, productId))) return 0;
    unsigned int newId = 0;
    if (!append_record(out, name, newId) || !change.commit()) return 0;
    *defId = newId;
    format_definition_file_name(fileName, productId, newId);
    return 1;
}

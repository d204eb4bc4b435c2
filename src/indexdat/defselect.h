// Shared mechanics of the definition comparisons: owned record arrays, the
// GEN_LIST of selected records, and an index of the older file's records by
// definition id, so that a comparison costs one pass over each file.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "kaldorn/soloindx.h"

namespace kaldorn::detail {

using DefRecord = tagSOLO_DEF_MEM_RECORD_INFO;
using DefGenList = GEN_LIST<tagSOLO_DEF_MEM_RECORD_INFO>;

// A record array from GetDefListFromDatFile, freed unless released.
struct DefArray {
    DefRecord* records = nullptr;
    unsigned int count = 0;
    DefArray() = default;
    DefArray(const DefArray&) = delete;
    DefArray& operator=(const DefArray&) = delete;
    ~DefArray() { std::free(records); }
    // False when the file does not read; missing (when given) then tells
    // whether nothing is there.
    bool read(const char* path, bool* missing = nullptr);
    DefRecord* release() {
        DefRecord* r = records;
        records = nullptr;
        return r;
    }
};

// Selected records, in selection order; freed with the guard.
struct DefSelection {
    DefGenList* head = nullptr;
    DefGenList* tail = nullptr;
    unsigned int count = 0;
    DefSelection() = default;
    DefSelection(const DefSelection&) = delete;
    DefSelection& operator=(const DefSelection&) = delete;
    ~DefSelection() { FreeGenList(head); }
    bool add(const DefRecord& rec);
    // One zeroed heap array of the selected records in list order, or null
    // when the selection is empty or memory is exhausted.
    DefRecord* to_array() const;
};

// Maps a definition id to the first record that carries it.
class DefIdIndex {
public:
    DefIdIndex() = default;
    DefIdIndex(const DefIdIndex&) = delete;
    DefIdIndex& operator=(const DefIdIndex&) = delete;
    ~DefIdIndex() { std::free(slots_); }
    // False when memory is exhausted. An empty array needs no memory.
    bool build(const DefRecord* records, unsigned int count);
    const DefRecord* find(uint32_t id) const;

private:
    // The id sits beside the position so that probing never touches records.
    struct Slot {
        uint32_t id;
        uint32_t position;  // record index + 1; 0 marks a free slot
    };
    // Ids that span less than the table (the usual 1..dwLastDefId) take the
    // slot of their offset from the smallest, so that a walk in id order
    // walks the table in order; others take a multiplicative hash.
    size_t home(uint32_t id) const {
        return dense_ ? static_cast<size_t>(id - base_) : static_cast<size_t>((id * 0x9E3779B1u) >> shift_);
    }
    void choose_placement(const uint32_t* ids, unsigned int count);
    void insert(uint32_t id, unsigned int index);
    const DefRecord* records_ = nullptr;
    Slot* slots_ = nullptr;
    size_t mask_ = 0;
    unsigned int shift_ = 32;
    bool dense_ = false;
    uint32_t base_ = 0;
};

// Two records count as changed when their 7 date bytes differ in any way.
bool dates_differ(const DefRecord& a, const DefRecord& b);

// Calls visit(newRecord, firstOldRecordWithItsIdOrNull) for every active
// record of the newer array, in order; stops and returns false as soon as
// visit does.
template <typename Visit>
bool walk_active(const DefArray& newer, const DefIdIndex& older, Visit visit) {
    for (unsigned int i = 0; i < newer.count; ++i) {
        const DefRecord& rec = newer.records[i];
        if (rec.dwDefStatus != 1) continue;
        if (!visit(rec, older.find(rec.dwDefId))) return false;
    }
    return true;
}

// "%08x_%08x.dat" of a product and definition id into out (22 bytes or more).
void format_definition_file_name(char* out, unsigned int productId, unsigned int defId);

}  // namespace kaldorn::detail

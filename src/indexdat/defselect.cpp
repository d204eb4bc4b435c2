// Owned record arrays, the selection list and the definition id index.
#include "indexdat/defselect.h"

#include <cstdio>
#include <cstring>

#include "indexdat/frame.h"
#include "support/alloc.h"
#include "support/lists_impl.h"

template KALDORN_EXPORT unsigned char AddToGenList<tagSOLO_DEF_MEM_RECORD_INFO>(
    tagSOLO_DEF_MEM_RECORD_INFO*, GEN_LIST<tagSOLO_DEF_MEM_RECORD_INFO>**, GEN_LIST<tagSOLO_DEF_MEM_RECORD_INFO>**);
template KALDORN_EXPORT unsigned char FreeGenList<tagSOLO_DEF_MEM_RECORD_INFO>(
    GEN_LIST<tagSOLO_DEF_MEM_RECORD_INFO>*);

namespace kaldorn::detail {

bool DefArray::read(const char* path, bool* missing) { return read_definitions(path, records, count, missing); }

bool DefSelection::add(const DefRecord& rec) {
    DefRecord copy = rec;
    if (AddToGenList(&copy, &head, &tail) != 1) return false;
    ++count;
    return true;
}

DefRecord* DefSelection::to_array() const {
    if (count == 0) return nullptr;
    auto* out = static_cast<DefRecord*>(allocate_zeroed(count, sizeof(DefRecord)));
    if (out == nullptr) return nullptr;
    size_t i = 0;
    for (const DefGenList* node = head; node != nullptr; node = node->pNext) out[i++] = node->stData;
    return out;
}

bool DefIdIndex::build(const DefRecord* records, unsigned int count) {
    records_ = records;
    if (count == 0) return true;
    // A power of two at least twice the count keeps probe runs short.
    size_t capacity = 2;
    shift_ = 31;
    while (capacity < 2 * static_cast<size_t>(count)) {
        capacity *= 2;
        --shift_;
    }
    mask_ = capacity - 1;
    slots_ = static_cast<Slot*>(allocate_zeroed(capacity, sizeof(Slot)));
    // The records are 295 bytes apart: their ids are gathered in one pass.
    auto* ids = static_cast<uint32_t*>(allocate_zeroed(count, sizeof(uint32_t)));
    bool ok = slots_ != nullptr && ids != nullptr;
    if (ok) {
        for (unsigned int i = 0; i < count; ++i) ids[i] = records[i].dwDefId;
        choose_placement(ids, count);
        for (unsigned int i = 0; i < count; ++i) insert(ids[i], i);
    }
    std::free(ids);
    return ok;
}

void DefIdIndex::choose_placement(const uint32_t* ids, unsigned int count) {
    uint32_t low = ids[0], high = ids[0];
    for (unsigned int i = 1; i < count; ++i) {
        low = ids[i] < low ? ids[i] : low;
        high = ids[i] > high ? ids[i] : high;
    }
    dense_ = high - low <= mask_;
    base_ = low;
}

void DefIdIndex::insert(uint32_t id, unsigned int index) {
    size_t s = home(id);
    while (slots_[s].position != 0 && slots_[s].id != id) s = (s + 1) & mask_;
    if (slots_[s].position == 0) slots_[s] = {id, index + 1};  // a later duplicate keeps the first
}

const DefRecord* DefIdIndex::find(uint32_t id) const {
    if (slots_ == nullptr) return nullptr;
    if (dense_ && id - base_ > mask_) return nullptr;  // outside the span: absent
    for (size_t s = home(id); slots_[s].position != 0; s = (s + 1) & mask_)
        if (slots_[s].id == id) return &records_[slots_[s].position - 1];
    return nullptr;
}

bool dates_differ(const DefRecord& a, const DefRecord& b) {
    return std::memcmp(&a.stDefDate, &b.stDefDate, sizeof a.stDefDate) != 0;
}

void format_definition_file_name(char* out, unsigned int productId, unsigned int defId) {
    std::snprintf(out, 22, "%08x_%08x.dat", productId, defId);
}

}  // namespace kaldorn::detail

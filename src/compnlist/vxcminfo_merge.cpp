// Merge and diff of an older and a newer component list. Each is linear: the
// older (diff) or newer (merge) records go into a hash set once, and every
// record of the other list is looked up in it.
#include <unistd.h>

#include <cstring>

#include "compnlist/format.h"
#include "compnlist/record_set.h"
#include "support/alloc.h"

using namespace kaldorn::detail;

namespace {

struct LoadedList {
    HeapPtr<CompnRecord> records;
    unsigned int count = 0;
};

// Reads both lists; a missing older file counts as empty.
unsigned int load_pair(const char* older, const char* newer, LoadedList& old_list, LoadedList& new_list) {
    unsigned int code = 0;
    CompnRecord* raw = nullptr;
    if (::access(older, F_OK) == 0) {
        if (GetCompnListFromLstFile(older, &raw, &old_list.count, &code) != 1) return code;
        old_list.records.reset(raw);
    }
    raw = nullptr;
    if (GetCompnListFromLstFile(newer, &raw, &new_list.count, &code) != 1) return code;
    new_list.records.reset(raw);
    return 0;
}

// One array holding `first` records of a, then the records of b marked in
// keep; a null array for an empty result.
unsigned int gather(const LoadedList& a, uint32_t first, const LoadedList& b, const bool* keep, uint32_t kept,
                    HeapPtr<CompnRecord>& out) {
    size_t total = size_t{first} + kept;
    if (total == 0) return 0;
    out.reset(static_cast<CompnRecord*>(allocate_zeroed(total, sizeof(CompnRecord))));
    if (!out) return KALDORN_E_NO_MEMORY;
    if (first != 0) std::memcpy(out.get(), a.records.get(), size_t{first} * sizeof(CompnRecord));
    CompnRecord* next = out.get() + first;
    for (uint32_t i = 0; i < b.count; ++i)
        if (keep[i]) *next++ = b.records.get()[i];
    return 0;
}

// Marks the records of `probe` whose key `set` lacks; false without memory.
template <typename Key>
bool mark_absent(const LoadedList& in_set, const LoadedList& probe, HeapPtr<bool>& keep, uint32_t& kept) {
    RecordSet<Key> set;
    keep.reset(static_cast<bool*>(allocate_zeroed(probe.count, sizeof(bool))));
    if (!keep || !set.build(in_set.records.get(), in_set.count)) return false;
    kept = 0;
    for (uint32_t i = 0; i < probe.count; ++i) {
        keep.get()[i] = !set.contains(probe.records.get()[i]);
        kept += keep.get()[i] ? 1u : 0u;
    }
    return true;
}

unsigned int merge_lists(const char* older, const char* newer, HeapPtr<CompnRecord>& out, uint32_t& count) {
    LoadedList old_list, new_list;
    if (unsigned int code = load_pair(older, newer, old_list, new_list)) return code;
    HeapPtr<bool> keep;
    uint32_t kept = 0;
    if (!mark_absent<SameName>(new_list, old_list, keep, kept)) return KALDORN_E_NO_MEMORY;
    for (uint32_t i = 0; i < old_list.count; ++i) old_list.records.get()[i].dwFlag = 0;
    if (unsigned int code = gather(new_list, new_list.count, old_list, keep.get(), kept, out)) return code;
    count = new_list.count + kept;
    return 0;
}

unsigned int diff_lists(const char* older, const char* newer, HeapPtr<CompnRecord>& out, uint32_t& count) {
    LoadedList old_list, new_list;
    if (unsigned int code = load_pair(older, newer, old_list, new_list)) return code;
    HeapPtr<bool> keep;
    uint32_t kept = 0;
    if (!mark_absent<SameEntry>(old_list, new_list, keep, kept)) return KALDORN_E_NO_MEMORY;
    if (unsigned int code = gather(old_list, 0, new_list, keep.get(), kept, out)) return code;
    count = kept;
    return 0;
}

using ListOperation = unsigned int (*)(const char*, const char*, HeapPtr<CompnRecord>&, uint32_t&);

int hand_out(ListOperation op, const char* older, const char* newer, CompnRecord** records, unsigned int* count,
             unsigned int* error) {
    if (older == nullptr || newer == nullptr || records == nullptr || count == nullptr || error == nullptr) return 0;
    *error = 0;
    HeapPtr<CompnRecord> out;
    uint32_t n = 0;
    if (unsigned int code = op(older, newer, out, n)) {
        *error = code;
        return 0;
    }
    *records = out.release();
    *count = n;
    return 1;
}

}  // namespace

int GenerateMergforCompnLstFiles(const char* older, const char* newer, tagVX_COMPONENT_FILE_MEM_RECORD_INFO** records,
                                 unsigned int* count, unsigned int* error) {
    return hand_out(merge_lists, older, newer, records, count, error);
}

int GenerateDiffforCompnLstFiles(const char* older, const char* newer, tagVX_COMPONENT_FILE_MEM_RECORD_INFO** records,
                                 unsigned int* count, unsigned int* error) {
    return hand_out(diff_lists, older, newer, records, count, error);
}

int MergeCompnLstFilesEx(const char* older, const char* newer, const char* output, unsigned int* count,
                         unsigned int* error) {
    if (older == nullptr || newer == nullptr || output == nullptr || count == nullptr || error == nullptr) return 0;
    *error = 0;
    HeapPtr<CompnRecord> merged;
    uint32_t n = 0;
    if (unsigned int code = merge_lists(older, newer, merged, n)) {
        *error = code;
        return 0;
    }
    // Both inputs are in memory now, so output may name either of them.
    if (DumpRecordsToCompnLstFile(output, merged.get(), n, 0, nullptr, error) != 1) return 0;
    *count = n;
    return 1;
}

// Merge and diff of an older and a newer component list. Each is linear: the
// older (diff) or newer (merge) records go into a hash set once, and every
// record of the other list is looked up in it.
#include <cstring>
#include <type_traits>

#include "compnlist/list_view.h"
#include "compnlist/record_set.h"
#include "support/alloc.h"

using namespace kaldorn::detail;

namespace {

// Reads both lists; a missing older file counts as empty.
unsigned int load_pair(const char* older, const char* newer, ListView& old_list, ListView& new_list) {
    unsigned int code = load_list_view(older, old_list);
    if (code != 0 && code != KALDORN_E_NO_FILE) return code;
    return load_list_view(newer, new_list);
}

// Marks the records of `probe` whose key `in_set` lacks; false without memory.
template <typename Key>
bool mark_absent(const ListView& in_set, const ListView& probe, HeapPtr<bool>& keep, uint32_t& kept) {
    RecordSet<Key> set;
    keep.reset(static_cast<bool*>(allocate_zeroed(probe.count, sizeof(bool))));
    if (!keep || !set.build(in_set)) return false;
    kept = 0;
    set.probe_all(probe, [&](uint32_t i, bool present) {
        keep.get()[i] = !present;
        kept += present ? 0u : 1u;
    });
    return true;
}

// One array: every record of `all`, then the records of `some` marked in
// keep, with flag_of_some as their dwFlag when given; null when empty.
unsigned int gather(const ListView& all, const ListView& some, const bool* keep, uint32_t kept,
                    const uint32_t* flag_of_some, HeapPtr<CompnRecord>& out) {
    size_t total = size_t{all.count} + kept;
    if (total == 0) return 0;
    out.reset(static_cast<CompnRecord*>(allocate(total * sizeof(CompnRecord))));  // every byte is copied in
    if (!out) return KALDORN_E_NO_MEMORY;
    CompnRecord* next = out.get();
    for (uint32_t i = 0; i < all.count; ++i) all.copy_out(i, *next++);
    for (uint32_t i = 0; i < some.count; ++i) {
        if (!keep[i]) continue;
        some.copy_out(i, *next);
        if (flag_of_some != nullptr) next->dwFlag = *flag_of_some;
        ++next;
    }
    return 0;
}

// The merge keeps every newer record and the older records whose name no
// newer record has (dwFlag 0); the diff keeps the newer records that no
// older record matches in name, digest, dwFlag and dwTag.
template <bool kMerge>
unsigned int compare_lists(const char* older, const char* newer, HeapPtr<CompnRecord>& out, uint32_t& count) {
    using Key = std::conditional_t<kMerge, SameName, SameEntry>;
    ListView old_list, new_list, none;
    if (unsigned int code = load_pair(older, newer, old_list, new_list)) return code;
    const ListView& in_set = kMerge ? new_list : old_list;
    const ListView& probe = kMerge ? old_list : new_list;
    HeapPtr<bool> keep;
    uint32_t kept = 0;
    if (!mark_absent<Key>(in_set, probe, keep, kept)) return KALDORN_E_NO_MEMORY;
    const uint32_t old_only_flag = 0;
    const ListView& all = kMerge ? new_list : none;
    if (unsigned int code = gather(all, probe, keep.get(), kept, kMerge ? &old_only_flag : nullptr, out)) return code;
    count = all.count + kept;
    return 0;
}

constexpr auto merge_lists = compare_lists<true>;
constexpr auto diff_lists = compare_lists<false>;

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

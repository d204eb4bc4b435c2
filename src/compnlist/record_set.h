// A hash set over the records of one list, so that merge and diff look a
// newer record up among the older ones in constant expected time. Names are
// compared ignoring ASCII letter case (see same_name_folded).
#pragma once

#include <cstdint>
#include <cstring>

#include "compnlist/list_view.h"
#include "support/alloc.h"
#include "support/path.h"

namespace kaldorn::detail {

// Records are the same when their names are equal ignoring case.
struct SameName {
    static uint64_t hash(const ListView& v, uint32_t i) { return fold_name_hash(v.name(i)); }
    static bool equal(const ListView& a, uint32_t i, const ListView& b, uint32_t j) {
        return same_name_folded(a.name(i), b.name(j));
    }
};

// The diff's identity: name ignoring case, digest, dwFlag and dwTag.
struct SameEntry {
    static uint64_t hash(const ListView& v, uint32_t i) {
        uint64_t d[2];
        std::memcpy(d, v.digest(i), sizeof d);
        uint64_t h = (fold_name_hash(v.name(i)) ^ d[0]) * 0x9E3779B97F4A7C15ull;
        h = (h ^ d[1] ^ (uint64_t{v.flag(i)} << 32 | v.tag(i))) * 0x9E3779B97F4A7C15ull;
        return h ^ (h >> 29);
    }
    static bool equal(const ListView& a, uint32_t i, const ListView& b, uint32_t j) {
        return a.flag(i) == b.flag(j) && a.tag(i) == b.tag(j) && std::memcmp(a.digest(i), b.digest(j), 16) == 0 &&
               same_name_folded(a.name(i), b.name(j));
    }
};

// Open addressing with linear probing over the records of one list; one
// slot per distinct key.
template <typename Key>
class RecordSet {
public:
    // False when the table cannot be allocated.
    bool build(const ListView& list) {
        list_ = &list;
        size_t capacity = 16;
        while (capacity < size_t{list.count} * 2) capacity *= 2;
        slots_.reset(static_cast<Slot*>(allocate_zeroed(capacity, sizeof(Slot))));
        if (!slots_) return false;
        mask_ = capacity - 1;
        in_batches(list, [&](uint32_t i, uint64_t h) {
            Slot& s = slot_for(list, i, h);
            if (s.index_plus_one == 0) s = Slot{i + 1, static_cast<uint32_t>(h)};
        });
        return true;
    }

    // Calls found(j, present) for every record j of another list, in order,
    // with whether a record of the set has the same key.
    template <typename Found>
    void probe_all(const ListView& other, Found found) const {
        in_batches(other, [&](uint32_t j, uint64_t h) { found(j, slot_for(other, j, h).index_plus_one != 0); });
    }

private:
    struct Slot {
        uint32_t index_plus_one;  // 0: empty
        uint32_t hash;            // low bits of the key hash, to skip most comparisons
    };

    // Hashes a batch of records and prefetches their first slots before
    // visiting them, so that the table's cache misses overlap.
    template <typename Visit>
    void in_batches(const ListView& v, Visit visit) const {
        constexpr uint32_t kBatch = 16;
        uint64_t hashes[kBatch];
        for (uint32_t base = 0; base < v.count; base += kBatch) {
            uint32_t n = v.count - base < kBatch ? v.count - base : kBatch;
            for (uint32_t k = 0; k < n; ++k) {
                hashes[k] = Key::hash(v, base + k);
                __builtin_prefetch(&slots_.get()[static_cast<size_t>(hashes[k] >> 7) & mask_]);
            }
            for (uint32_t k = 0; k < n; ++k) visit(base + k, hashes[k]);
        }
    }

    // The slot holding the key of record j of `other`, or the empty slot
    // where it would go.
    Slot& slot_for(const ListView& other, uint32_t j, uint64_t h) const {
        for (size_t at = static_cast<size_t>(h >> 7) & mask_;; at = (at + 1) & mask_) {
            Slot& s = slots_.get()[at];
            if (s.index_plus_one == 0) return s;
            if (s.hash == static_cast<uint32_t>(h) && Key::equal(*list_, s.index_plus_one - 1, other, j)) return s;
        }
    }

    const ListView* list_ = nullptr;
    HeapPtr<Slot> slots_;
    size_t mask_ = 0;
};

}  // namespace kaldorn::detail

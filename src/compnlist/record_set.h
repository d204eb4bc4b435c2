// A hash set over the records of one list, so that merge and diff look a
// newer record up among the older ones in constant expected time. Names are
// compared as strcasecmp does in the C locale (ASCII letters fold).
#pragma once

#include <strings.h>

#include <cstdint>
#include <cstring>

#include "compnlist/format.h"
#include "support/alloc.h"

namespace kaldorn::detail {

inline uint64_t fold_name_hash(const char* name) {
    uint64_t h = 0xcbf29ce484222325ull;  // FNV-1a over the lower-cased bytes
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p != 0; ++p) {
        unsigned char c = *p >= 'A' && *p <= 'Z' ? static_cast<unsigned char>(*p + 32) : *p;
        h = (h ^ c) * 0x100000001b3ull;
    }
    return h;
}

// Records are the same when their names are equal ignoring case.
struct SameName {
    static uint64_t hash(const CompnRecord& r) { return fold_name_hash(r.szFileName); }
    static bool equal(const CompnRecord& a, const CompnRecord& b) {
        return ::strcasecmp(a.szFileName, b.szFileName) == 0;
    }
};

// The diff's identity: name ignoring case, digest, dwFlag and dwTag.
struct SameEntry {
    static uint64_t hash(const CompnRecord& r) {
        uint64_t h = fold_name_hash(r.szFileName);
        uint64_t d[2];
        std::memcpy(d, r.uchMD5Digest, sizeof d);
        h = (h ^ d[0]) * 0x9E3779B97F4A7C15ull;
        h = (h ^ d[1] ^ (uint64_t{r.dwFlag} << 32 | r.dwTag)) * 0x9E3779B97F4A7C15ull;
        return h ^ (h >> 29);
    }
    static bool equal(const CompnRecord& a, const CompnRecord& b) {
        return a.dwFlag == b.dwFlag && a.dwTag == b.dwTag &&
               std::memcmp(a.uchMD5Digest, b.uchMD5Digest, sizeof a.uchMD5Digest) == 0 &&
               ::strcasecmp(a.szFileName, b.szFileName) == 0;
    }
};

// Open addressing with linear probing; one slot per distinct key.
template <typename Key>
class RecordSet {
public:
    // False when the table cannot be allocated.
    bool build(const CompnRecord* records, uint32_t count) {
        records_ = records;
        size_t capacity = 16;
        while (capacity < size_t{count} * 2) capacity *= 2;
        slots_.reset(static_cast<Slot*>(allocate_zeroed(capacity, sizeof(Slot))));
        if (!slots_) return false;
        mask_ = capacity - 1;
        for (uint32_t i = 0; i < count; ++i) insert(i);
        return true;
    }

    bool contains(const CompnRecord& r) const { return *find(r, Key::hash(r)) != 0; }

private:
    struct Slot {
        uint32_t index_plus_one;  // 0: empty
        uint32_t hash;            // low bits of the key hash, to skip most comparisons
    };

    void insert(uint32_t i) {
        uint64_t h = Key::hash(records_[i]);
        Slot* s = const_cast<Slot*>(slot_for(records_[i], h));
        if (s->index_plus_one == 0) *s = Slot{i + 1, static_cast<uint32_t>(h)};
    }

    // The slot holding r's key, or the empty slot where it would go.
    const Slot* slot_for(const CompnRecord& r, uint64_t h) const {
        for (size_t at = static_cast<size_t>(h >> 7) & mask_;; at = (at + 1) & mask_) {
            const Slot& s = slots_.get()[at];
            if (s.index_plus_one == 0) return &s;
            if (s.hash == static_cast<uint32_t>(h) && Key::equal(records_[s.index_plus_one - 1], r)) return &s;
        }
    }
    const uint32_t* find(const CompnRecord& r, uint64_t h) const { return &slot_for(r, h)->index_plus_one; }

    const CompnRecord* records_ = nullptr;
    HeapPtr<Slot> slots_;
    size_t mask_ = 0;
};

}  // namespace kaldorn::detail

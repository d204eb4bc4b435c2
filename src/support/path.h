// Bounded string copy and path joining for the fixed 260-byte path buffers,
// the rule for names that come from files, and how names compare without
// regard to letter case.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kaldorn::detail {

// A name read from a file, or handed over to be written into one, names a
// single file in the directory it is joined to: up to its first NUL (or cap
// bytes) it holds no "/" and no byte below 0x20, and it is neither "." nor
// "..". Bytes of 0x80 and above are 8-bit text and pass; so does the empty
// name, which names no file. Header-only, so the tool applies the same rule.
inline bool is_plain_name(const char* name, size_t cap) {
    size_t n = 0;
    for (; n < cap && name[n] != '\0'; ++n)
        if (name[n] == '/' || static_cast<unsigned char>(name[n]) < 0x20) return false;
    if (n == 1 && name[0] == '.') return false;
    return !(n == 2 && name[0] == '.' && name[1] == '.');
}

// Names compare without regard to case by folding the ASCII letters A to Z
// alone, whatever the process's locale: bytes of 0x80 and above are 8-bit
// text of no known character set and compare as they are. Header-only, so
// that every comparison, and the hash that goes with it, is this one.
inline unsigned char fold_ascii(unsigned char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

// Equal ignoring ASCII case, up to the first NUL or cap bytes.
inline bool same_name_folded(const char* a, const char* b, size_t cap = SIZE_MAX) {
    for (size_t i = 0; i < cap; ++i) {
        unsigned char x = fold_ascii(static_cast<unsigned char>(a[i]));
        if (x != fold_ascii(static_cast<unsigned char>(b[i]))) return false;
        if (x == 0) return true;
    }
    return true;
}

// A 64-bit hash on which names equal ignoring ASCII case agree: FNV-1a over
// the folded bytes, then a final mix, since FNV leaves names that differ
// only near their end close in the low bits.
inline uint64_t fold_name_hash(const char* name) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (const auto* p = reinterpret_cast<const unsigned char*>(name); *p != 0; ++p)
        h = (h ^ fold_ascii(*p)) * 0x100000001b3ull;
    h = (h ^ (h >> 33)) * 0xff51afd7ed558ccdull;
    h = (h ^ (h >> 33)) * 0xc4ceb9fe1a85ec53ull;
    return h ^ (h >> 33);
}

// Copies src (with its NUL) into dst of cap bytes; false, with dst left
// holding an empty string, when it does not fit.
bool copy_bounded(char* dst, size_t cap, const char* src);

// dst = dir + "/" + name, the "/" added only when dir does not already end in
// one. False (dst an empty string) when the result and its NUL need more than
// cap bytes.
bool join_path(char* dst, size_t cap, const char* dir, const char* name);

}  // namespace kaldorn::detail

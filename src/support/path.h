// Bounded string copy and path joining for the fixed 260-byte path buffers,
// and the rule for names that come from files.
#pragma once

#include <cstddef>

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

// Copies src (with its NUL) into dst of cap bytes; false, with dst left
// holding an empty string, when it does not fit.
bool copy_bounded(char* dst, size_t cap, const char* src);

// dst = dir + "/" + name, the "/" added only when dir does not already end in
// one. False (dst an empty string) when the result and its NUL need more than
// cap bytes.
bool join_path(char* dst, size_t cap, const char* dir, const char* name);

}  // namespace kaldorn::detail

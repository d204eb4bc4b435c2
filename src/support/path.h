// Bounded string copy and path joining for the fixed 260-byte path buffers.
#pragma once

#include <cstddef>

namespace kaldorn::detail {

// Copies src (with its NUL) into dst of cap bytes; false, with dst left
// holding an empty string, when it does not fit.
bool copy_bounded(char* dst, size_t cap, const char* src);

// dst = dir + "/" + name, the "/" added only when dir does not already end in
// one. False (dst an empty string) when the result and its NUL need more than
// cap bytes.
bool join_path(char* dst, size_t cap, const char* dir, const char* name);

}  // namespace kaldorn::detail

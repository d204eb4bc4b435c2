// Heap settings shared by the benchmarks that hand out large record arrays.
#pragma once

#include <malloc.h>

namespace bench {

// Keeps freed blocks in the heap for reuse. Left adaptive, glibc's mmap
// threshold rises after the first large free, so that the arrays of the
// smaller sizes get recycled heap while those of 100,000 records (above its
// 32 MiB cap) get fresh pages on every call: the sizes would not be
// measured alike.
inline void measure_all_sizes_alike() {
    static const bool set = mallopt(M_MMAP_THRESHOLD, 512 << 20) == 1 && mallopt(M_TRIM_THRESHOLD, 1 << 30) == 1;
    (void)set;
}

}  // namespace bench

// Processor features that choose the vector paths of the checksums. They
// come from the record the compiler's runtime fills once when the library is
// loaded, so asking costs a load and keeps no state of ours.
#pragma once

namespace kaldorn::detail {

inline bool cpu_has_clmul() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
}

// 256-bit integer vectors; the runtime counts a feature only when the
// operating system saves its registers.
inline bool cpu_has_avx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

inline bool cpu_has_avx512() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f");
}

// Carry-less multiplication on 256- and 512-bit vectors.
inline bool cpu_has_vpclmul() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("vpclmulqdq");
}

}  // namespace kaldorn::detail

// Processor features that choose the vector paths of the checksums. They
// come from the record the compiler's runtime fills once when the library is
// loaded, so asking costs a load and keeps no state of ours.
#pragma once

// The x86-64 vector paths are compiled unless the build asks for the portable
// paths alone (KALDORN_PORTABLE) or targets another processor; without them
// every feature below reads as absent and the dispatch takes the portable path.
#if defined(__x86_64__) && !defined(KALDORN_PORTABLE)
#define KALDORN_X86_VECTORS 1
#else
#define KALDORN_X86_VECTORS 0
#endif

namespace kaldorn::detail {

#if KALDORN_X86_VECTORS
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
#else
inline bool cpu_has_clmul() { return false; }
inline bool cpu_has_avx2() { return false; }
inline bool cpu_has_avx512() { return false; }
inline bool cpu_has_vpclmul() { return false; }
#endif

}  // namespace kaldorn::detail

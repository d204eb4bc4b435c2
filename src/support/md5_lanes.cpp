// Multi-buffer MD5 compression. The vector paths bring word k of every
// lane's block into one register (8 lanes gather it, 16 lanes transpose
// their blocks), so each lane may read from anywhere in the buffer; the steps
// are those of the scalar transform.
#include "support/md5_lanes.h"

#include "kaldorn/md5lib.h"
#include "support/bytes.h"
#include "support/cpu.h"
#include "support/md5_steps.h"

#if KALDORN_X86_VECTORS
#include <immintrin.h>
#endif

namespace kaldorn::detail {

namespace {

// Lane l alone, through the scalar transform.
void update1(Md5Lanes& lanes, unsigned l, const unsigned char* base, const uint32_t* offset, const uint32_t* step,
             size_t blocks) {
    CMd5 md5;
    unsigned int state[4] = {lanes.v[0][l], lanes.v[1][l], lanes.v[2][l], lanes.v[3][l]};
    unsigned int words[16];
    for (const unsigned char* p = base + offset[l]; blocks > 0; --blocks, p += step[l]) {
        for (int k = 0; k < 16; ++k) words[k] = load_le32(p + 4 * k);
        md5.CMd5::TransformMD5(words, state);
    }
    for (int w = 0; w < 4; ++w) lanes.v[w][l] = state[w];
}

#if KALDORN_X86_VECTORS
#define KALDORN_AVX2 __attribute__((target("avx2")))
#define KALDORN_AVX512 __attribute__((target("avx512f,avx2")))

// 256-bit vectors: rotations are two shifts and an OR; G is split as in the
// scalar transform so that (c & ~d) does not wait for b.
#define V8_ADD(x, y) _mm256_add_epi32((x), (y))
#define V8_F(b, c, d) _mm256_xor_si256((d), _mm256_and_si256((b), _mm256_xor_si256((c), (d))))
#define V8_G(b, c, d) _mm256_or_si256(_mm256_and_si256((b), (d)), _mm256_andnot_si256((d), (c)))
#define V8_H(b, c, d) _mm256_xor_si256(_mm256_xor_si256((b), (c)), (d))
#define V8_I(b, c, d) _mm256_xor_si256((c), _mm256_or_si256((b), _mm256_xor_si256((d), ones)))
#define V8_STEP(round, a, b, c, d, k, t, s)                                                                 \
    a = V8_ADD(V8_ADD(a, V8_ADD(x[k], _mm256_set1_epi32(static_cast<int>(t)))), V8_##round(b, c, d));      \
    a = V8_ADD(b, _mm256_or_si256(_mm256_slli_epi32(a, s), _mm256_srli_epi32(a, 32 - (s))));

KALDORN_AVX2 void update8(Md5Lanes& lanes, const unsigned char* base, const uint32_t* offset, const uint32_t* step,
                          size_t blocks) {
    __m256i* v = reinterpret_cast<__m256i*>(lanes.v);  // two vectors per word: lanes 0-7 first
    __m256i a = _mm256_load_si256(v), b = _mm256_load_si256(v + 2), c = _mm256_load_si256(v + 4);
    __m256i d = _mm256_load_si256(v + 6);
    __m256i at = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(offset));
    const __m256i next = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(step));
    const __m256i ones = _mm256_set1_epi32(-1);
    for (; blocks > 0; --blocks, at = V8_ADD(at, next)) {
        __m256i x[16];
#pragma GCC unroll 16
        for (int k = 0; k < 16; ++k)
            x[k] = _mm256_i32gather_epi32(reinterpret_cast<const int*>(base + 4 * k), at, 1);
        const __m256i a0 = a, b0 = b, c0 = c, d0 = d;
        KALDORN_MD5_STEPS(V8_STEP)
        a = V8_ADD(a, a0), b = V8_ADD(b, b0), c = V8_ADD(c, c0), d = V8_ADD(d, d0);
    }
    _mm256_store_si256(v, a), _mm256_store_si256(v + 2, b), _mm256_store_si256(v + 4, c);
    _mm256_store_si256(v + 6, d);
}

// 512-bit vectors: each round function is one three-input logic operation
// (the immediate is its truth table over b, c, d) and rotation is one
// instruction. The masked forms, with every lane selected, are the plain
// ones; they keep the compiler from reading an undefined vector.
constexpr __mmask16 kAll = 0xFFFF;
#define V16_ADD(x, y) _mm512_add_epi32((x), (y))
#define V16_F(b, c, d) _mm512_ternarylogic_epi32((b), (c), (d), 0xCA)
#define V16_G(b, c, d) _mm512_ternarylogic_epi32((b), (c), (d), 0xE4)
#define V16_H(b, c, d) _mm512_ternarylogic_epi32((b), (c), (d), 0x96)
#define V16_I(b, c, d) _mm512_ternarylogic_epi32((b), (c), (d), 0x39)
#define V16_STEP(round, a, b, c, d, k, t, s)                                                           \
    a = V16_ADD(V16_ADD(a, V16_ADD(x[k], _mm512_set1_epi32(static_cast<int>(t)))), V16_##round(b, c, d)); \
    a = V16_ADD(b, _mm512_maskz_rol_epi32(kAll, a, s));

// Word k of every lane's block in x[k]: the lanes' 64-byte rows transposed
// as a 16 x 16 matrix of words, first within 128-bit quarters, then across.
#define V16_LO32(a, b) _mm512_maskz_unpacklo_epi32(kAll, (a), (b))
#define V16_HI32(a, b) _mm512_maskz_unpackhi_epi32(kAll, (a), (b))
#define V16_LO64(a, b) _mm512_maskz_unpacklo_epi64(0xFF, (a), (b))
#define V16_HI64(a, b) _mm512_maskz_unpackhi_epi64(0xFF, (a), (b))
#define V16_QUARTERS(a, b, imm) _mm512_maskz_shuffle_i32x4(kAll, (a), (b), (imm))

KALDORN_AVX512 inline void transpose16(__m512i* x, const unsigned char* const* row) {
    __m512i t[16], u[16];
#pragma GCC unroll 16
    for (int i = 0; i < 16; i += 2) {
        __m512i a = _mm512_loadu_si512(row[i]), b = _mm512_loadu_si512(row[i + 1]);
        t[i] = V16_LO32(a, b), t[i + 1] = V16_HI32(a, b);
    }
#pragma GCC unroll 16
    for (int g = 0; g < 16; g += 4) {  // u[g + m]: words 4q + m of rows g..g+3 in quarter q
        u[g] = V16_LO64(t[g], t[g + 2]), u[g + 1] = V16_HI64(t[g], t[g + 2]);
        u[g + 2] = V16_LO64(t[g + 1], t[g + 3]), u[g + 3] = V16_HI64(t[g + 1], t[g + 3]);
    }
#pragma GCC unroll 16
    for (int m = 0; m < 4; ++m) {
        __m512i s0 = V16_QUARTERS(u[m], u[4 + m], 0x44), s1 = V16_QUARTERS(u[m], u[4 + m], 0xEE);
        __m512i s2 = V16_QUARTERS(u[8 + m], u[12 + m], 0x44), s3 = V16_QUARTERS(u[8 + m], u[12 + m], 0xEE);
        x[m] = V16_QUARTERS(s0, s2, 0x88), x[4 + m] = V16_QUARTERS(s0, s2, 0xDD);
        x[8 + m] = V16_QUARTERS(s1, s3, 0x88), x[12 + m] = V16_QUARTERS(s1, s3, 0xDD);
    }
}

KALDORN_AVX512 void update16(Md5Lanes& lanes, const unsigned char* base, const uint32_t* offset,
                             const uint32_t* step, size_t blocks) {
    __m512i a = _mm512_load_si512(lanes.v[0]), b = _mm512_load_si512(lanes.v[1]);
    __m512i c = _mm512_load_si512(lanes.v[2]), d = _mm512_load_si512(lanes.v[3]);
    const unsigned char* row[16];
    for (int l = 0; l < 16; ++l) row[l] = base + offset[l];
    for (; blocks > 0; --blocks) {
        __m512i x[16];
        transpose16(x, row);
#pragma GCC unroll 16
        for (int l = 0; l < 16; ++l) row[l] += step[l];
        const __m512i a0 = a, b0 = b, c0 = c, d0 = d;
        KALDORN_MD5_STEPS(V16_STEP)
        a = V16_ADD(a, a0), b = V16_ADD(b, b0), c = V16_ADD(c, c0), d = V16_ADD(d, d0);
    }
    _mm512_store_si512(lanes.v[0], a), _mm512_store_si512(lanes.v[1], b);
    _mm512_store_si512(lanes.v[2], c), _mm512_store_si512(lanes.v[3], d);
}
#endif  // KALDORN_X86_VECTORS

}  // namespace

bool md5_path_runs(Md5Path path) {
    switch (path) {
        case Md5Path::one: return true;
        case Md5Path::eight: return cpu_has_avx2();
        case Md5Path::sixteen: return cpu_has_avx2() && cpu_has_avx512();
    }
    return false;
}

Md5Path best_md5_path() {
    if (md5_path_runs(Md5Path::sixteen)) return Md5Path::sixteen;
    return md5_path_runs(Md5Path::eight) ? Md5Path::eight : Md5Path::one;
}

void md5_lanes_update(Md5Path path, Md5Lanes& lanes, const unsigned char* base, const uint32_t* offset,
                      const uint32_t* step, size_t blocks) {
#if KALDORN_X86_VECTORS
    if (path == Md5Path::sixteen) return update16(lanes, base, offset, step, blocks);
    if (path == Md5Path::eight) return update8(lanes, base, offset, step, blocks);
#endif
    // The one-lane path, and every path of a build without the vector code: lane by lane.
    for (unsigned l = 0; l < static_cast<unsigned>(path); ++l) update1(lanes, l, base, offset, step, blocks);
}

}  // namespace kaldorn::detail

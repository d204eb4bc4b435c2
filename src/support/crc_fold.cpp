// CRC-32 register update. Long inputs are folded with carry-less
// multiplication: four vectors of 128, 256 or 512 bits advance together over
// the input, are folded into one 128-bit value, and that value and the tail
// go through the byte table, starting from a zero register (the incoming
// register is XORed into the first four message bytes instead). The value is
// identical to the byte-at-a-time loop for every input and every path.
#include "support/crc_fold.h"

#include "support/cpu.h"

#if KALDORN_X86_VECTORS
#include <immintrin.h>
#endif

namespace kaldorn::detail {

namespace {

inline uint32_t table_update(const uint32_t* table, uint32_t reg, const unsigned char* p, size_t len) {
    for (size_t i = 0; i < len; ++i) reg = table[(reg ^ p[i]) & 0xFFu] ^ (reg >> 8);
    return reg;
}

#if KALDORN_X86_VECTORS
// Folding constants for a distance of d bits: x^(d+32) and x^(d-32) mod P,
// bit-reflected and shifted left by one as reflected folding needs them. The
// first multiplies the lower (earlier) 64 bits of a 128-bit lane, the second
// the upper.
struct FoldKey {
    long long low, high;
};
constexpr FoldKey kFold128 = {0x1751997d0LL, 0x0ccaa009eLL};
constexpr FoldKey kFold256 = {0x0f1da05aaLL, 0x15a546366LL};
constexpr FoldKey kFold384 = {0x03db1ecdcLL, 0x174359406LL};
constexpr FoldKey kFold512 = {0x154442bd4LL, 0x1c6e41596LL};
constexpr FoldKey kFold1024 = {0x1e88ef372LL, 0x14a7fe880LL};
constexpr FoldKey kFold2048 = {0x11542778aLL, 0x1322d1430LL};

#define KALDORN_CLMUL128 __attribute__((target("pclmul,sse4.1")))
#define KALDORN_CLMUL256 __attribute__((target("avx2,vpclmulqdq,pclmul,sse4.1")))
#define KALDORN_CLMUL512 __attribute__((target("avx512f,vpclmulqdq,avx2,pclmul,sse4.1")))

KALDORN_CLMUL128 inline __m128i key128(FoldKey k) { return _mm_set_epi64x(k.high, k.low); }
KALDORN_CLMUL128 inline __m128i load128(const unsigned char* q) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
}
KALDORN_CLMUL128 inline __m128i fold128(__m128i x, __m128i k) {
    return _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11));
}

// Folds the remaining whole 16-byte blocks into x, then finishes the folded
// value and the last bytes through the table.
KALDORN_CLMUL128 uint32_t finish128(const uint32_t* table, __m128i x, const unsigned char* p, size_t len) {
    const __m128i k = key128(kFold128);
    for (; len >= 16; p += 16, len -= 16) x = _mm_xor_si128(fold128(x, k), load128(p));
    alignas(16) unsigned char rest[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(rest), x);
    return table_update(table, table_update(table, 0, rest, sizeof rest), p, len);
}

// len >= 64.
KALDORN_CLMUL128 uint32_t clmul128_update(const uint32_t* table, uint32_t reg, const unsigned char* p, size_t len) {
    const __m128i k4 = key128(kFold512), k1 = key128(kFold128);
    __m128i x0 = _mm_xor_si128(load128(p), _mm_cvtsi32_si128(static_cast<int>(reg)));
    __m128i x1 = load128(p + 16), x2 = load128(p + 32), x3 = load128(p + 48);
    for (p += 64, len -= 64; len >= 64; p += 64, len -= 64) {
        x0 = _mm_xor_si128(fold128(x0, k4), load128(p));
        x1 = _mm_xor_si128(fold128(x1, k4), load128(p + 16));
        x2 = _mm_xor_si128(fold128(x2, k4), load128(p + 32));
        x3 = _mm_xor_si128(fold128(x3, k4), load128(p + 48));
    }
    x0 = _mm_xor_si128(fold128(x0, k1), x1);
    x0 = _mm_xor_si128(fold128(x0, k1), x2);
    x0 = _mm_xor_si128(fold128(x0, k1), x3);
    return finish128(table, x0, p, len);
}

KALDORN_CLMUL256 inline __m256i key256(FoldKey k) { return _mm256_set_epi64x(k.high, k.low, k.high, k.low); }
KALDORN_CLMUL256 inline __m256i load256(const unsigned char* q) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q));
}
KALDORN_CLMUL256 inline __m256i fold256(__m256i x, __m256i k, __m256i data) {
    __m256i low = _mm256_clmulepi64_epi128(x, k, 0x00), high = _mm256_clmulepi64_epi128(x, k, 0x11);
    return _mm256_xor_si256(_mm256_xor_si256(low, high), data);
}

// len >= 128.
KALDORN_CLMUL256 uint32_t clmul256_update(const uint32_t* table, uint32_t reg, const unsigned char* p, size_t len) {
    const __m256i k4 = key256(kFold1024), k1 = key256(kFold256);
    __m256i x0 = _mm256_xor_si256(load256(p), _mm256_zextsi128_si256(_mm_cvtsi32_si128(static_cast<int>(reg))));
    __m256i x1 = load256(p + 32), x2 = load256(p + 64), x3 = load256(p + 96);
    for (p += 128, len -= 128; len >= 128; p += 128, len -= 128) {
        x0 = fold256(x0, k4, load256(p));
        x1 = fold256(x1, k4, load256(p + 32));
        x2 = fold256(x2, k4, load256(p + 64));
        x3 = fold256(x3, k4, load256(p + 96));
    }
    x0 = fold256(fold256(fold256(x0, k1, x1), k1, x2), k1, x3);
    for (; len >= 32; p += 32, len -= 32) x0 = fold256(x0, k1, load256(p));
    __m128i x = _mm_xor_si128(fold128(_mm256_castsi256_si128(x0), key128(kFold128)), _mm256_extracti128_si256(x0, 1));
    return finish128(table, x, p, len);
}

KALDORN_CLMUL512 inline __m512i key512(FoldKey k) {
    return _mm512_set_epi64(k.high, k.low, k.high, k.low, k.high, k.low, k.high, k.low);
}
KALDORN_CLMUL512 inline __m512i load512(const unsigned char* q) { return _mm512_loadu_si512(q); }
KALDORN_CLMUL512 inline __m512i fold512(__m512i x, __m512i k, __m512i data) {
    return _mm512_ternarylogic_epi64(_mm512_clmulepi64_epi128(x, k, 0x00), _mm512_clmulepi64_epi128(x, k, 0x11),
                                     data, 0x96);  // three-way XOR
}

// len >= 256.
KALDORN_CLMUL512 uint32_t clmul512_update(const uint32_t* table, uint32_t reg, const unsigned char* p, size_t len) {
    const __m512i k4 = key512(kFold2048), k1 = key512(kFold512);
    __m512i x0 = _mm512_xor_si512(load512(p), _mm512_zextsi128_si512(_mm_cvtsi32_si128(static_cast<int>(reg))));
    __m512i x1 = load512(p + 64), x2 = load512(p + 128), x3 = load512(p + 192);
    for (p += 256, len -= 256; len >= 256; p += 256, len -= 256) {
        x0 = fold512(x0, k4, load512(p));
        x1 = fold512(x1, k4, load512(p + 64));
        x2 = fold512(x2, k4, load512(p + 128));
        x3 = fold512(x3, k4, load512(p + 192));
    }
    x0 = fold512(fold512(fold512(x0, k1, x1), k1, x2), k1, x3);
    for (; len >= 64; p += 64, len -= 64) x0 = fold512(x0, k1, load512(p));
    // The four 128-bit lanes, folded by 384, 256, 128 and 0 bits onto the last.
    const __m512i lanes = _mm512_set_epi64(0, 0, kFold128.high, kFold128.low, kFold256.high, kFold256.low,
                                           kFold384.high, kFold384.low);
    alignas(64) __m128i t[4];
    _mm512_store_si512(t, fold512(x0, lanes, _mm512_maskz_mov_epi64(0xC0, x0)));
    return finish128(table, _mm_xor_si128(_mm_xor_si128(t[0], t[1]), _mm_xor_si128(t[2], t[3])), p, len);
}
#endif  // KALDORN_X86_VECTORS

}  // namespace

bool crc_path_runs(CrcPath path) {
    switch (path) {
        case CrcPath::table: return true;
        case CrcPath::clmul128: return cpu_has_clmul();
        case CrcPath::clmul256: return cpu_has_clmul() && cpu_has_avx2() && cpu_has_vpclmul();
        case CrcPath::clmul512: return cpu_has_clmul() && cpu_has_avx2() && cpu_has_avx512() && cpu_has_vpclmul();
    }
    return false;
}

CrcPath best_crc_path() {
    if (crc_path_runs(CrcPath::clmul512)) return CrcPath::clmul512;
    if (crc_path_runs(CrcPath::clmul256)) return CrcPath::clmul256;
    return cpu_has_clmul() ? CrcPath::clmul128 : CrcPath::table;
}

uint32_t crc32_update_on([[maybe_unused]] CrcPath path, const uint32_t* table, uint32_t reg, const unsigned char* p,
                         size_t len) {
#if KALDORN_X86_VECTORS
    if (path == CrcPath::clmul512 && len >= 256) return clmul512_update(table, reg, p, len);
    if (path == CrcPath::clmul256 && len >= 128) return clmul256_update(table, reg, p, len);
    if (path != CrcPath::table && len >= 64) return clmul128_update(table, reg, p, len);
#endif
    return table_update(table, reg, p, len);
}

uint32_t crc32_update(const uint32_t* table, uint32_t reg, const unsigned char* p, size_t len) {
    return crc32_update_on(len >= 64 ? best_crc_path() : CrcPath::table, table, reg, p, len);
}

}  // namespace kaldorn::detail

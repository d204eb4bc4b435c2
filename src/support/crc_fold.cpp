// CRC-32 register update. Long inputs are folded 64 bytes at a time with
// PCLMULQDQ; the folded 16-byte remainder and the tail then go through the
// byte table, starting from a zero register (the incoming register is XORed
// into the first four message bytes instead). The value is identical to the
// byte-at-a-time loop for every input.
#include "support/crc_fold.h"

#include <immintrin.h>

namespace kaldorn::detail {

namespace {

inline uint32_t table_update(const uint32_t* table, uint32_t reg, const unsigned char* p, size_t len) {
    for (size_t i = 0; i < len; ++i) reg = table[(reg ^ p[i]) & 0xFFu] ^ (reg >> 8);
    return reg;
}

__attribute__((target("pclmul,sse4.1"))) inline __m128i fold(__m128i x, __m128i k) {
    return _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11));
}

// len >= 64.
__attribute__((target("pclmul,sse4.1"))) uint32_t clmul_update(const uint32_t* table, uint32_t reg,
                                                               const unsigned char* p, size_t len) {
    // x^(512+32) and x^(512-32) mod P, then x^(128+32) and x^(128-32) mod P,
    // bit-reflected and shifted as the reflected folding needs them.
    const __m128i k_by4 = _mm_set_epi64x(0x1c6e41596LL, 0x154442bd4LL);
    const __m128i k_by1 = _mm_set_epi64x(0x0ccaa009eLL, 0x1751997d0LL);
    auto load = [](const unsigned char* q) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(q)); };

    __m128i x0 = _mm_xor_si128(load(p), _mm_cvtsi32_si128(static_cast<int>(reg)));
    __m128i x1 = load(p + 16), x2 = load(p + 32), x3 = load(p + 48);
    p += 64;
    len -= 64;
    while (len >= 64) {
        x0 = _mm_xor_si128(fold(x0, k_by4), load(p));
        x1 = _mm_xor_si128(fold(x1, k_by4), load(p + 16));
        x2 = _mm_xor_si128(fold(x2, k_by4), load(p + 32));
        x3 = _mm_xor_si128(fold(x3, k_by4), load(p + 48));
        p += 64;
        len -= 64;
    }
    x0 = _mm_xor_si128(fold(x0, k_by1), x1);
    x0 = _mm_xor_si128(fold(x0, k_by1), x2);
    x0 = _mm_xor_si128(fold(x0, k_by1), x3);
    while (len >= 16) {
        x0 = _mm_xor_si128(fold(x0, k_by1), load(p));
        p += 16;
        len -= 16;
    }
    alignas(16) unsigned char rest[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(rest), x0);
    uint32_t r = table_update(table, 0, rest, sizeof rest);
    return table_update(table, r, p, len);
}

bool have_clmul() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
}

}  // namespace

uint32_t crc32_update(const uint32_t* table, uint32_t reg, const unsigned char* p, size_t len) {
    if (len >= 64 && have_clmul()) return clmul_update(table, reg, p, len);
    return table_update(table, reg, p, len);
}

}  // namespace kaldorn::detail

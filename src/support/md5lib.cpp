// CMd5: RFC 1321 MD5. Whole 64-byte blocks are taken straight from the
// caller's input; only a partial block is staged in the context's buffer.
#include "kaldorn/md5lib.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "support/bytes.h"
#include "support/fileio.h"
#include "support/md5file.h"

const unsigned char g_uchPadding[64] = {0x80};

namespace {

constexpr size_t kFileBlock = 64 * 1024;

inline unsigned int rotl(unsigned int x, int s) { return (x << s) | (x >> (32 - s)); }

void load_words(unsigned int* words, const unsigned char* block) {
    for (int i = 0; i < 16; ++i) words[i] = kaldorn::detail::load_le32(block + 4 * i);
}

}  // namespace

CMd5::CMd5() = default;

int CMd5::InitMD5(tagCONTEXT_MD5* ctx) {
    if (ctx == nullptr) return 0;
    ctx->dwBitCount[0] = 0;
    ctx->dwBitCount[1] = 0;
    ctx->dwState[0] = 0x67452301u;
    ctx->dwState[1] = 0xEFCDAB89u;
    ctx->dwState[2] = 0x98BADCFEu;
    ctx->dwState[3] = 0x10325476u;
    return 1;
}

int CMd5::UpdateMD5(tagCONTEXT_MD5* ctx, const unsigned char* in, unsigned int len) {
    if (ctx == nullptr || in == nullptr) return 0;
    unsigned int index = (ctx->dwBitCount[0] >> 3) & 63u;
    unsigned int low = ctx->dwBitCount[0] + (len << 3);
    if (low < ctx->dwBitCount[0]) ++ctx->dwBitCount[1];
    ctx->dwBitCount[0] = low;
    ctx->dwBitCount[1] += len >> 29;

    unsigned int words[16];
    unsigned int state[4];
    std::memcpy(state, ctx->dwState, sizeof state);
    unsigned int pos = 0;
    if (index != 0) {
        unsigned int take = 64 - index < len ? 64 - index : len;
        std::memcpy(ctx->uchBuffer + index, in, take);
        pos = take;
        if (index + take < 64) return 1;
        load_words(words, ctx->uchBuffer);
        TransformMD5(words, state);
    }
    for (; len - pos >= 64; pos += 64) {
        load_words(words, in + pos);
        TransformMD5(words, state);
    }
    std::memcpy(ctx->dwState, state, sizeof state);
    if (pos < len) std::memcpy(ctx->uchBuffer, in + pos, len - pos);
    return 1;
}

int CMd5::FinalMD5(tagCONTEXT_MD5* ctx) {
    if (ctx == nullptr) return 0;
    unsigned int count[2] = {ctx->dwBitCount[0], ctx->dwBitCount[1]};
    unsigned int index = (count[0] >> 3) & 63u;
    UpdateMD5(ctx, g_uchPadding, index < 56 ? 56 - index : 120 - index);
    unsigned int words[16];
    load_words(words, ctx->uchBuffer);  // only the first 14 words are message
    words[14] = count[0];
    words[15] = count[1];
    unsigned int state[4];
    std::memcpy(state, ctx->dwState, sizeof state);
    TransformMD5(words, state);
    std::memcpy(ctx->dwState, state, sizeof state);
    for (int i = 0; i < 4; ++i) kaldorn::detail::store_le32(ctx->uchDigest + 4 * i, state[i]);
    return 1;
}

#define MD5_STEP(f, a, b, c, d, x, t, s) \
    (a) += f((b), (c), (d)) + (x) + (t); \
    (a) = rotl((a), (s)) + (b);

// Round 2 adds its two disjoint halves separately: (c & ~d) does not wait
// for b, which shortens the dependency chain.
#define MD5_STEP_G(a, b, c, d, x, t, s) \
    (a) += ((c) & ~(d)) + (x) + (t);    \
    (a) += (b) & (d);                   \
    (a) = rotl((a), (s)) + (b);

#define MD5_F(x, y, z) ((z) ^ ((x) & ((y) ^ (z))))
#define MD5_H(x, y, z) ((x) ^ (y) ^ (z))
#define MD5_I(x, y, z) ((y) ^ ((x) | ~(z)))

int CMd5::TransformMD5(unsigned int* w, unsigned int* state) {
    if (w == nullptr || state == nullptr) return 0;
    unsigned int a = state[0], b = state[1], c = state[2], d = state[3];

    MD5_STEP(MD5_F, a, b, c, d, w[0], 0xd76aa478u, 7)
    MD5_STEP(MD5_F, d, a, b, c, w[1], 0xe8c7b756u, 12)
    MD5_STEP(MD5_F, c, d, a, b, w[2], 0x242070dbu, 17)
    MD5_STEP(MD5_F, b, c, d, a, w[3], 0xc1bdceeeu, 22)
    MD5_STEP(MD5_F, a, b, c, d, w[4], 0xf57c0fafu, 7)
    MD5_STEP(MD5_F, d, a, b, c, w[5], 0x4787c62au, 12)
    MD5_STEP(MD5_F, c, d, a, b, w[6], 0xa8304613u, 17)
    MD5_STEP(MD5_F, b, c, d, a, w[7], 0xfd469501u, 22)
    MD5_STEP(MD5_F, a, b, c, d, w[8], 0x698098d8u, 7)
    MD5_STEP(MD5_F, d, a, b, c, w[9], 0x8b44f7afu, 12)
    MD5_STEP(MD5_F, c, d, a, b, w[10], 0xffff5bb1u, 17)
    MD5_STEP(MD5_F, b, c, d, a, w[11], 0x895cd7beu, 22)
    MD5_STEP(MD5_F, a, b, c, d, w[12], 0x6b901122u, 7)
    MD5_STEP(MD5_F, d, a, b, c, w[13], 0xfd987193u, 12)
    MD5_STEP(MD5_F, c, d, a, b, w[14], 0xa679438eu, 17)
    MD5_STEP(MD5_F, b, c, d, a, w[15], 0x49b40821u, 22)

    MD5_STEP_G(a, b, c, d, w[1], 0xf61e2562u, 5)
    MD5_STEP_G(d, a, b, c, w[6], 0xc040b340u, 9)
    MD5_STEP_G(c, d, a, b, w[11], 0x265e5a51u, 14)
    MD5_STEP_G(b, c, d, a, w[0], 0xe9b6c7aau, 20)
    MD5_STEP_G(a, b, c, d, w[5], 0xd62f105du, 5)
    MD5_STEP_G(d, a, b, c, w[10], 0x02441453u, 9)
    MD5_STEP_G(c, d, a, b, w[15], 0xd8a1e681u, 14)
    MD5_STEP_G(b, c, d, a, w[4], 0xe7d3fbc8u, 20)
    MD5_STEP_G(a, b, c, d, w[9], 0x21e1cde6u, 5)
    MD5_STEP_G(d, a, b, c, w[14], 0xc33707d6u, 9)
    MD5_STEP_G(c, d, a, b, w[3], 0xf4d50d87u, 14)
    MD5_STEP_G(b, c, d, a, w[8], 0x455a14edu, 20)
    MD5_STEP_G(a, b, c, d, w[13], 0xa9e3e905u, 5)
    MD5_STEP_G(d, a, b, c, w[2], 0xfcefa3f8u, 9)
    MD5_STEP_G(c, d, a, b, w[7], 0x676f02d9u, 14)
    MD5_STEP_G(b, c, d, a, w[12], 0x8d2a4c8au, 20)

    MD5_STEP(MD5_H, a, b, c, d, w[5], 0xfffa3942u, 4)
    MD5_STEP(MD5_H, d, a, b, c, w[8], 0x8771f681u, 11)
    MD5_STEP(MD5_H, c, d, a, b, w[11], 0x6d9d6122u, 16)
    MD5_STEP(MD5_H, b, c, d, a, w[14], 0xfde5380cu, 23)
    MD5_STEP(MD5_H, a, b, c, d, w[1], 0xa4beea44u, 4)
    MD5_STEP(MD5_H, d, a, b, c, w[4], 0x4bdecfa9u, 11)
    MD5_STEP(MD5_H, c, d, a, b, w[7], 0xf6bb4b60u, 16)
    MD5_STEP(MD5_H, b, c, d, a, w[10], 0xbebfbc70u, 23)
    MD5_STEP(MD5_H, a, b, c, d, w[13], 0x289b7ec6u, 4)
    MD5_STEP(MD5_H, d, a, b, c, w[0], 0xeaa127fau, 11)
    MD5_STEP(MD5_H, c, d, a, b, w[3], 0xd4ef3085u, 16)
    MD5_STEP(MD5_H, b, c, d, a, w[6], 0x04881d05u, 23)
    MD5_STEP(MD5_H, a, b, c, d, w[9], 0xd9d4d039u, 4)
    MD5_STEP(MD5_H, d, a, b, c, w[12], 0xe6db99e5u, 11)
    MD5_STEP(MD5_H, c, d, a, b, w[15], 0x1fa27cf8u, 16)
    MD5_STEP(MD5_H, b, c, d, a, w[2], 0xc4ac5665u, 23)

    MD5_STEP(MD5_I, a, b, c, d, w[0], 0xf4292244u, 6)
    MD5_STEP(MD5_I, d, a, b, c, w[7], 0x432aff97u, 10)
    MD5_STEP(MD5_I, c, d, a, b, w[14], 0xab9423a7u, 15)
    MD5_STEP(MD5_I, b, c, d, a, w[5], 0xfc93a039u, 21)
    MD5_STEP(MD5_I, a, b, c, d, w[12], 0x655b59c3u, 6)
    MD5_STEP(MD5_I, d, a, b, c, w[3], 0x8f0ccc92u, 10)
    MD5_STEP(MD5_I, c, d, a, b, w[10], 0xffeff47du, 15)
    MD5_STEP(MD5_I, b, c, d, a, w[1], 0x85845dd1u, 21)
    MD5_STEP(MD5_I, a, b, c, d, w[8], 0x6fa87e4fu, 6)
    MD5_STEP(MD5_I, d, a, b, c, w[15], 0xfe2ce6e0u, 10)
    MD5_STEP(MD5_I, c, d, a, b, w[6], 0xa3014314u, 15)
    MD5_STEP(MD5_I, b, c, d, a, w[13], 0x4e0811a1u, 21)
    MD5_STEP(MD5_I, a, b, c, d, w[4], 0xf7537e82u, 6)
    MD5_STEP(MD5_I, d, a, b, c, w[11], 0xbd3af235u, 10)
    MD5_STEP(MD5_I, c, d, a, b, w[2], 0x2ad7d2bbu, 15)
    MD5_STEP(MD5_I, b, c, d, a, w[9], 0xeb86d391u, 21)

    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    return 1;
}

#undef MD5_STEP
#undef MD5_F
#undef MD5_STEP_G
#undef MD5_H
#undef MD5_I

int CMd5::CalculateMD5(const unsigned char* buf, unsigned int len, unsigned char* digest) {
    if (buf == nullptr || digest == nullptr) return 0;
    tagCONTEXT_MD5 ctx;
    std::memset(&ctx, 0, sizeof ctx);
    InitMD5(&ctx);
    UpdateMD5(&ctx, buf, len);
    FinalMD5(&ctx);
    std::memcpy(digest, ctx.uchDigest, 16);
    return 1;
}

int kaldorn::detail::digest_descriptor(IMd5& md5, int fd, unsigned char* digest) {
    tagCONTEXT_MD5 ctx;
    std::memset(&ctx, 0, sizeof ctx);
    md5.InitMD5(&ctx);
    unsigned char block[kFileBlock];
    for (;;) {
        ssize_t got = ::read(fd, block, sizeof block);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return 0;
        if (got == 0) break;
        md5.UpdateMD5(&ctx, block, static_cast<unsigned int>(got));
    }
    md5.FinalMD5(&ctx);
    std::memcpy(digest, ctx.uchDigest, 16);
    return 1;
}

int CMd5::CalculateMD5(const char* path, unsigned char* digest) {
    if (path == nullptr || digest == nullptr) return 0;
    kaldorn::detail::FdGuard fd(kaldorn::detail::open_read(path));
    return fd.valid() ? kaldorn::detail::digest_descriptor(*this, fd.get(), digest) : 0;
}

int CMd5::ValidateMD5(const unsigned char* buf, unsigned int len, const unsigned char* expected, int* match) {
    if (buf == nullptr || expected == nullptr || match == nullptr) return 0;
    unsigned char digest[16];
    if (CalculateMD5(buf, len, digest) != 1) return 0;
    *match = std::memcmp(digest, expected, 16) == 0 ? 1 : 0;
    return 1;
}

int CMd5::ValidateMD5(const char* path, const unsigned char* expected, int* match) {
    if (path == nullptr || expected == nullptr || match == nullptr) return 0;
    unsigned char digest[16];
    if (CalculateMD5(path, digest) != 1) return 0;
    *match = std::memcmp(digest, expected, 16) == 0 ? 1 : 0;
    return 1;
}

int CalculateMD5WrapperA(const char* path, unsigned char* digest) {
    CMd5 md5;
    return md5.CalculateMD5(path, digest);
}

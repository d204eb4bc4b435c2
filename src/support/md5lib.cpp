// CMd5: RFC 1321 MD5. Whole 64-byte blocks are taken straight from the
// caller's input; only a partial block is staged in the context's buffer.
#include "kaldorn/md5lib.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "support/bytes.h"
#include "support/fileio.h"
#include "support/md5_files.h"
#include "support/md5_steps.h"

const unsigned char g_uchPadding[64] = {0x80};

namespace {

constexpr size_t kFileBlock = 64 * 1024;

inline unsigned int rotl(unsigned int x, int s) { return (x << s) | (x >> (32 - s)); }

void load_words(unsigned int* words, const unsigned char* block) {
    for (int i = 0; i < 16; ++i) words[i] = kaldorn::detail::load_le32(block + 4 * i);
}

// Digest of everything left to read from fd, through md5's virtual steps;
// 0 on a read error (digest untouched), else 1.
int digest_descriptor(IMd5& md5, int fd, unsigned char* digest) {
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

}  // namespace

CMd5::CMd5() = default;

int CMd5::InitMD5(tagCONTEXT_MD5* ctx) {
    if (ctx == nullptr) return 0;
    ctx->dwBitCount[0] = 0;
    ctx->dwBitCount[1] = 0;
    std::memcpy(ctx->dwState, kaldorn::detail::kMd5Initial, sizeof ctx->dwState);
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
#define MD5_SCALAR_F(a, b, c, d, x, t, s) MD5_STEP(MD5_F, a, b, c, d, x, t, s)
#define MD5_SCALAR_G(a, b, c, d, x, t, s) MD5_STEP_G(a, b, c, d, x, t, s)
#define MD5_SCALAR_H(a, b, c, d, x, t, s) MD5_STEP(MD5_H, a, b, c, d, x, t, s)
#define MD5_SCALAR_I(a, b, c, d, x, t, s) MD5_STEP(MD5_I, a, b, c, d, x, t, s)
#define MD5_SCALAR(round, a, b, c, d, k, t, s) MD5_SCALAR_##round(a, b, c, d, w[k], t, s)

int CMd5::TransformMD5(unsigned int* w, unsigned int* state) {
    if (w == nullptr || state == nullptr) return 0;
    unsigned int a = state[0], b = state[1], c = state[2], d = state[3];
    KALDORN_MD5_STEPS(MD5_SCALAR)
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    return 1;
}

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


int CMd5::CalculateMD5(const char* path, unsigned char* digest) {
    if (path == nullptr || digest == nullptr) return 0;
    kaldorn::detail::FdGuard fd(kaldorn::detail::open_read(path));
    return fd.valid() ? digest_descriptor(*this, fd.get(), digest) : 0;
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

bool kaldorn::detail::md5_descriptor(int fd, unsigned char* digest) {
    CMd5 md5;
    return digest_descriptor(md5, fd, digest) == 1;
}

int CalculateMD5WrapperA(const char* path, unsigned char* digest) {
    CMd5 md5;
    return md5.CalculateMD5(path, digest);
}

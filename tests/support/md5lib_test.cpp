// CMd5 against OpenSSL's MD5 and the RFC 1321 value of "abc".
#include <openssl/evp.h>

#include <cstdio>
#include <cstring>
#include <random>

#include "fixtures.h"
#include "kaldorn/md5lib.h"

namespace {

std::string hex(const void* digest) {
    char s[33];
    for (int i = 0; i < 16; ++i) std::snprintf(s + 2 * i, 3, "%02x", static_cast<const unsigned char*>(digest)[i]);
    return s;
}

std::string openssl_md5(const unsigned char* p, size_t n) {
    unsigned char d[EVP_MAX_MD_SIZE];
    EVP_Digest(p, n, d, nullptr, EVP_md5(), nullptr);
    return hex(d);
}

// Every length to 1100 in one call and fed in pieces of varying lengths; the
// context then holds the digest, the chaining values of the last transform
// and the bits of message and padding. Files across read blocks, the
// wrapper too. The steps dispatch through the virtual table.
TEST(Md5, AgreesWithOpenSsl) {
    struct Counting : CMd5 {
        int transforms = 0;
        int TransformMD5(unsigned int* w, unsigned int* s) override { return ++transforms, CMd5::TransformMD5(w, s); }
    } md5;
    const fx::Bytes data = fx::random_bytes(300001, 3);
    std::mt19937 gen(11);
    for (unsigned int len = 0; len <= 1100; ++len) {
        unsigned char d[16];
        tagCONTEXT_MD5 ctx{};
        md5.InitMD5(&ctx);
        for (unsigned int pos = 0, piece = 0; pos < len; pos += piece)
            md5.UpdateMD5(&ctx, data.data() + pos, piece = std::min<unsigned int>(len - pos, unsigned(gen() % 130)));
        ASSERT_EQ(md5.CalculateMD5(data.data(), len, d) + md5.FinalMD5(&ctx), 2);
        ASSERT_EQ(hex(d), openssl_md5(data.data(), len)) << len;
        ASSERT_EQ(hex(ctx.uchDigest) + hex(ctx.dwState), hex(d) + hex(d)) << len;
        ASSERT_EQ(ctx.dwBitCount[0], 8 * (len / 64 * 64 + (len % 64 < 56 ? 56 : 120))) << len;
    }
    fx::TempDir dir;
    for (size_t size : {0u, 1024u, 300001u}) {
        fx::write_file(dir.file("f"), fx::Bytes(data.begin(), data.begin() + static_cast<long>(size)));
        unsigned char a[16], b[16];
        ASSERT_EQ(md5.CalculateMD5(dir.file("f").c_str(), a) + CalculateMD5WrapperA(dir.file("f").c_str(), b), 2);
        EXPECT_EQ(hex(a) + hex(b), openssl_md5(data.data(), size) + openssl_md5(data.data(), size)) << size;
    }
    unsigned char d[16];
    md5.CalculateMD5(reinterpret_cast<const unsigned char*>("abc"), 3, d);
    EXPECT_EQ(hex(d), "900150983cd24fb0d6963f7d28e17f72");
    md5.transforms = 0;
    md5.CalculateMD5(data.data(), 200, d);
    EXPECT_EQ(md5.transforms, 4);  // 3 whole blocks and the padded one
}

// A match sets the flag to 1, a difference to 0; failures (nulls, a missing
// file, a directory that fails to read) write nothing and keep no descriptor.
TEST(Md5, ValidationAndFailures) {
    CMd5 md5;
    fx::TempDir dir;
    const std::string abc = dir.file("abc"), missing = dir.file("missing");
    fx::write_file(abc, std::string("abc"));
    const auto* p = reinterpret_cast<const unsigned char*>("abc");
    unsigned char good[16], bad[16], d[16];
    md5.CalculateMD5(p, 3, good);
    std::memcpy(bad, good, 16);
    bad[15] ^= 1;
    for (auto [expected, matches] : {std::pair{good, 1}, {bad, 0}}) {
        int buffer = 7, file = 7;
        ASSERT_EQ(md5.ValidateMD5(p, 3, expected, &buffer) + md5.ValidateMD5(abc.c_str(), expected, &file), 2);
        EXPECT_EQ(buffer + 10 * file, 11 * matches);
    }
    std::memset(d, 0xAB, sizeof d);
    int match = 7;
    const size_t fds = fx::descriptor_count();
    EXPECT_EQ(md5.ValidateMD5(missing.c_str(), good, &match) + md5.ValidateMD5(p, 3, nullptr, &match) +
                  md5.ValidateMD5(abc.c_str(), good, nullptr) + md5.CalculateMD5(p, 3, nullptr) +
                  md5.CalculateMD5(missing.c_str(), d) + md5.CalculateMD5(dir.str().c_str(), d) +
                  CalculateMD5WrapperA(abc.c_str(), nullptr) + md5.InitMD5(nullptr) + md5.UpdateMD5(nullptr, p, 3) +
                  md5.FinalMD5(nullptr) + md5.TransformMD5(nullptr, nullptr),
              0);
    EXPECT_TRUE(fx::descriptor_count() == fds && match == 7 && hex(d) == hex(fx::Bytes(16, 0xAB).data()));
}

}  // namespace

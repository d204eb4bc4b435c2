// CMd5 against the RFC 1321 test suite and OpenSSL.
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "compnwriter.h"
#include "kaldorn/md5lib.h"

namespace {

std::string hex(const unsigned char* d) {
    char s[33];
    for (int i = 0; i < 16; ++i) std::snprintf(s + 2 * i, 3, "%02x", d[i]);
    return s;
}

std::string openssl_md5(const unsigned char* p, size_t n) {
    return hex(fixtures::md5_of(std::string(reinterpret_cast<const char*>(p), n)).data());
}

const struct {
    const char* input;
    const char* digest;
} kRfcSuite[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

// The RFC suite over buffers and files, and a file of several read blocks.
TEST(Md5, RfcSuiteOverBuffersAndFiles) {
    CMd5 md5;
    fixtures::TempDir dir;
    for (const auto& c : kRfcSuite) {
        unsigned char d[16];
        auto* p = reinterpret_cast<const unsigned char*>(c.input);
        ASSERT_EQ(md5.CalculateMD5(p, static_cast<unsigned int>(std::strlen(c.input)), d), 1);
        EXPECT_EQ(hex(d), c.digest) << c.input;
        fixtures::write_file(dir.file("f"), fixtures::Bytes(p, p + std::strlen(c.input)));
        std::memset(d, 0, sizeof d);
        ASSERT_EQ(CalculateMD5WrapperA(dir.file("f").c_str(), d), 1);
        EXPECT_EQ(hex(d), c.digest) << c.input;
    }
    auto data = fixtures::random_bytes(300001, 5);
    fixtures::write_file(dir.file("big"), data);
    unsigned char d[16];
    ASSERT_EQ(md5.CalculateMD5(dir.file("big").c_str(), d), 1);
    EXPECT_EQ(hex(d), openssl_md5(data.data(), data.size()));
}

TEST(Md5, EveryLengthAndPiecewiseFeedingMatchOpenSsl) {
    CMd5 md5;
    auto data = fixtures::random_bytes(1100, 3);
    std::mt19937 gen(11);
    for (unsigned int len = 0; len <= 1100; ++len) {
        unsigned char d[16];
        ASSERT_EQ(md5.CalculateMD5(data.data(), len, d), 1);
        ASSERT_EQ(hex(d), openssl_md5(data.data(), len)) << len;

        tagCONTEXT_MD5 ctx{};
        md5.InitMD5(&ctx);
        for (unsigned int pos = 0; pos < len;) {
            unsigned int piece = std::min<unsigned int>(len - pos, static_cast<unsigned int>(gen() % 130));
            ASSERT_EQ(md5.UpdateMD5(&ctx, data.data() + pos, piece), 1);
            pos += piece;
        }
        md5.FinalMD5(&ctx);
        ASSERT_EQ(hex(ctx.uchDigest), hex(d)) << len;
    }
}

TEST(Md5, FinalLeavesDigestInContextAndStateFromLastTransform) {
    CMd5 md5;
    tagCONTEXT_MD5 ctx{};
    md5.InitMD5(&ctx);
    md5.UpdateMD5(&ctx, reinterpret_cast<const unsigned char*>("abc"), 3);
    md5.FinalMD5(&ctx);
    EXPECT_EQ(hex(ctx.uchDigest), "900150983cd24fb0d6963f7d28e17f72");
    unsigned char state[16];
    std::memcpy(state, ctx.dwState, 16);  // little-endian chaining values are the digest
    EXPECT_EQ(hex(state), hex(ctx.uchDigest));
    EXPECT_EQ(ctx.dwBitCount[0], 448u);   // 3 bytes and 53 bytes of padding; the length words are not counted
}

TEST(Md5, ValidateReportsMatchAndMismatch) {
    CMd5 md5;
    fixtures::TempDir dir;
    fixtures::write_file(dir.file("abc"), {'a', 'b', 'c'});
    auto* abc = reinterpret_cast<const unsigned char*>("abc");
    fixtures::Digest good = fixtures::md5_of("abc"), bad = good;
    bad[15] ^= 1;
    int match = 7;
    for (auto [expected, matches] : {std::pair{good.data(), 1}, {bad.data(), 0}}) {
        ASSERT_EQ(md5.ValidateMD5(abc, 3, expected, &match), 1);
        EXPECT_EQ(match, matches);
        ASSERT_EQ(md5.ValidateMD5(dir.file("abc").c_str(), expected, &match), 1);
        EXPECT_EQ(match, matches);
    }
    match = 7;
    EXPECT_EQ(md5.ValidateMD5(dir.file("missing").c_str(), good.data(), &match) +
                  md5.ValidateMD5(abc, 3, nullptr, &match),
              0);
    EXPECT_EQ(match, 7);
}

TEST(Md5, FailuresWriteNothing) {
    CMd5 md5;
    fixtures::TempDir dir;
    unsigned char d[16];
    std::memset(d, 0xAB, sizeof d);
    EXPECT_EQ(md5.CalculateMD5(static_cast<const unsigned char*>(nullptr), 3, d), 0);
    EXPECT_EQ(md5.CalculateMD5(dir.file("missing").c_str(), d), 0);
    int fds = fixtures::open_descriptor_count();
    EXPECT_EQ(md5.CalculateMD5(dir.str().c_str(), d), 0);  // a directory fails to read
    EXPECT_EQ(fixtures::open_descriptor_count(), fds);
    for (unsigned char v : d) EXPECT_EQ(v, 0xAB);
    EXPECT_EQ(md5.InitMD5(nullptr), 0);
    EXPECT_EQ(md5.TransformMD5(nullptr, nullptr), 0);
}

// The steps dispatch through the virtual table: a derived class sees them.
TEST(Md5, StepsDispatchThroughTheVirtualTable) {
    struct Counting : CMd5 {
        int transforms = 0;
        int TransformMD5(unsigned int* w, unsigned int* s) override {
            ++transforms;
            return CMd5::TransformMD5(w, s);
        }
    } md5;
    unsigned char d[16];
    fixtures::Bytes data(200, 1);
    md5.CalculateMD5(data.data(), 200, d);
    EXPECT_EQ(md5.transforms, 4);  // 3 whole blocks and the padded one
}

}  // namespace

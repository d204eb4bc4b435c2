// CRC-32 and MD5 against zlib and OpenSSL: every CRC path and every MD5 lane count, asked for by name whatever the
// dispatcher picks, and the classes over them, on every length 0..4096 at 16 alignments; files across read blocks.
#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>

#include "fixtures.h"
#include "kaldorn/crc32.h"
#include "kaldorn/md5lib.h"
#include "support/crc_fold.h"
#include "support/md5_files.h"
#include "support/md5_lanes.h"

namespace {

using namespace kaldorn::detail;

uint32_t zlib_crc(const unsigned char* p, size_t n) { return uint32_t(crc32(0L, p, static_cast<uInt>(n))); }

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

// Each path over two pieces; a buffer gives the register without the final complement (all ones for a length of 0
// or less), strings and files the standard CRC; failures write nothing. _filelength: 0 for -1, -1 for a closed
// descriptor, the position kept.
TEST(Crc32, EveryPathAndEveryFormIsZlibsCrc) {
    CVXCrc32 crc;
    const auto* table = reinterpret_cast<const uint32_t*>(&crc);  // the object is exactly its table
    const fx::Bytes data = fx::random_bytes(200003, 7);
    for (CrcPath path : {CrcPath::table, CrcPath::clmul128, CrcPath::clmul256, CrcPath::clmul512}) {
        ASSERT_TRUE(path <= best_crc_path() || !crc_path_runs(path));  // the dispatcher takes the widest
        for (const unsigned char* p = data.data(); p < data.data() + 16 && crc_path_runs(path); ++p)
            for (size_t len = 0; len <= 4096; ++len) {
                const uint32_t z = zlib_crc(p, len), r = crc32_update_on(path, table, ~0u, p, len / 3);
                unsigned int out = 0;
                ASSERT_EQ(~crc32_update_on(path, table, r, p + len / 3, len - len / 3), z) << int(path) << " " << len;
                ASSERT_TRUE(crc.GetBuffCrc32(p, static_cast<int>(len), &out) == 1 && out == ~z) << len;
            }
    }
    unsigned int out = 1;
    EXPECT_TRUE(crc.GetStringCrc32("abc", &out) == 1 && out == 0x352441C2u);
    EXPECT_TRUE(crc.GetStringCrc32("", &out) == 1 && out == 0);
    EXPECT_TRUE(crc.GetBuffCrc32(data.data(), -9, &out) == 1 && out == ~0u);
    fx::TempDir dir;
    const std::string f = dir.file("f");
    for (size_t size : {0u, 1u, 1023u, 70000u, 200003u}) {
        fx::write_file(f, fx::Bytes(data.begin(), data.begin() + static_cast<long>(size)));
        unsigned int a = 1, b = 2;
        EXPECT_TRUE(crc.GetFileCrc32fopen(f.c_str(), &a) == 1 && a == zlib_crc(data.data(), size)) << size;
        EXPECT_TRUE(crc.GetFileCrc32open(f.c_str(), &b) == 1 && b == zlib_crc(data.data(), size)) << size;
    }
    out = 42;
    EXPECT_EACH_EQ(0, crc.GetBuffCrc32(data.data(), 1, nullptr), crc.GetStringCrc32(nullptr, &out),
                   crc.GetFileCrc32fopen(f.c_str(), nullptr), crc.GetFileCrc32open(nullptr, &out), _filelength(-1));
    EXPECT_EQ(out, 42u);
    EXPECT_EQ(_filelength(12345), -1);
    const int fd = ::open(f.c_str(), O_RDONLY);
    ::lseek(fd, 10, SEEK_SET);
    EXPECT_EQ(_filelength(fd), 200003);
    EXPECT_EQ(::lseek(fd, 0, SEEK_CUR), 10);
    ::close(fd);
}

// CMd5 on the message in one call and fed in pieces of varying lengths: the context then holds the digest, the
// chaining values of the last transform and the bits of message and padding; the steps dispatch through the virtual
// table. Every lane of every path on the message at 16 alignments (a lane each), padded as RFC 1321 says.
TEST(Md5, TheClassAndEveryLaneOfEveryPathAreOpensslsMd5) {
    struct Counting : CMd5 {
        int transforms = 0;
        int TransformMD5(unsigned int* w, unsigned int* s) override { return ++transforms, CMd5::TransformMD5(w, s); }
    } md5;
    std::vector<Md5Path> paths{Md5Path::one, Md5Path::eight, Md5Path::sixteen};
    std::erase_if(paths, [](Md5Path path) { return !md5_path_runs(path); });
    constexpr uint32_t kStride = 4096 + 129, kIv[4] = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u};
    const fx::Bytes data = fx::random_bytes(300001, 5);
    std::vector<unsigned char> area(16 * kStride);
    std::mt19937 gen(11);
    for (unsigned int len = 0; len <= 4096; ++len) {
        const std::string expected = openssl_md5(data.data(), len);
        unsigned char d[16];
        tagCONTEXT_MD5 ctx{};
        md5.InitMD5(&ctx), md5.transforms = 0;
        for (unsigned int pos = 0, piece = 0; pos < len; pos += piece)
            md5.UpdateMD5(&ctx, data.data() + pos, piece = std::min<unsigned int>(len - pos, unsigned(gen() % 130)));
        const unsigned int padded = len / 64 * 64 + (len % 64 < 56 ? 56 : 120);
        ASSERT_EQ(md5.FinalMD5(&ctx), 1);
        ASSERT_EQ(hex(ctx.uchDigest) + hex(ctx.dwState), expected + expected) << len;
        ASSERT_TRUE(ctx.dwBitCount[0] == 8 * padded && md5.transforms == int(padded / 64 + 1)) << len;
        ASSERT_EQ(md5.CalculateMD5(data.data(), len, d), 1);
        ASSERT_EQ(hex(d), expected) << len;
        const size_t blocks = (len + 8) / 64 + 1, bits = len * 8;  // 64-bit, little-endian
        for (unsigned char* m = area.data(); m < area.data() + area.size(); m += kStride) {
            std::memcpy(m, data.data(), len), m[len] = 0x80;
            std::memset(m + len + 1, 0, blocks * 64 - len - 1);
            std::memcpy(m + blocks * 64 - 8, &bits, 8);
        }
        for (Md5Path path : paths)
            for (uint32_t first = 0, lanes = static_cast<uint32_t>(path); first < 16; first += lanes) {
                Md5Lanes state{};
                uint32_t offset[16] = {}, step[16] = {};
                for (uint32_t l = 0; l < lanes * 4; ++l)
                    offset[l / 4] = (first + l / 4) * kStride, step[l / 4] = 64, state.v[l % 4][l / 4] = kIv[l % 4];
                md5_lanes_update(path, state, area.data(), offset, step, blocks);
                for (uint32_t l = 0; l < lanes; ++l)
                    ASSERT_EQ(hex(std::array{state.v[0][l], state.v[1][l], state.v[2][l], state.v[3][l]}.data()),
                              expected) << lanes << " lanes, length " << len << ", at " << (first + l) * kStride % 16;
            }
    }
}

// Files cut short, grown or removed while the lanes read them, by calls and through the ring: a digest is of what
// its reads saw (one lane reads a file to its end before the next: too late). A directory (2) gets none.
TEST(Md5, FilesChangingWhileReadAffectOnlyThemselves) {
    struct Jobs final : kaldorn::detail::FileJobs {
        std::vector<std::string> files, got;
        std::function<void()> change;
        size_t lanes = 1;
        bool next(size_t& item, int& dir, char* name) override {
            if (got.size() == lanes) change();  // a lane takes its second file: after the first file's first block
            if (got.size() == files.size()) return false;
            got.emplace_back(), item = got.size() - 1, dir = AT_FDCWD;
            std::strcpy(name, files[item].c_str());
            return true;
        }
        int open_failed(size_t, int) override { return -1; }
        void done(size_t item, const unsigned char* digest) override { got[item] = digest ? hex(digest) : "failed"; }
    };
    fx::TempDir dir;
    const fx::Bytes big = fx::random_bytes(300000, 9), more = fx::random_bytes(50000, 10);
    fx::Bytes grown = big;
    grown.insert(grown.end(), more.begin(), more.end());
    for (auto [path, io] : {std::pair{Md5Path::one, FileIo::calls}, {Md5Path::eight, FileIo::calls},
                            {Md5Path::sixteen, FileIo::calls}, {Md5Path::one, FileIo::ring},
                            {Md5Path::eight, FileIo::ring}, {Md5Path::sixteen, FileIo::ring}})
        for (char how : std::string(md5_path_runs(path) ? "sgr" : "")) {
            Jobs jobs;
            jobs.lanes = static_cast<size_t>(path);
            std::vector<std::string> want;
            fx::fs::create_directory(dir.file("2"));
            for (size_t i = 0; i < 20; ++i) {
                const fx::Bytes b = i == 0 ? big : fx::random_bytes(i * 3001 % 70001, unsigned(i));
                if (i != 2) fx::write_file(dir.file(std::to_string(i)), b);
                jobs.files.push_back(dir.file(std::to_string(i)));
                want.push_back(i == 2 ? "failed" : openssl_md5(b.data(), b.size()));
            }
            jobs.change = [&] {
                if (how == 's') ::truncate(jobs.files[0].c_str(), 100000);
                if (how == 'g') std::ofstream(jobs.files[0], std::ios::app) << std::string(more.begin(), more.end());
                if (how == 'r') fx::fs::remove(jobs.files[0]);
            };
            if (path != Md5Path::one && how == 's') want[0] = openssl_md5(big.data(), 100000);
            if (path != Md5Path::one && how == 'g') want[0] = openssl_md5(grown.data(), grown.size());
            const size_t fds = fx::descriptor_count();
            ASSERT_TRUE(kaldorn::detail::digest_files(path, io, 20, jobs));
            EXPECT_EQ(jobs.got, want) << int(path) << how << int(io);
            EXPECT_EQ(fx::descriptor_count(), fds);
        }
}

// A match sets the flag to 1, a difference to 0; failures (nulls, a missing file, a directory that fails to read)
// write nothing and keep no descriptor.
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
        EXPECT_TRUE(md5.ValidateMD5(p, 3, expected, &buffer) == 1 && buffer == matches);
        EXPECT_TRUE(md5.ValidateMD5(abc.c_str(), expected, &file) == 1 && file == matches);
    }
    EXPECT_TRUE(CalculateMD5WrapperA(abc.c_str(), d) == 1 && hex(d) == hex(good));
    std::memset(d, 0xAB, sizeof d);
    int match = 7;
    const size_t fds = fx::descriptor_count();
    EXPECT_EACH_EQ(0, md5.ValidateMD5(missing.c_str(), good, &match), md5.ValidateMD5(p, 3, nullptr, &match),
                   md5.ValidateMD5(abc.c_str(), good, nullptr), md5.CalculateMD5(p, 3, nullptr),
                   md5.CalculateMD5(missing.c_str(), d), md5.CalculateMD5(dir.str().c_str(), d),
                   CalculateMD5WrapperA(abc.c_str(), nullptr), md5.InitMD5(nullptr), md5.UpdateMD5(nullptr, p, 3),
                   md5.FinalMD5(nullptr), md5.TransformMD5(nullptr, nullptr));
    EXPECT_EQ(fx::descriptor_count(), fds);
    EXPECT_EQ(match, 7);
    EXPECT_EQ(hex(d), hex(fx::Bytes(16, 0xAB).data()));
}

}  // namespace

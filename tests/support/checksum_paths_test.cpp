// Every CRC-32 and MD5 path, asked for by name whatever the dispatcher picks, against zlib and
// OpenSSL on every length 0..4096 at 16 alignments; verification on each against one file at a time.
#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/resource.h>
#include <zlib.h>

#include <cstring>

#include "compnlist/verify.h"
#include "fixtures.h"
#include "kaldorn/crc32.h"
#include "support/crc_fold.h"

namespace {

using namespace kaldorn::detail;
namespace fs = std::filesystem;

std::vector<Md5Path> md5_paths() {  // those this processor runs
    std::vector<Md5Path> all{Md5Path::one, Md5Path::eight, Md5Path::sixteen};
    return std::erase_if(all, [](Md5Path path) { return !md5_path_runs(path); }), all;
}

TEST(ChecksumPaths, EveryCrcPathIsZlibsCrcOverTwoPieces) {
    CVXCrc32 crc;
    const auto* table = reinterpret_cast<const uint32_t*>(&crc);  // the object is exactly its table
    auto data = fx::random_bytes(4096 + 16, 3);
    for (CrcPath path : {CrcPath::table, CrcPath::clmul128, CrcPath::clmul256, CrcPath::clmul512}) {
        ASSERT_TRUE(path <= best_crc_path() || !crc_path_runs(path));  // the dispatcher takes the widest
        for (const unsigned char* p = data.data(); p < data.data() + 16 && crc_path_runs(path); ++p)
            for (size_t len = 0; len <= 4096; ++len) {
                auto z = static_cast<uint32_t>(crc32(0L, p, static_cast<uInt>(len)));
                uint32_t r = crc32_update_on(path, table, ~0u, p, len / 3);
                ASSERT_EQ(~crc32_update_on(path, table, r, p + len / 3, len - len / 3), z) << int(path) << " " << len;
            }
    }
}

// The message at 16 alignments (a lane each), padded as RFC 1321 says.
TEST(ChecksumPaths, EveryMd5LaneOfEveryPathIsOpensslsMd5) {
    constexpr uint32_t kStride = 4096 + 129, kIv[4] = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u};
    auto data = fx::random_bytes(4096, 5);
    std::vector<unsigned char> area(16 * kStride);
    for (size_t len = 0; len <= 4096; ++len) {
        const size_t blocks = (len + 8) / 64 + 1, bits = len * 8;  // 64-bit, little-endian
        for (unsigned char* m = area.data(); m < area.data() + area.size(); m += kStride) {
            std::memcpy(m, data.data(), len), m[len] = 0x80;
            std::memset(m + len + 1, 0, blocks * 64 - len - 1);
            std::memcpy(m + blocks * 64 - 8, &bits, 8);
        }
        unsigned char expected[16];
        EVP_Digest(data.data(), len, expected, nullptr, EVP_md5(), nullptr);
        for (Md5Path path : md5_paths())
            for (uint32_t first = 0, lanes = static_cast<uint32_t>(path); first < 16; first += lanes) {
                Md5Lanes state{};
                uint32_t offset[16] = {}, step[16] = {};
                for (uint32_t l = 0; l < lanes * 4; ++l)
                    offset[l / 4] = (first + l / 4) * kStride, step[l / 4] = 64, state.v[l % 4][l / 4] = kIv[l % 4];
                md5_lanes_update(path, state, area.data(), offset, step, blocks);
                for (uint32_t l = 0; l < lanes * 4; ++l)
                    ASSERT_EQ(std::memcmp(&state.v[l % 4][l / 4], expected + 4 * (l % 4), 4), 0)
                        << lanes << " lanes, length " << len << ", alignment " << (first + l / 4) * kStride % 16;
            }
    }
}

// The names verification reports, or "code N".
std::string verified(Md5Path path, const std::string& list, const std::string& one, const char* two) {
    tagVX_COMPONENT_FILE_MEM_RECORD_INFO* recs = nullptr;
    unsigned int count = 0, code = 0;
    if (verify_compns_on(path, list.c_str(), one.c_str(), two, &recs, &count, &code) != 1)
        return "code " + std::to_string(code);
    std::string out;
    for (unsigned int i = 0; i < count; ++i) out += std::string(recs[i].szFileName) + " ";
    ReleaseCompnList(recs, count, &code);
    return out;
}

// Files around every block and read boundary, in lanes that end apart or together. By i % 6: intact, grown,
// shrunk, only in the second directory, in neither, unmarked and missing. Then names that resolve as the joined
// path does (a loop and a dangling link are not there), and a fault if given (x is a directory).
struct Installation {
    fx::TempDir dir;
    std::string list = dir.file("list.lst"), one = dir.file("one"), two = dir.file("two"), expected;
    explicit Installation(const char* fault = nullptr) {
        fs::create_directories(one + "/x/y"), fs::create_directories(one + "/sub"), fs::create_directories(two);
        fs::create_symlink("loop", one + "/loop"), fs::create_symlink("gone", one + "/dangling");
        const size_t sizes[] = {0, 1, 55, 56, 63, 64, 65, 119, 120, 4096, 65535, 65537, 140000};  // 13: every fate
        std::vector<fx::pub::Component> entries;
        for (size_t i = 0; i < 78; ++i) {
            auto random = fx::random_bytes(sizes[i % 13], static_cast<unsigned>(i));
            std::string name = "c" + std::to_string(i), body(random.begin(), random.end());
            entries.push_back(fx::pub::component(name, body, i % 6 == 5 ? 0 : 1));
            std::string disk = i % 6 == 1 ? body + "y" : i % 6 == 2 ? body.substr(0, body.size() / 2) : body;
            if (i % 6 < 4) fx::write_file((i % 6 == 3 ? two : one) + "/" + name, disk);
            if (i % 6 == 1 || i % 6 == 4 || (i % 6 == 2 && disk != body)) expected += name + " ";
            if (i == 40 && fault != nullptr) entries.push_back(fx::pub::component(fault, ""));
        }
        for (const char* name : {"loop", "dangling"}) entries.push_back(fx::pub::component(name, ""));
        expected += "loop dangling ";
        fx::write_file(list, fx::pub::component_list(entries));
    }
};

// Each path with the descriptor limit leaving exactly lanes + 2 numbers free (lanes, two directories).
TEST(ChecksumPaths, VerificationOnEveryPathReportsWhatOneFileAfterAnotherReports) {
    Installation in;
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    for (Md5Path path : md5_paths()) {  // first with no limit: sanitizers need descriptors for their first checks
        EXPECT_EQ(verified(path, in.list, in.one, in.two.c_str()), in.expected) << unsigned(path) << " lanes";
        rlim_t top = 0;
        for (rlim_t free = 0; free < static_cast<rlim_t>(path) + 2; ++top) free += ::fcntl(int(top), F_GETFD) < 0;
        rlimit limit{top, saved.rlim_max};
        ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &limit), 0);
        EXPECT_EQ(verified(path, in.list, in.one, in.two.c_str()), in.expected) << unsigned(path) << " lanes";
        ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &saved), 0);
    }
}

// A component that cannot be read (x is a directory), listed after reported ones, fails the call.
TEST(ChecksumPaths, AnUnreadableComponentFailsTheCall) {
    Installation in("x");
    for (Md5Path path : md5_paths()) EXPECT_EQ(verified(path, in.list, in.one, nullptr), "code 20");
}

}  // namespace

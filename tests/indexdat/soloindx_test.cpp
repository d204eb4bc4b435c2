// Index DAT readers and checksum rules over files written byte by byte.
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <cstring>
#include <string>
#include <tuple>

#include <gtest/gtest.h>

#include "defs_support.h"

namespace {

using fixtures::Bytes;

class IndexDat : public ::testing::Test {
protected:
    fixtures::TempDir dir;
    std::string path = dir.file("00000001_index.dat");
    int descriptors = fixtures::open_descriptor_count();
    void TearDown() override { EXPECT_EQ(fixtures::open_descriptor_count(), descriptors); }

    void write(const Bytes& b) { fixtures::write_file(path, b); }

    // Opens the file positioned at byte 5 and checks the position is kept.
    template <typename F>
    void with_fd(F f) {
        int fd = ::open(path.c_str(), O_RDONLY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::lseek(fd, 5, SEEK_SET), 5);
        f(fd);
        EXPECT_EQ(::lseek(fd, 0, SEEK_CUR), 5);
        ::close(fd);
    }
};

TEST_F(IndexDat, BlockCrcCoversOnlyTheLastBlock) {
    struct {
        size_t region;        // bytes after the 10 skipped
        size_t covered_from;  // first of them the value covers
    } cases[] = {{0, 0}, {3, 0}, {1024, 0}, {1025, 1024}, {2048, 1024}, {5000, 4096}};
    for (auto c : cases) {
        Bytes b(10 + c.region);
        for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>(i * 7 + 1);
        write(b);
        auto expected = static_cast<uint32_t>(
            crc32(0L, b.data() + 10 + c.covered_from, static_cast<uInt>(c.region - c.covered_from)));
        with_fd([&](int fd) {
            unsigned int out = 1;
            ASSERT_EQ(CalculateCheckSumFd(fd, 10, &out), 1);
            EXPECT_EQ(out, c.region == 0 ? 0u : expected) << c.region;
            EXPECT_EQ(CalculateCheckSumFd(fd, 10, nullptr), 0);
            ASSERT_EQ(CalculateCheckSumFd(fd, 1 << 20, &out), 1);
            EXPECT_EQ(out, 0u);
        });
    }
    write({0, 0, 0, 0, 0, 0, 0, 0, 'a', 'b', 'c'});
    with_fd([](int fd) {
        unsigned int out = 0;
        CalculateCheckSumFd(fd, 8, &out);
        EXPECT_EQ(out, 0x352441C2u);
    });
}

TEST_F(IndexDat, ByteSumTakesSignedBytesFromOffset8) {
    struct {
        Bytes tail;
        unsigned int sum;
    } cases[] = {{{0x01, 0xFF}, 0}, {{}, 0}, {{0x80, 0x80}, 0xFFFFFF00u}, {{0x7F, 0x01}, 0x80u}};
    for (const auto& c : cases) {
        Bytes b(8 + c.tail.size(), 9);  // the lead block is never summed
        std::copy(c.tail.begin(), c.tail.end(), b.begin() + 8);
        write(b);
        with_fd([&](int fd) { EXPECT_EQ(CalculateChecksum(fd), c.sum); });
    }
}

// The payload is copied with a NUL behind it (an empty one as just the NUL);
// bytes after it are ignored. Release empties the record and may repeat.
TEST_F(IndexDat, VersionFileIsLoaded) {
    const fixtures::VersionDat full{.entries = 3, .first_major = 7, .first_minor = 8, .db_major = 2, .db_minor = 1,
                                    .text = "110001;1", .trailing = "ignored"};
    for (const fixtures::VersionDat& v : {full, fixtures::VersionDat{}}) {
        write(fixtures::build_version_dat(v));
        tagUPDT_DAT_VERSION_INFO_MEM info{};
        ASSERT_EQ(GetUpdateVersionInfo(path.c_str(), &info), 1);
        EXPECT_EQ(std::tuple(+info.stFirstVersion.dwMajorVersion, +info.stFirstVersion.dwMinorVersion,
                             +info.stDbVersion.dwMajorVersion, +info.stDbVersion.dwMinorVersion),
                  std::tuple(v.first_major, v.first_minor, v.db_major, v.db_minor));
        ASSERT_EQ(+info.stBuffer.dwSize, v.text.size());
        ASSERT_NE(+info.stBuffer.pData, nullptr);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(info.stBuffer.pData), v.text.size() + 1), v.text + '\0');
        EXPECT_EQ(ReleaseUpdateVersionInfo(&info), 0);
        EXPECT_TRUE(info.stBuffer.pData == nullptr && info.stBuffer.dwSize == 0);
        EXPECT_EQ(ReleaseUpdateVersionInfo(&info), 0);
    }
    EXPECT_EQ(ReleaseUpdateVersionInfo(nullptr), 0);
}

TEST_F(IndexDat, DamagedVersionFilesFail) {
    fixtures::VersionDat v;
    v.text = "1110010;1";
    Bytes good = fixtures::build_version_dat(v);
    auto fails = [&](const Bytes& b, const std::string& what) {
        write(b);
        tagUPDT_DAT_VERSION_INFO_MEM info{};
        EXPECT_EQ(GetUpdateVersionInfo(path.c_str(), &info), 0) << what;
        EXPECT_EQ(+info.stBuffer.pData, nullptr) << what;
    };
    for (size_t len = 0; len < good.size(); ++len) fails(Bytes(good.begin(), good.begin() + long(len)), "cut");
    Bytes bad_crc = good;
    bad_crc.back() ^= 1;
    fails(bad_crc, "checksum");
    v.override_size = true;
    for (uint32_t size : {10u, 1000u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        v.payload_size = size;
        fails(fixtures::build_version_dat(v), "payload size " + std::to_string(size));
    }
    for (uint32_t count : {1u, 0x10000000u, 0x0FFFFFFFu, 0xFFFFFFFFu}) {
        Bytes b = good;
        fixtures::set32(b, 16, count);  // entry count: everything after it moves
        fails(b, "entry count " + std::to_string(count));
    }
    tagUPDT_DAT_VERSION_INFO_MEM info{};
    EXPECT_EQ(GetUpdateVersionInfo(dir.file("missing").c_str(), &info) +
                  GetUpdateVersionInfo(dir.str().c_str(), &info) + GetUpdateVersionInfo(nullptr, &info) +
                  GetUpdateVersionInfo(path.c_str(), nullptr),
              0);
}

TEST_F(IndexDat, DefinitionRecordsAreDecoded) {
    write(fixtures::build_definition_dat(defs_test::three_records()));
    tagSOLO_DAT_HEADER_INFO header{};
    unsigned int err = 99;
    ASSERT_EQ(GetSoloIndexDatHeader(path.c_str(), &header, &err), 1);
    EXPECT_EQ(err, 0u);
    EXPECT_EQ(std::tuple(+header.dwProductId, +header.dwRecordCount, +header.dwLastDefId, +header.dwCurrentDefId),
              std::tuple(4u, 3u, 3u, 2u));

    tagSOLO_DEF_MEM_RECORD_INFO* recs = nullptr;
    unsigned int count = 0;
    err = 99;
    ASSERT_EQ(GetDefListFromDatFile(path.c_str(), &recs, &count, &err), 1);
    ASSERT_EQ(count, 3u);
    EXPECT_EQ(err, 0u);
    const unsigned char date[7] = {1, 2, 3, 4, 5, 6, 7};
    EXPECT_EQ(std::memcmp(&recs[0].stDefDate, date, 7), 0);
    EXPECT_EQ(std::tuple(+recs[0].dwDefId, std::string(recs[0].szDefName), +recs[0].dwNameLength),
              std::tuple(1u, "alpha", 6u));
    EXPECT_EQ(std::tuple(+recs[1].dwDefData, +recs[1].dwDefStatus), std::tuple(9u, 0u));
    EXPECT_EQ(std::tuple(std::string(recs[2].szDefName), +recs[2].dwNameLength),
              std::tuple(std::string(259, 'z'), 260u));
    EXPECT_EQ(ReleaseDefList(recs, count, &err), 1);
    EXPECT_EQ(ReleaseDefList(nullptr, 0, &err), 0);
}

TEST_F(IndexDat, EmptyDefinitionFileSkipsTheChecksum) {
    Bytes b = fixtures::build_definition_dat({});
    b[fixtures::solo_offset(0)] ^= 0x55;  // wrong solo checksum
    write(b);
    tagSOLO_DEF_MEM_RECORD_INFO* recs = reinterpret_cast<tagSOLO_DEF_MEM_RECORD_INFO*>(&b);
    unsigned int count = 5, err = 5;
    ASSERT_EQ(GetDefListFromDatFile(path.c_str(), &recs, &count, &err), 1);
    EXPECT_TRUE(recs == nullptr && count == 0);
    tagSOLO_DAT_HEADER_INFO header{};
    EXPECT_EQ(GetSoloIndexDatHeader(path.c_str(), &header, &err), 0);
    EXPECT_EQ(err, 0u);
}

TEST_F(IndexDat, DamagedDefinitionFilesFailWithNothingHandedOut) {
    Bytes good = fixtures::build_definition_dat(defs_test::three_records());
    auto fails = [&](const Bytes& b, const std::string& what) {
        write(b);
        tagSOLO_DEF_MEM_RECORD_INFO* recs = nullptr;
        unsigned int count = 77, err = 77;
        EXPECT_EQ(GetDefListFromDatFile(path.c_str(), &recs, &count, &err), 0) << what;
        EXPECT_TRUE(recs == nullptr && count == 77 && err == 0) << what;
    };
    for (size_t len = 0; len < good.size(); ++len) fails(Bytes(good.begin(), good.begin() + long(len)), "cut");
    Bytes b = good;
    b[b.size() - 2] ^= 1;
    fails(b, "checksum");
    for (uint32_t bad : {0u, 261u, 0x80000000u, 0xFFFFFFFFu}) {
        auto d = defs_test::three_records();
        d.records[1].override_length = true;
        d.records[1].name_length = bad;
        fails(fixtures::build_definition_dat(d), "name length " + std::to_string(bad));
    }
    for (uint32_t count : {4u, 1000u, 0x10000000u, 0xFFFFFFFFu}) {
        auto d = defs_test::three_records();
        d.override_count = true;
        d.record_count = count;
        fails(fixtures::build_definition_dat(d), "record count " + std::to_string(count));
    }
    unsigned int count = 0, err = 0;
    tagSOLO_DEF_MEM_RECORD_INFO* recs = nullptr;
    EXPECT_EQ(GetDefListFromDatFile(dir.str().c_str(), &recs, &count, &err) +
                  GetDefListFromDatFile(nullptr, &recs, &count, &err) +
                  GetDefListFromDatFile(path.c_str(), &recs, &count, nullptr),
              0);
}

}  // namespace

// CVXCrc32 and _filelength against zlib's crc32.
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <tuple>

#include <gtest/gtest.h>

#include "datwriter.h"
#include "kaldorn/crc32.h"

namespace {

uint32_t zlib_crc(const uint8_t* p, size_t n) { return static_cast<uint32_t>(crc32(0L, p, static_cast<uInt>(n))); }

TEST(Crc32, TableIsTheStandardReflectedTable) {
    CVXCrc32 crc;
    const z_crc_t* ref = get_crc_table();
    const auto* table = reinterpret_cast<const uint32_t*>(&crc);  // the object is exactly its table
    for (int i = 0; i < 256; ++i) ASSERT_EQ(table[i], ref[i]) << i;
}

// Every length up to 4096 at offset 0, and every alignment on shorter runs:
// the folded path must give the byte-table value for each. One object serves
// every call, so a value carried from one call into the next shows here too.
TEST(Crc32, BufferIsComplementOfStandardCrcForAllLengthsAndAlignments) {
    CVXCrc32 crc;
    auto data = fixtures::random_bytes(4096 + 64, 7);
    for (size_t align = 0; align < 16; ++align) {
        size_t max = align == 0 ? 4096 : 600;
        for (size_t len = 0; len <= max; ++len) {
            unsigned int out = 0;
            ASSERT_EQ(crc.GetBuffCrc32(data.data() + align, static_cast<int>(len), &out), 1);
            ASSERT_EQ(out, ~zlib_crc(data.data() + align, len)) << "len " << len << " align " << align;
        }
    }
}

// The string form is the standard CRC, the buffer form its complement; a
// length of 0 or less gives all ones.
TEST(Crc32, WorkedValues) {
    CVXCrc32 crc;
    auto* abc = reinterpret_cast<const unsigned char*>("abc");
    unsigned int text = 1, empty = 1, buffer = 1;
    ASSERT_EQ(crc.GetStringCrc32("abc", &text) + crc.GetStringCrc32("", &empty) + crc.GetBuffCrc32(abc, 3, &buffer), 3);
    EXPECT_EQ(std::tuple(text, empty, buffer), std::tuple(0x352441C2u, 0u, 0xCADBBE3Du));
    for (int len : {0, -1, -1000}) {
        buffer = 5;
        ASSERT_EQ(crc.GetBuffCrc32(abc, len, &buffer), 1);
        EXPECT_EQ(buffer, 0xFFFFFFFFu);
    }
}

TEST(Crc32, NullArgumentsFailAndWriteNothing) {
    CVXCrc32 crc;
    unsigned int out = 42;
    EXPECT_EQ(crc.GetBuffCrc32(nullptr, 3, &out), 0);
    EXPECT_EQ(crc.GetBuffCrc32(reinterpret_cast<const unsigned char*>("a"), 1, nullptr), 0);
    EXPECT_EQ(crc.GetStringCrc32(nullptr, &out), 0);
    EXPECT_EQ(crc.GetStringCrc32("a", nullptr), 0);
    EXPECT_EQ(crc.GetFileCrc32fopen(nullptr, &out), 0);
    EXPECT_EQ(crc.GetFileCrc32open(nullptr, &out), 0);
    EXPECT_EQ(crc.GetFileCrc32open("/etc/hostname", nullptr), 0);
    EXPECT_EQ(out, 42u);
}

TEST(Crc32, FileFormsAgreeWithZlib) {
    fixtures::TempDir dir;
    CVXCrc32 crc;
    for (size_t size : {size_t{0}, size_t{1}, size_t{1023}, size_t{1024}, size_t{70000}, size_t{200003}}) {
        auto data = fixtures::random_bytes(size, static_cast<unsigned>(size));
        fixtures::write_file(dir.file("f"), data);
        unsigned int a = 1, b = 2;
        int fds = fixtures::open_descriptor_count();
        ASSERT_EQ(crc.GetFileCrc32fopen(dir.file("f").c_str(), &a), 1);
        ASSERT_EQ(crc.GetFileCrc32open(dir.file("f").c_str(), &b), 1);
        EXPECT_EQ(fixtures::open_descriptor_count(), fds);
        EXPECT_EQ(a, zlib_crc(data.data(), size)) << size;
        EXPECT_EQ(b, a);
    }
    unsigned int out = 9;
    EXPECT_EQ(crc.GetFileCrc32fopen(dir.file("missing").c_str(), &out), 0);
    EXPECT_EQ(crc.GetFileCrc32open(dir.file("missing").c_str(), &out), 0);
    EXPECT_EQ(out, 9u);
}

TEST(FileLength, LengthWithoutMovingThePosition) {
    EXPECT_EQ(_filelength(-1), 0);
    EXPECT_EQ(_filelength(12345), -1);
    fixtures::TempDir dir;
    auto data = fixtures::random_bytes(100, 7);
    fixtures::write_file(dir.file("f"), data);
    int fd = ::open(dir.file("f").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::lseek(fd, 10, SEEK_SET), 10);
    EXPECT_EQ(_filelength(fd), 100);
    unsigned char byte = 0;
    ASSERT_EQ(::read(fd, &byte, 1), 1);
    EXPECT_EQ(byte, data[10]);
    ::close(fd);
}

}  // namespace

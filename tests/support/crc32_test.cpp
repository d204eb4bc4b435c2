// CVXCrc32 and _filelength against zlib's crc32.
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include "fixtures.h"
#include "kaldorn/crc32.h"

namespace {

uint32_t zlib_crc(const unsigned char* p, size_t n) { return uint32_t(crc32(0L, p, static_cast<uInt>(n))); }

// Buffers (the complement of the standard CRC; all ones for a length of 0 or
// less) on every length to 2100 at a moving alignment through one object,
// strings, and files across read blocks; failures write nothing.
TEST(Crc32, AgreesWithZlib) {
    CVXCrc32 crc;
    const fx::Bytes data = fx::random_bytes(200003, 7);
    for (size_t len = 0; len <= 2100; ++len) {
        unsigned int out = 0;
        ASSERT_EQ(crc.GetBuffCrc32(data.data() + len % 16, static_cast<int>(len), &out), 1);
        ASSERT_EQ(out, ~zlib_crc(data.data() + len % 16, len)) << len;
    }
    unsigned int text = 1, empty = 1, negative = 1;
    crc.GetStringCrc32("abc", &text), crc.GetStringCrc32("", &empty), crc.GetBuffCrc32(data.data(), -9, &negative);
    EXPECT_EQ(std::vector<unsigned int>({text, empty, negative}), std::vector<unsigned int>({0x352441C2u, 0, ~0u}));
    fx::TempDir dir;
    const std::string f = dir.file("f");
    for (size_t size : {0u, 1u, 1023u, 70000u, 200003u}) {
        fx::write_file(f, fx::Bytes(data.begin(), data.begin() + static_cast<long>(size)));
        unsigned int a = 1, b = 2;
        ASSERT_EQ(crc.GetFileCrc32fopen(f.c_str(), &a) + crc.GetFileCrc32open(f.c_str(), &b), 2);
        EXPECT_EQ(std::pair(a, b), std::pair(zlib_crc(data.data(), size), zlib_crc(data.data(), size))) << size;
    }
    unsigned int out = 42;
    EXPECT_EQ(crc.GetBuffCrc32(data.data(), 1, nullptr) + crc.GetStringCrc32(nullptr, &out) +
                  crc.GetFileCrc32fopen(f.c_str(), nullptr) + crc.GetFileCrc32open(nullptr, &out),
              0);
    EXPECT_EQ(out, 42u);
    // _filelength: 0 for -1, -1 for a closed descriptor, the position kept.
    EXPECT_EQ(std::pair(_filelength(-1), _filelength(12345)), std::pair(0, -1));
    const int fd = ::open(f.c_str(), O_RDONLY);
    ::lseek(fd, 10, SEEK_SET);
    EXPECT_EQ(std::pair(_filelength(fd), ::lseek(fd, 0, SEEK_CUR)), std::pair(200003, off_t{10}));
    ::close(fd);
}

}  // namespace

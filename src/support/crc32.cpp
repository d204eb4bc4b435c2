// CVXCrc32: CRC-32 over buffers, files and strings.
#include "kaldorn/crc32.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "support/crc_fold.h"
#include "support/fileio.h"

namespace {
// Files are read in stack blocks; the block size is not observable in the
// value, so it is chosen for throughput.
constexpr size_t kFileBlock = 64 * 1024;
}  // namespace

CVXCrc32::CVXCrc32() { GenerateCrc32Table(); }

CVXCrc32::~CVXCrc32() = default;

void CVXCrc32::GenerateCrc32Table() {
    for (unsigned int n = 0; n < 256; ++n) {
        unsigned int c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1u) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        m_dwCrcTable[n] = c;
    }
}

int CVXCrc32::GetBuffCrc32(const unsigned char* buf, int len, unsigned int* crc) {
    if (buf == nullptr || crc == nullptr) return 0;
    unsigned int reg = 0xFFFFFFFFu;
    if (len > 0) reg = kaldorn::detail::crc32_update(m_dwCrcTable, reg, buf, static_cast<size_t>(len));
    *crc = reg;
    return 1;
}

int CVXCrc32::GetFileCrc32fopen(const char* path, unsigned int* crc) {
    if (path == nullptr || crc == nullptr) return 0;
    FILE* f = std::fopen(path, "rb");
    if (f == nullptr) return 0;
    std::setvbuf(f, nullptr, _IONBF, 0);  // our own block is the buffer
    unsigned char block[kFileBlock];
    unsigned int reg = 0xFFFFFFFFu;
    size_t got;
    while ((got = std::fread(block, 1, sizeof block, f)) > 0)
        reg = kaldorn::detail::crc32_update(m_dwCrcTable, reg, block, got);
    std::fclose(f);
    *crc = ~reg;
    return 1;
}

int CVXCrc32::GetFileCrc32open(const char* path, unsigned int* crc) {
    if (path == nullptr || crc == nullptr) return 0;
    kaldorn::detail::FdGuard fd(kaldorn::detail::open_read(path));
    if (!fd.valid()) return 0;
    unsigned char block[kFileBlock];
    unsigned int reg = 0xFFFFFFFFu;
    for (;;) {
        ssize_t got = ::read(fd.get(), block, sizeof block);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;  // a read error ends the input like end of file
        reg = kaldorn::detail::crc32_update(m_dwCrcTable, reg, block, static_cast<size_t>(got));
    }
    *crc = ~reg;
    return 1;
}

int CVXCrc32::GetStringCrc32(const char* str, unsigned int* crc) {
    if (str == nullptr || crc == nullptr) return 0;
    unsigned int reg = kaldorn::detail::crc32_update(m_dwCrcTable, 0xFFFFFFFFu,
                                                     reinterpret_cast<const unsigned char*>(str), std::strlen(str));
    *crc = ~reg;
    return 1;
}

// The library's CRC-32 (kept as the complement of the usual value) and MD5 over raw bytes against zlib and OpenSSL.
#include <openssl/evp.h>
#include <zlib.h>

#include <cstring>

#include "fuzz_input.h"
#include "kaldorn/crc32.h"
#include "kaldorn/md5lib.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CVXCrc32 crc;
    unsigned int ours = 0;
    if (crc.GetBuffCrc32(data, static_cast<int>(size), &ours) != 1) std::abort();
    if (ours != ~static_cast<unsigned int>(crc32(0L, data, static_cast<uInt>(size)))) std::abort();
    CMd5 md5;
    unsigned char digest[16], expected[16];
    if (md5.CalculateMD5(data, static_cast<unsigned int>(size), digest) != 1) std::abort();
    unsigned int length = 0;
    if (EVP_Digest(data, size, expected, &length, EVP_md5(), nullptr) != 1 || length != 16) std::abort();
    if (std::memcmp(digest, expected, sizeof digest) != 0) std::abort();
    return 0;
}

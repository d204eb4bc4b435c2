// CRC-32 (kept as the complement of the usual value) and MD5 on every path, against zlib's crc32 and OpenSSL's MD5.
#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/mman.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "fuzz_input.h"
#include "kaldorn/crc32.h"
#include "kaldorn/md5lib.h"
#include "support/crc_fold.h"
#include "support/md5_files.h"

using namespace kaldorn::detail;

struct OneFile final : FileJobs {  // the input as the only file to digest, by its descriptor's name
    int fd;
    bool given = false;
    unsigned char digest[16] = {};
    explicit OneFile(int f) : fd(f) {}
    ~OneFile() { if (fd >= 0) ::close(fd); }
    bool next(size_t& item, int& dir, char* name) override {
        if (given) return false;
        given = true, item = 0, dir = AT_FDCWD;
        std::snprintf(name, 64, "/proc/self/fd/%d", fd);
        return true;
    }
    int open_failed(size_t, int) override { return -1; }
    void done(size_t, const unsigned char* d) override { std::memcpy(digest, d, 16); }
};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CVXCrc32 crc;
    unsigned int ours = 0;
    if (crc.GetBuffCrc32(data, static_cast<int>(size), &ours) != 1) std::abort();
    if (ours != ~static_cast<unsigned int>(crc32(0L, data, static_cast<uInt>(size)))) std::abort();
    const auto* table = reinterpret_cast<const uint32_t*>(&crc);  // the object is exactly its table
    for (CrcPath path : {CrcPath::table, CrcPath::clmul128, CrcPath::clmul256, CrcPath::clmul512})
        if (crc_path_runs(path) && crc32_update_on(path, table, ~0u, data, size) != ours) std::abort();
    CMd5 md5;
    unsigned char digest[16], expected[16];
    if (md5.CalculateMD5(data, static_cast<unsigned int>(size), digest) != 1) std::abort();
    unsigned int length = 0;
    if (EVP_Digest(data, size, expected, &length, EVP_md5(), nullptr) != 1 || length != 16) std::abort();
    if (std::memcmp(digest, expected, sizeof digest) != 0) std::abort();
    for (Md5Path path : {Md5Path::one, Md5Path::eight, Md5Path::sixteen}) {
        OneFile file(md5_path_runs(path) ? ::memfd_create("input", 0) : -1);
        if (file.fd >= 0 &&
            (::pwrite(file.fd, data, size, 0) != static_cast<ssize_t>(size) ||
             !digest_files(path, FileIo::calls, 1, file) || std::memcmp(file.digest, expected, 16) != 0))
            std::abort();
    }
    return 0;
}

// CRC-32 and MD5 throughput beside zlib's crc32 and OpenSSL's MD5.
#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "kaldorn/crc32.h"
#include "kaldorn/md5lib.h"

namespace {

std::vector<unsigned char> random_buffer(size_t n) {
    std::mt19937 gen(1);
    std::vector<unsigned char> b(n);
    for (auto& v : b) v = static_cast<unsigned char>(gen());
    return b;
}

constexpr size_t kCrcBuffer = 64 * 1024;
constexpr size_t kMd5Buffer = 1024 * 1024;
constexpr size_t kFileSize = 64 * 1024 * 1024;

void BM_Crc32_Kaldorn_64KiB(benchmark::State& state) {
    auto buf = random_buffer(kCrcBuffer);
    CVXCrc32 crc;
    unsigned int out = 0;
    for (auto _ : state) {
        crc.GetBuffCrc32(buf.data(), static_cast<int>(buf.size()), &out);
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * buf.size()));
}

void BM_Crc32_Zlib_64KiB(benchmark::State& state) {
    auto buf = random_buffer(kCrcBuffer);
    for (auto _ : state) benchmark::DoNotOptimize(crc32(0L, buf.data(), static_cast<uInt>(buf.size())));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * buf.size()));
}

void BM_Md5_Kaldorn_1MiB(benchmark::State& state) {
    auto buf = random_buffer(kMd5Buffer);
    CMd5 md5;
    unsigned char d[16];
    for (auto _ : state) {
        md5.CalculateMD5(buf.data(), static_cast<unsigned int>(buf.size()), d);
        benchmark::DoNotOptimize(d);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * buf.size()));
}

void BM_Md5_OpenSsl_1MiB(benchmark::State& state) {
    auto buf = random_buffer(kMd5Buffer);
    unsigned char d[16];
    unsigned int len = 0;
    for (auto _ : state) {
        EVP_Digest(buf.data(), buf.size(), d, &len, EVP_md5(), nullptr);
        benchmark::DoNotOptimize(d);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * buf.size()));
}

// A 64 MiB file, written once and read through the page cache.
const std::string& big_file() {
    static const std::string path = [] {
        std::string p = "/tmp/kaldorn-bench-64MiB.bin";
        auto buf = random_buffer(kFileSize);
        FILE* f = std::fopen(p.c_str(), "wb");
        std::fwrite(buf.data(), 1, buf.size(), f);
        std::fclose(f);
        return p;
    }();
    return path;
}

// The ceiling of a reader that copies from the page cache: the same file
// read with read() in the blocks the file CRC uses, and nothing else.
void BM_Read_64MiB(benchmark::State& state) {
    big_file();
    std::vector<unsigned char> block(64 * 1024);
    for (auto _ : state) {
        int fd = ::open(big_file().c_str(), O_RDONLY);
        while (::read(fd, block.data(), block.size()) > 0) benchmark::ClobberMemory();
        ::close(fd);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}

void BM_Crc32_File_open_64MiB(benchmark::State& state) {
    big_file();  // written and cached before timing starts
    CVXCrc32 crc;
    unsigned int out = 0;
    for (auto _ : state) crc.GetFileCrc32open(big_file().c_str(), &out);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}

void BM_Crc32_File_fopen_64MiB(benchmark::State& state) {
    CVXCrc32 crc;
    unsigned int out = 0;
    for (auto _ : state) crc.GetFileCrc32fopen(big_file().c_str(), &out);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}

void BM_Md5_File_64MiB(benchmark::State& state) {
    CMd5 md5;
    unsigned char d[16];
    for (auto _ : state) md5.CalculateMD5(big_file().c_str(), d);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}

}  // namespace

BENCHMARK(BM_Crc32_Kaldorn_64KiB);
BENCHMARK(BM_Crc32_Zlib_64KiB);
BENCHMARK(BM_Md5_Kaldorn_1MiB);
BENCHMARK(BM_Md5_OpenSsl_1MiB);
BENCHMARK(BM_Read_64MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Crc32_File_open_64MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Crc32_File_fopen_64MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Md5_File_64MiB)->Unit(benchmark::kMillisecond);

// Component lists: reading, writing, merging and diffing lists of 10,000 to
// 1,000,000 records, and verifying 10,000 component files of 4 KiB and 64 of
// 4 MiB beside checking them one by one with OpenSSL's MD5, and beside
// hashing 10,000 x 4 KiB from memory.
#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "kaldorn/md5lib.h"
#include "kaldorn/vxcminfo.h"

namespace {

using Rec = tagVX_COMPONENT_FILE_MEM_RECORD_INFO;

// n records named component_<i>.dll with random digests; the newer list
// changes every fourth digest, renames every tenth record's letter case and
// adds n / 10 new names.
std::vector<Rec> make_records(size_t n, bool newer) {
    std::mt19937 gen(static_cast<unsigned>(n));
    std::vector<Rec> out;
    size_t total = newer ? n + n / 10 : n;
    for (size_t i = 0; i < total; ++i) {
        Rec r{};
        r.dwFlag = 1;
        r.dwFileSize = static_cast<unsigned int>(gen());
        for (auto& d : r.uchMD5Digest) d = static_cast<unsigned char>(gen());
        if (newer && i % 4 == 0) r.uchMD5Digest[0] ^= 1;
        const char* pattern = newer && i % 10 == 0 ? "COMPONENT_%07zu.DLL" : "component_%07zu.dll";
        int len = std::snprintf(r.szFileName, sizeof r.szFileName, pattern, i);
        r.dwNameLength = static_cast<unsigned int>(len + 1);
        out.push_back(r);
    }
    return out;
}

std::string list_path(size_t n, bool newer) {
    return "/tmp/kaldorn-bench-compns-" + std::to_string(n) + (newer ? "-new.lst" : "-old.lst");
}

// Writes the older and newer lists of n records once per run.
void ensure_lists(size_t n) {
    static std::map<size_t, bool> done;
    if (done[n]) return;
    unsigned int code = 0;
    for (bool newer : {false, true}) {
        auto recs = make_records(n, newer);
        DumpRecordsToCompnLstFile(list_path(n, newer).c_str(), recs.data(), static_cast<unsigned>(recs.size()), 0,
                                  nullptr, &code);
    }
    done[n] = true;
}

void read_one(const std::string& path) {
    Rec* recs = nullptr;
    unsigned int count = 0, code = 0;
    GetCompnListFromLstFile(path.c_str(), &recs, &count, &code);
    benchmark::DoNotOptimize(recs);
    ReleaseCompnList(recs, count, &code);
}

void BM_CompnRead(benchmark::State& state) {
    auto n = static_cast<size_t>(state.range(0));
    ensure_lists(n);
    for (auto _ : state) read_one(list_path(n, true));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * n));
}

// The reference for merge and diff: reading their two inputs.
void BM_CompnReadBoth(benchmark::State& state) {
    auto n = static_cast<size_t>(state.range(0));
    ensure_lists(n);
    for (auto _ : state) {
        read_one(list_path(n, false));
        read_one(list_path(n, true));
    }
}

void BM_CompnWrite(benchmark::State& state) {
    auto n = static_cast<size_t>(state.range(0));
    auto recs = make_records(n, true);
    unsigned int code = 0;
    std::string path = "/tmp/kaldorn-bench-compns-write.lst";
    for (auto _ : state)
        DumpRecordsToCompnLstFile(path.c_str(), recs.data(), static_cast<unsigned>(recs.size()), 0, nullptr, &code);
    std::remove(path.c_str());
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * recs.size()));
}

template <int (*Op)(const char*, const char*, Rec**, unsigned int*, unsigned int*)>
void BM_CompnCompare(benchmark::State& state) {
    auto n = static_cast<size_t>(state.range(0));
    ensure_lists(n);
    for (auto _ : state) {
        Rec* recs = nullptr;
        unsigned int count = 0, code = 0;
        Op(list_path(n, false).c_str(), list_path(n, true).c_str(), &recs, &count, &code);
        benchmark::DoNotOptimize(recs);
        ReleaseCompnList(recs, count, &code);
    }
}

// An installation of `count` random files of `size` bytes and its list,
// written once per run: 10,000 of 4 KiB or 64 of 4 MiB.
const std::string& installation(size_t count, size_t size) {
    static std::map<size_t, std::string> made;
    std::string& dir = made[count];
    if (!dir.empty()) return dir;
    dir = "/tmp/kaldorn-bench-install-" + std::to_string(count) + "x" + std::to_string(size);
    ::mkdir(dir.c_str(), 0700);
    std::mt19937 gen(5);
    std::vector<Rec> recs(count);
    std::vector<unsigned char> buf(size);
    unsigned int code = 0;
    for (size_t i = 0; i < count; ++i) {
        for (auto& b : buf) b = static_cast<unsigned char>(gen());
        std::string path = dir + "/c" + std::to_string(i) + ".bin";
        FILE* f = std::fopen(path.c_str(), "wb");
        std::fwrite(buf.data(), 1, buf.size(), f);
        std::fclose(f);
        GetCompnLstFileRecord(path.c_str(), 1, &recs[i], &code);
    }
    DumpRecordsToCompnLstFile((dir + ".lst").c_str(), recs.data(), static_cast<unsigned>(count), 0, nullptr, &code);
    return dir;
}

// VerifyCompnsFileRecords over the installation (nothing to report).
void BM_Verify_Kaldorn(benchmark::State& state) {
    auto count = static_cast<size_t>(state.range(0)), size = static_cast<size_t>(state.range(1));
    const std::string& dir = installation(count, size);
    std::string list = dir + ".lst";
    for (auto _ : state) {
        Rec* recs = nullptr;
        unsigned int found = 0, code = 0;
        VerifyCompnsFileRecords(list.c_str(), dir.c_str(), nullptr, &recs, &found, &code);
        if (found != 0 || code != 0) state.SkipWithError("verification reported components");
        ReleaseCompnList(recs, found, &code);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * count * size));
}

// The peer: what md5sum -c does for the same files, one after another with
// OpenSSL's MD5 in 32 KiB reads, the list's digests taken as given.
void BM_Verify_OpenSslOneByOne(benchmark::State& state) {
    auto count = static_cast<size_t>(state.range(0)), size = static_cast<size_t>(state.range(1));
    const std::string& dir = installation(count, size);
    Rec* recs = nullptr;
    unsigned int n = 0, code = 0;
    GetCompnListFromLstFile((dir + ".lst").c_str(), &recs, &n, &code);
    std::vector<unsigned char> block(32 * 1024);
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    for (auto _ : state) {
        size_t damaged = 0;
        for (unsigned int i = 0; i < n; ++i) {
            int fd = ::open((dir + "/" + recs[i].szFileName).c_str(), O_RDONLY);
            EVP_DigestInit_ex(ctx, EVP_md5(), nullptr);
            for (ssize_t got; (got = ::read(fd, block.data(), block.size())) > 0;)
                EVP_DigestUpdate(ctx, block.data(), static_cast<size_t>(got));
            ::close(fd);
            unsigned char digest[16];
            EVP_DigestFinal_ex(ctx, digest, nullptr);
            damaged += std::memcmp(digest, recs[i].uchMD5Digest, 16) != 0 ? 1 : 0;
        }
        if (damaged != 0) state.SkipWithError("damaged components");
    }
    EVP_MD_CTX_free(ctx);
    ReleaseCompnList(recs, n, &code);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * count * size));
}

// The same bytes hashed from memory, one digest per 4 KiB.
void BM_Md5Memory_10000x4KiB(benchmark::State& state) {
    constexpr size_t kComponents = 10000, kComponentSize = 4096;
    std::mt19937 gen(5);
    std::vector<unsigned char> buf(kComponents * kComponentSize);
    for (auto& b : buf) b = static_cast<unsigned char>(gen());
    CMd5 md5;
    unsigned char d[16];
    for (auto _ : state)
        for (size_t i = 0; i < kComponents; ++i) md5.CalculateMD5(buf.data() + i * kComponentSize, kComponentSize, d);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * buf.size()));
}

}  // namespace

#define KALDORN_SIZES ->Arg(10000)->Arg(100000)->Arg(1000000)->MinWarmUpTime(0.2)->Unit(benchmark::kMillisecond)
BENCHMARK(BM_CompnRead) KALDORN_SIZES;
BENCHMARK(BM_CompnReadBoth) KALDORN_SIZES;
BENCHMARK(BM_CompnWrite) KALDORN_SIZES;
BENCHMARK_TEMPLATE(BM_CompnCompare, GenerateMergforCompnLstFiles) KALDORN_SIZES;
BENCHMARK_TEMPLATE(BM_CompnCompare, GenerateDiffforCompnLstFiles) KALDORN_SIZES;
#define KALDORN_INSTALLATIONS ->Args({10000, 4096})->Args({64, 4 << 20})->ArgNames({"files", "size"})
BENCHMARK(BM_Verify_Kaldorn) KALDORN_INSTALLATIONS->MinWarmUpTime(0.2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Verify_OpenSslOneByOne) KALDORN_INSTALLATIONS->MinWarmUpTime(0.2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Md5Memory_10000x4KiB)->Unit(benchmark::kMillisecond);

// Signed releases: the fixed cost of opening a release (both signatures, the
// comment, the listing and the state, with the state on tmpfs so that its
// flush costs nothing), and checking a directory of 10,000 files of 4 KiB or
// 64 of 4 MiB (on the disk, page cache warm) against SHA256SUMS beside
// OpenSSL's SHA-256 one file after another, as sha256sum -c does.
#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "kaldorn/trust.h"
#include "trust/writer.h"

namespace {

namespace tr = kaldorn::trust;
constexpr int64_t kNow = 1800000000;

// A signed source of `count` random files of `size` bytes (plus one index
// DAT of the same bytes), its key and a state directory, made once per run.
struct Source {
    std::string dir, pub, state;
};

const Source& source(size_t count, size_t size) {
    static std::map<size_t, Source> made;
    Source& s = made[count];
    if (!s.dir.empty()) return s;
    const std::string name = "kaldorn-bench-release-" + std::to_string(count) + "x" + std::to_string(size);
    const std::string base = "/tmp/" + name;
    std::filesystem::remove_all(base);
    s = {base + "/source", base + "/k.pub", "/dev/shm/" + name};
    std::filesystem::remove_all(s.state);
    std::filesystem::create_directories(s.dir);
    std::filesystem::create_directories(s.state);
    std::mt19937 gen(7);
    std::vector<unsigned char> buf(size);
    for (size_t i = 0; i <= count; ++i) {
        for (auto& b : buf) b = static_cast<unsigned char>(gen());
        const std::string name = i == count ? "/00000001_index.dat" : "/c" + std::to_string(i) + ".bin";
        FILE* f = std::fopen((s.dir + name).c_str(), "wb");
        std::fwrite(buf.data(), 1, buf.size(), f);
        std::fclose(f);
    }
    tr::SecretKey key{};
    tr::ReleaseComment comment{"bench", 1, kNow + 3600};
    if (!tr::generate_keys(s.pub.c_str(), (base + "/k.sec").c_str(), nullptr, 0, nullptr) ||
        !tr::load_secret_key((base + "/k.sec").c_str(), nullptr, 0, key, nullptr) ||
        !tr::write_sums(s.dir.c_str(), nullptr) || !tr::sign_sums(s.dir.c_str(), key, comment, nullptr))
        s.dir.clear();
    return s;
}

KAL_DORN_TRUST_RELEASE* open(const Source& s, benchmark::State& state) {
    const char* keys[] = {s.pub.c_str()};
    KAL_DORN_TRUST_RELEASE* release = nullptr;
    KAL_DORN_TRUST_ERROR error{};
    if (KalDornTrustOpenRelease(s.dir.c_str(), keys, 1, "bench", kNow, s.state.c_str(), &release, &error) != 1)
        state.SkipWithError(error.message);
    return release;
}

// Opening a release of one file: its signatures, comment, listing and state.
void BM_Release_Open(benchmark::State& state) {
    const Source& s = source(1, 4096);
    for (auto _ : state) KalDornTrustCloseRelease(open(s, state));
}

// Every listed file of the source checked at once.
void BM_Release_CheckDirectory(benchmark::State& state) {
    auto count = static_cast<size_t>(state.range(0)), size = static_cast<size_t>(state.range(1));
    const Source& s = source(count, size);
    KAL_DORN_TRUST_RELEASE* release = open(s, state);
    for (auto _ : state) {
        KAL_DORN_TRUST_ERROR error{};
        if (KalDornTrustCheckDirectory(release, s.dir.c_str(), nullptr, nullptr, nullptr, &error) != 1)
            state.SkipWithError(error.message);
    }
    KalDornTrustCloseRelease(release);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * count * size));
}

// The peer: each listed file opened, read in 32 KiB blocks into OpenSSL's
// SHA-256 and closed, one after another.
void BM_Release_OpenSslOneByOne(benchmark::State& state) {
    auto count = static_cast<size_t>(state.range(0)), size = static_cast<size_t>(state.range(1));
    const Source& s = source(count, size);
    KAL_DORN_TRUST_RELEASE* release = open(s, state);
    std::vector<unsigned char> block(32 * 1024);
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    for (auto _ : state) {
        size_t damaged = 0;
        for (size_t i = 0; i < KalDornTrustReleaseFileCount(release); ++i) {
            KAL_DORN_TRUST_FILE file{};
            KalDornTrustReleaseFile(release, i, &file);
            int fd = ::open((s.dir + "/" + file.name).c_str(), O_RDONLY);
            EVP_DigestInit_ex(ctx, EVP_sha256(), nullptr);
            for (ssize_t got; (got = ::read(fd, block.data(), block.size())) > 0;)
                EVP_DigestUpdate(ctx, block.data(), static_cast<size_t>(got));
            ::close(fd);
            unsigned char digest[32];
            EVP_DigestFinal_ex(ctx, digest, nullptr);
            damaged += std::memcmp(digest, file.sha256, 32) != 0 ? 1 : 0;
        }
        if (damaged != 0) state.SkipWithError("damaged files");
    }
    EVP_MD_CTX_free(ctx);
    KalDornTrustCloseRelease(release);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * count * size));
}

}  // namespace

BENCHMARK(BM_Release_Open)->Unit(benchmark::kMicrosecond);
#define KALDORN_SOURCES ->Args({10000, 4096})->Args({64, 4 << 20})->ArgNames({"files", "size"})
BENCHMARK(BM_Release_CheckDirectory) KALDORN_SOURCES->MinWarmUpTime(0.2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Release_OpenSslOneByOne) KALDORN_SOURCES->MinWarmUpTime(0.2)->Unit(benchmark::kMillisecond);

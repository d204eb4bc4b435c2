// Planning on long version texts: the internet driver, the update-manager
// driver with the keep-window rule and the update manager's delete list,
// each beside reading the same source index with GetUpdateVersionInfo
// alone. The client stands near the start (1.2), as a fresh installation
// does. Each timed call includes freeing the list it hands out.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "files.h"
#include "kaldorn/nupdtinf.h"

namespace {

struct Installation {
    fx::TempDir dir;
    std::string client = dir.file("client");
    std::string source = dir.file("source");
    std::vector<unsigned short> wide_client, wide_source;
};

std::vector<unsigned short> widen(const std::string& s) {
    std::vector<unsigned short> w(s.size() + 1);
    ConvertToWideCharEx(s.c_str(), w.data(), static_cast<unsigned int>(w.size()));
    return w;
}

// The example's pattern repeated to `tokens` update files, and its newest
// version: a weekly or a monthly closes a series.
std::string repeated_text(size_t tokens, unsigned int& major, unsigned int& minor) {
    static const char* const pattern[] = {"1", "1", "0001;", "1", "1", "0001;", "1", "1", "0010;"};
    std::string text;
    major = 1, minor = 0;
    for (size_t i = 0; i < tokens; ++i) {
        text += pattern[i % 9];
        ++minor;
        if (i + 1 < tokens && text.back() == ';') ++major, minor = 0;
    }
    return text;
}

// One source of `tokens` update files at its newest version, and a client
// at 1.2; written once per size.
const Installation& installation(size_t tokens) {
    static std::map<size_t, std::unique_ptr<Installation>> made;
    auto& slot = made[tokens];
    if (!slot) {
        slot = std::make_unique<Installation>();
        unsigned int major = 0, minor = 0;
        const std::string text = repeated_text(tokens, major, minor);
        fx::write_version_index(slot->source, 1, text, major, minor);
        fx::write_version_index(slot->client, 1, "11", 1, 2);
        slot->wide_client = widen(slot->client);
        slot->wide_source = widen(slot->source);
    }
    return *slot;
}

void report(benchmark::State& state, const tagKAL_DORN_VERSION_LIST* list, unsigned int error) {
    size_t n = 0;
    for (; list != nullptr; list = list->pNext) ++n;
    state.counters["listed"] = static_cast<double>(n);
    if (error != 0) state.SkipWithError(("error code " + std::to_string(error)).c_str());
}

void BM_ReadSourceIndex(benchmark::State& state) {
    std::string path = installation(static_cast<size_t>(state.range(0))).source + "/00000001_index.dat";
    for (auto _ : state) {
        tagUPDT_DAT_VERSION_INFO_MEM info{};
        if (GetUpdateVersionInfo(path.c_str(), &info) != 1) state.SkipWithError("unreadable");
        ReleaseUpdateVersionInfo(&info);
    }
}

template <typename Call>
void run(benchmark::State& state, Call call) {
    const Installation& in = installation(static_cast<size_t>(state.range(0)));
    tagKAL_DORN_VERSION_LIST* list = nullptr;
    unsigned int error = 0;
    call(in, &list, &error);
    report(state, list, error);
    FreeUpdtInfoList(list);
    for (auto _ : state) {
        call(in, &list, &error);
        FreeUpdtInfoList(list);
    }
}

void BM_InternetDriver(benchmark::State& state) {
    run(state, [](const Installation& in, auto list, auto error) {
        KalDornGetDownloadVersionListForInternetLocal(1, in.client.c_str(), in.source.c_str(), list, 0, 1, error);
    });
}

void BM_UpdateManagerDriverKeepWindow(benchmark::State& state) {
    run(state, [](const Installation& in, auto list, auto error) {
        KalDornGetDownloadVersionListForUpdateManagerLocal(1, in.wide_client.data(), in.wide_source.data(), list, 0,
                                                           1, error);
    });
}

void BM_UpdateManagerDeleteList(benchmark::State& state) {
    run(state, [](const Installation& in, auto list, auto error) {
        KaldornGetFileListFromOprIdForUpdateManagerLocalW(1, 1, in.wide_source.data(), in.wide_source.data(),
                                                          in.wide_client.data(), list, error);
    });
}

}  // namespace

BENCHMARK(BM_ReadSourceIndex)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_InternetDriver)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_UpdateManagerDriverKeepWindow)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_UpdateManagerDeleteList)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

// Solo download list on source indexes of 1,000 to 100,000 definitions
// against a client that holds 90% of them, with and without the component
// check over an engine of 1,000 components (1% damaged), beside the cost
// of reading both index files.
#include <map>
#include <memory>
#include <string>

#include <benchmark/benchmark.h>

#include "bench_heap.h"
#include "kaldorn/lists.h"
#include "kaldorn/nupdtinf.h"
#include "files.h"

namespace {

constexpr unsigned int kComponents = 1000;

struct Installation {
    fx::TempDir dir;
    std::string client = dir.file("client"), source = dir.file("source");
};

std::string name_of(unsigned int id) { return "definition." + std::to_string(id); }

const Installation& installation_of(unsigned int definitions) {
    bench::measure_all_sizes_alike();
    static std::map<unsigned int, std::unique_ptr<Installation>> made;
    auto& slot = made[definitions];
    if (slot) return *slot;
    slot = std::make_unique<Installation>();
    std::vector<fx::pub::Definition> all, held;
    for (unsigned int id = 1; id <= definitions; ++id) {
        all.push_back({id, {1, 2, 3, 4, 5, 6, 7}, 0, 1, name_of(id)});
        if (id <= definitions / 10 * 9) held.push_back(all.back());
    }
    fx::write_definitions(slot->source, 4, 2, definitions, all);
    fx::write_definitions(slot->client, 4, 1, 1, held);
    std::vector<fx::Part> components;
    for (unsigned int i = 1; i <= kComponents; ++i)
        components.push_back({name_of(i), std::string(1024, static_cast<char>('a' + i % 26)),
                              i % 100 == 0 ? fx::Part::Damaged : fx::Part::Intact});
    fx::write_engine(slot->dir.file("engine"), 4, components);
    fx::install_sibling(slot->client, KALDORN_SIBLING, "../engine");
    return *slot;
}

void BM_Solo_ReadBothIndexes(benchmark::State& state) {
    const Installation& in = installation_of(static_cast<unsigned int>(state.range(0)));
    std::string client = in.client + "/00000004_index.dat", source = in.source + "/00000004_index.dat";
    for (auto _ : state) {
        tagSOLO_DEF_MEM_RECORD_INFO *a = nullptr, *b = nullptr;
        unsigned int na = 0, nb = 0, err = 0;
        GetDefListFromDatFile(client.c_str(), &a, &na, &err);
        GetDefListFromDatFile(source.c_str(), &b, &nb, &err);
        ReleaseDefList(a, na, &err);
        ReleaseDefList(b, nb, &err);
    }
}

// Mode 0: the comparison and the list; mode 1 adds the component check.
void BM_Solo_DownloadList(benchmark::State& state) {
    const Installation& in = installation_of(static_cast<unsigned int>(state.range(0)));
    int mode = static_cast<int>(state.range(1));
    for (auto _ : state) {
        tagKAL_DORN_VERSION_LISTEXA* list = nullptr;
        unsigned int err = 0;
        if (KalDornGetDownloadFilesListForSoloUpdt(4, mode, in.client.c_str(), in.source.c_str(), &list, &err) != 1)
            state.SkipWithError("solo download list failed");
        FreeUpdtInfoListEx(list);
    }
}

}  // namespace

BENCHMARK(BM_Solo_ReadBothIndexes)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Solo_DownloadList)
    ->ArgsProduct({{1000, 10000, 100000}, {0, 1}})
    ->ArgNames({"definitions", "components"})
    ->Unit(benchmark::kMicrosecond);

// Definition diff and solo comparison on pairs of 1,000 to 100,000 records
// with every tenth record redated, beside the cost of reading both files.
#include <map>
#include <memory>
#include <string>

#include <benchmark/benchmark.h>

#include "bench_heap.h"
#include "files.h"
#include "kaldorn/soloindx.h"

namespace {

struct Pair {
    fx::TempDir dir;
    std::string older = dir.file("client.dat"), newer = dir.file("source.dat");
};

using bench::measure_all_sizes_alike;

const Pair& pair_of(unsigned int records) {
    measure_all_sizes_alike();
    static std::map<unsigned int, std::unique_ptr<Pair>> made;
    auto& slot = made[records];
    if (slot) return *slot;
    slot = std::make_unique<Pair>();
    fx::pub::DefinitionIndex older, newer;
    older.dat_version = 1;
    newer.dat_version = 2;
    for (unsigned int i = 1; i <= records; ++i) {
        fx::pub::Definition r{i, {1, 2, 3, 4, 5, 6, 7}, 0, 1, "definition." + std::to_string(i)};
        older.records.push_back(r);
        if (i % 10 == 0) r.date[6] = 8;
        newer.records.push_back(r);
    }
    fx::write_file(slot->older, fx::pub::definition_index(older));
    fx::write_file(slot->newer, fx::pub::definition_index(newer));
    return *slot;
}

void BM_Defs_ReadBothFiles(benchmark::State& state) {
    const Pair& p = pair_of(static_cast<unsigned int>(state.range(0)));
    for (auto _ : state) {
        tagSOLO_DEF_MEM_RECORD_INFO *a = nullptr, *b = nullptr;
        unsigned int na = 0, nb = 0, err = 0;
        GetDefListFromDatFile(p.older.c_str(), &a, &na, &err);
        GetDefListFromDatFile(p.newer.c_str(), &b, &nb, &err);
        ReleaseDefList(a, na, &err);
        ReleaseDefList(b, nb, &err);
    }
}

void BM_Defs_GenerateDiff(benchmark::State& state) {
    const Pair& p = pair_of(static_cast<unsigned int>(state.range(0)));
    for (auto _ : state) {
        tagSOLO_DEF_MEM_RECORD_INFO* recs = nullptr;
        unsigned int count = 0, err = 0;
        if (GenerateDiffforDatFiles(p.older.c_str(), p.newer.c_str(), &recs, &count, &err) != 1)
            state.SkipWithError("diff failed");
        ReleaseDefList(recs, count, &err);
    }
}

void BM_Defs_CompareSolo(benchmark::State& state) {
    const Pair& p = pair_of(static_cast<unsigned int>(state.range(0)));
    for (auto _ : state) {
        tagSOLO_DEF_MEM_RECORD_INFO *all = nullptr, *sel = nullptr;
        unsigned int n_all = 0, n_sel = 0, err = 0;
        tagSOLO_DAT_HEADER_INFO hn{}, ho{};
        int mode = 0;
        if (CompareSoloDatFiles(0, "", p.newer.c_str(), p.older.c_str(), &all, &n_all, &sel, &n_sel, &hn, &ho, &mode,
                                &err) != 1)
            state.SkipWithError("comparison failed");
        ReleaseDefList(all, n_all, &err);
        ReleaseDefList(sel, n_sel, &err);
    }
}

}  // namespace

BENCHMARK(BM_Defs_ReadBothFiles)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Defs_GenerateDiff)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Defs_CompareSolo)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

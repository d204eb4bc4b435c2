// The publisher's index build --dir, run as a user runs the tool, over
// directories of 2,000 and 20,000 definition files: one pass over the
// directory and one write, so the time grows with the file count alone.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <map>
#include <memory>
#include <string>

#include <benchmark/benchmark.h>

#include "files.h"

extern char** environ;

namespace {

struct Definitions {
    fx::TempDir dir;
    std::string files = dir.file("defs"), output = dir.file("00000004_index.dat");
};

const Definitions& definitions(int count) {
    static std::map<int, std::unique_ptr<Definitions>> made;
    auto& slot = made[count];
    if (slot) return *slot;
    slot = std::make_unique<Definitions>();
    for (int i = 0; i < count; ++i) fx::write_file(slot->files + "/definition." + std::to_string(i), "x");
    return *slot;
}

void BM_Tool_IndexBuildDir(benchmark::State& state) {
    const Definitions& d = definitions(static_cast<int>(state.range(0)));
    std::string args[] = {KALDORN_TOOL, "index", "build", d.output, "--dir", d.files, "--product", "4"};
    char* argv[] = {args[0].data(), args[1].data(), args[2].data(), args[3].data(),
                    args[4].data(), args[5].data(), args[6].data(), args[7].data(), nullptr};
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    for (auto _ : state) {
        pid_t pid = 0;
        int status = 0;
        if (posix_spawn(&pid, argv[0], &quiet, nullptr, argv, environ) != 0 || waitpid(pid, &status, 0) != pid ||
            status != 0)
            state.SkipWithError("index build failed");
    }
    posix_spawn_file_actions_destroy(&quiet);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

}  // namespace

BENCHMARK(BM_Tool_IndexBuildDir)->Arg(2000)->Arg(20000)->UseRealTime()->Unit(benchmark::kMillisecond);

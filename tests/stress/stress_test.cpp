// Eight threads make every reading call of the file table at once through the shipped kaldorn.so: each answer
// (result, code, every byte handed out) equals the single-threaded one; KALDORN_STRESS_ROUNDS sets the rounds.
#include <atomic>
#include <latch>
#include <thread>

#include <gtest/gtest.h>

#include "../interface/file_calls.h"

namespace {

using namespace calls;

TEST(Stress, EightThreadsGetTheSingleThreadedAnswers) {
    const fx::TempDir dir;
    const Installation inst(dir.path() / "w");
    std::vector<std::tuple<const Row*, Paths, std::string>> asked;
    for (const Row& row : table())
        if (!writes(row)) asked.emplace_back(&row, inst.paths(row), row.answer(inst.paths(row)));
    const char* env = std::getenv("KALDORN_STRESS_ROUNDS");
    const int rounds = env != nullptr ? std::atoi(env) : 5, threads = 8;
    std::latch start(threads);
    std::atomic<int> mismatches{0};
    std::vector<std::thread> running;
    for (int t = 0; t < threads; ++t)
        running.emplace_back([&, t] {
            start.arrive_and_wait();
            for (size_t i = 0; i < asked.size() * size_t(rounds); ++i) {  // each thread from elsewhere in the table
                const auto& [row, paths, expected] = asked[(i + size_t(t) * 7) % asked.size()];
                if (row->answer(paths) != expected && mismatches.fetch_add(1) < 10)
                    ADD_FAILURE() << "thread " << t << ": " << row->name;
            }
        });
    for (std::thread& t : running) t.join();
    EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace

// The builders on a source index loaded from disk: results a driver never
// asks for, bad input, and failed allocations at every step.
#include <filesystem>

#include "plan_fixture.h"
#include "support/alloc.h"

namespace {

using Builders = plan::PlanTest;

struct Loaded {
    tagUPDT_DAT_VERSION_INFO_MEM info{};
    explicit Loaded(const std::string& dir) {
        EXPECT_EQ(GetUpdateVersionInfo((dir + "/00000001_index.dat").c_str(), &info), 1);
    }
    ~Loaded() { ReleaseUpdateVersionInfo(&info); }
};

TEST_F(Builders, NewestClientAndEmptyTexts) {
    source_at("8.2");
    Loaded example(source);
    tagKAL_DORN_DBVERSION_INFO newest{8, 2};
    std::string u = updates + "/";
    auto run = [&](auto build) {
        return outcome([&](tagKAL_DORN_VERSION_LIST** list, unsigned int* error) {
            *error = 0;
            return build(list);
        });
    };
    EXPECT_EQ(run([&](auto l) { return GetDownloadFileList(1, &example.info, &newest, l, 1); }), "");
    EXPECT_EQ(run([&](auto l) { return GetDownloadFileListForUpdateManager(1, &example.info, &newest, l, 0); }), "");
    EXPECT_EQ(run([&](auto l) { return GetDownloadFileListForPath(1, 0, u.c_str(), &example.info, &newest, l); }), "");
    EXPECT_EQ(run([&](auto l) { return GetDeleteFileListForUpdateManager(&example.info, &newest, l); }), "D4.1 D4.2");
    source_at("1.0", "");
    Loaded empty(source);
    tagKAL_DORN_DBVERSION_INFO none{1, 0}, other{1, 1};
    EXPECT_EQ(run([&](auto l) { return GetDownloadFileList(0, &empty.info, &none, l, 1); }), "");
    EXPECT_EQ(run([&](auto l) { return GetDeleteFileListForUpdateManager(&empty.info, &none, l); }), "");
    EXPECT_EQ(run([&](auto l) { return GetDownloadFileList(0, &empty.info, &other, l, 1); }), "error 0");
    EXPECT_EQ(run([&](auto l) { return GetDownloadFileListForPath(1, 0, nullptr, &empty.info, &none, l); }), "error 0");
    EXPECT_EQ(run([&](auto l) { return GetDeleteFileListForUpdateManager(nullptr, &none, l); }), "error 0");
    EXPECT_EQ(run([&](auto) { return GetDownloadFileList(0, &empty.info, &none, nullptr, 1); }), "error 0");
}

// Fails the n-th allocation of a whole driver call for every n until the
// call gets through: a failed source text is 1001, a failed client text
// makes the client 1.0, anything later is 1005 with the partial list freed.
TEST_F(Builders, EveryFailedAllocationIsCleanedUp) {
    source_at("8.2");
    client_at("4.1");
    const std::string full = manager(0, 1);
    for (long n = 1;; ++n) {
        kaldorn::testing::fail_allocation(n);
        std::string got = manager(0, 1);
        kaldorn::testing::fail_allocation(0);
        if (got == full) break;
        if (n == 1) EXPECT_EQ(got, "error 1001");
        else if (n == 2) EXPECT_EQ(got, "X3.3 W4.3 D5.1 D5.2 W5.3 D6.1 D6.2 X6.3 D7.1 D7.2 W7.3 D8.1 D8.2");
        else EXPECT_EQ(got, "error 1005") << n;
        ASSERT_LT(n, 100);
    }
}

}  // namespace

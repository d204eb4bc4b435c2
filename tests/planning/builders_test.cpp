// The builders on a source index loaded from disk: results a driver never
// asks for, bad input, and failed allocations at every step.
#include "plan_fixture.h"
#include "alloc_faults.h"

namespace {

using Builders = plan::PlanTest;

TEST_F(Builders, NewestClientAndEmptyTexts) {
    tagUPDT_DAT_VERSION_INFO_MEM example{}, empty{};
    source_at("8.2");
    ASSERT_EQ(GetUpdateVersionInfo((source + "/00000001_index.dat").c_str(), &example), 1);
    source_at("1.0", "");
    ASSERT_EQ(GetUpdateVersionInfo((source + "/00000001_index.dat").c_str(), &empty), 1);
    tagKAL_DORN_DBVERSION_INFO newest{8, 2}, none{1, 0}, other{1, 1};
    std::string u = updates + "/";
    auto run = [](auto build) { return plan::outcome([&](auto list, auto error) { return *error = 0, build(list); }); };
    EXPECT_EQ(run([&](auto l) { return GetDownloadFileList(1, &example, &newest, l, 1); }), "");
    EXPECT_EQ(run([&](auto l) { return GetDownloadFileListForUpdateManager(1, &example, &newest, l, 0); }), "");
    EXPECT_EQ(run([&](auto l) { return GetDownloadFileListForPath(1, 0, u.c_str(), &example, &newest, l); }), "");
    EXPECT_EQ(run([&](auto l) { return GetDeleteFileListForUpdateManager(&example, &newest, l); }), "D4.1 D4.2");
    EXPECT_EQ(run([&](auto l) { return GetDownloadFileList(0, &empty, &none, l, 1); }), "");
    EXPECT_EQ(run([&](auto l) { return GetDeleteFileListForUpdateManager(&empty, &none, l); }), "");
    EXPECT_EQ(run([&](auto l) { return GetDownloadFileList(0, &empty, &other, l, 1); }), "error 0");
    EXPECT_EQ(run([&](auto l) { return GetDownloadFileListForPath(1, 0, nullptr, &empty, &none, l); }), "error 0");
    EXPECT_EQ(run([&](auto l) { return GetDeleteFileListForUpdateManager(nullptr, &none, l); }), "error 0");
    EXPECT_EQ(run([&](auto) { return GetDownloadFileList(0, &empty, &none, nullptr, 1); }), "error 0");
    ReleaseUpdateVersionInfo(&example);
    ReleaseUpdateVersionInfo(&empty);
}

// Fails each allocation of a whole driver call in turn: a failed source text is 1001, a failed client text
// makes the client 1.0, anything later is 1005 with the partial list freed.
TEST_F(Builders, EveryFailedAllocationIsCleanedUp) {
    source_at("8.2");
    client_at("4.1");
    const std::string full = manager(0, 1);
    faults::each_allocation([&](long nth, long) {
        EXPECT_EQ(manager(0, 1), nth == 0   ? full
                                 : nth == 1 ? "error 1001"
                                 : nth == 2 ? "X3.3 W4.3 D5.1 D5.2 W5.3 D6.1 D6.2 X6.3 D7.1 D7.2 W7.3 D8.1 D8.2"
                                            : "error 1005")
            << nth;
    });
}

}  // namespace

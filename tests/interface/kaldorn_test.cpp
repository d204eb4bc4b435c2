// The plain-named entry points of this module: the three free functions
// and the client version of product 1.
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "datwriter.h"
#include "kaldorn.h"
#include "kaldorn/nupdtinf.h"
#include "planwriter.h"

namespace {

TEST(EntryPoints, FreeFunctionsReleaseAnyPlainList) {
    for (auto free_list : {KalDornFreeDownloadVersionListForUpdateManager, KalDornFreeDownloadVersionListForInternet,
                           KalDornFreeDownloadVersionListForPath}) {
        tagKAL_DORN_VERSION_LIST *head = nullptr, *tail = nullptr;
        tagKAL_DORN_TYPE_INFO record{1, 1, 101};
        for (int i = 0; i < 3; ++i) ASSERT_EQ(AddToUpdtInfoList(&record, 0, &head, &tail), 1);
        EXPECT_EQ(free_list(nullptr), 0);
        EXPECT_EQ(free_list(head), 1);  // LeakSanitizer checks that all three nodes went
    }
}

TEST(EntryPoints, ClientVersionAlwaysReadsProductOne) {
    fixtures::TempDir dir;
    fixtures::write_version_index(dir.path(), 3, "1", 1, 1);
    const std::string path = dir.str();
    std::vector<unsigned short> w(path.begin(), path.end());
    w.push_back(0);
    KAL_DORN_VERSION_LIST node;
    std::memset(&node, 0x33, sizeof node);
    unsigned int error = 9;
    EXPECT_EQ(KalDornGetCurrentClientVersionForUpdateManagerW(w.data(), &node, &error), 0);
    EXPECT_TRUE(error == 1007 && node.uchFlag == 0x33);
    fixtures::write_version_index(dir.path(), 1, fixtures::kExampleText, 7, 3);
    ASSERT_EQ(KalDornGetCurrentClientVersionForUpdateManagerW(w.data(), &node, &error), 1);
    tagKAL_DORN_TYPE_INFO info = node.stInfo;
    EXPECT_TRUE(error == 0 && info.dwMajorVersion == 7 && info.dwMinorVersion == 3 && info.dwUpdateType == 102);
    error = 9;
    EXPECT_EQ(KalDornGetCurrentClientVersionForUpdateManagerW(nullptr, &node, &error) +
                  KalDornGetCurrentClientVersionForUpdateManagerW(w.data(), nullptr, &error) +
                  KalDornGetCurrentClientVersionForUpdateManagerW(w.data(), &node, nullptr),
              0);
    EXPECT_EQ(error, 9u);  // null arguments write nothing
}

}  // namespace

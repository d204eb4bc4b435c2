// The plain-named entry points of this module: the three free functions
// and the client version of product 1.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "datwriter.h"
#include "kaldorn.h"
#include "kaldorn/nupdtinf.h"
#include "planwriter.h"

namespace {

KAL_DORN_VERSION_LIST* three_nodes() {
    tagKAL_DORN_VERSION_LIST *head = nullptr, *tail = nullptr;
    tagKAL_DORN_TYPE_INFO record{1, 1, 101};
    for (int i = 0; i < 3; ++i) AddToUpdtInfoList(&record, 0, &head, &tail);
    return head;
}

TEST(EntryPoints, FreeFunctionsReleaseAnyPlainList) {
    for (auto free_list : {KalDornFreeDownloadVersionListForUpdateManager, KalDornFreeDownloadVersionListForInternet,
                           KalDornFreeDownloadVersionListForPath}) {
        EXPECT_EQ(free_list(nullptr), 0);
        EXPECT_EQ(free_list(three_nodes()), 1);  // LeakSanitizer checks all three nodes went
    }
}

TEST(EntryPoints, ClientVersionAlwaysReadsProductOne) {
    fixtures::TempDir dir;
    fixtures::write_version_index(dir.path(), 3, "1", 1, 1);
    std::vector<unsigned short> w(dir.str().begin(), dir.str().end());
    w.push_back(0);
    KAL_DORN_VERSION_LIST node;
    std::memset(&node, 0x33, sizeof node);
    unsigned int error = 9;
    EXPECT_EQ(KalDornGetCurrentClientVersionForUpdateManagerW(w.data(), &node, &error), 0);
    EXPECT_EQ(error, 1007u);
    EXPECT_EQ(node.uchFlag, 0x33);
    fixtures::write_version_index(dir.path(), 1, fixtures::kExampleText, 7, 3);
    ASSERT_EQ(KalDornGetCurrentClientVersionForUpdateManagerW(w.data(), &node, &error), 1);
    EXPECT_EQ(error, 0u);
    tagKAL_DORN_TYPE_INFO info = node.stInfo;
    EXPECT_EQ(info.dwMajorVersion, 7u);
    EXPECT_EQ(info.dwMinorVersion, 3u);
    EXPECT_EQ(info.dwUpdateType, 102u);
    error = 9;
    EXPECT_EQ(KalDornGetCurrentClientVersionForUpdateManagerW(nullptr, &node, &error), 0);
    EXPECT_EQ(KalDornGetCurrentClientVersionForUpdateManagerW(w.data(), nullptr, &error), 0);
    EXPECT_EQ(KalDornGetCurrentClientVersionForUpdateManagerW(w.data(), &node, nullptr), 0);
    EXPECT_EQ(error, 9u);
}

}  // namespace

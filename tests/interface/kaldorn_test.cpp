// The plain-named entry points of this module: the three free functions,
// the client version of product 1, and the solo branches under injected
// allocation failures.
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "datwriter.h"
#include "kaldorn.h"
#include "kaldorn/nupdtinf.h"
#include "planwriter.h"
#include "solowriter.h"
#include "../indexdat/defs_support.h"

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

// Every allocation of a solo request through an A entry point fails in
// turn: the call fails and hands out nothing (LeakSanitizer checks the rest).
TEST(EntryPoints, SoloBranchesReleaseEverythingWhenAnAllocationFails) {
    fixtures::TempDir root;
    const std::string client = root.file("client"), source = root.file("source");
    auto def = [](uint32_t id, uint8_t day, const char* name) {
        return fixtures::DefRecord{id, {1, 2, day, 4, 5, 6, 7}, 0, 1, name};
    };
    fixtures::write_solo_index(client, fixtures::solo_index(4, 1, 1, {def(1, 1, "a"), def(2, 1, "b")}));
    fixtures::write_solo_index(source, fixtures::solo_index(4, 2, 3, {def(1, 2, "a"), def(2, 1, "b"), def(3, 1, "c")}));
    fixtures::write_engine(root.file("engine"), 4, {{"b", "b", fixtures::Component::Damaged}});
    fixtures::install_sibling(client, KALDORN_SIBLING, "../engine");
    faults::each_allocation([&](long nth, long) {
        KAL_DORN_VERSION_LISTEXA* list = nullptr;
        unsigned int error = 0;
        int fds = fixtures::open_descriptor_count();
        int ok = KalDornGetDownloadVersionListForInternetExA(4, client.c_str(), source.c_str(), &list, &error);
        EXPECT_EQ(ok, nth == 0 ? 1 : 0) << nth;
        EXPECT_TRUE(ok || list == nullptr) << nth;
        EXPECT_EQ(fixtures::open_descriptor_count(), fds) << nth;
        std::string names;
        for (auto* n = list; n != nullptr; n = n->pNext) names += std::string(n->stInfo.szFileName) + " ";
        EXPECT_TRUE(nth != 0 || names == "00000004_00000001.dat 00000004_00000003.dat 00000004_00000002.dat ") << names;
        KalDornFreeDownloadVersionListExA(list);
    });
    faults::each_allocation([&](long nth, long) {
        KAL_DORN_FILE_INFO_LISTA* files = nullptr;
        unsigned int error = 0;
        int ok = KaldornGetFileListFromOprIdForUpdateManagerA(4, 2, source.c_str(), client.c_str(), client.c_str(),
                                                              &files, &error);
        EXPECT_EQ(ok, nth == 0 ? 1 : 0) << nth;
        EXPECT_TRUE(ok || files == nullptr) << nth;
        KaldornFreeFileListFromOprIdForUpdateManagerA(files);
    });
}

}  // namespace

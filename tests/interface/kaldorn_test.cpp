// The plain-named entry points beyond the questions the C host asks: the
// client version reads product 1 only, and the solo branches under injected
// allocation failures.
#include <cstring>
#include <functional>

#include <gtest/gtest.h>

#include "../planning/plan_fixture.h"
#include "alloc_faults.h"
#include "kaldorn.h"
#include "solowriter.h"

namespace {

TEST(EntryPoints, ClientVersionAlwaysReadsProductOne) {
    fixtures::TempDir dir;
    fixtures::write_version_index(dir.path(), 3, "1", 1, 1);
    const auto w = plan::wide(dir.str());
    KAL_DORN_VERSION_LIST node;
    std::memset(&node, 0x33, sizeof node);
    unsigned int error = 9;
    EXPECT_EQ(KalDornGetCurrentClientVersionForUpdateManagerW(w.data(), &node, &error), 0);
    EXPECT_TRUE(error == 1007 && node.uchFlag == 0x33);
    error = 9;  // null arguments write nothing
    EXPECT_EQ(KalDornGetCurrentClientVersionForUpdateManagerW(nullptr, &node, &error) +
                  KalDornGetCurrentClientVersionForUpdateManagerW(w.data(), nullptr, &error) +
                  KalDornGetCurrentClientVersionForUpdateManagerW(w.data(), &node, nullptr),
              0);
    EXPECT_EQ(error, 9u);
}

// Every allocation of a solo request through an 8-bit entry point fails in
// turn: the call fails and hands out nothing (LeakSanitizer checks the rest).
TEST(EntryPoints, SoloBranchesReleaseEverythingWhenAnAllocationFails) {
    fixtures::TempDir root;
    const std::string client = root.file("client"), source = root.file("source");
    const auto def = fixtures::solo_def;
    fixtures::write_solo_index(client, fixtures::solo_index(4, 1, 1, {def(1, 1, "a"), def(2, 1, "b")}));
    fixtures::write_solo_index(source, fixtures::solo_index(4, 2, 3, {def(1, 2, "a"), def(2, 1, "b"), def(3, 1, "c")}));
    fixtures::write_engine(root.file("engine"), 4, {{"b", "b", fixtures::Component::Damaged}});
    fixtures::install_sibling(client, KALDORN_SIBLING, "../engine");
    const std::pair<std::function<std::string()>, std::string> calls[] = {
        {[&] {
             return plan::outcome<KAL_DORN_VERSION_LISTEXA>([&](auto** list, unsigned int* error) {
                 return KalDornGetDownloadVersionListForInternetExA(4, client.c_str(), source.c_str(), list, error);
             });
         },
         "00000004_00000001.dat 00000004_00000003.dat 00000004_00000002.dat"},
        {[&] {
             return plan::outcome<KAL_DORN_FILE_INFO_LISTA>([&](auto** list, unsigned int* error) {
                 return KaldornGetFileListFromOprIdForUpdateManagerA(4, 2, source.c_str(), client.c_str(),
                                                                     client.c_str(), list, error);
             });
         },
         "00000004_00000001.dat 00000004_00000003.dat"}};
    for (const auto& c : calls) {
        faults::each_allocation([&](long nth, long) {
            std::string got = c.first();
            EXPECT_EQ(nth == 0 ? got : got.substr(0, 6), nth == 0 ? c.second : "error ") << nth << ": " << got;
        });
    }
}

}  // namespace

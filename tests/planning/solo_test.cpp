// Solo planning over installations on disk: the download list with and
// without the component check, the operation-id lists with the subtraction
// of operation 1, and the client's current definition file.
#include <cstdio>
#include <cstring>
#include <string>
#include <type_traits>

#include <gtest/gtest.h>

#include "../indexdat/defs_support.h"
#include "kaldorn/lists.h"
#include "kaldorn/nupdtinf.h"
#include "solowriter.h"

namespace {

using fixtures::Component;
using fixtures::DefRecord;

DefRecord def(uint32_t id, uint8_t day, const char* name, uint32_t status = 1) {
    return {id, {0x10, 0x0b, day, 0x07, 0xea, 0x07, 0x01}, 0, status, name};
}

// "name:flag/kind" per node; the members every solo record must hold too.
template <typename List>
std::string render(const List* list, unsigned int product) {
    std::string out;
    for (; list != nullptr; list = list->pNext) {
        if constexpr (std::is_same_v<List, tagKAL_DORN_VERSION_LISTEXA>) {
            tagKAL_DORN_TYPE_INFOEXA r;
            std::memcpy(&r, &list->stInfo, sizeof r);
            EXPECT_TRUE(list->uchFlag == 0 && r.dwMajorVersion == product && r.dwUpdateType == 0 && r.dwReserved == 0);
            char expected[32];
            std::snprintf(expected, sizeof expected, "%08x_%08x.dat", product, r.dwMinorVersion);
            EXPECT_STREQ(r.szFileName, expected);
            out += (out.empty() ? "" : " ") + std::string(r.szFileName) + ":" + std::to_string(r.dwFlag) + "/" +
                   std::to_string(r.dwKind);
        } else {
            out += (out.empty() ? "" : " ") + std::string(list->szFileName) + ":" + std::to_string(list->dwFlag) +
                   "/" + std::to_string(list->dwKind);
        }
    }
    return out;
}

class Solo : public ::testing::Test {
protected:
    fixtures::TempDir root;
    std::string client = root.file("client"), source = root.file("source"), reference = root.file("reference");

    // "files..." on success (with "[code]" when the code is not 0), "error N" on failure.
    std::string download(unsigned int product, int mode, const std::string& c, const std::string& s) {
        tagKAL_DORN_VERSION_LISTEXA* list = nullptr;
        unsigned int error = 99;
        int fds = fixtures::open_descriptor_count();
        int ok = KalDornGetDownloadFilesListForSoloUpdt(product, mode, c.c_str(), s.c_str(), &list, &error);
        EXPECT_EQ(fixtures::open_descriptor_count(), fds);
        std::string out = ok ? render(list, product) : "error " + std::to_string(error);
        EXPECT_TRUE(ok || list == nullptr);
        if (ok && error != 0) out += "[" + std::to_string(error) + "]";
        FreeUpdtInfoListEx(list);
        return out;
    }
    std::string download(unsigned int product, int mode = 0) { return download(product, mode, client, source); }

    std::string oprid(unsigned int operation, unsigned int product = 4) {
        tagKAL_DORN_FILE_INFO_LISTA* list = nullptr;
        unsigned int error = 99;
        int ok = KaldornGetFileListFromOprIdForSoloUpdt(product, operation, source.c_str(), reference.c_str(),
                                                        client.c_str(), &list, &error);
        std::string out = ok ? render(list, product) : "error " + std::to_string(error);
        EXPECT_TRUE(!ok || error == 0u);
        EXPECT_TRUE(ok || list == nullptr);
        FreeUpdtInfoListEx(list);
        return out;
    }

    // Client one DAT version behind: definition 1 re-dated, 3 absent.
    void pair_behind(unsigned int product) {
        fixtures::write_solo_index(client, fixtures::solo_index(product, 1, 1,
                                                                {def(1, 1, "engine.dll"), def(2, 1, "patterns.main"),
                                                                 def(4, 1, "readme")}));
        fixtures::write_solo_index(source, fixtures::solo_index(product, 2, 1,
                                                                {def(1, 2, "engine.dll"), def(2, 1, "patterns.main"),
                                                                 def(3, 1, "patterns.extra"), def(4, 1, "readme")}));
    }
    // Components as the lookup will find them: the files of a re-dated and of
    // a new definition missing, one damaged under another letter case, one
    // missing, one intact.
    void engine_at(const std::string& dir, unsigned int product,
                   std::vector<Component> extra = {}) {
        std::vector<Component> components = {{"engine.dll", "e", Component::Missing},
                                             {"Patterns.Main", "p", Component::Damaged},
                                             {"patterns.extra", "x", Component::Missing},
                                             {"readme", "r", Component::Missing},
                                             {"intact.bin", "i", Component::Intact}};
        components.insert(components.end(), extra.begin(), extra.end());
        fixtures::write_engine(dir, product, components);
    }
};

TEST_F(Solo, DownloadListFollowsTheComparison) {
    fixtures::write_solo_index(source, fixtures::solo_index(4, 3, 3, {def(1, 1, "a"), def(2, 1, "b"), def(3, 1, "c")}));
    EXPECT_EQ(download(4), "00000004_00000001.dat:0/1 00000004_00000002.dat:0/1 00000004_00000003.dat:0/1");
    fixtures::write_solo_index(source, fixtures::solo_index(4, 3, 9, {def(1, 1, "a"), def(2, 1, "b"), def(3, 1, "c")}));
    EXPECT_EQ(download(4), "error 1007");  // the current definition is not among the changes
    EXPECT_EQ(download(4, 0, source, source), "[1004]");
    fixtures::write_solo_index(client, fixtures::solo_index(4, 4, 3, {}));
    EXPECT_EQ(download(4), "[1003]");
    fixtures::write_solo_index(client, fixtures::solo_index(4, 2, 3, {def(1, 1, "a"), def(2, 1, "b"), def(3, 1, "c")}));
    EXPECT_EQ(download(4), "[1006]");
    EXPECT_EQ(download(4, 0, client, root.file("nowhere")), "error 0");
    EXPECT_EQ(download(4, 0, std::string(250, 'c'), source), "error 0");

    // The record carries the definition's date.
    fixtures::write_solo_index(source, fixtures::solo_index(4, 3, 3, {def(1, 1, "a"), def(2, 1, "b"), def(3, 1, "c")}));
    fixtures::write_solo_index(client, fixtures::solo_index(4, 2, 3, {def(1, 1, "a"), def(2, 1, "b")}));
    tagKAL_DORN_VERSION_LISTEXA* list = nullptr;
    unsigned int error = 0;
    ASSERT_EQ(KalDornGetDownloadFilesListForSoloUpdt(4, 0, client.c_str(), source.c_str(), &list, &error), 1);
    ASSERT_TRUE(list != nullptr && list->pNext == nullptr);
    tagKAL_DORN_TYPE_INFOEXA r;
    std::memcpy(&r, &list->stInfo, sizeof r);
    const uint8_t date[7] = {0x10, 0x0b, 1, 0x07, 0xea, 0x07, 0x01};
    EXPECT_EQ(std::memcmp(&r.stDefDate, date, 7), 0);
    FreeUpdtInfoListEx(list);
}

TEST_F(Solo, InternetModeRepairsExactlyTheMissingAndDamagedComponents) {
    for (unsigned int product : {4u, 5u, 778u}) {
        fixtures::TempDir fresh;
        client = fresh.file("client");
        source = fresh.file("source");
        pair_behind(product);
        // Products 4 and 5 find the engine through the sibling; others use the client directory.
        if (product == 778) {
            engine_at(client, product);
        } else {
            engine_at(fresh.file("engine"), product);
            fixtures::install_sibling(client, KALDORN_SIBLING, "../engine");
        }
        char expected[200];
        std::snprintf(expected, sizeof expected, "%08x_00000001.dat:0/1 %08x_00000003.dat:0/1 %08x_00000002.dat:1/0 "
                      "%08x_00000004.dat:1/0", product, product, product, product);
        EXPECT_EQ(download(product, 1), expected) << product;
        std::snprintf(expected, sizeof expected, "%08x_00000001.dat:0/1 %08x_00000003.dat:0/1", product, product);
        EXPECT_EQ(download(product, 0), expected) << product;
    }
}

TEST_F(Solo, ModeZeroNeverReadsAComponentList) {
    pair_behind(4);
    fixtures::install_sibling(client, KALDORN_SIBLING, "../engine");
    std::filesystem::create_directories(root.path() / "engine");
    fixtures::write_file(root.path() / "engine" / "00000004_compns.lst", {'b', 'a', 'd'});
    EXPECT_EQ(download(4, 0), "00000004_00000001.dat:0/1 00000004_00000003.dat:0/1");
    EXPECT_EQ(download(4, 1), "error 1007");
}

TEST_F(Solo, EveryFailingComponentStepIs1007) {
    pair_behind(4);
    const std::string engine = root.file("engine");
    engine_at(engine, 4);
    struct Case {
        const char* what;
        const char* sibling;
        const char* location;
    } cases[] = {{"no sibling", nullptr, ""},
                 {"sibling without the export", KALDORN_SIBLING_NO_EXPORT, ""},
                 {"export fails with its own code", KALDORN_SIBLING_FAILS, ""},
                 {"engine without a component list", KALDORN_SIBLING, "../source"},
                 {"engine directory missing", KALDORN_SIBLING, "../nowhere"}};
    for (const Case& c : cases) {
        std::filesystem::remove(std::filesystem::path(client) / "orlenmap.dll");
        if (c.sibling != nullptr) fixtures::install_sibling(client, c.sibling, c.location);
        EXPECT_EQ(download(4, 1), "error 1007") << c.what;
    }
    // A reported component without a definition record in the source.
    fixtures::install_sibling(client, KALDORN_SIBLING, "../engine");
    engine_at(engine, 4, {{"stray.bin", "s", Component::Missing}});
    EXPECT_EQ(download(4, 1), "error 1007");
}

TEST_F(Solo, AllocationFailuresLeaveNoListBehind) {
    pair_behind(4);
    engine_at(root.file("engine"), 4);
    fixtures::install_sibling(client, KALDORN_SIBLING, "../engine");
    defs_test::for_each_allocation_failure([&](long nth, long) {
        tagKAL_DORN_VERSION_LISTEXA* list = nullptr;
        unsigned int error = 0;
        int ok = KalDornGetDownloadFilesListForSoloUpdt(4, 1, client.c_str(), source.c_str(), &list, &error);
        EXPECT_EQ(ok, nth == 0 ? 1 : 0) << nth;
        EXPECT_TRUE(ok || list == nullptr) << nth;
        FreeUpdtInfoListEx(list);  // LeakSanitizer checks the rest
    });
}

class SoloOperation : public Solo {
protected:
    // Client at DAT version 1, source at 2 (2 and 5 re-dated, 6 added),
    // reference at 3 (5 re-dated again).
    void SetUp() override {
        fixtures::write_solo_index(client,
                                   fixtures::solo_index(4, 1, 1, {def(1, 1, "a"), def(2, 1, "b"), def(5, 1, "e")}));
        fixtures::write_solo_index(
            source, fixtures::solo_index(4, 2, 6, {def(1, 1, "a"), def(2, 2, "b"), def(5, 2, "e"), def(6, 1, "f")}));
        reference_with(3, 2);
    }
    void reference_with(uint32_t version, uint8_t day_of_2) {
        fixtures::write_solo_index(reference, fixtures::solo_index(4, version, 6,
                                                                   {def(1, 1, "a"), def(2, day_of_2, "b"),
                                                                    def(5, 3, "e"), def(6, 1, "f")}));
    }
};

TEST_F(SoloOperation, EachOperationComparesItsPair) {
    EXPECT_EQ(oprid(0), "00000004_00000005.dat:1/1");
    EXPECT_EQ(oprid(1), "00000004_00000002.dat:0/0");  // 5 is subtracted: the reference holds it
    EXPECT_EQ(oprid(2), "00000004_00000002.dat:0/2 00000004_00000005.dat:0/2 00000004_00000006.dat:1/0");
    EXPECT_EQ(oprid(3), "error 0");
    reference_with(3, 3);  // the reference re-dates 2 as well: nothing is left
    EXPECT_EQ(oprid(1), "");
    reference_with(2, 3);  // reference and source at one DAT version: nothing to subtract
    EXPECT_EQ(oprid(1), "00000004_00000002.dat:0/0 00000004_00000005.dat:0/0");
    EXPECT_EQ(oprid(0), "");
    std::filesystem::remove(std::filesystem::path(reference) / "00000004_index.dat");
    EXPECT_EQ(oprid(0), "error 0");
    EXPECT_EQ(oprid(1), "error 0");
    std::filesystem::remove(std::filesystem::path(source) / "00000004_index.dat");
    EXPECT_EQ(oprid(2), "");
    reference = std::string(250, 'r');
    EXPECT_EQ(oprid(2), "error 1007");
}

TEST_F(SoloOperation, AllocationFailuresLeaveNoListBehind) {
    defs_test::for_each_allocation_failure([&](long nth, long) {
        tagKAL_DORN_FILE_INFO_LISTA* list = nullptr;
        unsigned int error = 0;
        int ok = KaldornGetFileListFromOprIdForSoloUpdt(4, 1, source.c_str(), reference.c_str(), client.c_str(), &list,
                                                        &error);
        EXPECT_EQ(ok, nth == 0 ? 1 : 0) << nth;
        EXPECT_TRUE(ok || list == nullptr) << nth;
        FreeUpdtInfoListEx(list);
    });
}

TEST_F(Solo, ClientFileNamesTheCurrentDefinition) {
    fixtures::write_solo_index(client, fixtures::solo_index(5, 1, 0x1a, {def(0x1a, 1, "a")}));
    tagKAL_DORN_VERSION_LISTEXA node;
    std::memset(&node, 0x5A, sizeof node);
    unsigned int error = 99;
    ASSERT_EQ(KalDornGetCurrentClientFilesListForSoloUpdt(5, client.c_str(), &node, &error), 1);
    tagKAL_DORN_TYPE_INFOEXA r;
    std::memcpy(&r, &node.stInfo, sizeof r);
    EXPECT_STREQ(r.szFileName, "00000005_0000001a.dat");
    EXPECT_TRUE(r.dwMajorVersion == 5 && r.dwMinorVersion == 26 && r.dwFlag == 1 && r.dwKind == 0 && error == 0);
    EXPECT_TRUE(node.uchFlag == 0 && node.pNext == nullptr);
    const uint8_t zero[7] = {};
    EXPECT_EQ(std::memcmp(&r.stDefDate, zero, 7), 0);
    EXPECT_EQ(KalDornGetCurrentClientFilesListForSoloUpdt(4, client.c_str(), &node, &error), 0);
    EXPECT_EQ(error, 1007u);
    error = 99;
    EXPECT_EQ(KalDornGetCurrentClientFilesListForSoloUpdt(5, nullptr, &node, &error), 0);
    EXPECT_EQ(error, 99u);
}

}  // namespace

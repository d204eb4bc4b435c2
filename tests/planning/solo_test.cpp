// Solo planners over installations on disk, beyond the worked examples that
// the C host runs through the entry points: the comparison's outcomes, the
// component check (never in mode 0; every failing step 1007) and the edges
// of the operation-id subtraction.
#include <cstring>

#include "plan_fixture.h"
#include "solowriter.h"

namespace {

using fixtures::Component;
using fixtures::DefRecord;
const auto def = fixtures::solo_def;

class Solo : public ::testing::Test {
protected:
    fixtures::TempDir root;
    std::string client = root.file("client"), source = root.file("source"), reference = root.file("reference");

    std::string download(int mode, const std::string& from) {
        return plan::outcome<tagKAL_DORN_VERSION_LISTEXA>([&](auto** list, unsigned int* error) {
            return KalDornGetDownloadFilesListForSoloUpdt(4, mode, client.c_str(), from.c_str(), list, error);
        });
    }
    std::string download(int mode = 0) { return download(mode, source); }
    std::string oprid(unsigned int operation) {
        return plan::outcome<tagKAL_DORN_FILE_INFO_LISTA>([&](auto** list, unsigned int* error) {
            return KaldornGetFileListFromOprIdForSoloUpdt(4, operation, source.c_str(), reference.c_str(),
                                                          client.c_str(), list, error);
        });
    }
    void index(const std::string& dir, uint32_t version, uint32_t current, std::vector<DefRecord> records) {
        fixtures::write_solo_index(dir, fixtures::solo_index(4, version, current, std::move(records)));
    }
};

TEST_F(Solo, DownloadListFollowsTheComparison) {
    index(source, 3, 3, {def(1, 1, "a"), def(2, 1, "b"), def(3, 1, "c")});
    index(client, 4, 3, {});
    EXPECT_EQ(download(), "[1003]");
    index(client, 2, 3, {def(1, 1, "a"), def(2, 1, "b"), def(3, 1, "c")});
    EXPECT_EQ(download(), "[1006]");
    EXPECT_EQ(download(0, root.file("nowhere")), "error 0");
    EXPECT_EQ(download(0, std::string(250, 's')), "error 0");  // no room for the index name

    // A changed definition's record carries its date.
    index(client, 2, 3, {def(1, 1, "a"), def(2, 1, "b")});
    tagKAL_DORN_VERSION_LISTEXA* list = nullptr;
    unsigned int error = 0;
    ASSERT_EQ(KalDornGetDownloadFilesListForSoloUpdt(4, 0, client.c_str(), source.c_str(), &list, &error), 1);
    ASSERT_TRUE(list != nullptr && list->pNext == nullptr);
    tagKAL_DORN_TYPE_INFOEXA r;
    std::memcpy(&r, &list->stInfo, sizeof r);
    const uint8_t date[7] = {0x10, 0x0b, 1, 0x07, 0xea, 0x07, 0x01};
    EXPECT_EQ(std::memcmp(&r.stDefDate, date, 7), 0);
    EXPECT_TRUE(r.dwMinorVersion == 3 && r.dwKind == 1 && r.dwFlag == 0);
    FreeUpdtInfoListEx(list);
}

TEST_F(Solo, ModeZeroNeverReadsAComponentList) {
    index(client, 1, 1, {def(1, 1, "a")});
    index(source, 2, 1, {def(1, 2, "a")});
    fixtures::install_sibling(client, KALDORN_SIBLING, "../engine");
    std::filesystem::create_directories(root.path() / "engine");
    fixtures::write_file(root.path() / "engine" / "00000004_compns.lst", {'b', 'a', 'd'});
    EXPECT_EQ(download(0), "00000004_00000001.dat");
    EXPECT_EQ(download(1), "error 1007");
}

TEST_F(Solo, EveryFailingComponentStepIs1007) {
    index(client, 1, 1, {def(1, 1, "a"), def(2, 1, "b")});
    index(source, 2, 1, {def(1, 2, "a"), def(2, 1, "b")});
    fixtures::write_engine(root.file("engine"), 4, {{"b", "b", Component::Damaged}});
    struct Case {
        const char* what;
        const char* sibling;
        const char* location;
        std::string expected;
    } cases[] = {{"repairs b", KALDORN_SIBLING, "../engine", "00000004_00000001.dat 00000004_00000002.dat"},
                 {"no sibling", nullptr, "", "error 1007"},
                 {"sibling without the export", KALDORN_SIBLING_NO_EXPORT, "", "error 1007"},
                 {"export fails with its own code", KALDORN_SIBLING_FAILS, "", "error 1007"},
                 {"engine without a component list", KALDORN_SIBLING, "../source", "error 1007"},
                 {"engine directory missing", KALDORN_SIBLING, "../nowhere", "error 1007"}};
    for (const Case& c : cases) {
        std::filesystem::remove(std::filesystem::path(client) / "orlenmap.dll");
        if (c.sibling != nullptr) fixtures::install_sibling(client, c.sibling, c.location);
        EXPECT_EQ(download(1), c.expected) << c.what;
    }
    // A reported component without a definition record in the source.
    fixtures::install_sibling(client, KALDORN_SIBLING, "../engine");
    fixtures::write_engine(root.file("engine"), 4, {{"stray.bin", "s", Component::Missing}});
    EXPECT_EQ(download(1), "error 1007");
}

// Client at DAT version 1, source at 2 (2 and 5 re-dated), reference at
// `version` re-dating 5 and, with `both`, 2 as well.
TEST_F(Solo, OperationOneSubtractsWhatTheReferenceChanged) {
    index(client, 1, 1, {def(1, 1, "a"), def(2, 1, "b"), def(5, 1, "e")});
    index(source, 2, 1, {def(1, 1, "a"), def(2, 2, "b"), def(5, 2, "e")});
    auto reference_at = [&](uint32_t version, bool both) {
        index(reference, version, 1, {def(1, 1, "a"), def(2, both ? 3 : 2, "b"), def(5, 3, "e")});
    };
    reference_at(3, false);
    EXPECT_EQ(oprid(1), "00000004_00000002.dat");
    reference_at(3, true);
    EXPECT_EQ(oprid(1), "");
    reference_at(2, true);  // reference and source at one DAT version: nothing is subtracted
    EXPECT_EQ(oprid(1), "00000004_00000002.dat 00000004_00000005.dat");
    EXPECT_EQ(oprid(0), "");
    std::filesystem::remove(std::filesystem::path(reference) / "00000004_index.dat");
    EXPECT_EQ(oprid(0) + " " + oprid(1), "error 0 error 0");
    std::filesystem::remove(std::filesystem::path(source) / "00000004_index.dat");
    EXPECT_EQ(oprid(2), "");
    reference = std::string(250, 'r');
    EXPECT_EQ(oprid(2), "error 1007");
}

}  // namespace

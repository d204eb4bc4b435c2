// Comparison of a client's (old) and a source's (new) definition index DAT:
// failure codes, selection, and the per-operation markers.
#include <cstring>
#include <tuple>

#include <gtest/gtest.h>

#include "defs_support.h"

namespace {

using fixtures::DefRecord;

const DefRecord kA{1, {1}, 0, 1, "a"}, kB{2, {2}, 0, 1, "b"}, kC{0x2B, {3}, 0, 1, "c"};

DefRecord redated(DefRecord r) {
    r.date[6] ^= 0x40;
    return r;
}

class SoloCompare : public ::testing::Test {
protected:
    fixtures::TempDir dir;
    std::string newer = dir.file("source.dat"), older = dir.file("client.dat");
    tagSOLO_DEF_MEM_RECORD_INFO *all = nullptr, *sel = nullptr;
    unsigned int all_count = 0, sel_count = 0, err = 99;
    tagSOLO_DAT_HEADER_INFO new_header{}, old_header{};
    int mode = 7;

    void write(const std::string& path, uint32_t product, uint32_t version, std::vector<DefRecord> recs) {
        fixtures::DefinitionDat d;
        d.product = product;
        d.dat_version = version;
        d.records = std::move(recs);
        fixtures::write_file(path, fixtures::build_definition_dat(d));
    }
    int compare() {
        all = sel = nullptr;
        all_count = sel_count = 0;
        return CompareSoloDatFiles(0, "", newer.c_str(), older.c_str(), &all, &all_count, &sel, &sel_count,
                                   &new_header, &old_header, &mode, &err);
    }
    std::vector<unsigned int> selected_then_release() {
        std::vector<unsigned int> ids;
        for (unsigned int i = 0; i < sel_count; ++i) ids.push_back(+sel[i].dwDefId);
        ReleaseDefList(all, all_count, &err);
        ReleaseDefList(sel, sel_count, &err);
        return ids;
    }
};

TEST_F(SoloCompare, FailuresHandNothingOut) {
    const struct {
        uint32_t old_product, old_version;
        std::vector<DefRecord> older;
        unsigned int code;
    } cases[] = {{4, 2, {}, 1004}, {4, 3, {}, 1003}, {5, 1, {}, 0}, {4, 1, {kA, kB, kC}, 1006}};
    for (const auto& c : cases) {
        write(newer, 4, 2, {kA, kB, kC});
        write(older, c.old_product, c.old_version, c.older);
        EXPECT_EQ(compare(), 0) << c.code;
        EXPECT_EQ(err, c.code);
        EXPECT_TRUE(all == nullptr && sel == nullptr && mode == 7) << c.code;
    }
    fixtures::Bytes bad = fixtures::build_definition_dat({});
    bad[fixtures::solo_offset(0)] ^= 1;  // the old file's solo checksum
    fixtures::write_file(older, bad);
    EXPECT_EQ(compare(), 0);
    EXPECT_EQ(err, 0u);
}

TEST_F(SoloCompare, SelectsNewAndRedatedActiveRecordsInSourceOrder) {
    DefRecord off = redated(kB);
    off.status = 0;
    write(newer, 4, 5, {kC, redated(kA), off, kB});
    write(older, 4, 4, {kA, redated(kA), kB});
    ASSERT_EQ(compare(), 1);
    EXPECT_EQ(err, 0u);
    EXPECT_EQ(mode, 0);
    EXPECT_EQ(all_count, 4u);
    EXPECT_EQ(new_header.dwDatVersion + 10 * old_header.dwDatVersion, 45u);
    EXPECT_EQ(selected_then_release(), (std::vector<unsigned int>{0x2B, 1}));

    std::filesystem::remove(older);  // a client without the file takes every active record
    ASSERT_EQ(compare(), 1);
    const tagSOLO_DAT_HEADER_INFO zero{};
    EXPECT_EQ(std::memcmp(&old_header, &zero, sizeof zero), 0);
    EXPECT_EQ(selected_then_release(), (std::vector<unsigned int>{0x2B, 1, 2}));
}

TEST_F(SoloCompare, AllocationFailuresReleaseEverything) {
    write(newer, 4, 2, {kA, kB, kC});
    write(older, 4, 1, {redated(kA)});
    faults::each_allocation([&](long nth, long total) {
        EXPECT_EQ(compare(), nth == 0) << nth;
        EXPECT_EQ(err, nth != 0 && nth == total ? 1007u : 0u) << nth;  // the selected array comes last
        EXPECT_EQ(all == nullptr && sel == nullptr, nth != 0) << nth;
        selected_then_release();
    });
}

using Marked = std::tuple<std::string, unsigned int, unsigned int>;  // name, dwFlag, dwKind

TEST_F(SoloCompare, OperationIdsMarkChangedAndAddedFiles) {
    write(newer, 0x1A, 2, {kA, redated(kC)});
    write(older, 0x1A, 1, {kC});
    const std::string changed = "0000001a_0000002b.dat", added = "0000001a_00000001.dat";
    const std::vector<Marked> expected[] = {
        {{changed, 1, 1}}, {{changed, 0, 0}}, {{added, 1, 0}, {changed, 0, 2}}, {{changed, 0, 0}}};
    for (unsigned int op = 0; op < 4; ++op) {
        tagKAL_DORN_FILE_INFO_LISTA* list = nullptr;
        ASSERT_EQ(CompareSoloDatFilesForOprId(0x1A, op, newer.c_str(), older.c_str(), &list, &err), 1) << op;
        std::vector<Marked> got;
        for (auto* n = list; n != nullptr; n = n->pNext) got.emplace_back(n->szFileName, +n->dwFlag, +n->dwKind);
        FreeUpdtInfoListEx(list);
        EXPECT_EQ(got, expected[op]) << op;
    }
    faults::each_allocation([&](long nth, long) {
        tagKAL_DORN_FILE_INFO_LISTA* list = nullptr;
        EXPECT_EQ(CompareSoloDatFilesForOprId(0x1A, 2, newer.c_str(), older.c_str(), &list, &err), nth == 0) << nth;
        EXPECT_EQ(list != nullptr, nth == 0) << nth;
        FreeUpdtInfoListEx(list);
    });
}

TEST_F(SoloCompare, MissingFilesByOperationId) {
    write(newer, 4, 2, {kA});
    const std::string absent = dir.file("absent.dat");
    // {new file, operation id, result}: an absent old file lists nothing.
    const std::tuple<const std::string*, unsigned int, int> cases[] = {
        {&newer, 0, 1}, {&newer, 2, 1}, {&absent, 1, 1}, {&absent, 2, 1}, {&absent, 0, 0}, {&absent, 3, 0}};
    for (const auto& [path, op, result] : cases) {
        auto* list = reinterpret_cast<tagKAL_DORN_FILE_INFO_LISTA*>(&err);
        EXPECT_EQ(CompareSoloDatFilesForOprId(4, op, path->c_str(), older.c_str(), &list, &err), result) << op;
        EXPECT_EQ(list, nullptr) << op;
    }
}

}  // namespace

// Comparison of a client's and a source's definition index DAT: failure
// codes, selection and the per-operation markers.
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "datwriter.h"
#include "defs_support.h"
#include "kaldorn/soloindx.h"
#include "support/alloc.h"

namespace {

using fixtures::DefinitionDat;
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
        DefinitionDat d;
        d.product = product;
        d.dat_version = version;
        d.records = std::move(recs);
        fixtures::write_file(path, fixtures::build_definition_dat(d));
    }
    int compare() {
        return CompareSoloDatFiles(0, "", newer.c_str(), older.c_str(), &all, &all_count, &sel, &sel_count,
                                   &new_header, &old_header, &mode, &err);
    }
    std::vector<unsigned int> selected_ids() const {
        std::vector<unsigned int> ids;
        for (unsigned int i = 0; i < sel_count; ++i) ids.push_back(sel[i].dwDefId);
        return ids;
    }
    void release() {
        ReleaseDefList(all, all_count, &err);
        ReleaseDefList(sel, sel_count, &err);
    }
};

TEST_F(SoloCompare, FailuresHandNothingOut) {
    struct Case {
        const char* what;
        uint32_t old_product, old_version;
        std::vector<DefRecord> older;
        unsigned int code;
    } cases[] = {
        {"same version, records differ", 4, 2, {}, 1004},
        {"client newer", 4, 3, {}, 1003},
        {"foreign product", 5, 1, {}, 0},
        {"nothing changed", 4, 1, {kA, kB, kC}, 1006},
    };
    for (const Case& c : cases) {
        write(newer, 4, 2, {kA, kB, kC});
        write(older, c.old_product, c.old_version, c.older);
        EXPECT_EQ(compare(), 0) << c.what;
        EXPECT_EQ(err, c.code) << c.what;
        EXPECT_EQ(all, nullptr) << c.what;
        EXPECT_EQ(sel, nullptr) << c.what;
        EXPECT_EQ(mode, 7) << c.what;
    }
    fixtures::Bytes bad = fixtures::build_definition_dat({});
    bad[fixtures::solo_offset(0)] ^= 1;
    fixtures::write_file(older, bad);
    EXPECT_EQ(compare(), 0);
    EXPECT_EQ(err, 0u);
    EXPECT_EQ(CompareSoloDatFiles(0, nullptr, newer.c_str(), older.c_str(), &all, &all_count, &sel, &sel_count,
                                  &new_header, &old_header, &mode, &err), 0);
}

TEST_F(SoloCompare, SelectsNewAndRedatedActiveRecordsInSourceOrder) {
    DefRecord off = kB;
    off.status = 0;
    write(newer, 4, 5, {kC, redated(kA), off, kB});
    write(older, 4, 4, {kA, redated(kA), kB, off});
    ASSERT_EQ(compare(), 1);
    EXPECT_EQ(err, 0u);
    EXPECT_EQ(mode, 0);
    EXPECT_EQ(all_count, 4u);
    EXPECT_EQ(selected_ids(), (std::vector<unsigned int>{0x2B, 1}));
    EXPECT_EQ(new_header.dwDatVersion, 5u);
    EXPECT_EQ(old_header.dwDatVersion, 4u);
    release();

    std::filesystem::remove(older);  // a client without the file takes every active record
    ASSERT_EQ(compare(), 1);
    EXPECT_EQ(selected_ids(), (std::vector<unsigned int>{0x2B, 1, 2}));
    const tagSOLO_DAT_HEADER_INFO zero{};
    EXPECT_EQ(std::memcmp(&old_header, &zero, sizeof zero), 0);
    release();
}

TEST_F(SoloCompare, AllocationFailuresReleaseEverything) {
    write(newer, 4, 2, {kA, kB, kC});
    write(older, 4, 1, {redated(kA)});
    kaldorn::testing::fail_allocation(0);
    ASSERT_EQ(compare(), 1);
    release();
    long total = kaldorn::testing::fail_allocation(0);
    for (long nth = 1; nth <= total; ++nth) {
        all = sel = nullptr;
        kaldorn::testing::fail_allocation(nth);
        EXPECT_EQ(compare(), 0) << nth;
        kaldorn::testing::fail_allocation(0);
        // The selected array is the last allocation: its failure alone is 1007.
        EXPECT_EQ(err, nth == total ? 1007u : 0u) << nth;
        EXPECT_EQ(all, nullptr) << nth;
        EXPECT_EQ(sel, nullptr) << nth;
    }
}

struct Marked {
    std::string name;
    unsigned int flag, kind;
    bool operator==(const Marked&) const = default;
};

std::vector<Marked> walk(tagKAL_DORN_FILE_INFO_LISTA* list) {
    std::vector<Marked> out;
    for (auto* n = list; n != nullptr; n = n->pNext) out.push_back({n->szFileName, n->dwFlag, n->dwKind});
    FreeUpdtInfoListEx(list);
    return out;
}

TEST_F(SoloCompare, OperationIdsMarkChangedAndAddedFiles) {
    write(newer, 0x1A, 2, {kA, redated(kC)});
    write(older, 0x1A, 1, {kC});
    const std::string changed = "0000001a_0000002b.dat", added = "0000001a_00000001.dat";
    const std::vector<Marked> expected[] = {
        {{changed, 1, 1}}, {{changed, 0, 0}}, {{added, 1, 0}, {changed, 0, 2}}, {{changed, 0, 0}}};
    for (unsigned int op = 0; op < 4; ++op) {
        tagKAL_DORN_FILE_INFO_LISTA* list = nullptr;
        ASSERT_EQ(CompareSoloDatFilesForOprId(0x1A, op, newer.c_str(), older.c_str(), &list, &err), 1) << op;
        EXPECT_EQ(walk(list), expected[op]) << op;
    }
    tagKAL_DORN_FILE_INFO_LISTA* list = nullptr;
    kaldorn::testing::fail_allocation(5);  // both arrays, the index, one node: the second node fails
    EXPECT_EQ(CompareSoloDatFilesForOprId(0x1A, 2, newer.c_str(), older.c_str(), &list, &err), 0);
    kaldorn::testing::fail_allocation(0);
    EXPECT_EQ(list, nullptr);
}

TEST_F(SoloCompare, MissingFilesByOperationId) {
    write(newer, 4, 2, {kA});
    struct Case {
        bool new_exists;
        unsigned int op;
        int result;
    } cases[] = {{true, 0, 1}, {true, 2, 1}, {false, 1, 1}, {false, 2, 1}, {false, 0, 0}, {false, 3, 0}};
    for (const Case& c : cases) {
        std::string path = c.new_exists ? newer : dir.file("absent.dat");
        auto* list = reinterpret_cast<tagKAL_DORN_FILE_INFO_LISTA*>(&err);
        EXPECT_EQ(CompareSoloDatFilesForOprId(4, c.op, path.c_str(), older.c_str(), &list, &err), c.result) << c.op;
        EXPECT_EQ(list, nullptr) << c.op;
    }
    write(older, 4, 2, {});
    tagKAL_DORN_FILE_INFO_LISTA* list = nullptr;
    EXPECT_EQ(CompareSoloDatFilesForOprId(4, 0, newer.c_str(), older.c_str(), &list, &err), 0);
    EXPECT_EQ(err, 1004u);
}

}  // namespace

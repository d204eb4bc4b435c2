// Comparison of a client's (old) and a source's (new) definition index DAT:
// failure codes, selection, and the per-operation markers.
#include <cstring>

#include "definitions.h"
#include "support/alloc.h"

namespace {

using Defs = std::vector<pub::Definition>;
const pub::Definition kA{1, {1}, 0, 1, "a"}, kB{2, {2}, 0, 1, "b"}, kC{0x2B, {3}, 0, 1, "c"};

pub::Definition redated(pub::Definition r, uint32_t status = 1) { return r.date[6] ^= 0x40, r.status = status, r; }

class SoloCompare : public ::testing::Test {
protected:
    fx::TempDir dir;
    std::string newer = dir.file("source.dat"), older = dir.file("client.dat");
    tagSOLO_DEF_MEM_RECORD_INFO *all = nullptr, *sel = nullptr;
    unsigned int all_count = 0, sel_count = 0, err = 99;
    tagSOLO_DAT_HEADER_INFO new_header{}, old_header{};
    int mode = 7;

    static void write(const std::string& path, uint32_t product, uint32_t version, const Defs& recs) {
        fx::write_file(path, pub::definition_index({product, 0, 0, {1, 1}, version, 0, 0, false, recs}));
    }
    // The selected ids, or "error N" (nothing handed out); both arrays released.
    std::string compare() {
        all = sel = nullptr, mode = 7;
        if (CompareSoloDatFiles(0, "", newer.c_str(), older.c_str(), &all, &all_count, &sel, &sel_count, &new_header,
                                &old_header, &mode, &err) != 1) {
            EXPECT_TRUE(all == nullptr && sel == nullptr && mode == 7);
            return "error " + std::to_string(err);
        }
        std::string ids = std::to_string(all_count) + ":";
        for (unsigned int i = 0; i < sel_count; ++i) ids += " " + std::to_string(sel[i].dwDefId);
        EXPECT_TRUE(err == 0 && mode == 0);
        EXPECT_EQ(ReleaseDefList(all, all_count, &err) + ReleaseDefList(sel, sel_count, &err), 2);
        return ids;
    }
};

// Old version newer (1003), equal (1004), another product (0), nothing
// selected (1006); then new and redated active records in source order, and
// every active one when the client has no file.
TEST_F(SoloCompare, FailuresAndSelection) {
    for (auto [product, version, recs, want] :
         {std::tuple{4u, 2u, Defs{}, "error 1004"}, {4u, 3u, Defs{}, "error 1003"}, {5u, 1u, Defs{}, "error 0"},
          {4u, 1u, Defs{kA, kB, kC}, "error 1006"}}) {
        write(newer, 4, 2, {kA, kB, kC});
        write(older, product, version, recs);
        EXPECT_EQ(compare(), want);
    }
    write(newer, 4, 5, {kC, redated(kA), redated(kB, 0), kB});
    write(older, 4, 4, {kA, redated(kA), kB});
    EXPECT_EQ(compare(), "4: 43 1");
    EXPECT_EQ(new_header.dwDatVersion + 10 * old_header.dwDatVersion, 45u);
    fs::remove(older);
    EXPECT_EQ(compare(), "4: 43 1 2");
    const tagSOLO_DAT_HEADER_INFO zero{};
    EXPECT_EQ(std::memcmp(&old_header, &zero, sizeof zero), 0);
    // Every allocation failing in turn; the selected array, allocated last, is 1007.
    write(older, 4, 4, {kA});
    kaldorn::testing::fail_allocation(0);
    compare();
    const long total = kaldorn::testing::fail_allocation(0);
    fx::each_allocation([&](long nth) {
        EXPECT_EQ(compare(), nth == 0 ? "4: 43 1 2" : nth == total ? "error 1007" : "error 0") << nth;
    });
}

// The files of changed definitions marked per operation id, and for id 2 the
// added ones; an absent old file lists nothing, an absent new one is
// success only for ids 1 and 2; every failed allocation hands out nothing.
TEST_F(SoloCompare, OperationIdsMarkChangedAndAddedFiles) {
    write(newer, 0x1A, 2, {kA, redated(kC)});
    write(older, 0x1A, 1, {kC});
    const auto listed = [&](unsigned int op, const std::string& n) {
        tagKAL_DORN_FILE_INFO_LISTA* list = reinterpret_cast<tagKAL_DORN_FILE_INFO_LISTA*>(&err);
        const int ok = CompareSoloDatFilesForOprId(0x1A, op, n.c_str(), older.c_str(), &list, &err);
        std::string out = ok == 1 ? fx::render(list) : "failed";
        EXPECT_TRUE(ok == 1 || list == nullptr);
        FreeUpdtInfoListEx(list);
        return out;
    };
    const std::string changed = "0000001a_0000002b.dat:", added = "0000001a_00000001.dat:";
    EXPECT_EQ(listed(0, newer) + " " + listed(1, newer) + " " + listed(2, newer) + " " + listed(3, newer),
              changed + "1/1 " + changed + "0/0 " + added + "1/0 " + changed + "0/2 " + changed + "0/0");
    fx::each_allocation([&](long nth) { EXPECT_EQ(listed(2, newer) == "failed", nth != 0) << nth; });
    fs::remove(older);
    const std::string absent = dir.file("absent.dat");
    EXPECT_EQ(listed(0, newer) + listed(2, newer) + listed(1, absent) + listed(2, absent), "");
    EXPECT_EQ(listed(0, absent) + listed(3, absent), "failedfailed");
}

}  // namespace

// Stamping and modifying definition index DATs: each result is compared with
// the whole file the fixture writer builds for the expected content.
#include <gtest/gtest.h>

#include "defs_support.h"

namespace {

using fixtures::DefinitionDat;

class DefMaintenance : public ::testing::Test {
protected:
    fixtures::TempDir dir;
    std::string path = dir.file("00000004_index.dat");
    unsigned int err = 99;
    void expect_file(const DefinitionDat& d) {
        EXPECT_EQ(fixtures::read_file(path), fixtures::build_definition_dat(d));
        defs_test::expect_readable(path);
    }
};

TEST_F(DefMaintenance, StampSetsCurrentIdLengthPayloadAndRevision) {
    DefinitionDat empty;
    empty.revision = 5;
    for (DefinitionDat d : {defs_test::three_records(), empty}) {
        fixtures::write_file(path, fixtures::build_definition_dat(d));
        auto length = static_cast<uint32_t>(fixtures::build_definition_dat(d).size());
        for (unsigned int id : {7u, 0x12345678u}) {  // twice: the revision rises by two
            ASSERT_EQ(UpdateSoloIndexDatFile(path.c_str(), id, &err), 1);
            EXPECT_EQ(err, 0u);
            d.revision += 1;
            d.dat_version = 1;
            d.current_def_id = id;
            d.file_length = length;
            d.payload_size = length - static_cast<uint32_t>(fixtures::solo_offset(d.entries));
            expect_file(d);
        }
    }
}

TEST_F(DefMaintenance, ModifyRewritesOnlyTheFirstRecordWithTheId) {
    DefinitionDat d = defs_test::three_records();
    d.records.push_back({2, {}, 0, 1, "beta-again"});
    fixtures::write_file(path, fixtures::build_definition_dat(d));
    const VXDEFDATE date{0x01020304, 0x0506, 0x07};
    ASSERT_EQ(ModifyDefEntryFromDatFile(path.c_str(), 2, &date, 42, 1, &err), 1);
    EXPECT_EQ(err, 0u);
    d.records[1] = {2, {4, 3, 2, 1, 6, 5, 7}, 42, 1, "beta"};
    expect_file(d);
}

TEST_F(DefMaintenance, RefusedCallsWriteNothing) {
    const VXDEFDATE date{};
    auto stamp = [&] { return UpdateSoloIndexDatFile(path.c_str(), 1, &err); };
    auto modify = [&](unsigned int id) { return [&, id] { return ModifyDefEntryFromDatFile(path.c_str(), id, &date, 0, 1, &err); }; };
    fixtures::Bytes bad_crc = fixtures::build_definition_dat(defs_test::three_records());
    bad_crc.back() ^= 1;
    DefinitionDat bad_name = defs_test::three_records();
    bad_name.records[1].override_length = true;
    bad_name.records[1].name_length = 261;
    const std::pair<fixtures::Bytes, std::function<int()>> cases[] = {
        {bad_crc, stamp},
        {bad_crc, modify(1)},
        {fixtures::build_definition_dat(defs_test::three_records()), modify(9)},  // absent id
        {fixtures::build_definition_dat({}), modify(1)},
        {fixtures::build_definition_dat(bad_name), modify(3)},  // unreadable record before the id
        {fixtures::Bytes(80, 0), stamp},                        // shorter than the solo header
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        fixtures::write_file(path, cases[i].first);
        defs_test::expect_refused_untouched(path, "case " + std::to_string(i), cases[i].second);
        EXPECT_EQ(err, 0u) << i;
    }
    std::filesystem::remove(path);
    defs_test::expect_refused_untouched(path, "missing", stamp);
    defs_test::expect_refused_untouched(path, "missing", modify(1));
    EXPECT_EQ(ModifyDefEntryFromDatFile(path.c_str(), 1, nullptr, 0, 1, &err), 0);
}

}  // namespace

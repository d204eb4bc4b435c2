// Stamping and modifying definition index DATs: every result is compared
// with the whole file the fixture writer builds for the expected content.
#include <gtest/gtest.h>

#include "datwriter.h"
#include "defs_support.h"
#include "kaldorn/soloindx.h"

namespace {

using defs_test::three_records;
using fixtures::DefinitionDat;

class DefMaintenance : public ::testing::Test {
protected:
    fixtures::TempDir dir;
    std::string path = dir.file("00000004_index.dat");
    void write(const DefinitionDat& d) { fixtures::write_file(path, fixtures::build_definition_dat(d)); }
    void expect_file(const DefinitionDat& d) {
        EXPECT_EQ(fixtures::read_file(path), fixtures::build_definition_dat(d));
        defs_test::expect_readable(path);
    }
};

TEST_F(DefMaintenance, StampSetsCurrentIdLengthPayloadAndRevision) {
    DefinitionDat empty;
    empty.revision = 5;
    for (DefinitionDat d : {three_records(), empty}) {
        write(d);
        size_t length = fixtures::build_definition_dat(d).size();
        for (unsigned int id : {7u, 0x12345678u}) {
            unsigned int err = 99;
            ASSERT_EQ(UpdateSoloIndexDatFile(path.c_str(), id, &err), 1);
            EXPECT_EQ(err, 0u);
            d.revision += 1;
            d.dat_version = 1;
            d.current_def_id = id;
            d.file_length = static_cast<uint32_t>(length);
            d.payload_size = static_cast<uint32_t>(length - fixtures::solo_offset(d.entries));
            expect_file(d);
        }
    }
}

TEST_F(DefMaintenance, ModifyRewritesOnlyTheFirstRecordWithTheId) {
    DefinitionDat d = three_records();
    d.records.push_back({2, {}, 0, 1, "beta-again"});
    write(d);
    const VXDEFDATE date{0x01020304, 0x0506, 0x07};
    unsigned int err = 99;
    ASSERT_EQ(ModifyDefEntryFromDatFile(path.c_str(), 2, &date, 42, 1, &err), 1);
    EXPECT_EQ(err, 0u);
    d.records[1] = {2, {4, 3, 2, 1, 6, 5, 7}, 42, 1, "beta"};
    expect_file(d);
    ASSERT_EQ(ModifyDefEntryFromDatFile(path.c_str(), 3, &date, 0, 0, &err), 1);
    d.records[2] = {3, {4, 3, 2, 1, 6, 5, 7}, 0, 0, "gamma"};
    expect_file(d);
}

TEST_F(DefMaintenance, RefusedCallsWriteNothing) {
    const VXDEFDATE date{};
    unsigned int err = 0;
    auto stamp = [&] { return UpdateSoloIndexDatFile(path.c_str(), 1, &err); };
    auto modify = [&](unsigned int id) { return [&, id] { return ModifyDefEntryFromDatFile(path.c_str(), id, &date, 0, 1, &err); }; };
    fixtures::Bytes bad_crc = fixtures::build_definition_dat(three_records());
    bad_crc.back() ^= 1;
    DefinitionDat bad_name = three_records();
    bad_name.records[1].override_length = true;
    bad_name.records[1].name_length = 261;
    struct Case {
        const char* what;
        fixtures::Bytes file;
        std::function<int()> call;
    } cases[] = {
        {"stamp, wrong solo checksum", bad_crc, stamp},
        {"modify, wrong solo checksum", bad_crc, modify(1)},
        {"modify, absent id", fixtures::build_definition_dat(three_records()), modify(9)},
        {"modify, no records", fixtures::build_definition_dat({}), modify(1)},
        {"modify, bad name length before the id", fixtures::build_definition_dat(bad_name), modify(3)},
        {"stamp, shorter than the solo header", fixtures::Bytes(80, 0), stamp},
    };
    for (const Case& c : cases) {
        fixtures::write_file(path, c.file);
        err = 99;
        defs_test::expect_refused_untouched(path, c.what, c.call);
        EXPECT_EQ(err, 0u) << c.what;
    }
    std::filesystem::remove(path);
    defs_test::expect_refused_untouched(path, "stamp, missing", stamp);
    defs_test::expect_refused_untouched(path, "modify, missing", modify(1));
    EXPECT_EQ(UpdateSoloIndexDatFile(nullptr, 1, &err), 0);
    EXPECT_EQ(UpdateSoloIndexDatFile(path.c_str(), 1, nullptr), 0);
    EXPECT_EQ(ModifyDefEntryFromDatFile(path.c_str(), 1, nullptr, 0, 1, &err), 0);
}

}  // namespace

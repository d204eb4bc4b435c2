// Lookup, append (and creation) and diff of definition records.
#include <cstring>

#include <gtest/gtest.h>

#include "defs_support.h"

namespace {

using fixtures::Bytes;
using fixtures::DefinitionDat;
using fixtures::DefRecord;

class DefLookup : public ::testing::Test {
protected:
    fixtures::TempDir dir;
    std::string path = dir.file("00000010_index.dat");
    char name[22] = {};
    unsigned int id = 0, err = 99;
    int lookup(const std::string& def, int append) {
        return GetDefEntryFromDatFile(0x10, path.c_str(), def.c_str(), append, name, sizeof name, &id, &err);
    }
};

TEST_F(DefLookup, FirstAppendCreatesTheDocumentedFile) {
    ASSERT_EQ(lookup("abc", 1), 1);
    EXPECT_EQ(id, 1u);
    EXPECT_STREQ(name, "00000010_00000001.dat");
    // Lead block, index header, section header, solo header, the stored record.
    const std::string hex =
        "dfdb0000 c7ffffff  10000000 00000000 00000000 00000000 00000000 "
        "00000000 01000000 01000000 01000000 01000000 00000000 00000000 00000000 "
        "cfa2398e 00000000 10000000 00000000 01000000 01000000 00000000 00000000 00000000 "
        "08000000 0000000000000000000000 08000000 20000000 000000000000000000000000 0b131b00";
    Bytes expected;
    for (size_t i = 0; i < hex.size(); i += hex[i] == ' ' ? 1u : 2u)
        if (hex[i] != ' ') expected.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    ASSERT_EQ(expected.size(), 135u);
    EXPECT_EQ(fixtures::read_file(path), expected);
    EXPECT_EQ(std::filesystem::status(path).permissions(), std::filesystem::perms(0600));

    defs_test::expect_refused_untouched(path, "found again", [&] { return lookup("ABC", 1) == 1 && id == 1 ? 0 : 1; });
    ASSERT_EQ(lookup("second", 1), 1);
    EXPECT_STREQ(name, "00000010_00000002.dat");
    DefinitionDat d;
    d.product = 0x10;
    d.last_def_id = 2;
    d.records = {{1, {}, 0, 1, "abc"}, {2, {}, 0, 1, "second"}};
    EXPECT_EQ(fixtures::read_file(path), fixtures::build_definition_dat(d));
    defs_test::expect_readable(path);
}

TEST_F(DefLookup, RefusedLookupsLeaveTheFileOrItsAbsence) {
    const std::string too_long(260, 'n');
    const Bytes three = fixtures::build_definition_dat(defs_test::three_records());
    Bytes bad_crc = three;
    bad_crc.back() ^= 1;
    // Records followed by more bytes (here a whole record the count leaves
    // out): an append behind them would read back as those bytes.
    DefinitionDat tail = defs_test::three_records(), empty_tail = tail;
    tail.override_count = empty_tail.override_count = true;
    tail.record_count = 2;
    const struct {
        std::optional<Bytes> file;
        std::string def;
        int append;
    } cases[] = {{{}, "x", 0},       {three, "x", 0}, {fixtures::build_definition_dat({}), "x", 0}, {{}, too_long, 1},
                 {three, too_long, 1}, {bad_crc, "x", 1}, {Bytes(50, 0), "x", 1},
                 {fixtures::build_definition_dat(tail), "x", 1}, {fixtures::build_definition_dat(empty_tail), "x", 1}};
    for (size_t i = 0; i < std::size(cases); ++i) {
        std::filesystem::remove(path);
        if (cases[i].file) fixtures::write_file(path, *cases[i].file);
        defs_test::expect_refused_untouched(path, std::to_string(i), [&] { return lookup(cases[i].def, cases[i].append); });
        EXPECT_EQ(err, 0u) << i;
    }
    std::filesystem::remove(path);
    ASSERT_EQ(lookup(too_long.substr(1), 1), 1);  // 259 characters fit
    defs_test::expect_readable(path);
}

TEST_F(DefLookup, LookupIgnoresCaseAndStatus) {
    fixtures::write_file(path, fixtures::build_definition_dat(defs_test::three_records()));
    ASSERT_EQ(lookup("BETA", 0), 1);  // inactive
    EXPECT_EQ(id, 2u);
    EXPECT_STREQ(name, "00000010_00000002.dat");
    tagSOLO_DEF_MEM_RECORD_INFO rec{};
    std::strcpy(rec.szDefName, "alpha");
    for (unsigned int n : {1u, 0u}) {  // absent name, then an empty array
        EXPECT_EQ(GetDefEntryFromDatList(0x10, &rec, n, n ? "delta" : "alpha", name, 0, &id, &err), 0);
        EXPECT_EQ(err, 2u);
    }
}

// Every allocation of each diff fails in turn, too.
TEST_F(DefLookup, DiffSelectsNewAndRedatedActiveRecords) {
    const DefRecord a{1, {1}, 0, 1, "a"}, b{2, {2}, 0, 1, "b"}, c{3, {3}, 0, 1, "c"};
    auto with = [](DefRecord r, uint8_t day, const char* n = nullptr, uint32_t status = 1) {
        r.date[6] = day;
        r.status = status;
        if (n != nullptr) r.name = n;
        return r;
    };
    auto at = [](DefRecord r, uint32_t def_id) {  // ids far apart
        r.id = def_id;
        return r;
    };
    const struct {
        std::vector<DefRecord> older, newer;
        int result;
        std::vector<unsigned int> selected;  // ids in selection order
    } cases[] = {
        {{a, b, c}, {a, b, c}, 1, {}},
        {{a, with(b, 9)}, {c, b, with(a, 6)}, 1, {3, 2, 1}},           // new, redated either way
        {{a, b, c}, {b}, 1, {}},                                        // only in the older file
        {{a}, {with(a, 4, nullptr, 0), with(b, 0, nullptr, 0)}, 1, {}},  // inactive
        {{a, with(a, 8)}, {a, with(b, 8)}, 1, {2}},                     // first older duplicate counts
        {{a}, {with(a, 5, "A")}, 1, {1}},                               // letter case is no rename
        {{a, b}, {a, with(b, 0, "bee")}, 0, {}},                        // renamed definition
        {{a, at(b, 1u << 31), at(c, ~0u)}, {at(c, ~0u), at(with(b, 7), 1u << 31), at(a, 1000)}, 1, {1u << 31, 1000}},
    };
    const std::string older = dir.file("old.dat"), newer = dir.file("new.dat");
    for (size_t i = 0; i < std::size(cases); ++i) {
        DefinitionDat o, n;
        o.records = cases[i].older;
        n.records = cases[i].newer;
        fixtures::write_file(older, fixtures::build_definition_dat(o));
        fixtures::write_file(newer, fixtures::build_definition_dat(n));
        faults::each_allocation([&](long nth, long) {  // a failed allocation hands out nothing
            auto* recs = reinterpret_cast<tagSOLO_DEF_MEM_RECORD_INFO*>(&n);
            unsigned int count = 77;
            int result = GenerateDiffforDatFiles(older.c_str(), newer.c_str(), &recs, &count, &err);
            EXPECT_EQ(result, nth == 0 ? cases[i].result : 0) << i << " at " << nth;
            if (result == 0) {
                EXPECT_TRUE(recs == reinterpret_cast<tagSOLO_DEF_MEM_RECORD_INFO*>(&n) && count == 77) << i;
                return;
            }
            std::vector<unsigned int> ids;
            for (unsigned int k = 0; k < count; ++k) ids.push_back(+recs[k].dwDefId);
            EXPECT_EQ(ids, cases[i].selected) << i;
            EXPECT_EQ(recs == nullptr, count == 0) << i;
            ReleaseDefList(recs, count, &err);
        });
    }
}

}  // namespace

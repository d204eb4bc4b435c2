// Lookup, append (and creation) and diff of definition records.
#include <strings.h>
#include <sys/stat.h>

#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "datwriter.h"
#include "defs_support.h"
#include "kaldorn/soloindx.h"
#include "support/alloc.h"

namespace {

using defs_test::three_records;
using fixtures::Bytes;
using fixtures::DefinitionDat;

fixtures::Bytes from_hex(const char* hex) {
    Bytes out;
    for (const char* p = hex; *p != '\0'; ++p) {
        if (*p == ' ') continue;
        out.push_back(static_cast<uint8_t>(std::stoul(std::string(p, 2), nullptr, 16)));
        ++p;
    }
    return out;
}

class DefLookup : public ::testing::Test {
protected:
    fixtures::TempDir dir;
    std::string path = dir.file("00000010_index.dat");
    char name[22] = {};
    unsigned int id = 0, err = 99;

    int lookup(const char* def, int append) {
        return GetDefEntryFromDatFile(0x10, path.c_str(), def, append, name, sizeof name, &id, &err);
    }
};

TEST_F(DefLookup, FirstAppendCreatesTheDocumentedFile) {
    ASSERT_EQ(lookup("abc", 1), 1);
    EXPECT_EQ(id, 1u);
    EXPECT_STREQ(name, "00000010_00000001.dat");
    EXPECT_EQ(err, 0u);
    // Lead block, index header, section header, solo header, one record.
    Bytes expected = from_hex(
        "DFDB0000 C7FFFFFF  10000000 00000000 00000000 00000000 00000000"
        "00000000 01000000 01000000 01000000 01000000 00000000 00000000 00000000"
        "CFA2398E 00000000 10000000 00000000 01000000 01000000 00000000 00000000 00000000"
        "08000000 0000000000000000000000 08000000 20000000 000000000000000000000000 0B131B00");
    ASSERT_EQ(expected.size(), 135u);
    EXPECT_EQ(fixtures::read_file(path), expected);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    defs_test::expect_refused_untouched(path, "ABC is found, not appended", [&] {
        return lookup("ABC", 1) == 1 && id == 1 ? 0 : 1;
    });
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
    std::string long_name(260, 'n');
    Bytes bad_crc = fixtures::build_definition_dat(three_records());
    bad_crc.back() ^= 1;
    struct Case {
        const char* what;
        std::optional<Bytes> file;
        std::string def;
        int append;
    } cases[] = {
        {"absent, no append, no file", {}, "x", 0},
        {"absent, no append", fixtures::build_definition_dat(three_records()), "x", 0},
        {"absent, no append, empty file", fixtures::build_definition_dat({}), "x", 0},
        {"260 characters, no file", {}, long_name, 1},
        {"260 characters", fixtures::build_definition_dat(three_records()), long_name, 1},
        {"wrong solo checksum", bad_crc, "x", 1},
        {"short file", Bytes(50, 0), "x", 1},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(path);
        if (c.file) fixtures::write_file(path, *c.file);
        defs_test::expect_refused_untouched(path, c.what, [&] { return lookup(c.def.c_str(), c.append); });
        EXPECT_EQ(err, 0u) << c.what;
    }
    std::filesystem::remove(path);
    ASSERT_EQ(lookup(long_name.substr(1).c_str(), 1), 1);  // 259 characters fit
    defs_test::expect_readable(path);
}

TEST_F(DefLookup, ListLookupIgnoresCaseAndStatus) {
    DefinitionDat d = three_records();
    fixtures::write_file(path, fixtures::build_definition_dat(d));
    tagSOLO_DEF_MEM_RECORD_INFO* recs = nullptr;
    unsigned int count = 0;
    ASSERT_EQ(GetDefListFromDatFile(path.c_str(), &recs, &count, &err), 1);
    ASSERT_EQ(GetDefEntryFromDatList(0x1A, recs, count, "BETA", name, 0, &id, &err), 1);  // inactive
    EXPECT_EQ(id, 2u);
    EXPECT_STREQ(name, "0000001a_00000002.dat");
    EXPECT_EQ(GetDefEntryFromDatList(0x1A, recs, count, "delta", name, 0, &id, &err), 0);
    EXPECT_EQ(err, 2u);
    EXPECT_EQ(GetDefEntryFromDatList(0x1A, recs, 0, "alpha", name, 0, &id, &err), 0);
    EXPECT_EQ(err, 2u);
    err = 5;
    EXPECT_EQ(GetDefEntryFromDatList(0x1A, nullptr, 0, "alpha", name, 0, &id, &err), 0);
    EXPECT_EQ(err, 5u);
    ReleaseDefList(recs, count, &err);
}

struct DiffCase {
    const char* what;
    std::vector<fixtures::DefRecord> older, newer;
    int result;
    std::vector<unsigned int> selected;  // ids in selection order
};

TEST_F(DefLookup, DiffSelectsNewAndRedatedActiveRecords) {
    const fixtures::DefRecord a{1, {1}, 0, 1, "a"}, b{2, {2}, 0, 1, "b"}, c{3, {3}, 0, 1, "c"};
    auto redated = [](fixtures::DefRecord r, uint8_t day) { r.date[6] = day; return r; };
    auto renamed = [](fixtures::DefRecord r, const char* n) { r.name = n; return r; };
    auto inactive = [](fixtures::DefRecord r) { r.status = 0; return r; };
    const DiffCase cases[] = {
        {"identical", {a, b, c}, {a, b, c}, 1, {}},
        {"new and redated either way", {a, redated(b, 9)}, {c, b, redated(a, 1)}, 1, {3, 2, 1}},
        {"only in the older file", {a, b, c}, {b}, 1, {}},
        {"inactive never selected", {a}, {inactive(redated(a, 4)), inactive(b)}, 1, {}},
        {"first older duplicate compared", {a, redated(a, 8)}, {a, redated(b, 8)}, 1, {2}},
        {"case-only rename is the same name", {a}, {renamed(redated(a, 5), "A")}, 1, {1}},
        {"renamed definition", {a, b}, {a, renamed(b, "bee")}, 0, {}},
    };
    std::string older = dir.file("old.dat"), newer = dir.file("new.dat");
    for (const DiffCase& t : cases) {
        DefinitionDat o, n;
        o.records = t.older;
        n.records = t.newer;
        fixtures::write_file(older, fixtures::build_definition_dat(o));
        fixtures::write_file(newer, fixtures::build_definition_dat(n));
        auto* recs = reinterpret_cast<tagSOLO_DEF_MEM_RECORD_INFO*>(&n);
        unsigned int count = 77;
        ASSERT_EQ(GenerateDiffforDatFiles(older.c_str(), newer.c_str(), &recs, &count, &err), t.result) << t.what;
        if (t.result == 0) continue;
        ASSERT_EQ(count, t.selected.size()) << t.what;
        if (count == 0) {
            EXPECT_EQ(recs, nullptr) << t.what;
        }
        for (unsigned int i = 0; i < count; ++i) EXPECT_EQ(recs[i].dwDefId, t.selected[i]) << t.what;
        ReleaseDefList(recs, count, &err);
    }
    EXPECT_EQ(GenerateDiffforDatFiles(dir.file("missing").c_str(), newer.c_str(), nullptr, nullptr, &err), 0);
}

TEST_F(DefLookup, DiffReleasesEverythingWhenAnAllocationFails) {
    DefinitionDat o = three_records(), n = three_records();
    n.records.push_back({4, {}, 0, 1, "delta"});
    n.records.push_back({5, {}, 0, 1, "epsilon"});
    std::string older = dir.file("old.dat"), newer = dir.file("new.dat");
    fixtures::write_file(older, fixtures::build_definition_dat(o));
    fixtures::write_file(newer, fixtures::build_definition_dat(n));
    for (long nth = 1;; ++nth) {
        tagSOLO_DEF_MEM_RECORD_INFO* recs = nullptr;
        unsigned int count = 0;
        kaldorn::testing::fail_allocation(nth);
        int ok = GenerateDiffforDatFiles(older.c_str(), newer.c_str(), &recs, &count, &err);
        long seen = kaldorn::testing::fail_allocation(0);
        if (ok == 1) {
            EXPECT_EQ(count, 2u);
            EXPECT_LT(seen, nth);  // every allocation was tried once
            ReleaseDefList(recs, count, &err);
            break;
        }
        EXPECT_EQ(recs, nullptr) << nth;
        EXPECT_EQ(err, 0u) << nth;
    }
}

}  // namespace

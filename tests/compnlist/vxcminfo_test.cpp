// Component lists against files written byte by byte from the layout, with
// OpenSSL's MD5 as the digest oracle and a plain quadratic merge and diff as
// the oracle of the hashed ones.
#include <strings.h>
#include <sys/stat.h>

#include <cstring>
#include <functional>
#include <filesystem>
#include <random>

#include <gtest/gtest.h>

#include "compnwriter.h"
#include "kaldorn/vxcminfo.h"
#include "support/alloc.h"
#include "support/fileio.h"

namespace {

using fixtures::Bytes;
using fixtures::CompnEntry;
using Rec = tagVX_COMPONENT_FILE_MEM_RECORD_INFO;
namespace fs = std::filesystem;

Rec to_record(const CompnEntry& e) {
    Rec r{};
    r.dwFlag = e.flag;
    r.dwFileSize = e.size;
    std::memcpy(r.uchMD5Digest, e.digest.data(), 16);
    r.dwTag = e.tag;
    r.dwNameLength = static_cast<unsigned int>(e.name.size() + 1);
    std::memcpy(r.uchReserved, e.reserved.data(), 8);
    std::memcpy(r.szFileName, e.name.c_str(), e.name.size());
    return r;
}

std::vector<Rec> to_records(const std::vector<CompnEntry>& es) {
    std::vector<Rec> out;
    for (const auto& e : es) out.push_back(to_record(e));
    return out;
}

// The list's records, empty on failure; `code` gets the error code.
std::vector<Rec> read_list(const std::string& path, unsigned int& code) {
    Rec* recs = reinterpret_cast<Rec*>(&code);  // sentinels: must stay unless the call succeeds
    unsigned int count = 77;
    if (GetCompnListFromLstFile(path.c_str(), &recs, &count, &code) != 1) {
        EXPECT_EQ(recs, reinterpret_cast<Rec*>(&code));
        EXPECT_EQ(count, 77u);
        return {};
    }
    std::vector<Rec> out(recs, recs + count);
    if (count == 0) {
        EXPECT_EQ(recs, nullptr);
    }
    unsigned int e = 5;
    EXPECT_EQ(ReleaseCompnList(recs, count, &e), recs != nullptr ? 1 : 0);
    return out;
}

bool same(const std::vector<Rec>& a, const std::vector<Rec>& b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(Rec)) == 0);
}

class CompnList : public ::testing::Test {
protected:
    fixtures::TempDir dir;
    std::string list = dir.file("00000004_compns.lst");
    int descriptors = fixtures::open_descriptor_count();
    void TearDown() override {
        kaldorn::testing::fail_allocation(0);
        EXPECT_EQ(fixtures::open_descriptor_count(), descriptors);
    }
    std::string put(const std::string& name, const std::string& contents) {
        fs::create_directories(fs::path(dir.file(name)).parent_path());
        fixtures::write_file(dir.file(name), Bytes(contents.begin(), contents.end()));
        return dir.file(name);
    }
    unsigned int code_of_reading(const Bytes& b) {
        fixtures::write_file(list, b);
        unsigned int code = 0;
        EXPECT_TRUE(read_list(list, code).empty());
        return code;
    }
};

// One record, flag 1, size 0, zero digest, tag 0, name "a": 122 bytes.
Bytes worked_example() {
    Bytes b(122, 0);
    std::memcpy(b.data(), "INXF\x01\x01Tarnwick Fieldworks Systems Ltd.", 38);
    b[56] = 35;
    b[76] = 1;
    b[80] = 0x08;
    b[108] = 0x10;
    b[120] = 0x0B;
    return b;
}

TEST_F(CompnList, WorkedExamplesAreReproducedByteForByte) {
    CompnEntry a;
    a.name = "a";
    EXPECT_EQ(fixtures::list_bytes({a}), worked_example());
    Rec r = to_record(a);
    unsigned int code = 9;
    ASSERT_EQ(DumpRecordsToCompnLstFile(list.c_str(), nullptr, 0, 1, &r, &code), 1);
    EXPECT_EQ(fixtures::read_file(list), worked_example());
    struct stat st{};
    ASSERT_EQ(::stat(list.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_TRUE(same(read_list(list, code), {r}));

    // Encoding: plain 0x01 -> 0x08, 0x61 -> 0x0B, 0x80 -> 0x04.
    r.dwFlag = 0x01, r.dwFileSize = 0x61, r.dwTag = 0x80;
    ASSERT_EQ(DumpRecordsToCompnLstFile(list.c_str(), &r, 1, 0, &r, &code), 1);
    Bytes b = fixtures::read_file(list);
    EXPECT_EQ(b.size(), 122u);
    EXPECT_EQ(fixtures::get32(b, 76), 1u);
    EXPECT_EQ(b[80] | b[84] << 8 | b[104] << 16, 0x040B08);

    Bytes empty = worked_example();
    empty.resize(80);
    empty[56] = empty[76] = 0;
    ASSERT_EQ(DumpRecordsToCompnLstFile(list.c_str(), nullptr, 5, 1, nullptr, &code), 1);
    EXPECT_EQ(fixtures::read_file(list), empty);
    code = 3;
    EXPECT_TRUE(read_list(list, code).empty());
    EXPECT_EQ(code, 0u);
}

TEST_F(CompnList, BadInputGivesItsCodeAndHandsOutNothing) {
    fixtures::CompnList base;
    base.records = {fixtures::entry_for("one.dll", "1"), fixtures::entry_for("two.dat", "22")};
    auto mutated = [&](auto change) {
        fixtures::CompnList s = base;
        change(s);
        return fixtures::build_compn_list(s);
    };
    auto poke = [&](size_t at, uint8_t v) {
        Bytes b = fixtures::build_compn_list(base);
        b[at] = v;
        return b;
    };
    struct Case {
        const char* what;
        Bytes bytes;
        unsigned int code;
    } cases[] = {
        {"79 bytes", Bytes(79, 0), 10},
        {"magic", mutated([](auto& s) { s.magic = "INXG"; }), 17},
        {"format byte 1", mutated([](auto& s) { s.format[0] = 2; }), 17},
        {"format byte 2", mutated([](auto& s) { s.format[1] = 0; }), 17},
        {"maker case", mutated([](auto& s) { s.maker = "tarnwick Fieldworks Systems Ltd."; }), 17},
        {"checksum", mutated([](auto& s) { s.override_checksum = true, s.checksum = 1; }), 17},
        {"record byte", poke(100, 0x55), 17},
        {"count past the records", mutated([](auto& s) { s.override_count = true, s.count = 3; }), 18},
        {"count * 300 overflows", mutated([](auto& s) { s.override_count = true, s.count = 14316558; }), 11},
        {"count 2^32 - 1", mutated([](auto& s) { s.override_count = true, s.count = 0xFFFFFFFF; }), 11},
        {"name length 0", mutated([](auto& s) { s.records[0].override_length = true; }), 18},
        {"name length 261",
         mutated([](auto& s) { s.records[1].override_length = true, s.records[1].name_length = 261; }), 18},
        {"name without NUL", mutated([](auto& s) { s.records[0].override_length = true, s.records[0].name_length = 7; }),
         18},
    };
    for (const auto& c : cases) EXPECT_EQ(code_of_reading(c.bytes), c.code) << c.what;

    // Every truncation: 10 inside the head, else 17 unless the cut bytes sum
    // to 0, when the last record runs past the end (18).
    Bytes whole = fixtures::build_compn_list(base);
    for (size_t n = 0; n < whole.size(); ++n) {
        uint32_t cut = 0;
        for (size_t i = std::max<size_t>(n, 80); i < whole.size(); ++i) cut += whole[i];
        unsigned int want = n < 80 ? 10 : cut != 0 ? 17 : 18;
        EXPECT_EQ(code_of_reading(Bytes(whole.begin(), whole.begin() + static_cast<long>(n))), want) << n;
    }
    unsigned int code = 0;
    EXPECT_TRUE(read_list(dir.file("missing.lst"), code).empty());
    EXPECT_EQ(code, 8u);
}

TEST_F(CompnList, AllocationFailureFreesEverything) {
    fixtures::write_file(list, fixtures::list_bytes({fixtures::entry_for("a", "")}));
    unsigned int code = 0;
    for (long nth = 1;; ++nth) {
        kaldorn::testing::fail_allocation(nth);
        if (!read_list(list, code).empty()) break;
        EXPECT_EQ(code, 11u) << nth;
    }
}

TEST_F(CompnList, PlatformIdentifiersAreSetInPlace) {
    Bytes b = fixtures::list_bytes({fixtures::entry_for("a", "x")});
    b[74] = 0x5A;  // reserved word: kept
    fixtures::write_file(list, b);
    unsigned int code = 9, id[3] = {};
    ASSERT_EQ(SetCompnListFilePlatformId(list.c_str(), 7, 0x80000000u, 9, &code), 1);
    ASSERT_EQ(GetCompnListFilePlatformId(list.c_str(), &id[0], &id[1], &id[2], &code), 1);
    EXPECT_EQ(id[0] + id[2], 16u);
    EXPECT_EQ(id[1], 0x80000000u);
    Bytes after = fixtures::read_file(list);
    EXPECT_TRUE(std::equal(after.begin() + 72, after.end(), b.begin() + 72));
    EXPECT_EQ(read_list(list, code).size(), 1u);

    fixtures::write_file(list, Bytes(80, 0));  // the head is not validated
    EXPECT_EQ(GetCompnListFilePlatformId(list.c_str(), &id[0], &id[1], &id[2], &code), 1);
    EXPECT_EQ(id[0], 0u);
    struct Case {
        Bytes bytes;
        void (*inject)(long);
        unsigned int code;
    } cases[] = {{Bytes(79, 0), nullptr, 10}, {b, kaldorn::testing::fail_seek, 15},
                 {b, kaldorn::testing::fail_write, 14}};
    for (const auto& c : cases) {
        fixtures::write_file(list, c.bytes);
        if (c.inject) c.inject(1);
        EXPECT_EQ(SetCompnListFilePlatformId(list.c_str(), 1, 2, 3, &code), 0);
        EXPECT_EQ(code, c.code);
        if (!c.inject) {
            EXPECT_EQ(GetCompnListFilePlatformId(list.c_str(), &id[0], &id[1], &id[2], &code), 0);
        }
    }
}

std::vector<CompnEntry> random_entries(std::mt19937& gen, size_t n, const std::vector<std::string>& names = {}) {
    std::vector<CompnEntry> out(n);
    for (auto& e : out) {
        e.flag = static_cast<uint32_t>(gen() % 3), e.size = static_cast<uint32_t>(gen()), e.tag = static_cast<uint32_t>(gen() % 2);
        for (auto& d : e.digest) d = static_cast<uint8_t>(gen() % 2);  // few digests, so matches happen
        for (auto& r : e.reserved) r = static_cast<uint8_t>(gen());
        if (!names.empty()) {
            e.name = names[gen() % names.size()];
            continue;
        }
        e.name.resize(1 + gen() % 259);
        for (auto& c : e.name) c = static_cast<char>(1 + gen() % 255);
    }
    return out;
}

TEST_F(CompnList, WrittenListsReadBackIdentical) {
    std::mt19937 gen(7);
    for (size_t n : {size_t{1}, size_t{2}, size_t{300}}) {  // 300 long names span several write blocks
        auto entries = random_entries(gen, n);
        auto recs = to_records(entries);
        unsigned int code = 1;
        ASSERT_EQ(DumpRecordsToCompnLstFile(list.c_str(), recs.data(), static_cast<unsigned>(n - 1), 1, &recs.back(),
                                            &code), 1);
        EXPECT_EQ(fixtures::read_file(list), fixtures::list_bytes(entries));
        EXPECT_TRUE(same(read_list(list, code), recs));
    }
}

TEST_F(CompnList, WriterRefusesNamesThatDoNotFit) {
    Rec a = to_record(fixtures::entry_for("a", ""));
    Rec bad[4] = {a, a, to_record(fixtures::entry_for("abc", "")), a};
    bad[0].dwNameLength = 0;
    bad[1].dwNameLength = 261;
    bad[2].dwNameLength = 3;      // its NUL lies past the stored bytes
    bad[3].szFileName[2] = 'b';  // would not read back identical
    fixtures::write_file(list, worked_example());
    unsigned int code = 0;
    for (Rec& r : bad) {
        EXPECT_EQ(DumpRecordsToCompnLstFile(list.c_str(), &r, 1, 0, nullptr, &code), 0);
        EXPECT_EQ(code, 14u);
        EXPECT_EQ(fixtures::read_file(list), worked_example());
    }
}

// The writer and the merge output fail at each write and each seek in turn:
// the code is the documented one and no reader accepts what is left.
TEST_F(CompnList, EveryFailedWriteOrSeekLeavesAFileNoReaderAccepts) {
    std::mt19937 gen(3);
    auto recs = to_records(random_entries(gen, 600));  // two blocks of records
    std::string older = dir.file("old.lst"), newer = dir.file("new.lst");
    fixtures::write_file(older, fixtures::list_bytes(random_entries(gen, 300)));
    fixtures::write_file(newer, fixtures::list_bytes(random_entries(gen, 300)));
    const std::function<int(unsigned int&)> writers[] = {
        [&](unsigned int& code) { return DumpRecordsToCompnLstFile(list.c_str(), recs.data(), 600, 0, nullptr, &code); },
        [&](unsigned int& code) {
            unsigned int count = 0;
            return MergeCompnLstFilesEx(older.c_str(), newer.c_str(), list.c_str(), &count, &code);
        }};
    for (const auto& write : writers) {
        for (auto [inject, expected] : {std::pair{&kaldorn::testing::fail_seek, 15u}, {&kaldorn::testing::fail_write, 14u}}) {
            for (long nth = 1;; ++nth) {
                unsigned int code = 0;
                inject(nth);
                int result = write(code);
                inject(0);
                unsigned int read_code = 0;
                auto back = read_list(list, read_code);
                if (result == 1) {
                    EXPECT_GT(nth, 1);
                    EXPECT_FALSE(back.empty());
                    break;
                }
                EXPECT_EQ(code, expected) << nth;
                EXPECT_TRUE(back.empty() && (read_code == 10 || read_code == 17)) << nth << " gave " << read_code;
                ASSERT_LT(nth, 1000);
            }
        }
    }
}

TEST_F(CompnList, RecordOfOneFile) {
    std::string path = put("sub/a.dll", "contents");
    Rec r{};
    r.dwTag = 5;
    unsigned int code = 0;
    ASSERT_EQ(GetCompnLstFileRecord(path.c_str(), 3, &r, &code), 1);
    EXPECT_TRUE(same({r}, {to_record(fixtures::entry_for("a.dll", "contents", 3))}));
    EXPECT_EQ(r.dwNameLength, 6u);
    Rec untouched = r;
    EXPECT_EQ(GetCompnLstFileRecord(dir.file("nope").c_str(), 1, &r, &code), 0);
    EXPECT_EQ(code, 8u);
    EXPECT_EQ(GetCompnLstFileRecord(dir.file("sub").c_str(), 1, &r, &code), 0);
    EXPECT_EQ(code, 20u);
    EXPECT_TRUE(same({r}, {untouched}));
}

TEST_F(CompnList, AddingEntries) {
    std::string a = put("a.dll", "v1"), b = put("b.dll", "b"), upper = put("up/A.DLL", "v2");
    unsigned int reserved = 42, code = 0;
    auto add = [&](const std::string& path, unsigned int flag) {
        return AddEntrytoCompnLstFile(path.c_str(), flag, 0, list.c_str(), &reserved, &code);
    };
    auto names = [&] {
        std::string s;
        for (const Rec& r : read_list(list, code)) s += std::string(r.szFileName) + ":" + std::to_string(r.dwFlag) + " ";
        return s;
    };
    ASSERT_EQ(add(a, 1), 1);
    ASSERT_EQ(add(b, 1), 1);
    ASSERT_EQ(SetCompnListFilePlatformId(list.c_str(), 1, 2, 3, &code), 1);
    Bytes before = fixtures::read_file(list);
    EXPECT_EQ(add(a, 1), 1);
    EXPECT_EQ(code, 6u);
    EXPECT_EQ(fixtures::read_file(list), before);
    EXPECT_EQ(add(a, 0), 1);
    EXPECT_EQ(names(), "a.dll:0 b.dll:1 ");
    EXPECT_EQ(add(upper, 0), 1);  // same name ignoring case, new digest: replaced in place
    EXPECT_EQ(names(), "A.DLL:0 b.dll:1 ");
    EXPECT_EQ(fixtures::get32(fixtures::read_file(list), 60), 0u);
    EXPECT_EQ(reserved, 42u);

    std::string deep = dir.str();
    while (deep.size() < 270) deep += "/" + std::string(40, 'd');
    fs::create_directories(deep);
    fixtures::write_file(deep + "/c", {});
    fixtures::write_file(list, Bytes(79, 0));
    struct Case {
        std::string component;
        unsigned int code;
    } cases[] = {{deep + "/c", 7}, {dir.file("missing"), 8}, {a, 10}};
    for (const auto& c : cases) {
        EXPECT_EQ(add(c.component, 1), 0);
        EXPECT_EQ(code, c.code);
        EXPECT_EQ(fixtures::read_file(list), Bytes(79, 0));
    }
    EXPECT_EQ(AddEntrytoCompnLstFile(a.c_str(), 1, 0, list.c_str(), nullptr, &code), 0);
}

TEST_F(CompnList, VerificationReportsMissingAndDamagedComponents) {
    for (auto [n, c] : {std::pair{"one/ok", "ok"}, {"one/bad", "bad"}, {"one/split", "x"}, {"one/flag0", "x"},
                        {"two/only2", "only2"}, {"two/split", "split"}, {"two/bad", "bad"}})
        put(n, c);
    fs::create_directories(dir.file("one/sub"));
    std::vector<CompnEntry> es = {
        fixtures::entry_for("ok", "ok"), fixtures::entry_for("bad", "good"), fixtures::entry_for("missing", ""),
        fixtures::entry_for("flag0", "other", 0), fixtures::entry_for("gone0", "", 2),
        fixtures::entry_for("only2", "only2"), fixtures::entry_for("split", "split")};
    fixtures::write_file(list, fixtures::list_bytes(es));
    auto verify = [&](const std::string& d1, const char* d2, std::string& reported) {
        Rec* recs = nullptr;
        unsigned int count = 99, code = 99;
        int ok = VerifyCompnsFileRecords(list.c_str(), d1.c_str(), d2, &recs, &count, &code);
        reported.clear();
        for (unsigned int i = 0; ok && i < count; ++i) reported += std::string(recs[i].szFileName) + " ";
        if (ok && count == 0) {
            EXPECT_EQ(recs, nullptr);
        }
        ReleaseCompnList(recs, count, &code);
        return ok ? 0u : code;
    };
    std::string two = dir.file("two"), got;
    EXPECT_EQ(verify(dir.file("one"), two.c_str(), got), 0u);
    EXPECT_EQ(got, "bad missing split ");
    EXPECT_EQ(verify(dir.file("one/"), nullptr, got), 0u);
    EXPECT_EQ(got, "bad missing only2 split ");
    fixtures::write_file(list, fixtures::list_bytes({es[0], es[3], es[4]}));
    EXPECT_EQ(verify(dir.file("one"), nullptr, got), 0u);
    EXPECT_EQ(got, "");

    std::string deep = dir.str();
    while (deep.size() < 200) deep += "/" + std::string(30, 'd');
    deep += "/" + std::string(240 - deep.size(), 'e');  // fits, but not with a 30-byte name
    fs::create_directories(deep);
    es[0].name = std::string(30, 'n');
    fixtures::write_file(list, fixtures::list_bytes({es[0]}));
    struct Case {
        std::string d1;
        const char* d2;
        unsigned int code;
    } cases[] = {{dir.file("none"), nullptr, 9}, {dir.file("one"), "/no/such/dir", 9}, {"", nullptr, 9},
                 {deep + std::string(20, '/'), nullptr, 9}, {deep, nullptr, 7}};
    for (const auto& c : cases) EXPECT_EQ(verify(c.d1, c.d2, got), c.code) << c.d1;
    fixtures::write_file(list, fixtures::list_bytes({fixtures::entry_for("sub", "")}));
    EXPECT_EQ(verify(dir.file("one"), nullptr, got), 20u);
    fixtures::write_file(list, fixtures::list_bytes({es[1], es[2]}));
    for (long nth = 1;; ++nth) {  // every allocation in turn
        kaldorn::testing::fail_allocation(nth);
        unsigned int code = verify(dir.file("one"), nullptr, got);
        if (code == 0) break;
        EXPECT_EQ(code, 11u) << nth;
    }
    EXPECT_EQ(got, "bad missing ");
}

// The rules as stated, compared every newer record with every older one.
std::vector<Rec> plain_merge(const std::vector<Rec>& older, const std::vector<Rec>& newer) {
    std::vector<Rec> out = newer;
    for (Rec r : older) {
        bool named = false;
        for (const Rec& n : newer) named = named || ::strcasecmp(n.szFileName, r.szFileName) == 0;
        if (!named) out.push_back((r.dwFlag = 0, r));
    }
    return out;
}

std::vector<Rec> plain_diff(const std::vector<Rec>& older, const std::vector<Rec>& newer) {
    std::vector<Rec> out;
    for (const Rec& n : newer) {
        bool kept = false;
        for (const Rec& o : older)
            kept = kept || (::strcasecmp(n.szFileName, o.szFileName) == 0 && !std::memcmp(n.uchMD5Digest, o.uchMD5Digest, 16) &&
                            n.dwFlag == o.dwFlag && n.dwTag == o.dwTag);
        if (!kept) out.push_back(n);
    }
    return out;
}

TEST_F(CompnList, MergeAndDiffFollowTheRules) {
    std::string older = dir.file("old.lst"), newer = dir.file("new.lst");
    auto run = [&](auto fn, const std::string& o) {
        Rec* recs = nullptr;
        unsigned int count = 0, code = 0;
        EXPECT_EQ(fn(o.c_str(), newer.c_str(), &recs, &count, &code), 1);
        std::vector<Rec> out(recs, recs + count);
        ReleaseCompnList(recs, count, &code);
        return out;
    };
    auto x = fixtures::entry_for("x", "x"), y = fixtures::entry_for("y", "y"), Y = fixtures::entry_for("Y", "Y2"),
         z = fixtures::entry_for("z", "z");
    fixtures::write_file(older, fixtures::list_bytes({x, y}));
    fixtures::write_file(newer, fixtures::list_bytes({Y, z}));
    x.flag = 0;
    EXPECT_TRUE(same(run(GenerateMergforCompnLstFiles, older), to_records({Y, z, x})));
    EXPECT_TRUE(same(run(GenerateMergforCompnLstFiles, dir.file("none")), to_records({Y, z})));
    EXPECT_TRUE(same(run(GenerateDiffforCompnLstFiles, dir.file("none")), to_records({Y, z})));
    EXPECT_TRUE(run(GenerateDiffforCompnLstFiles, newer).empty());
    auto sized = z, tagged = z;
    sized.size = 99, tagged.tag = 1;
    fixtures::write_file(older, fixtures::list_bytes({sized, Y}));
    fixtures::write_file(newer, fixtures::list_bytes({Y, z, tagged}));
    EXPECT_TRUE(same(run(GenerateDiffforCompnLstFiles, older), to_records({tagged})));

    std::mt19937 gen(11);
    for (int round = 0; round < 20; ++round) {
        std::vector<std::string> names = {"a", "A", "b", "B.dll", "b.DLL", "c", "\xC4", "\xE4"};
        auto o = random_entries(gen, gen() % 12, names), n = random_entries(gen, gen() % 12, names);
        fixtures::write_file(older, fixtures::list_bytes(o));
        fixtures::write_file(newer, fixtures::list_bytes(n));
        EXPECT_TRUE(same(run(GenerateMergforCompnLstFiles, older), plain_merge(to_records(o), to_records(n))));
        EXPECT_TRUE(same(run(GenerateDiffforCompnLstFiles, older), plain_diff(to_records(o), to_records(n))));
        if (round != 0) continue;
        unsigned int count = 0, code = 0;
        ASSERT_EQ(MergeCompnLstFilesEx(older.c_str(), newer.c_str(), older.c_str(), &count, &code), 1);
        EXPECT_EQ(count, plain_merge(to_records(o), to_records(n)).size());
        EXPECT_TRUE(same(read_list(older, code), plain_merge(to_records(o), to_records(n))));
    }
}

TEST_F(CompnList, MergeAndDiffFailuresReleaseEverything) {
    std::string good = dir.file("good.lst"), bad = dir.file("bad.lst");
    fixtures::write_file(good, fixtures::list_bytes({fixtures::entry_for("a", "a")}));
    fixtures::write_file(bad, Bytes(90, 0));
    for (auto fn : {GenerateMergforCompnLstFiles, GenerateDiffforCompnLstFiles}) {
        struct Case {
            std::string older, newer;
            unsigned int code;
        } cases[] = {{good, dir.file("none"), 8}, {bad, good, 17}, {good, bad, 17}};
        for (const auto& c : cases) {
            Rec* recs = reinterpret_cast<Rec*>(&recs);
            unsigned int count = 9, code = 0;
            EXPECT_EQ(fn(c.older.c_str(), c.newer.c_str(), &recs, &count, &code), 0);
            EXPECT_EQ(code, c.code) << c.older << " " << c.newer;
            EXPECT_EQ(count, 9u);
        }
        for (long nth = 1;; ++nth) {  // every allocation in turn
            Rec* recs = nullptr;
            unsigned int count = 9, code = 0;
            kaldorn::testing::fail_allocation(nth);
            if (fn(good.c_str(), good.c_str(), &recs, &count, &code) == 1) {
                ReleaseCompnList(recs, count, &code);
                break;
            }
            EXPECT_EQ(code, 11u) << nth;
            EXPECT_EQ(count, 9u);
        }
        kaldorn::testing::fail_allocation(0);
    }
    unsigned int count = 9, code = 0;
    EXPECT_EQ(MergeCompnLstFilesEx(good.c_str(), good.c_str(), dir.file("no/dir/out").c_str(), &count, &code), 0);
    EXPECT_EQ(code, 7u);
    EXPECT_EQ(count, 9u);
}

}  // namespace

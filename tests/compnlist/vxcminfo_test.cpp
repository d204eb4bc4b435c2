// Component lists against files written byte by byte from the layout, with
// OpenSSL's MD5 as the digest oracle and a plain quadratic merge and diff as
// the oracle of the hashed ones.
#include <strings.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <random>

#include <gtest/gtest.h>

#include "alloc_faults.h"
#include "compnwriter.h"
#include "kaldorn/vxcminfo.h"

namespace {

using fixtures::Bytes;
using fixtures::CompnEntry;
using fixtures::entry_for;
using Rec = tagVX_COMPONENT_FILE_MEM_RECORD_INFO;
using Recs = std::vector<Rec>;
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

Recs to_records(const std::vector<CompnEntry>& es) {
    Recs out;
    for (const auto& e : es) out.push_back(to_record(e));
    return out;
}

// The records fn(args..., &records, &count, &code) hands out; on failure
// none, `code` set and the sentinels it was given left as they were.
template <typename Fn, typename... Args>
Recs handed_out(unsigned int& code, Fn fn, Args... args) {
    Rec* recs = reinterpret_cast<Rec*>(&code);
    unsigned int count = 77;
    if (fn(args..., &recs, &count, &code) != 1) {
        EXPECT_TRUE(recs == reinterpret_cast<Rec*>(&code) && count == 77) << "failed call wrote its out-values";
        return {};
    }
    EXPECT_EQ(recs == nullptr, count == 0);
    Recs out(recs, recs + count);
    unsigned int e = 5;
    EXPECT_EQ(ReleaseCompnList(recs, count, &e), recs != nullptr ? 1 : 0);
    return out;
}

Recs read_list(const std::string& path, unsigned int& code) {
    return handed_out(code, GetCompnListFromLstFile, path.c_str());
}
Recs merged(const std::string& older, const std::string& newer, unsigned int& code) {
    return handed_out(code, GenerateMergforCompnLstFiles, older.c_str(), newer.c_str());
}
Recs diffed(const std::string& older, const std::string& newer, unsigned int& code) {
    return handed_out(code, GenerateDiffforCompnLstFiles, older.c_str(), newer.c_str());
}

bool same(const Recs& a, const Recs& b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(Rec)) == 0);
}

class CompnList : public ::testing::Test {
protected:
    fixtures::TempDir dir;
    std::string list = dir.file("00000004_compns.lst");
    int descriptors = fixtures::open_descriptor_count();
    void TearDown() override { EXPECT_EQ(fixtures::open_descriptor_count(), descriptors); }
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
    // The names verification reports, or its code.
    std::string verified(const std::string& d1, const char* d2) {
        unsigned int code = 0;
        Recs found = handed_out(code, VerifyCompnsFileRecords, list.c_str(), d1.c_str(), d2);
        std::string out = found.empty() && code != 0 ? "code " + std::to_string(code) : "";
        for (const Rec& r : found) out += std::string(r.szFileName) + " ";
        return out;
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
    EXPECT_EQ(fs::status(list).permissions(), fs::perms(0600));
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
    base.records = {entry_for("one.dll", "1"), entry_for("two.dat", "22")};
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

// Every allocation of each call that hands out records fails in turn: code
// 11, nothing handed out.
TEST_F(CompnList, EveryFailedAllocationHandsOutNothing) {
    put("one/a", "a");
    const std::string older = dir.file("old.lst"), one = dir.file("one");
    fixtures::write_file(list, fixtures::list_bytes({entry_for("a", "a"), entry_for("b", "b")}));
    fixtures::write_file(older, fixtures::list_bytes({entry_for("A", "x"), entry_for("c", "c")}));
    const std::function<Recs(unsigned int&)> calls[] = {
        [&](unsigned int& code) { return read_list(list, code); },
        [&](unsigned int& code) { return merged(older, list, code); },
        [&](unsigned int& code) { return diffed(older, list, code); },
        [&](unsigned int& code) {
            return handed_out(code, VerifyCompnsFileRecords, list.c_str(), one.c_str(), nullptr);
        }};
    for (const auto& call : calls) {
        faults::each_allocation([&](long nth, long) {
            unsigned int code = 0;
            EXPECT_EQ(call(code).empty(), nth != 0) << nth;
            EXPECT_EQ(code, nth != 0 ? 11u : 0u) << nth;
        });
    }
}

TEST_F(CompnList, PlatformIdentifiersAreSetInPlace) {
    Bytes b = fixtures::list_bytes({entry_for("a", "x")});
    b[74] = 0x5A;  // reserved word: kept
    fixtures::write_file(list, b);
    unsigned int code = 9, id[3] = {};
    ASSERT_EQ(SetCompnListFilePlatformId(list.c_str(), 7, 0x80000000u, 9, &code), 1);
    ASSERT_EQ(GetCompnListFilePlatformId(list.c_str(), &id[0], &id[1], &id[2], &code), 1);
    EXPECT_TRUE(id[0] == 7 && id[1] == 0x80000000u && id[2] == 9);
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
        e.digest.fill(static_cast<uint8_t>(gen() % 2));  // two digests, so matches happen
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
    Rec a = to_record(entry_for("a", ""));
    Rec bad[4] = {a, a, to_record(entry_for("abc", "")), a};
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
    unsigned int code = 0, count = 0;
    const std::function<int()> writers[] = {
        [&] { return DumpRecordsToCompnLstFile(list.c_str(), recs.data(), 600, 0, nullptr, &code); },
        [&] { return MergeCompnLstFilesEx(older.c_str(), newer.c_str(), list.c_str(), &count, &code); }};
    for (const auto& write : writers) {
        for (auto injection : {std::pair{&kaldorn::testing::fail_seek, 15u}, {&kaldorn::testing::fail_write, 14u}}) {
            const unsigned int expected = injection.second;
            long last = faults::until_through(injection.first, write, [&](long nth, int result) {
                unsigned int read_code = 0;
                bool reads = !read_list(list, read_code).empty();
                EXPECT_EQ(reads, result == 1) << nth;
                if (result == 1) return true;
                EXPECT_EQ(code, expected) << nth;
                EXPECT_TRUE(read_code == 10 || read_code == 17) << nth << " gave " << read_code;
                return false;
            });
            EXPECT_GT(last, 1);
        }
    }
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
    ASSERT_EQ(add(a, 1) + add(b, 1), 2);
    EXPECT_TRUE(same(read_list(list, code), to_records({entry_for("a.dll", "v1"), entry_for("b.dll", "b")})));
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
    for (auto [component, expected] :
         {std::pair{deep + "/c", 7u}, {dir.file("missing"), 8u}, {dir.file("up"), 20u}, {a, 10u}}) {
        EXPECT_EQ(add(component, 1), 0);
        EXPECT_EQ(code, expected);
        EXPECT_EQ(fixtures::read_file(list), Bytes(79, 0));
    }
    EXPECT_EQ(AddEntrytoCompnLstFile(a.c_str(), 1, 0, list.c_str(), nullptr, &code), 0);
    Rec r{};  // one file's record replaces every field; a failure writes none
    r.dwTag = 5;
    Rec untouched = r;
    EXPECT_EQ(GetCompnLstFileRecord(dir.file("up").c_str(), 1, &r, &code), 0);
    EXPECT_TRUE(code == 20 && same({r}, {untouched}));
    ASSERT_EQ(GetCompnLstFileRecord(upper.c_str(), 3, &r, &code), 1);
    EXPECT_TRUE(same({r}, {to_record(entry_for("A.DLL", "v2", 3))}));
}

TEST_F(CompnList, VerificationReportsMissingAndDamagedComponents) {
    for (auto [n, c] : {std::pair{"one/ok", "ok"}, {"one/bad", "bad"}, {"one/split", "x"}, {"one/flag0", "x"},
                        {"two/only2", "only2"}, {"two/split", "split"}, {"two/bad", "bad"}})
        put(n, c);
    fs::create_directories(dir.file("one/sub"));
    std::vector<CompnEntry> es = {entry_for("ok", "ok"), entry_for("bad", "good"), entry_for("missing", ""),
                                  entry_for("flag0", "other", 0), entry_for("gone0", "", 2),
                                  entry_for("only2", "only2"), entry_for("split", "split")};
    fixtures::write_file(list, fixtures::list_bytes(es));
    const std::string one = dir.file("one"), two = dir.file("two");
    EXPECT_EQ(verified(one, two.c_str()), "bad missing split ");
    EXPECT_EQ(verified(one + "/", nullptr), "bad missing only2 split ");
    fixtures::write_file(list, fixtures::list_bytes({es[0], es[3], es[4]}));
    EXPECT_EQ(verified(one, nullptr), "");

    std::string deep = dir.str();
    while (deep.size() < 200) deep += "/" + std::string(30, 'd');
    deep += "/" + std::string(240 - deep.size(), 'e');  // fits, but not with a 30-byte name
    fs::create_directories(deep);
    es[0].name = std::string(30, 'n');
    fixtures::write_file(list, fixtures::list_bytes({es[0]}));
    const struct {
        std::string d1;
        const char* d2;
        const char* result;
    } cases[] = {{dir.file("none"), nullptr, "code 9"}, {one, "/no/such/dir", "code 9"}, {"", nullptr, "code 9"},
                 {deep + std::string(20, '/'), nullptr, "code 9"}, {deep, nullptr, "code 7"}};
    for (const auto& c : cases) EXPECT_EQ(verified(c.d1, c.d2), c.result) << c.d1;
    fixtures::write_file(list, fixtures::list_bytes({entry_for("sub", "")}));
    EXPECT_EQ(verified(one, nullptr), "code 20");
}

// The rules as stated, compared every newer record with every older one.
Recs plain_merge(const Recs& older, const Recs& newer) {
    Recs out = newer;
    for (Rec r : older) {
        bool named = false;
        for (const Rec& n : newer) named = named || ::strcasecmp(n.szFileName, r.szFileName) == 0;
        if (!named) out.push_back((r.dwFlag = 0, r));
    }
    return out;
}

Recs plain_diff(const Recs& older, const Recs& newer) {
    Recs out;
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
    std::string older = dir.file("old.lst"), newer = dir.file("new.lst"), none = dir.file("none");
    unsigned int code = 0, count = 0;
    const std::vector<CompnEntry> yz = {entry_for("Y", "Y2"), entry_for("z", "z")};
    fixtures::write_file(newer, fixtures::list_bytes(yz));
    EXPECT_TRUE(same(merged(none, newer, code), to_records(yz)));  // a missing older list counts as empty
    EXPECT_TRUE(same(diffed(none, newer, code), to_records(yz)));
    std::mt19937 gen(11);
    const std::vector<std::string> names = {"a", "A", "b", "B.dll", "b.DLL", "c", "\xC4", "\xE4"};
    for (int round = 0; round < 20; ++round) {
        auto o = random_entries(gen, gen() % 12, names), n = random_entries(gen, gen() % 12, names);
        fixtures::write_file(older, fixtures::list_bytes(o));
        fixtures::write_file(newer, fixtures::list_bytes(n));
        const Recs merge = plain_merge(to_records(o), to_records(n));
        EXPECT_TRUE(same(merged(older, newer, code), merge));
        EXPECT_TRUE(same(diffed(older, newer, code), plain_diff(to_records(o), to_records(n))));
        if (round != 0) continue;
        EXPECT_TRUE(diffed(newer, newer, code).empty());
        ASSERT_EQ(MergeCompnLstFilesEx(older.c_str(), newer.c_str(), older.c_str(), &count, &code), 1);
        EXPECT_EQ(count, merge.size());
        EXPECT_TRUE(same(read_list(older, code), merge));
    }
}

TEST_F(CompnList, MergeAndDiffFailuresHandOutNothing) {
    std::string good = dir.file("good.lst"), bad = dir.file("bad.lst");
    fixtures::write_file(good, fixtures::list_bytes({entry_for("a", "a")}));
    fixtures::write_file(bad, Bytes(90, 0));
    const struct {
        std::string older, newer;
        unsigned int code;
    } cases[] = {{good, dir.file("none"), 8}, {bad, good, 17}, {good, bad, 17}};
    for (const auto& c : cases) {
        unsigned int merge_code = 0, diff_code = 0;
        EXPECT_TRUE(merged(c.older, c.newer, merge_code).empty() && diffed(c.older, c.newer, diff_code).empty());
        EXPECT_EQ(std::pair(merge_code, diff_code), std::pair(c.code, c.code)) << c.older << " " << c.newer;
    }
    unsigned int count = 9, code = 0;
    EXPECT_EQ(MergeCompnLstFilesEx(good.c_str(), good.c_str(), dir.file("no/dir/out").c_str(), &count, &code), 0);
    EXPECT_EQ(code, 7u);
    EXPECT_EQ(count, 9u);
}

}  // namespace

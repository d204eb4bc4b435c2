// Component lists against the publisher's files, with a plain quadratic
// merge and diff as the oracle of the hashed ones.
#include <fcntl.h>
#include <linux/io_uring.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>
#include <locale>
#include <random>

#include "compnlist/verify.h"
#include "fixtures.h"
#include "kaldorn/vxcminfo.h"
#include "support/ring.h"

namespace {

namespace pub = fx::pub;
using fx::Bytes;
using Rec = tagVX_COMPONENT_FILE_MEM_RECORD_INFO;
using Recs = std::vector<Rec>;
using Parts = std::vector<pub::Component>;

Recs records(const Parts& parts) {
    Recs out;
    for (const pub::Component& c : parts) {
        Rec& r = out.emplace_back(Rec{c.flag, c.size, {}, c.tag, static_cast<unsigned int>(c.name.size() + 1), {}, {}});
        std::memcpy(r.uchMD5Digest, c.digest.data(), 16);
        std::memcpy(r.uchReserved, c.reserved.data(), 8);
        std::memcpy(r.szFileName, c.name.c_str(), c.name.size());
    }
    return out;
}

bool same(const Recs& a, const Recs& b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(Rec)) == 0);
}

// The records fn(args..., &records, &count, &code) hands out, released; a
// failure hands out none and leaves the out-values as they were.
template <typename Fn, typename... Args>
Recs handed_out(unsigned int& code, Fn fn, Args... args) {
    Rec* recs = reinterpret_cast<Rec*>(&code);
    unsigned int count = 77, e = 5;
    if (fn(args..., &recs, &count, &code) != 1) {
        EXPECT_TRUE(recs == reinterpret_cast<Rec*>(&code) && count == 77) << "failed call wrote its out-values";
        return {};
    }
    const Recs out(recs, recs + count);
    EXPECT_EQ(ReleaseCompnList(recs, count, &e), recs != nullptr ? 1 : 0);
    EXPECT_EQ(recs == nullptr, count == 0);
    return out;
}

Recs read_list(const std::string& p, unsigned int& c) { return handed_out(c, GetCompnListFromLstFile, p.c_str()); }

// Random records whose names are plain file names (bytes 0x30 and up); with
// names given, drawn from them so that names meet in any case.
Parts random_parts(std::mt19937& gen, size_t n, const std::vector<std::string>& names = {}) {
    Parts out(n);
    for (auto& c : out) {
        c.flag = uint32_t(gen() % 3), c.size = uint32_t(gen()), c.tag = uint32_t(gen() % 2);
        c.digest.fill(static_cast<uint8_t>(gen() % 2));  // two digests, so matches happen
        for (auto& r : c.reserved) r = static_cast<uint8_t>(gen());
        c.name = names.empty() ? std::string(1 + gen() % 259, 'x') : names[gen() % names.size()];
        for (size_t i = 0; names.empty() && i < c.name.size(); ++i) c.name[i] = static_cast<char>(0x30 + gen() % 208);
    }
    return out;
}

class CompnList : public ::testing::Test {
protected:
    fx::TempDir dir;
    std::string list = dir.file("00000004_compns.lst");
    size_t descriptors = fx::descriptor_count();
    void TearDown() override { EXPECT_EQ(fx::descriptor_count(), descriptors); }
    std::string put(const std::string& name, const std::string& text) {
        return fx::write_file(dir.file(name), text), dir.file(name);
    }
    void put_list(const std::string& path, const Parts& parts) { fx::write_file(path, pub::component_list(parts)); }
};

Bytes poked(Bytes b, size_t at, uint32_t v, bool stored = false) {
    fx::poke32(b, at, v, stored);
    if (stored) pub::seal_component_list(b);
    return b;
}

// Every bad head and record gives its code; so does every truncation: 10 inside the head, else 17 unless the cut
// bytes sum to 0, when the last record runs past the end (18).
TEST_F(CompnList, BadInputGivesItsCodeAndHandsOutNothing) {
    const Bytes two = pub::component_list({pub::component("one.dll", "1"), pub::component("two.dat", "22")});
    const Bytes one = pub::component_list({pub::component("one.dll", "1")});  // its name length at 108
    std::vector<std::pair<Bytes, unsigned int>> cases = {
        {Bytes(79, 0), 10}, {poked(two, 56, 1), 17}, {poked(two, 76, 3), 18}, {poked(two, 76, 14316558), 11},
        {poked(two, 76, ~0u), 11}, {poked(one, 108, 0, true), 18}, {poked(one, 108, 7, true), 18} /* no NUL */,
        {pub::component_list({pub::component(std::string(260, 'n'), "")}), 18}};
    for (auto [at, v] : {std::pair{3, 'G'}, {4, 2}, {5, 0}, {6, 't'}, {100, 0x55}}) {  // magic, format, maker, record
        cases.emplace_back(two, 17);
        cases.back().first[size_t(at)] = static_cast<unsigned char>(v);
    }
    for (size_t n = 0; n < two.size(); ++n) {
        uint32_t cut = 0;
        for (size_t i = std::max<size_t>(n, 80); i < two.size(); ++i) cut += two[i];
        cases.emplace_back(Bytes(two.begin(), two.begin() + long(n)), n < 80 ? 10 : cut != 0 ? 17 : 18);
    }
    for (size_t i = 0; i < cases.size(); ++i) {
        fx::write_file(list, cases[i].first);
        unsigned int code = 0;
        EXPECT_TRUE(read_list(list, code).empty() && code == cases[i].second) << i << ": " << code;
    }
}

// Every allocation of each call that hands out records fails in turn: code 11, nothing handed out.
TEST_F(CompnList, EveryFailedAllocationHandsOutNothing) {
    put("one/a", "a");
    const std::string older = dir.file("old.lst"), one = dir.file("one");
    put_list(list, {pub::component("a", "a"), pub::component("b", "b")});
    put_list(older, {pub::component("A", "x"), pub::component("c", "c")});
    const std::function<Recs(unsigned int&)> calls[] = {
        [&](unsigned int& code) { return read_list(list, code); },
        [&](unsigned int& code) { return handed_out(code, GenerateMergforCompnLstFiles, older.c_str(), list.c_str()); },
        [&](unsigned int& code) { return handed_out(code, GenerateDiffforCompnLstFiles, older.c_str(), list.c_str()); },
        [&](unsigned int& c) { return handed_out(c, VerifyCompnsFileRecords, list.c_str(), one.c_str(), nullptr); }};
    for (const auto& call : calls) {
        fx::each_allocation([&](long nth) {
            unsigned int code = 0;
            EXPECT_TRUE(call(code).empty() == (nth != 0) && code == (nth != 0 ? 11u : 0u)) << nth;
        });
    }
}

// Set then get; the reserved word and the records stay; the head is not
// validated; a short file, a failed seek and a failed write give their codes.
TEST_F(CompnList, PlatformIdentifiersAreSetInPlace) {
    Bytes b = pub::component_list({pub::component("a", "x")});
    b[74] = 0x5A;
    fx::write_file(list, b);
    unsigned int code = 9, id[3] = {};
    ASSERT_TRUE(SetCompnListFilePlatformId(list.c_str(), 7, 0x80000000u, 9, &code) == 1 &&
                GetCompnListFilePlatformId(list.c_str(), &id[0], &id[1], &id[2], &code) == 1);
    EXPECT_TRUE(id[0] == 7 && id[1] == 0x80000000u && id[2] == 9);
    const Bytes after = fx::read_file(list);
    EXPECT_TRUE(std::equal(after.begin() + 72, after.end(), b.begin() + 72));
    EXPECT_EQ(read_list(list, code).size(), 1u);
    fx::write_file(list, Bytes(80, 0));
    EXPECT_TRUE(GetCompnListFilePlatformId(list.c_str(), &id[0], &id[1], &id[2], &code) == 1 && id[0] == 0);
    for (auto [bytes, inject, want] : {std::tuple{Bytes(79, 0), (void (*)(long))nullptr, 10u},
                                       {b, kaldorn::testing::fail_seek, 15u}, {b, kaldorn::testing::fail_write, 14u}}) {
        fx::write_file(list, bytes);
        if (inject) inject(1);
        EXPECT_EQ(SetCompnListFilePlatformId(list.c_str(), 1, 2, 3, &code), 0);
        EXPECT_EQ(code, want);
        EXPECT_TRUE(inject || GetCompnListFilePlatformId(list.c_str(), &id[0], &id[1], &id[2], &code) == 0);
    }
}

// Names of length 0 or above 260, whose NUL lies past the stored bytes, or without a NUL are refused with 14 before
// the file changes. With room, a new file from the writer is the publisher's (0600, the last record passed apart) and
// reads back identical; an append flag without a record writes an empty list. (The writers under faults:
// tests/support/replace_test.cpp.)
TEST_F(CompnList, WrittenListsAreThePublishersAndBadNamesAreRefused) {
    const pub::Component a = pub::component("a", "");
    Recs bad = records({a, a, pub::component("abc", ""), a});
    bad[0].dwNameLength = 0, bad[1].dwNameLength = 261, bad[2].dwNameLength = 3, bad[3].szFileName[2] = 'b';
    const Bytes before = pub::component_list({a});
    fx::write_file(list, before);
    unsigned int code = 0;
    for (Rec& r : bad) {
        EXPECT_EQ(DumpRecordsToCompnLstFile(list.c_str(), &r, 1, 0, nullptr, &code), 0);
        EXPECT_EQ(code, 14u);
        EXPECT_EQ(fx::read_file(list), before);
    }
    std::mt19937 gen(3);
    const Parts parts = random_parts(gen, 600);  // two blocks of records, long names among them
    Recs recs = records(parts);
    std::filesystem::remove(list);
    ASSERT_EQ(DumpRecordsToCompnLstFile(list.c_str(), recs.data(), 599, 1, &recs.back(), &code), 1);
    EXPECT_EQ(fx::read_file(list), pub::component_list(parts));
    EXPECT_TRUE(same(read_list(list, code), recs));
    EXPECT_EQ(std::filesystem::status(list).permissions(), std::filesystem::perms(0600));
    ASSERT_EQ(DumpRecordsToCompnLstFile(list.c_str(), nullptr, 5, 1, nullptr, &code), 1);
    EXPECT_EQ(fx::read_file(list), pub::component_list({}));
    EXPECT_TRUE(read_list(list, code = 3).empty());
    EXPECT_EQ(code, 0u);
}

TEST_F(CompnList, AddingEntries) {
    const std::string a = put("a.dll", "v1"), b = put("b.dll", "b"), upper = put("up/A.DLL", "v2");
    unsigned int reserved = 42, code = 0;
    const auto add = [&](const std::string& path, unsigned int flag) {
        return AddEntrytoCompnLstFile(path.c_str(), flag, 0, list.c_str(), &reserved, &code);
    };
    ASSERT_TRUE(add(a, 1) == 1 && add(b, 1) == 1);
    const Parts ab = {pub::component("a.dll", "v1"), pub::component("b.dll", "b")};
    EXPECT_EQ(fx::read_file(list), pub::component_list(ab));
    ASSERT_EQ(SetCompnListFilePlatformId(list.c_str(), 1, 2, 3, &code), 1);
    const Bytes before = fx::read_file(list);
    EXPECT_TRUE(add(a, 1) == 1 && code == 6 && fx::read_file(list) == before);  // already present
    // A new flag, or the same name in another case with a new digest, is
    // replaced in place; the rewritten list carries platform identifiers 0.
    EXPECT_TRUE(add(a, 0) == 1 && add(upper, 0) == 1);
    EXPECT_EQ(fx::read_file(list), pub::component_list({pub::component("A.DLL", "v2", 0), ab[1]}));
    EXPECT_EQ(reserved, 42u);
    std::string deep = dir.str();
    while (deep.size() < 270) deep += "/" + std::string(40, 'd');
    fx::write_file(deep + "/c", "");
    fx::write_file(list, Bytes(79, 0));
    for (auto [component, expected] : {std::pair{deep + "/c", 7u}, {a, 10u}})
        EXPECT_TRUE(add(component, 1) == 0 && code == expected && fx::read_file(list) == Bytes(79, 0)) << expected;
    EXPECT_EQ(AddEntrytoCompnLstFile(a.c_str(), 1, 0, list.c_str(), nullptr, &code), 0);
    Recs r(1);  // one file's record replaces every field; a failure writes none
    r[0].dwTag = 5;
    EXPECT_EQ(GetCompnLstFileRecord(dir.file("up").c_str(), 1, r.data(), &code), 0);
    EXPECT_TRUE(code == 20 && r[0].dwTag == 5);
    ASSERT_EQ(GetCompnLstFileRecord(upper.c_str(), 3, r.data(), &code), 1);
    EXPECT_TRUE(same(r, records({pub::component("A.DLL", "v2", 3)})));
    // Bytes of 0x80 and above do not fold, whatever the locale: caf\xE9 is another entry than CAF\xC9.
    put_list(list, {pub::component("CAF\xC9", "v1")});
    ASSERT_EQ(add(put("caf\xE9", "v1"), 1), 1);
    EXPECT_EQ(read_list(list, code).size(), 2u);
}

using kaldorn::detail::FileIo;
using kaldorn::detail::Md5Path;

// The names verification on a path, reading through calls or the ring, reports, or "code N".
std::string verified(Md5Path path, FileIo io, const std::string& list, const std::string& one, const char* two) {
    unsigned int code = 0;
    const Recs found = handed_out(code, kaldorn::detail::verify_compns_on, path, io, list.c_str(), one.c_str(), two);
    std::string out = found.empty() && code != 0 ? "code " + std::to_string(code) : "";
    for (const Rec& r : found) out += std::string(r.szFileName) + " ";
    return out;
}

// Components around every block and read boundary, in lanes that end apart or together. By i % 6: intact, grown
// (intact in the second directory, which only a missing file consults), shrunk, only in the second directory, in
// neither, not marked (flag 0 or 2) and missing. Then names that resolve as the joined path does (a loop and a
// dangling link are not there), and a fault if given.
struct Installation {
    fx::TempDir dir;
    std::string list = dir.file("list.lst"), one = dir.file("one"), two = dir.file("two"), both, first;
    explicit Installation(const char* fault = nullptr) {
        std::filesystem::create_directories(one + "/x/y"), std::filesystem::create_directories(two);
        std::filesystem::create_symlink("loop", one + "/loop"), std::filesystem::create_symlink("gone", one + "/dangling");
        const size_t sizes[] = {0, 1, 55, 56, 63, 64, 65, 119, 120, 4096, 65535, 65537, 140000};  // 13: every fate
        Parts entries;
        for (size_t i = 0; i < 78; ++i) {
            auto random = fx::random_bytes(sizes[i % 13], static_cast<unsigned>(i));
            std::string name = std::string("c").append(std::to_string(i)), body(random.begin(), random.end());
            entries.push_back(pub::component(name, body, i % 6 == 5 ? uint32_t(i / 6 % 2 * 2) : 1));
            std::string disk = i % 6 == 1 ? body + "y" : i % 6 == 2 ? body.substr(0, body.size() / 2) : body;
            if (i % 6 < 4) fx::write_file((i % 6 == 3 ? two : one) + "/" + name, disk);
            if (i % 6 == 1) fx::write_file(two + "/" + name, body);
            if (i % 6 == 1 || i % 6 == 4 || (i % 6 == 2 && disk != body)) both += name + " ";
            if (i % 6 == 1 || i % 6 == 3 || i % 6 == 4 || (i % 6 == 2 && disk != body)) first += name + " ";
            if (i == 40 && fault != nullptr) entries.push_back(pub::component(fault, ""));
        }
        for (const char* name : {"loop", "dangling"}) entries.push_back(pub::component(name, ""));
        both += "loop dangling ", first += "loop dangling ";
        fx::write_file(list, pub::component_list(entries));
    }
};

// Whether the kernel gives an io_uring that opens into its file table with reads linked behind, asked directly.
bool kernel_gives_ring() {
    io_uring_params p{};
    const int fd = static_cast<int>(::syscall(__NR_io_uring_setup, 2, &p));
    if (fd >= 0) ::close(fd);
    return fd >= 0 && (p.features & IORING_FEAT_LINKED_FILE) != 0;
}

// Each path, by calls and through the ring, then with the descriptor limit leaving exactly the numbers it needs free:
// by calls, lanes and two directories; through a ring the kernel gives, the ring, two directories and a file found in
// the second one, whatever the lanes. A
// component that cannot be read (x is a directory), listed after reported ones, fails the call with 20; one whose
// joined path does not fit fails it with 7; an empty or over-long directory is 9.
TEST(Verification, EveryPathReportsWhatOneFileAfterAnotherReports) {
    Installation in, bad("x");
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    for (FileIo io : {FileIo::calls, FileIo::ring})
        for (Md5Path path : {Md5Path::one, Md5Path::eight, Md5Path::sixteen}) {  // unlimited first: sanitizers need fds
            if (!kaldorn::detail::md5_path_runs(path)) continue;
            const std::string what = std::to_string(unsigned(path)) + " lanes, " + (io == FileIo::ring ? "ring" : "calls");
            EXPECT_EQ(verified(path, io, in.list, in.one, in.two.c_str()), in.both) << what;
            EXPECT_EQ(verified(path, io, in.list, in.one + "/", nullptr), in.first) << what;
            EXPECT_EQ(verified(path, io, bad.list, bad.one, nullptr), "code 20") << what;
            for (long k = 1; io == FileIo::ring && k <= 4; ++k) {  // round k refused once the kernel took half of it
                kaldorn::testing::refuse_ring_round(k);
                EXPECT_EQ(verified(path, io, in.list, in.one, in.two.c_str()), in.both) << what << ", refused " << k;
                kaldorn::testing::refuse_ring_round(0);
            }
            rlim_t top = 0;
            const bool ring = io == FileIo::ring && kernel_gives_ring();
            const rlim_t need = ring ? 4 : unsigned(path) + 2;
            for (rlim_t free = 0; free < need; ++top) free += ::fcntl(int(top), F_GETFD) < 0;
            std::vector<int> taken;  // the limit must allow the ring a slot a lane: numbers up to there are taken
            for (; ring && top < unsigned(path); ++top)
                if (::fcntl(int(top), F_GETFD) < 0) taken.push_back(::dup2(0, int(top)));
            rlimit limit{top, saved.rlim_max};
            ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &limit), 0);
            EXPECT_EQ(verified(path, io, in.list, in.one, in.two.c_str()), in.both) << what;
            ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &saved), 0);
            for (int fd : taken) ::close(fd);
        }
    std::string deep = in.dir.str();
    while (deep.size() < 200) deep.append("/").append(39, 'd');
    deep.append("/").append(257 - deep.size(), 'e');  // fits with its "/", but not with "c0"
    std::filesystem::create_directories(deep);
    for (auto [d1, result] : {std::pair{deep, "code 7"}, {deep + "///", "code 9"}, {std::string(), "code 9"}})
        EXPECT_EQ(verified(kaldorn::detail::best_md5_path(), FileIo::ring, in.list, d1, nullptr), result) << d1.size();
}

// Names equal ignoring case as the "C" locale folds them, whatever the process's locale.
bool same_name(const char* a, const char* b) {
    for (; std::tolower(*a, std::locale::classic()) == std::tolower(*b, std::locale::classic()); ++a, ++b)
        if (*a == '\0') return true;
    return false;
}

// The rules as stated, every newer record compared with every older one.
Recs plain_merge(const Recs& older, const Recs& newer) {
    Recs out = newer;
    for (Rec r : older) {
        bool named = false;
        for (const Rec& n : newer) named = named || same_name(n.szFileName, r.szFileName);
        if (!named) out.push_back((r.dwFlag = 0, r));
    }
    return out;
}

Recs plain_diff(const Recs& older, const Recs& newer) {
    Recs out;
    for (const Rec& n : newer) {
        bool kept = false;
        for (const Rec& o : older)
            kept = kept || (same_name(n.szFileName, o.szFileName) && n.dwFlag == o.dwFlag && n.dwTag == o.dwTag &&
                            !std::memcmp(n.uchMD5Digest, o.uchMD5Digest, 16));
        if (!kept) out.push_back(n);
    }
    return out;
}

// Random lists, names meeting in any letter case, against the plain rules; the merge also written to a file.
TEST_F(CompnList, MergeAndDiffFollowTheRules) {
    const std::string older = dir.file("old.lst"), newer = dir.file("new.lst");
    unsigned int code = 0, count = 0;
    const auto merged = [&](const std::string& o, const std::string& n) {
        return handed_out(code, GenerateMergforCompnLstFiles, o.c_str(), n.c_str());
    };
    const auto diffed = [&](const std::string& o, const std::string& n) {
        return handed_out(code, GenerateDiffforCompnLstFiles, o.c_str(), n.c_str());
    };
    std::mt19937 gen(11);
    const std::vector<std::string> names = {"a", "A", "b", "B.dll", "b.DLL", "c", "Z", "z", "\xC4", "\xE4"};
    for (int round = 0; round < 20; ++round) {
        const Parts o = round ? random_parts(gen, gen() % 12, names) : Parts{};
        const Parts n = random_parts(gen, gen() % 12, names);
        put_list(older, o);
        put_list(newer, n);
        const Recs merge = plain_merge(records(o), records(n));
        const std::string from = round ? older : dir.file("absent");  // a missing older list counts as empty
        EXPECT_TRUE(same(merged(from, newer), merge) && same(diffed(from, newer), plain_diff(records(o), records(n))));
        if (round != 1) continue;
        EXPECT_TRUE(diffed(newer, newer).empty());
        ASSERT_EQ(MergeCompnLstFilesEx(older.c_str(), newer.c_str(), older.c_str(), &count, &code), 1);
        EXPECT_TRUE(count == merge.size() && same(read_list(older, code), merge));
    }
}

}  // namespace

// Component lists against the publisher's files; a plain quadratic merge and diff are the hashed ones' oracle.
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
using kaldorn::detail::FileIo, kaldorn::detail::Md5Path;

Recs records(const Parts& parts) {
    Recs out;
    for (const pub::Component& c : parts) {
        Rec& r = out.emplace_back(Rec{c.flag, c.size, {}, c.tag, unsigned(c.name.size() + 1), {}, {}});
        std::memcpy(r.uchMD5Digest, c.digest.data(), 16);
        std::memcpy(r.uchReserved, c.reserved.data(), 8);
        std::memcpy(r.szFileName, c.name.c_str(), c.name.size());
    }
    return out;
}

bool same(const Recs& a, const Recs& b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(Rec)) == 0);
}

// The records fn(args..., &records, &count, &code) hands out, released; a failure leaves the out-values.
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
Recs merged(unsigned int& c, const std::string& o, const std::string& n) {
    return handed_out(c, GenerateMergforCompnLstFiles, o.c_str(), n.c_str());
}
Recs diffed(unsigned int& c, const std::string& o, const std::string& n) {
    return handed_out(c, GenerateDiffforCompnLstFiles, o.c_str(), n.c_str());
}

// Random records named by plain names (bytes 0x30 and up), or drawn from names so that names meet in any case.
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
    std::string list = dir.file("00000004_compns.lst"), older = dir.file("old.lst");
    size_t descriptors = fx::descriptor_count();
    unsigned int code = 0;
    void TearDown() override { EXPECT_EQ(fx::descriptor_count(), descriptors); }
    std::string put(const std::string& name, const std::string& text) {
        fx::write_file(dir.file(name), text);
        return dir.file(name);
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
        {poked(two, 56, 1), 17}, {poked(two, 76, 3), 18}, {poked(two, 76, 14316558), 11},
        {poked(two, 76, ~0u), 11}, {poked(one, 108, 0, true), 18}, {poked(one, 108, 7, true), 18} /* no NUL */,
        {pub::component_list({pub::component(std::string(260, 'n'), "")}), 18}};
    for (auto [at, v] : {std::pair{3, 'G'}, {4, 2}, {5, 0}, {6, 't'}, {100, 0x55}})  // magic, format, maker, record
        cases.emplace_back(two, 17).first[size_t(at)] = static_cast<unsigned char>(v);
    for (size_t n = 0; n < two.size(); ++n) {
        uint32_t cut = 0;
        for (size_t i = std::max<size_t>(n, 80); i < two.size(); ++i) cut += two[i];
        cases.emplace_back(Bytes(two.begin(), two.begin() + long(n)), n < 80 ? 10 : cut != 0 ? 17 : 18);
    }
    for (size_t i = 0; i < cases.size(); ++i) {
        fx::write_file(list, cases[i].first);
        EXPECT_TRUE(read_list(list, code).empty() && code == cases[i].second) << i << ": " << code;
    }
    // Past the format's 32-bit sizes (a sparse file), as a list or as a component: refused with 13, never cut.
    std::filesystem::resize_file(list, (uintmax_t{1} << 32) + two.size());
    EXPECT_TRUE(read_list(list, code).empty());
    EXPECT_EQ(code, 13u);
    Rec r{};
    EXPECT_EQ(GetCompnLstFileRecord(list.c_str(), 1, &r, &code), 0);
    EXPECT_EQ(code, 13u);
}

// Every allocation of each call that hands out records fails in turn: code 11, nothing handed out.
TEST_F(CompnList, EveryFailedAllocationHandsOutNothing) {
    const std::string one = put("one/a", "a");
    put_list(list, {pub::component("a", "a"), pub::component("b", "b")});
    put_list(older, {pub::component("A", "x"), pub::component("c", "c")});
    const std::function<Recs()> calls[] = {
        [&] { return read_list(list, code); }, [&] { return merged(code, older, list); },
        [&] { return diffed(code, older, list); },
        [&] { return handed_out(code, VerifyCompnsFileRecords, list.c_str(), dir.file("one").c_str(), nullptr); }};
    for (const auto& call : calls) {
        fx::each_allocation([&](long nth) {
            EXPECT_TRUE(call().empty() == (nth != 0) && code == (nth != 0 ? 11u : 0u)) << nth;
        });
    }
}

// Set writes the identifiers alone; the head is not validated on reading; a list shorter than its head is 10.
TEST_F(CompnList, PlatformIdentifiersAreSetInPlace) {
    const auto with_ids = [](std::array<uint32_t, 3> ids) {
        Bytes b = pub::component_list({pub::component("a", "x")}, ids);
        b[74] = 0x5A;
        return b;
    };
    fx::write_file(list, with_ids({}));
    ASSERT_EQ(SetCompnListFilePlatformId(list.c_str(), 7, 0x80000000u, 9, &code), 1);
    EXPECT_EQ(fx::read_file(list), with_ids({7, 0x80000000u, 9}));
    unsigned int id[3] = {};
    ASSERT_EQ(GetCompnListFilePlatformId(list.c_str(), &id[0], &id[1], &id[2], &code), 1);
    EXPECT_TRUE(id[0] == 7 && id[1] == 0x80000000u && id[2] == 9);
    fx::write_file(list, Bytes(80, 0));
    EXPECT_TRUE(GetCompnListFilePlatformId(list.c_str(), &id[0], &id[1], &id[2], &code) == 1 && id[0] == 0);
    fx::write_file(list, Bytes(79, 0));
    EXPECT_EQ(GetCompnListFilePlatformId(list.c_str(), &id[0], &id[1], &id[2], &code), 0);
    EXPECT_EQ(SetCompnListFilePlatformId(list.c_str(), 1, 2, 3, &code), 0);
    EXPECT_EQ(code, 10u);
}

// Names of length 0 or above 260, whose NUL lies past the stored bytes, or without one: 14, the file unchanged. The
// writer's file (the last record passed apart) is the publisher's and reads back identical.
TEST_F(CompnList, WrittenListsAreThePublishersAndBadNamesAreRefused) {
    const pub::Component a = pub::component("a", "");
    Recs bad = records({a, a, pub::component("abc", ""), a});
    bad[0].dwNameLength = 0, bad[1].dwNameLength = 261, bad[2].dwNameLength = 3, bad[3].szFileName[2] = 'b';
    put_list(list, {a});
    for (Rec& r : bad) {
        EXPECT_EQ(DumpRecordsToCompnLstFile(list.c_str(), &r, 1, 0, nullptr, &code), 0);
        EXPECT_EQ(code, 14u);
        EXPECT_EQ(fx::read_file(list), pub::component_list({a}));
    }
    std::mt19937 gen(3);
    const Parts parts = random_parts(gen, 600);  // two blocks of records, long names among them
    Recs recs = records(parts);
    std::filesystem::remove(list);
    ASSERT_EQ(DumpRecordsToCompnLstFile(list.c_str(), recs.data(), 599, 1, &recs.back(), &code), 1);
    EXPECT_EQ(fx::read_file(list), pub::component_list(parts));
    EXPECT_TRUE(same(read_list(list, code), recs));
    ASSERT_EQ(DumpRecordsToCompnLstFile(list.c_str(), nullptr, 5, 1, nullptr, &code), 1);
    EXPECT_EQ(fx::read_file(list), pub::component_list({}));
    code = 3;
    EXPECT_TRUE(read_list(list, code).empty() && code == 0);
}

// Present: 6, nothing written. A new flag, or the name in another case with a new digest, is replaced in place and
// the rewritten list carries platform identifiers 0. A path or a list that cannot be used leaves the list.
TEST_F(CompnList, AddingEntries) {
    const std::string a = put("a.dll", "v1"), b = put("b.dll", "b"), upper = put("up/A.DLL", "v2");
    unsigned int reserved = 42;
    const auto add = [&](const std::string& path, unsigned int flag) {
        return AddEntrytoCompnLstFile(path.c_str(), flag, 0, list.c_str(), &reserved, &code);
    };
    ASSERT_EQ(add(a, 1), 1);
    ASSERT_EQ(add(b, 1), 1);
    const Parts ab = {pub::component("a.dll", "v1"), pub::component("b.dll", "b")};
    EXPECT_EQ(fx::read_file(list), pub::component_list(ab));
    ASSERT_EQ(SetCompnListFilePlatformId(list.c_str(), 1, 2, 3, &code), 1);
    const Bytes before = fx::read_file(list);
    EXPECT_TRUE(add(a, 1) == 1 && code == 6);
    EXPECT_EQ(fx::read_file(list), before);
    EXPECT_EQ(add(a, 0), 1);
    EXPECT_EQ(add(upper, 0), 1);
    EXPECT_EQ(fx::read_file(list), pub::component_list({pub::component("A.DLL", "v2", 0), ab[1]}));
    EXPECT_EQ(reserved, 42u);
    std::string deep = dir.str();
    while (deep.size() < 270) deep += "/" + std::string(40, 'd');
    fx::write_file(deep + "/c", "");
    fx::write_file(list, Bytes(79, 0));
    for (auto [component, expected] : {std::pair{deep + "/c", 7u}, {a, 10u}}) {
        EXPECT_TRUE(add(component, 1) == 0 && code == expected) << expected;
        EXPECT_EQ(fx::read_file(list), Bytes(79, 0)) << expected;
    }
    EXPECT_EQ(AddEntrytoCompnLstFile(a.c_str(), 1, 0, list.c_str(), nullptr, &code), 0);
    Recs r(1);  // one file's record replaces every field; a failure writes none
    r[0].dwTag = 5;
    EXPECT_TRUE(GetCompnLstFileRecord(dir.file("up").c_str(), 1, r.data(), &code) == 0 && code == 20);
    EXPECT_EQ(r[0].dwTag, 5u);
    ASSERT_EQ(GetCompnLstFileRecord(upper.c_str(), 3, r.data(), &code), 1);
    EXPECT_TRUE(same(r, records({pub::component("A.DLL", "v2", 3)})));
}

// The names verification on a path, reading through calls or the ring, reports, or "code N".
std::string verified(Md5Path path, FileIo io, const std::string& list, const std::string& one, const char* two) {
    unsigned int code = 0;
    const Recs found = handed_out(code, kaldorn::detail::verify_compns_on, path, io, list.c_str(), one.c_str(), two);
    std::string out = found.empty() && code != 0 ? "code " + std::to_string(code) : "";
    for (const Rec& r : found) out += std::string(r.szFileName) + " ";
    return out;
}

// Components around every block and read boundary, in lanes that end apart or together. By i % 6: intact, grown
// (intact in two, which only a missing file consults), shrunk, only in two, in neither, not marked (flag 0 or 2).
// Then a loop and a dangling link (not there), and a fault if given.
struct Installation {
    fx::TempDir dir;
    std::string list = dir.file("list.lst"), one = dir.file("one"), two = dir.file("two"), both, first;
    explicit Installation(const char* fault = nullptr) {
        std::filesystem::create_directories(one + "/x/y");
        std::filesystem::create_directories(two);
        std::filesystem::create_symlink("loop", one + "/loop");
        std::filesystem::create_symlink("gone", one + "/dangling");
        const size_t sizes[] = {0, 1, 55, 56, 63, 64, 65, 119, 120, 4096, 65535, 65537, 140000};  // 13: every fate
        Parts entries;
        for (size_t i = 0; i < 78; ++i) {
            const Bytes random = fx::random_bytes(sizes[i % 13], unsigned(i));
            const std::string name = std::string("c").append(std::to_string(i)), body(random.begin(), random.end());
            entries.push_back(pub::component(name, body, i % 6 == 5 ? uint32_t(i / 6 % 2 * 2) : 1));
            std::string disk = i % 6 == 1 ? body + "y" : i % 6 == 2 ? body.substr(0, body.size() / 2) : body;
            if (i % 6 < 4) fx::write_file((i % 6 == 3 ? two : one) + "/" + name, disk);
            if (i % 6 == 1) fx::write_file(two + "/" + name, body);
            const bool differs = i % 6 == 1 || i % 6 == 4 || (i % 6 == 2 && disk != body);
            if (differs) both += name + " ";
            if (differs || i % 6 == 3) first += name + " ";
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

// Each path, by calls and through the ring (refusing each of its first rounds once the kernel took half), then with
// the descriptor limit leaving just the numbers it needs: by calls, lanes and two directories; through a ring, the
// ring, two directories and a file found in two. A component that cannot be read (x is a directory) is 20; a joined
// path that does not fit is 7; an empty or over-long directory is 9.
TEST(Verification, EveryPathReportsWhatOneFileAfterAnotherReports) {
    Installation in, bad("x");
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    for (FileIo io : {FileIo::calls, FileIo::ring})
        for (Md5Path path : {Md5Path::one, Md5Path::eight, Md5Path::sixteen}) {  // unlimited first: sanitizers need fds
            if (!kaldorn::detail::md5_path_runs(path)) continue;
            const std::string what = std::to_string(unsigned(path)) + (io == FileIo::ring ? " lanes, ring" : " lanes");
            EXPECT_EQ(verified(path, io, in.list, in.one, in.two.c_str()), in.both) << what;
            EXPECT_EQ(verified(path, io, in.list, in.one + "/", nullptr), in.first) << what;
            EXPECT_EQ(verified(path, io, bad.list, bad.one, nullptr), "code 20") << what;
            for (long k = 1; io == FileIo::ring && k <= 4; ++k) {
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

// Random lists against the plain rules (a missing older list is empty); the merge also written to a file.
TEST_F(CompnList, MergeAndDiffFollowTheRules) {
    const std::string newer = dir.file("new.lst");
    std::mt19937 gen(11);
    const std::vector<std::string> names = {"a", "A", "b", "B.dll", "b.DLL", "c", "Z", "z", "\xC4", "\xE4"};
    for (int round = 0; round < 20; ++round) {
        const Parts o = round ? random_parts(gen, gen() % 12, names) : Parts{};
        const Parts n = random_parts(gen, gen() % 12, names);
        put_list(older, o);
        put_list(newer, n);
        const Recs merge = plain_merge(records(o), records(n));
        const std::string from = round ? older : dir.file("absent");
        EXPECT_TRUE(same(merged(code, from, newer), merge)) << round;
        EXPECT_TRUE(same(diffed(code, from, newer), plain_diff(records(o), records(n)))) << round;
        if (round != 1) continue;
        unsigned int count = 0;
        ASSERT_EQ(MergeCompnLstFilesEx(older.c_str(), newer.c_str(), older.c_str(), &count, &code), 1);
        EXPECT_EQ(count, merge.size());
        EXPECT_TRUE(same(read_list(older, code), merge));
    }
}

}  // namespace

// Definition index DATs: the block CRC, the readers, stamping and modifying, lookup and append, the diff and the
// comparisons. Every file the library writes is compared with the publisher's file of the same content; the writers
// under faults are tests/support/replace_test.cpp's.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <csignal>
#include <cstring>
#include <optional>

#include "fixtures.h"
#include "kaldorn/soloindx.h"

namespace {

using namespace fx;
using Contents = std::optional<Bytes>;  // no value: no file
using Defs = std::vector<pub::Definition>;

// Three records, the second inactive, the third with the longest name (260 bytes stored) unless `last` is given; two
// table entries, so the solo header lies at kSolo and the second record's name length at kLength.
pub::DefinitionIndex three(const std::string& last = std::string(259, 'z')) {
    return {4, 0, 2, {1, 1}, 1, 2, 0, false,
            {{1, {1, 2, 3, 4, 5, 6, 7}, 0, 1, "alpha"}, {2, {}, 9, 0, "beta"}, {3, {0xFF}, 0, 1, last}}};
}
constexpr size_t kSolo = 92, kLength = 169 + 19;
const VXDEFDATE kDate{0x01020304, 0x0506, 0x07};
const pub::Definition kA{1, {1}, 0, 1, "a"}, kB{2, {2}, 0, 1, "b"}, kC{3, {3}, 0, 1, "c"};

pub::Definition with(pub::Definition r, uint8_t day, uint32_t status = 1, const char* n = nullptr) {
    return r.date[6] = day, r.status = status, r.name = n ? n : r.name, r;
}
pub::Definition at_id(pub::Definition r, uint32_t id) { return r.id = id, r; }
void write_defs(const std::string& path, uint32_t product, uint32_t version, const Defs& recs) {
    write_file(path, pub::definition_index({product, 0, 0, {1, 1}, version, 0, 0, false, recs}));
}
Bytes poked(Bytes b, size_t at, uint32_t v, bool stored = false) {
    return poke32(b, at, v, stored), pub::seal_definition_index(b), b;
}
Contents contents(const std::string& p) { return fs::exists(p) ? Contents(read_file(p)) : std::nullopt; }

// The header and every counted record read back.
void expect_readable(const std::string& path) {
    tagSOLO_DAT_HEADER_INFO h{};
    tagSOLO_DEF_MEM_RECORD_INFO* recs = nullptr;
    unsigned int count = 0, err = 0;
    EXPECT_TRUE(GetSoloIndexDatHeader(path.c_str(), &h, &err) == 1 &&
                GetDefListFromDatFile(path.c_str(), &recs, &count, &err) == 1 && count == h.dwRecordCount) << path;
    ReleaseDefList(recs, count, &err);
}

// A refused call: 0, and the file's bytes (or its absence) and the descriptors as they were.
void expect_refused(const std::string& path, const std::string& what, const std::function<int()>& call) {
    const Contents before = contents(path);
    const size_t fds = descriptor_count();
    EXPECT_EQ(call(), 0) << what;
    EXPECT_TRUE(descriptor_count() == fds && contents(path) == before) << what;
}

// The block CRC: zlib's value of the last 1024-byte block of its region, 0 for none; the file position kept.
TEST(IndexDat, BlockCrc) {
    TempDir dir;
    const std::string path = dir.file("i.dat");
    for (auto [region, from] : {std::pair{0u, 0u}, {3u, 0u}, {1024u, 0u}, {1025u, 1024u}, {2048u, 1024u}, {5000u, 4096u}}) {
        Bytes b(10 + region);
        for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<unsigned char>(i * 7 + 1);
        write_file(path, b);
        const int fd = ::open(path.c_str(), O_RDONLY);
        ::lseek(fd, 5, SEEK_SET);
        unsigned int out = 1, past = 1;
        EXPECT_EQ(CalculateCheckSumFd(fd, 10, &out) + CalculateCheckSumFd(fd, 1 << 20, &past) +
                      CalculateCheckSumFd(fd, 10, nullptr), 2);
        EXPECT_EQ(std::pair(out, past), std::pair(region == 0 ? 0u : uint32_t(crc32(0L, b.data() + 10 + from, region - from)), 0u));
        EXPECT_EQ(::lseek(fd, 0, SEEK_CUR), 5);
        ::close(fd);
    }
}

// Header and records decoded; a file without records skips the solo checksum in the list reader, not in the header
// reader. Every cut, the checksum, name lengths outside 1 to 260 and record counts past the records are refused with
// nothing handed out and error 0.
TEST(DefinitionIndex, ReadOrRefused) {
    TempDir dir;
    const std::string path = dir.file("i.dat");
    write_file(path, pub::definition_index(three()));
    tagSOLO_DAT_HEADER_INFO h{};
    tagSOLO_DEF_MEM_RECORD_INFO* r = nullptr;
    unsigned int n = 0, err = 99, err2 = 99;
    ASSERT_EQ(GetSoloIndexDatHeader(path.c_str(), &h, &err) + GetDefListFromDatFile(path.c_str(), &r, &n, &err2), 2);
    using Words = std::vector<unsigned int>;
    EXPECT_EQ(Words({h.dwProductId, h.dwDatVersion, h.dwRecordCount, h.dwLastDefId, h.dwCurrentDefId, n, err, err2}),
              Words({4, 1, 3, 3, 2, 3, 0, 0}));
    const unsigned char date[7] = {1, 2, 3, 4, 5, 6, 7};
    EXPECT_EQ(std::memcmp(&r[0].stDefDate, date, 7), 0);
    EXPECT_EQ(Words({r[0].dwDefId, r[0].dwNameLength, r[1].dwDefData, r[1].dwDefStatus, r[2].dwNameLength}),
              Words({1, 6, 9, 0, 260}));
    EXPECT_EQ(std::string(r[0].szDefName) + std::string(r[2].szDefName), "alpha" + std::string(259, 'z'));
    EXPECT_EQ(ReleaseDefList(r, n, &err) + ReleaseDefList(nullptr, 0, &err), 1);
    Bytes none = pub::definition_index({});
    none[60] ^= 0x55;  // the solo checksum of a file without entries or records
    write_file(path, none);
    r = reinterpret_cast<tagSOLO_DEF_MEM_RECORD_INFO*>(&h);
    EXPECT_TRUE(GetDefListFromDatFile(path.c_str(), &r, &n, &err) == 1 && r == nullptr && n == 0);
    EXPECT_EQ(GetSoloIndexDatHeader(path.c_str(), &h, &err), 0);

    const Bytes good = pub::definition_index(three());
    std::vector<Bytes> bad;
    for (size_t len = 0; len < good.size(); ++len) bad.emplace_back(good.begin(), good.begin() + long(len));
    bad.emplace_back(good)[good.size() - 2] ^= 1;
    bad.push_back(pub::definition_index(three(std::string(260, 'z'))));
    for (uint32_t length : {0u, 0x80000000u, 0xFFFFFFFFu}) bad.push_back(poked(good, kLength, length, true));
    for (uint32_t count : {4u, 1000u, 0x10000000u, 0xFFFFFFFFu}) bad.push_back(poked(good, kSolo + 16, count));
    for (size_t i = 0; i < bad.size(); ++i) {
        write_file(path, bad[i]);
        r = nullptr, n = 77, err = 77;
        expect_refused(path, std::to_string(i), [&] { return GetDefListFromDatFile(path.c_str(), &r, &n, &err); });
        EXPECT_TRUE(r == nullptr && n == 77 && err == 0) << i;
    }
    EXPECT_EQ(GetDefListFromDatFile(nullptr, &r, &n, &err) + GetDefListFromDatFile(path.c_str(), &r, &n, nullptr), 0);
}

// The first append creates the file (mode 0600); the name is then found in any letter case; another is appended with
// the next id; 259 characters fit. Lookups find an inactive record; a name absent from a record array is error 2.
// Refused calls leave the file or its absence, error 0: over-long or absent names, records followed by bytes the count
// leaves out (one record, or all: an append behind them would read back as those bytes), damaged files, an absent
// id, no records, an unreadable record before the id.
TEST(DefinitionIndex, LookupAppendStampModifyOrRefuse) {
    TempDir dir;
    const std::string path = dir.file("00000010_index.dat"), too_long(260, 'n');
    char name[22] = {};
    unsigned int id = 0, err = 99;
    const auto lookup = [&](const std::string& def, int append) -> std::function<int()> {
        return [&, def, append] { return GetDefEntryFromDatFile(16, path.c_str(), def.c_str(), append, name, 22, &id, &err); };
    };
    const auto found = [&] { return std::string(name) + " " + std::to_string(id); };
    ASSERT_EQ(lookup("abc", 1)(), 1);
    EXPECT_EQ(fs::status(path).permissions(), fs::perms(0600));
    expect_refused(path, "", [&] { return lookup("ABC", 1)() == 1 && found() == "00000010_00000001.dat 1" ? 0 : 9; });
    ASSERT_EQ(lookup(too_long.substr(1), 1)(), 1);
    EXPECT_EQ(found(), "00000010_00000002.dat 2");
    EXPECT_EQ(read_file(path), pub::definition_index({16, 0, 0, {1, 1}, 0, 0, 0, false, {{1, {}, 0, 1, "abc"}, {2, {}, 0, 1, too_long.substr(1)}}}));
    write_defs(path, 16, 0, {with(kA, 0, 1, "caf\xC9"), with(kB, 0, 1, "caf\xE9")});  // 0x80 and above do not fold
    ASSERT_EQ(lookup("CAF\xE9", 0)(), 1);
    EXPECT_EQ(found(), "00000010_00000002.dat 2");
    write_file(path, pub::definition_index(three()));
    ASSERT_EQ(lookup("BETA", 0)(), 1);
    EXPECT_EQ(found(), "00000010_00000002.dat 2");
    tagSOLO_DEF_MEM_RECORD_INFO rec{};
    std::strcpy(rec.szDefName, "alpha");
    for (unsigned int n : {1u, 0u})  // an absent name, then an empty array
        EXPECT_TRUE(GetDefEntryFromDatList(16, &rec, n, n ? "delta" : "alpha", name, 0, &id, &err) == 0 && err == 2);

    const auto stamp = [&] { return UpdateSoloIndexDatFile(path.c_str(), 1, &err); };
    const auto modify = [&](unsigned int i) -> std::function<int()> {
        return [&, i] { return ModifyDefEntryFromDatFile(path.c_str(), i, &kDate, 0, 1, &err); };
    };
    const Bytes good = pub::definition_index(three()), none = pub::definition_index({});
    Bytes bad_crc = good;
    bad_crc.back() ^= 1;
    const std::pair<Contents, std::function<int()>> cases[] = {
        {good, lookup("x", 0)}, {none, lookup("x", 0)}, {{}, lookup(too_long, 1)}, {good, lookup(too_long, 1)},
        {bad_crc, lookup("x", 1)}, {Bytes(50, 0), lookup("x", 1)}, {poked(good, kSolo + 16, 2), lookup("x", 1)},
        {poked(good, kSolo + 16, 0), lookup("x", 1)}, {bad_crc, stamp}, {bad_crc, modify(1)}, {good, modify(9)},
        {none, modify(1)}, {poked(good, kLength, 261, true), modify(3)}, {Bytes(80, 0), stamp}};
    for (size_t i = 0; i < std::size(cases); ++i) {
        fs::remove(path);
        if (cases[i].first) write_file(path, *cases[i].first);
        err = 99;
        expect_refused(path, std::to_string(i), cases[i].second);
        EXPECT_EQ(err, 0u) << i;
    }
    EXPECT_EQ(ModifyDefEntryFromDatFile(path.c_str(), 1, nullptr, 0, 1, &err), 0);
}

// Stamping sets dat version 1, the current id, the file length and payload size, and one more revision; modifying
// rewrites the first record with the id.
TEST(DefinitionIndex, StampAndModify) {
    TempDir dir;
    const std::string path = dir.file("i.dat");
    unsigned int err = 99;
    pub::DefinitionIndex empty;
    empty.revision = 5;
    for (pub::DefinitionIndex d : {three(), empty}) {
        write_file(path, pub::definition_index(d));
        for (unsigned int id : {7u, 0x12345678u}) {
            ASSERT_TRUE(UpdateSoloIndexDatFile(path.c_str(), id, &err) == 1 && err == 0);
            d.revision += 1, d.dat_version = 1, d.current = id, d.stamped = true;
            EXPECT_EQ(read_file(path), pub::definition_index(d));
            expect_readable(path);
        }
    }
    pub::DefinitionIndex d = three();
    d.records.push_back({2, {}, 0, 1, "beta-again"});
    write_file(path, pub::definition_index(d));
    ASSERT_TRUE(ModifyDefEntryFromDatFile(path.c_str(), 2, &kDate, 42, 1, &err) == 1 && err == 0);
    d.records[1] = {2, {4, 3, 2, 1, 6, 5, 7}, 42, 1, "beta"};
    EXPECT_EQ(read_file(path), pub::definition_index(d));
}

// New and redated active records of the newer file, in its order; every allocation failing in turn hands out nothing.
TEST(DefinitionIndex, DiffSelectsNewAndRedatedActiveRecords) {
    const std::tuple<Defs, Defs, int, std::vector<unsigned int>> cases[] = {
        {{kA, kB, kC}, {kA, kB, kC}, 1, {}},
        {{kA, with(kB, 9)}, {kC, kB, with(kA, 6)}, 1, {3, 2, 1}},  // new, redated either way
        {{kA, kB, kC}, {kB}, 1, {}},                                 // only in the older file
        {{kA}, {with(kA, 4, 0), with(kB, 0, 0)}, 1, {}},             // inactive
        {{kA, with(kA, 8)}, {kA, with(kB, 8)}, 1, {2}},              // the first older duplicate counts
        {{kA}, {with(kA, 5, 1, "A")}, 1, {1}},                       // letter case is no rename
        {{kA, kB}, {kA, with(kB, 0, 1, "bee")}, 0, {}},              // a renamed definition
        {{with(kA, 0, 1, "\xC9")}, {with(kA, 5, 1, "\xE9")}, 0, {}},  // 0x80 and above do not fold: renamed
        {{kA, at_id(kB, 1u << 31), at_id(kC, ~0u)}, {at_id(kC, ~0u), at_id(with(kB, 7), 1u << 31), at_id(kA, 1000)}, 1, {1u << 31, 1000}}};  // ids far apart
    TempDir dir;
    const std::string older = dir.file("old.dat"), newer = dir.file("new.dat");
    for (const auto& [o, n, result, selected] : cases) {
        write_defs(older, 4, 0, o), write_defs(newer, 4, 0, n);
        each_allocation([&, &result = result, &selected = selected](long nth) {
            auto* recs = reinterpret_cast<tagSOLO_DEF_MEM_RECORD_INFO*>(&dir);
            unsigned int count = 77, err = 5;
            const int got = GenerateDiffforDatFiles(older.c_str(), newer.c_str(), &recs, &count, &err);
            EXPECT_TRUE(got == (nth == 0 ? result : 0) && err == 0) << selected.size() << " at " << nth;
            std::vector<unsigned int> ids;
            for (unsigned int k = 0; got == 1 && k < count; ++k) ids.push_back(+recs[k].dwDefId);
            EXPECT_TRUE(got == 1 ? ids == selected && (recs == nullptr) == (count == 0)
                                 : recs == reinterpret_cast<tagSOLO_DEF_MEM_RECORD_INFO*>(&dir) && count == 77) << nth;
            if (got == 1) ReleaseDefList(recs, count, &err);
        });
    }
}

// A client's (old) and a source's (new) file: old version newer (1003), equal (1004), another product (0), nothing
// selected (1006); then new and redated active records in source order, and every active one when the client has no
// file. Every allocation failing in turn; the selected array, allocated last, is 1007.
TEST(DefinitionIndex, CompareFailuresAndSelection) {
    TempDir dir;
    const std::string newer = dir.file("source.dat"), older = dir.file("client.dat");
    tagSOLO_DEF_MEM_RECORD_INFO *all = nullptr, *sel = nullptr;
    unsigned int all_count = 0, sel_count = 0, err = 99;
    tagSOLO_DAT_HEADER_INFO new_header{}, old_header{};
    int mode = 7;
    const auto compare = [&]() -> std::string {  // the selected ids, or "error N" (nothing handed out)
        all = sel = nullptr, mode = 7;
        if (CompareSoloDatFiles(0, "", newer.c_str(), older.c_str(), &all, &all_count, &sel, &sel_count, &new_header,
                                &old_header, &mode, &err) != 1) {
            EXPECT_TRUE(all == nullptr && sel == nullptr && mode == 7);
            return "error " + std::to_string(err);
        }
        std::string ids = std::to_string(all_count) + ":";
        for (unsigned int i = 0; i < sel_count; ++i) ids.append(" ").append(std::to_string(sel[i].dwDefId));
        EXPECT_TRUE(err == 0 && mode == 0);
        EXPECT_EQ(ReleaseDefList(all, all_count, &err) + ReleaseDefList(sel, sel_count, &err), 2);
        return ids;
    };
    const pub::Definition c = at_id(kC, 0x2B);
    for (auto [product, version, recs, want] : {std::tuple{4u, 2u, Defs{}, "error 1004"}, {4u, 3u, Defs{}, "error 1003"},
                                                {5u, 1u, Defs{}, "error 0"}, {4u, 1u, Defs{kA, kB, c}, "error 1006"}}) {
        write_defs(newer, 4, 2, {kA, kB, c}), write_defs(older, product, version, recs);
        EXPECT_EQ(compare(), want);
    }
    write_defs(newer, 4, 5, {c, with(kA, 0x41), with(kB, 0x42, 0), kB});
    write_defs(older, 4, 4, {kA, with(kA, 0x41), kB});
    EXPECT_EQ(compare(), "4: 43 1");
    EXPECT_EQ(new_header.dwDatVersion + 10 * old_header.dwDatVersion, 45u);
    fs::remove(older);
    EXPECT_EQ(compare(), "4: 43 1 2");
    const tagSOLO_DAT_HEADER_INFO zero{};
    EXPECT_EQ(std::memcmp(&old_header, &zero, sizeof zero), 0);
    write_defs(older, 4, 4, {kA});
    kaldorn::testing::fail_allocation(0);
    compare();
    const long total = kaldorn::testing::fail_allocation(0);
    each_allocation([&](long nth) { EXPECT_EQ(compare(), nth == 0 ? "4: 43 1 2" : nth == total ? "error 1007" : "error 0") << nth; });
}

}  // namespace

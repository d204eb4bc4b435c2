// Definition index DATs: the block CRC against zlib, the readers, stamping and modifying, lookup and append, the diff
// and the comparisons; every file the library writes is the publisher's file of the same content.
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <cstring>

#include "fixtures.h"
#include "kaldorn/soloindx.h"

namespace {

using namespace fx;
using Defs = std::vector<pub::Definition>;
using Rec = tagSOLO_DEF_MEM_RECORD_INFO;

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

// Records as bytes: handed out by a reader, or what it hands out for the publisher's definitions.
template <class T>
std::string held(const T* r, unsigned int n) { return std::string(reinterpret_cast<const char*>(r), n * sizeof *r); }
std::string held(const Defs& defs) {
    std::string out;
    for (const pub::Definition& d : defs) {
        Rec r{d.id, {}, d.data, d.status, unsigned(d.name.size() + 1), {}, {}};
        std::memcpy(&r.stDefDate, d.date.data(), 7);
        std::memcpy(r.szDefName, d.name.c_str(), d.name.size());
        out += held(&r, 1);
    }
    return out;
}

// A refused call: 0, and the file's bytes (or its absence) and the descriptors as they were.
void expect_refused(const std::string& path, const std::function<int()>& call) {
    const Contents before = contents(path);
    const size_t fds = descriptor_count();
    EXPECT_EQ(call(), 0);
    EXPECT_EQ(descriptor_count(), fds);
    EXPECT_EQ(contents(path), before);
}

// zlib's CRC of the last 1024-byte block of the region, 0 for none; the file position kept.
TEST(IndexDat, BlockCrc) {
    TempDir dir;
    const std::string path = dir.file("i.dat");
    const std::pair<unsigned int, unsigned int> regions[] = {{0, 0}, {3, 0}, {1024, 0}, {1025, 1024}, {2048, 1024},
                                                             {5000, 4096}};  // and where its last block starts
    for (auto [region, from] : regions) {
        Bytes b(10 + region);
        for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<unsigned char>(i * 7 + 1);
        write_file(path, b);
        const int fd = ::open(path.c_str(), O_RDONLY);
        ::lseek(fd, 5, SEEK_SET);
        unsigned int out = 1, past = 1;
        EXPECT_EQ(CalculateCheckSumFd(fd, 10, &out), 1);
        EXPECT_EQ(out, region == 0 ? 0u : uint32_t(crc32(0L, b.data() + 10 + from, region - from))) << region;
        EXPECT_TRUE(CalculateCheckSumFd(fd, 1 << 20, &past) == 1 && past == 0);
        EXPECT_EQ(CalculateCheckSumFd(fd, 10, nullptr), 0);
        EXPECT_EQ(::lseek(fd, 0, SEEK_CUR), 5);
        ::close(fd);
    }
}

// Header and records decoded (a file without records: the list reader skips the solo checksum). Every cut, the
// checksum, name lengths outside 1 to 260 and counts past the records: refused, nothing handed out, error 0.
TEST(DefinitionIndex, ReadOrRefused) {
    TempDir dir;
    const std::string path = dir.file("i.dat");
    const Bytes good = pub::definition_index(three());
    write_file(path, good);
    tagSOLO_DAT_HEADER_INFO h{};
    Rec* r = nullptr;
    unsigned int n = 0, err = 99;
    ASSERT_TRUE(GetSoloIndexDatHeader(path.c_str(), &h, &err) == 1 && err == 0);
    using Words = std::vector<unsigned int>;
    EXPECT_EQ(Words({h.dwProductId, h.dwDatVersion, h.dwRecordCount, h.dwLastDefId, h.dwCurrentDefId}),
              Words({4, 1, 3, 3, 2}));
    err = 99;
    ASSERT_TRUE(GetDefListFromDatFile(path.c_str(), &r, &n, &err) == 1 && err == 0);
    EXPECT_EQ(held(r, n), held(three().records));
    EXPECT_EQ(ReleaseDefList(r, n, &err), 1);
    EXPECT_EQ(ReleaseDefList(nullptr, 0, &err), 0);
    Bytes none = pub::definition_index({});
    none[60] ^= 0x55;  // the solo checksum of a file without entries or records
    write_file(path, none);
    r = reinterpret_cast<Rec*>(&h);
    EXPECT_TRUE(GetDefListFromDatFile(path.c_str(), &r, &n, &err) == 1 && r == nullptr && n == 0);
    EXPECT_EQ(GetSoloIndexDatHeader(path.c_str(), &h, &err), 0);

    std::vector<Bytes> bad;
    for (size_t len = 0; len < good.size(); ++len) bad.emplace_back(good.begin(), good.begin() + long(len));
    bad.emplace_back(good)[good.size() - 2] ^= 1;
    bad.push_back(pub::definition_index(three(std::string(260, 'z'))));
    for (uint32_t length : {0u, 0x80000000u, 0xFFFFFFFFu}) bad.push_back(poked(good, kLength, length, true));
    for (uint32_t count : {4u, 1000u, 0x10000000u, 0xFFFFFFFFu}) bad.push_back(poked(good, kSolo + 16, count));
    for (size_t i = 0; i < bad.size(); ++i) {
        SCOPED_TRACE(i);
        write_file(path, bad[i]);
        r = nullptr, n = 77, err = 77;
        expect_refused(path, [&] { return GetDefListFromDatFile(path.c_str(), &r, &n, &err); });
        EXPECT_TRUE(r == nullptr && n == 77 && err == 0);
    }
    EXPECT_EACH_EQ(0, GetDefListFromDatFile(nullptr, &r, &n, &err),
                   GetDefListFromDatFile(path.c_str(), &r, &n, nullptr));
}

// Appends and lookups: names in any ASCII case, 259 characters, inactive records; absent from an array: error 2.
// Refused with error 0, the file or its absence kept: over-long or absent names, bytes past the counted records (an
// append behind them would read back as those bytes), damaged files, an absent id, an unreadable record before it.
TEST(DefinitionIndex, LookupAppendStampModifyOrRefuse) {
    TempDir dir;
    const std::string path = dir.file("00000010_index.dat"), too_long(260, 'n');
    char name[22] = {};
    unsigned int id = 0, err = 99;
    const auto lookup = [&](const std::string& def, int append) -> std::function<int()> {
        return [&, def, append] {
            return GetDefEntryFromDatFile(16, path.c_str(), def.c_str(), append, name, 22, &id, &err);
        };
    };
    const auto found = [&] { return std::string(name) + " " + std::to_string(id); };
    ASSERT_EQ(lookup("abc", 1)(), 1);
    const Contents once = contents(path);
    EXPECT_EQ(lookup("ABC", 1)(), 1);
    EXPECT_EQ(found(), "00000010_00000001.dat 1");
    EXPECT_EQ(contents(path), once);
    ASSERT_EQ(lookup(too_long.substr(1), 1)(), 1);
    EXPECT_EQ(found(), "00000010_00000002.dat 2");
    EXPECT_EQ(read_file(path), pub::definition_index({16, 0, 0, {1, 1}, 0, 0, 0, false,
                                                      {{1, {}, 0, 1, "abc"}, {2, {}, 0, 1, too_long.substr(1)}}}));
    write_defs(path, 16, 0, {with(kA, 0, 1, "caf\xC9"), with(kB, 0, 1, "caf\xE9")});
    ASSERT_EQ(lookup("CAF\xE9", 0)(), 1);
    EXPECT_EQ(found(), "00000010_00000002.dat 2");
    write_file(path, pub::definition_index(three()));
    ASSERT_EQ(lookup("BETA", 0)(), 1);
    EXPECT_EQ(found(), "00000010_00000002.dat 2");
    Rec rec{};
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
        SCOPED_TRACE(i);
        fs::remove(path);
        if (cases[i].first) write_file(path, *cases[i].first);
        err = 99;
        expect_refused(path, cases[i].second);
        EXPECT_EQ(err, 0u);
    }
    EXPECT_EQ(ModifyDefEntryFromDatFile(path.c_str(), 1, nullptr, 0, 1, &err), 0);
}

// Stamping sets dat version 1, the current id, the file length and payload size, and one more revision (the header
// reads back); modifying rewrites the first record with the id.
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
            tagSOLO_DAT_HEADER_INFO h{};
            EXPECT_TRUE(GetSoloIndexDatHeader(path.c_str(), &h, &err) == 1 && h.dwRecordCount == d.records.size());
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
        {{kA, at_id(kB, 1u << 31), at_id(kC, ~0u)},                  // ids far apart
         {at_id(kC, ~0u), at_id(with(kB, 7), 1u << 31), at_id(kA, 1000)}, 1, {1u << 31, 1000}}};
    TempDir dir;
    const std::string older = dir.file("old.dat"), newer = dir.file("new.dat");
    for (const auto& [o, n, result, selected] : cases) {
        write_defs(older, 4, 0, o);
        write_defs(newer, 4, 0, n);
        each_allocation([&, &result = result, &selected = selected](long nth) {
            Rec* recs = reinterpret_cast<Rec*>(&dir);
            unsigned int count = 77, err = 5;
            const int got = GenerateDiffforDatFiles(older.c_str(), newer.c_str(), &recs, &count, &err);
            EXPECT_TRUE(got == (nth == 0 ? result : 0) && err == 0) << selected.size() << " at " << nth;
            std::vector<unsigned int> ids;
            for (unsigned int k = 0; got == 1 && k < count; ++k) ids.push_back(+recs[k].dwDefId);
            EXPECT_TRUE(got == 1 ? ids == selected && (recs == nullptr) == (count == 0)
                                 : recs == reinterpret_cast<Rec*>(&dir) && count == 77) << nth;
            if (got == 1) ReleaseDefList(recs, count, &err);
        });
    }
}

// Client (old) and source (new): old newer (1003), equal (1004), another product (0), nothing selected (1006); new
// and redated active records, all without a client file. Every allocation failing: the last, the selection, is 1007.
TEST(DefinitionIndex, CompareFailuresAndSelection) {
    TempDir dir;
    const std::string newer = dir.file("source.dat"), older = dir.file("client.dat");
    Rec *all = nullptr, *sel = nullptr;
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
        EXPECT_EQ(ReleaseDefList(all, all_count, &err), 1);
        EXPECT_EQ(ReleaseDefList(sel, sel_count, &err), 1);
        return ids;
    };
    const pub::Definition c = at_id(kC, 0x2B);
    const std::tuple<uint32_t, uint32_t, Defs, const char*> olds[] = {
        {4, 2, {}, "error 1004"}, {4, 3, {}, "error 1003"}, {5, 1, {}, "error 0"}, {4, 1, {kA, kB, c}, "error 1006"}};
    for (const auto& [product, version, recs, want] : olds) {
        write_defs(newer, 4, 2, {kA, kB, c});
        write_defs(older, product, version, recs);
        EXPECT_EQ(compare(), want);
    }
    write_defs(newer, 4, 5, {c, with(kA, 0x41), with(kB, 0x42, 0), kB});
    write_defs(older, 4, 4, {kA, with(kA, 0x41), kB});
    EXPECT_EQ(compare(), "4: 43 1");
    EXPECT_EQ(new_header.dwDatVersion, 5u);
    EXPECT_EQ(old_header.dwDatVersion, 4u);
    fs::remove(older);
    EXPECT_EQ(compare(), "4: 43 1 2");
    EXPECT_EQ(held(&old_header, 1), std::string(sizeof old_header, '\0'));
    write_defs(older, 4, 4, {kA});
    kaldorn::testing::fail_allocation(0);
    compare();
    const long total = kaldorn::testing::fail_allocation(0);
    each_allocation([&](long nth) {
        EXPECT_EQ(compare(), nth == 0 ? "4: 43 1 2" : nth == total ? "error 1007" : "error 0") << nth;
    });
}

}  // namespace

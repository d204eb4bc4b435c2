// Definition index DATs: the checksum rules, the readers, stamping and
// modifying, lookup and append, and the diff. Every file the library writes
// is compared with the publisher's file of the same content.
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <cstring>

#include "definitions.h"

namespace {

// The block CRC (zlib's value of the last 1024-byte block of its region, 0
// for none) and the byte sum (signed bytes from offset 8); neither moves the
// caller's file position.
TEST(IndexDat, ChecksumRules) {
    fx::TempDir dir;
    const std::string path = dir.file("i.dat");
    const auto at_five = [&](const Bytes& b, const auto& check) {
        fx::write_file(path, b);
        const int fd = ::open(path.c_str(), O_RDONLY);
        ::lseek(fd, 5, SEEK_SET);
        check(fd);
        EXPECT_EQ(::lseek(fd, 0, SEEK_CUR), 5);
        ::close(fd);
    };
    for (auto [region, from] :
         {std::pair{0u, 0u}, {3u, 0u}, {1024u, 0u}, {1025u, 1024u}, {2048u, 1024u}, {5000u, 4096u}}) {
        Bytes b(10 + region);
        for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<unsigned char>(i * 7 + 1);
        const auto want = region == 0 ? 0u : static_cast<uint32_t>(crc32(0L, b.data() + 10 + from, region - from));
        at_five(b, [&](int fd) {
            unsigned int out = 1, past = 1;
            EXPECT_EQ(CalculateCheckSumFd(fd, 10, &out) + CalculateCheckSumFd(fd, 1 << 20, &past) +
                          CalculateCheckSumFd(fd, 10, nullptr),
                      2);
            EXPECT_EQ(std::pair(out, past), std::pair(want, 0u)) << b.size();
        });
    }
    for (auto [tail, sum] :
         {std::pair{Bytes{1, 0xFF}, 0u}, {Bytes{}, 0u}, {Bytes{0x80, 0x80}, 0xFFFFFF00u}, {Bytes{0x7F, 1}, 0x80u}}) {
        Bytes b(8 + tail.size(), 9);
        std::copy(tail.begin(), tail.end(), b.begin() + 8);
        at_five(b, [&, want = sum](int fd) { EXPECT_EQ(CalculateChecksum(fd), want); });
    }
}

// Header and records decoded; a file without records skips the solo checksum
// in the list reader, not in the header reader. Every cut, the checksum, name
// lengths outside 1 to 260 and record counts past the records are refused
// with nothing handed out and error 0.
TEST(DefinitionIndex, ReadOrRefused) {
    fx::TempDir dir;
    const std::string path = dir.file("i.dat");
    fx::write_file(path, pub::definition_index(three()));
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
    fx::write_file(path, none);
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
        fx::write_file(path, bad[i]);
        r = nullptr, n = 77, err = 77;
        expect_refused(path, std::to_string(i), [&] { return GetDefListFromDatFile(path.c_str(), &r, &n, &err); });
        EXPECT_TRUE(r == nullptr && n == 77 && err == 0) << i;
    }
    EXPECT_EQ(GetDefListFromDatFile(dir.str().c_str(), &r, &n, &err) + GetDefListFromDatFile(nullptr, &r, &n, &err) +
                  GetDefListFromDatFile(path.c_str(), &r, &n, nullptr), 0);
}

class DefLookup : public ::testing::Test {
protected:
    fx::TempDir dir;
    std::string path = dir.file("00000010_index.dat");
    char name[22] = {};
    unsigned int id = 0, err = 99;
    int lookup(const std::string& def, int append) {
        return GetDefEntryFromDatFile(0x10, path.c_str(), def.c_str(), append, name, sizeof name, &id, &err);
    }
    std::string found() const { return std::string(name) + " " + std::to_string(id); }
};

// The first append creates the file (mode 0600); the name is then found in
// any letter case; another is appended with the next id. Lookups find an
// inactive record; a name absent from a record array is error 2.
TEST_F(DefLookup, AppendCreatesFindsAndAppends) {
    ASSERT_EQ(lookup("abc", 1), 1);
    EXPECT_EQ(fs::status(path).permissions(), fs::perms(0600));
    expect_refused(path, "", [&] { return lookup("ABC", 1) == 1 && found() == "00000010_00000001.dat 1" ? 0 : 9; });
    ASSERT_EQ(lookup("second", 1), 1);
    EXPECT_EQ(found(), "00000010_00000002.dat 2");
    const pub::DefinitionIndex two{0x10, 0, 0, {1, 1}, 0, 0, 0, false, {{1, {}, 0, 1, "abc"}, {2, {}, 0, 1, "second"}}};
    EXPECT_EQ(fx::read_file(path), pub::definition_index(two));
    fx::write_file(path, pub::definition_index(three()));
    ASSERT_EQ(lookup("BETA", 0), 1);
    EXPECT_EQ(found(), "00000010_00000002.dat 2");
    tagSOLO_DEF_MEM_RECORD_INFO rec{};
    std::strcpy(rec.szDefName, "alpha");
    for (unsigned int n : {1u, 0u})  // an absent name, then an empty array
        EXPECT_TRUE(GetDefEntryFromDatList(0x10, &rec, n, n ? "delta" : "alpha", name, 0, &id, &err) == 0 && err == 2);
}

// Refused lookups leave the file or its absence, error 0. Records followed by
// bytes the count leaves out (one record, or all) are refused too: an append
// behind them would read back as those bytes.
TEST_F(DefLookup, RefusedLookupsLeaveTheFile) {
    const std::string too_long(260, 'n');
    const Bytes good = pub::definition_index(three());
    Bytes bad_crc = good;
    bad_crc.back() ^= 1;
    const std::tuple<Contents, std::string, int> cases[] = {
        {{}, "x", 0}, {good, "x", 0}, {pub::definition_index({}), "x", 0}, {{}, too_long, 1}, {good, too_long, 1},
        {bad_crc, "x", 1}, {Bytes(50, 0), "x", 1}, {poked(good, kSolo + 16, 2), "x", 1},
        {poked(good, kSolo + 16, 0), "x", 1}};
    for (const auto& [file, def, append] : cases) {
        fs::remove(path);
        if (file) fx::write_file(path, *file);
        expect_refused(path, def.substr(0, 3), [&, &d = def, a = append] { return lookup(d, a); });
        EXPECT_EQ(err, 0u);
    }
    fs::remove(path);
    ASSERT_EQ(lookup(too_long.substr(1), 1), 1);  // 259 characters fit
    expect_readable(path);
}

// New and redated active records of the newer file, in its order; every
// allocation failing in turn hands out nothing.
TEST(DefDiff, SelectsNewAndRedatedActiveRecords) {
    const pub::Definition a{1, {1}, 0, 1, "a"}, b{2, {2}, 0, 1, "b"}, c{3, {3}, 0, 1, "c"};
    const auto with = [](pub::Definition r, uint8_t day, const char* n = nullptr, uint32_t status = 1) {
        r.date[6] = day, r.status = status, r.name = n ? n : r.name;
        return r;
    };
    const auto at = [](pub::Definition r, uint32_t id) { return r.id = id, r; };  // ids far apart
    using Defs = std::vector<pub::Definition>;
    const std::tuple<Defs, Defs, int, std::vector<unsigned int>> cases[] = {
        {{a, b, c}, {a, b, c}, 1, {}},
        {{a, with(b, 9)}, {c, b, with(a, 6)}, 1, {3, 2, 1}},             // new, redated either way
        {{a, b, c}, {b}, 1, {}},                                          // only in the older file
        {{a}, {with(a, 4, nullptr, 0), with(b, 0, nullptr, 0)}, 1, {}},  // inactive
        {{a, with(a, 8)}, {a, with(b, 8)}, 1, {2}},                       // the first older duplicate counts
        {{a}, {with(a, 5, "A")}, 1, {1}},                                 // letter case is no rename
        {{a, b}, {a, with(b, 0, "bee")}, 0, {}},                          // a renamed definition
        {{a, at(b, 1u << 31), at(c, ~0u)}, {at(c, ~0u), at(with(b, 7), 1u << 31), at(a, 1000)}, 1, {1u << 31, 1000}}};
    fx::TempDir dir;
    const std::string older = dir.file("old.dat"), newer = dir.file("new.dat");
    for (const auto& [o, n, result, selected] : cases) {
        fx::write_file(older, pub::definition_index({4, 0, 0, {1, 1}, 0, 0, 0, false, o}));
        fx::write_file(newer, pub::definition_index({4, 0, 0, {1, 1}, 0, 0, 0, false, n}));
        fx::each_allocation([&, &result = result, &selected = selected](long nth) {
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

// Stamping sets dat version 1, the current id, the file length and payload
// size, and one more revision; modifying rewrites the first record with the
// id. Refused calls write nothing.
TEST(DefMaintenance, StampModifyOrRefuse) {
    fx::TempDir dir;
    const std::string path = dir.file("i.dat");
    unsigned int err = 99;
    pub::DefinitionIndex empty;
    empty.revision = 5;
    for (pub::DefinitionIndex d : {three(), empty}) {
        fx::write_file(path, pub::definition_index(d));
        for (unsigned int id : {7u, 0x12345678u}) {
            ASSERT_TRUE(UpdateSoloIndexDatFile(path.c_str(), id, &err) == 1 && err == 0);
            d.revision += 1, d.dat_version = 1, d.current = id, d.stamped = true;
            EXPECT_EQ(fx::read_file(path), pub::definition_index(d));
            expect_readable(path);
        }
    }
    pub::DefinitionIndex d = three();
    d.records.push_back({2, {}, 0, 1, "beta-again"});
    fx::write_file(path, pub::definition_index(d));
    ASSERT_TRUE(ModifyDefEntryFromDatFile(path.c_str(), 2, &kDate, 42, 1, &err) == 1 && err == 0);
    d.records[1] = {2, {4, 3, 2, 1, 6, 5, 7}, 42, 1, "beta"};
    EXPECT_EQ(fx::read_file(path), pub::definition_index(d));

    const auto stamp = [&] { return UpdateSoloIndexDatFile(path.c_str(), 1, &err); };
    const auto modify = [&](unsigned int id) -> std::function<int()> {
        return [&, id] { return ModifyDefEntryFromDatFile(path.c_str(), id, &kDate, 0, 1, &err); };
    };
    const Bytes good = pub::definition_index(three());
    Bytes bad_crc = good;
    bad_crc.back() ^= 1;
    const std::pair<Contents, std::function<int()>> cases[] = {
        {bad_crc, stamp}, {bad_crc, modify(1)}, {good, modify(9)} /* absent id */,
        {pub::definition_index({}), modify(1)},
        {poked(good, kLength, 261, true), modify(3)} /* an unreadable record before the id */,
        {Bytes(80, 0), stamp} /* shorter than the solo header */, {{}, stamp}, {{}, modify(1)}};
    for (size_t i = 0; i < std::size(cases); ++i) {
        fs::remove(path);
        if (cases[i].first) fx::write_file(path, *cases[i].first);
        expect_refused(path, std::to_string(i), cases[i].second);
        EXPECT_EQ(err, 0u) << i;
    }
    EXPECT_EQ(ModifyDefEntryFromDatFile(path.c_str(), 1, nullptr, 0, 1, &err), 0);
}

}  // namespace

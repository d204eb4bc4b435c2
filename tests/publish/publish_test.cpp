// The publisher's writers pinned byte for byte: the documented files, and a version index DAT checked once against
// zlib's CRC and a hand count of the byte sum. Every other suite builds its files with these writers.
#include <cstring>

#include <gtest/gtest.h>

#include "fixtures.h"
#include "kaldorn/soloindx.h"

namespace {

fx::Bytes from_hex(const std::string& hex) {
    fx::Bytes b;
    for (size_t i = 0; i < hex.size(); i += hex[i] == ' ' ? 1u : 2u)
        if (hex[i] != ' ') b.push_back(static_cast<unsigned char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return b;
}

// Definition 1 named "abc" appended to a new file of product 0x10: lead
// block, index header, section header, solo header, the stored record.
const fx::Bytes kAbc = from_hex(
    "dfdb0000 c7ffffff  10000000 00000000 00000000 00000000 00000000 "
    "00000000 01000000 01000000 01000000 01000000 00000000 00000000 00000000 "
    "cfa2398e 00000000 10000000 00000000 01000000 01000000 00000000 00000000 00000000 "
    "08000000 0000000000000000000000 08000000 20000000 000000000000000000000000 0b131b00");

TEST(Publish, WritersReproduceTheDocumentedFiles) {
    fx::pub::DefinitionIndex d;
    d.product = 0x10;
    d.records = {{1, {}, 0, 1, "abc"}};
    EXPECT_EQ(fx::pub::definition_index(d), kAbc);
    // The library's own append writes the same file.
    fx::TempDir dir;
    char name[22];
    unsigned int id = 0, err = 0;
    ASSERT_EQ(GetDefEntryFromDatFile(0x10, dir.file("i.dat").c_str(), "abc", 1, name, sizeof name, &id, &err), 1);
    EXPECT_EQ(fx::read_file(dir.file("i.dat")), kAbc);

    // One record, flag 1, size 0, zero digest, tag 0, name "a": 122 bytes,
    // checksum 35, stored bytes 0x08 at 80, 0x10 at 108 and 0x0B at 120.
    fx::Bytes list(122, 0);
    std::memcpy(list.data(), "INXF\x01\x01Tarnwick Fieldworks Systems Ltd.", 38);
    list[56] = 35, list[76] = 1, list[80] = 0x08, list[108] = 0x10, list[120] = 0x0B;
    EXPECT_EQ(fx::pub::component_list({{1, 0, {}, 0, "a", {}}}), list);
    // Plain 0x01 is stored as 0x08, 0x61 as 0x0B, 0x80 as 0x04; the platform identifiers stay plain in the head.
    const fx::Bytes b = fx::pub::component_list({{0x01, 0x61, {}, 0x80, "a", {}}}, {7, 8, 9});
    EXPECT_EQ(std::vector<int>({b[80], b[84], b[104], b[60], b[64], b[68]}), std::vector<int>({8, 11, 4, 7, 8, 9}));

    // Text "110001;1" at DB version 2.1: section CRC 0x4b4ff06f (zlib's crc32 of the 8 text bytes after the 28 header
    // bytes it covers), byte sum 0x296.
    EXPECT_EQ(fx::pub::version_index({1, 0, 0, {1, 1}, {2, 1}, "110001;1"}),
              from_hex("dfdb0000 96020000 01000000 00000000 00000000 00000000 00000000 6ff04f4b 01000000 01000000 "
                       "02000000 01000000 08000000 00000000 00000000 31313030 30313b31"));
    // Regions (the 28 section header bytes and the text) of 1023, 1024 and 2048 bytes read back through the library,
    // whose block CRC is zlib's: the last block is a whole 1024 bytes when the region is a multiple of 1024.
    for (size_t region : {1023u, 1024u, 2048u}) {
        const std::string text(region - 28, '1');
        fx::write_file(dir.file("v.dat"), fx::pub::version_index({1, 0, 0, {1, 1}, {2, 1}, text}));
        tagUPDT_DAT_VERSION_INFO_MEM info{};
        EXPECT_EQ(GetUpdateVersionInfo(dir.file("v.dat").c_str(), &info), 1) << region;
        ReleaseUpdateVersionInfo(&info);
    }
}

}  // namespace

// Version text decoding and the reader of an installation's current version
// over index DATs on disk.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "datwriter.h"
#include "kaldorn/nupdtinf.h"
#include "planwriter.h"
#include "alloc_faults.h"

namespace {

// "D1.1:101 W1.2:102 -", "-" for the entry of a byte that is no token; "fails" when decoding does.
std::string decoded(std::string text) {
    std::vector<tagUPDT_VERSION_BUFFER> e(text.size() + 1);
    tagUPDT_BUFFER_DATA data{reinterpret_cast<unsigned char*>(text.data()), static_cast<unsigned int>(text.size())};
    unsigned int n = 0;
    if (ConvertDATBufferFormat(&data, e.data(), static_cast<unsigned int>(text.size()), &n) != 1) return "fails";
    std::string out;
    for (unsigned int i = 0; i < n; ++i) {
        tagKAL_DORN_TYPE_INFO info = e[i].stInfo;
        out.append(i ? " " : "").append(e[i].chType == 0 ? std::string("-")
                                                         : e[i].chType + std::to_string(info.dwMajorVersion) + "." +
                                                               std::to_string(info.dwMinorVersion) + ":" +
                                                               std::to_string(info.dwUpdateType));
    }
    return out;
}

TEST(VersionText, Decodes) {
    EXPECT_EQ(decoded("110001;1"), "D1.1:101 D1.2:101 W1.3:102 D2.1:101");
    EXPECT_EQ(decoded("1111111"), "D1.1:101 D1.2:101 D1.3:101 D1.4:101 D1.5:101 D1.6:101 D1.7:101");
    EXPECT_EQ(decoded("0010;1"), "X1.1:104 D2.1:101");
    EXPECT_EQ(decoded("10001;0010;1"), "D1.1:101 W1.2:102 X2.1:104 D3.1:101");
    EXPECT_EQ(decoded("1\n1"), "D1.1:101 - D1.3:101");
    EXPECT_EQ(decoded(""), "");
    for (const char* bad : {"1000", "10002;", "0001", "110010"}) EXPECT_EQ(decoded(bad), "fails") << bad;
}

TEST(VersionText, CallersArrayAndCapacity) {
    std::string text = "1x1";
    tagUPDT_BUFFER_DATA data{reinterpret_cast<unsigned char*>(text.data()), 3};
    tagUPDT_VERSION_BUFFER e[3];
    std::memset(e, 0x5A, sizeof e);
    unsigned int n = 0;
    EXPECT_EQ(ConvertDATBufferFormat(&data, e, 2, &n), 0);  // longer than the capacity
    ASSERT_EQ(ConvertDATBufferFormat(&data, e, 3, &n), 1);
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(e[1].uchFlag + e[1].uchSelected + e[1].uchReserved, 0);
    EXPECT_EQ(e[1].chType, 0x5A);  // left as the caller's array held it
    EXPECT_EQ(unsigned{e[2].stInfo.dwMinorVersion}, 3u);
    EXPECT_EQ(ConvertDATBufferFormat(nullptr, e, 3, &n) + ConvertDATBufferFormat(&data, e, 3, nullptr), 0);
}

// The current version of product 1 (or another) in a directory, as
// "381.1:101", or "error N" with the node untouched.
std::string client_version(const std::string& directory, unsigned int product = 1) {
    std::vector<unsigned short> w(directory.begin(), directory.end());
    w.push_back(0);
    tagKAL_DORN_VERSION_LIST node;
    std::memset(&node, 0x77, sizeof node);
    unsigned int error = 5;
    int fds = fixtures::open_descriptor_count();
    int ok = KalDornGetCurrentClientVersionForUpdateManagerLocal(product, w.data(), &node, &error);
    EXPECT_EQ(fixtures::open_descriptor_count(), fds);
    if (ok != 1) return node.uchFlag == 0x77 ? "error " + std::to_string(error) : "node written";
    tagKAL_DORN_TYPE_INFO info = node.stInfo;
    EXPECT_TRUE(error == 0 && node.uchFlag == 0 && node.pNext == nullptr);
    return std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion) + ":" +
           std::to_string(info.dwUpdateType);
}

TEST(ClientVersion, ReadsTheCurrentVersionOrFailsWith1007) {
    fixtures::TempDir dir;
    std::string weeks, d = dir.str();
    for (int i = 0; i < 380; ++i) weeks += "0001;";
    EXPECT_EQ(client_version(d), "error 1007");  // no file
    struct {
        std::string text;
        uint32_t major, minor;
        const char* read;
    } cases[] = {{weeks + "11", 381, 1, "381.1:101"},
                 {fixtures::kExampleText, 1, 0, "1.0:104"},
                 {fixtures::kExampleText, 6, 3, "6.3:104"},
                 {fixtures::kExampleText, 3, 7, "error 1007"},  // version absent from the text
                 {"1\n10002;", 1, 0, "error 1007"}};             // malformed text, even at 1.0
    for (const auto& c : cases) {
        fixtures::write_version_index(dir.path(), 1, c.text, c.major, c.minor);
        EXPECT_EQ(client_version(d) + " " + client_version(d + "/"), c.read + std::string(" ") + c.read);
    }
    fixtures::write_version_index(dir.path(), 3, "11", 1, 2);
    EXPECT_EQ(client_version(d, 3), "1.2:101");
    fixtures::Bytes bad = fixtures::read_file(dir.file("00000003_index.dat"));
    bad.back() ^= 1;
    fixtures::write_file(dir.file("00000003_index.dat"), bad);
    EXPECT_EQ(client_version(d, 3), "error 1007");  // section checksum
    for (size_t length : {241u, 259u, 260u, 4000u}) EXPECT_EQ(client_version(std::string(length, 'd')), "error 1007");
    fixtures::write_version_index(dir.path(), 1, fixtures::kExampleText, 6, 3);
    faults::each_allocation([&](long nth, long) {  // the text, then the entries
        EXPECT_EQ(client_version(d), nth == 0 ? "6.3:104" : "error 1007") << nth;
    });
    tagKAL_DORN_VERSION_LIST node{};
    unsigned int error = 5;
    EXPECT_EQ(KalDornGetCurrentClientVersionForUpdateManagerLocal(1, nullptr, &node, &error), 0);
    EXPECT_EQ(error, 5u);
}

}  // namespace

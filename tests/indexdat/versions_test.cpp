// Version index DATs: the reader, the version text decoder and the current version of an installation.
#include <cstring>

#include "fixtures.h"
#include "kaldorn/soloindx.h"

namespace {

using fx::Bytes;
using Words = std::vector<unsigned int>;

// The payload with a NUL behind it (an empty one: just the NUL); bytes after it are ignored; release empties the
// record and may repeat. Every cut, the section checksum, payload sizes past the end and entry counts that move the
// section elsewhere fail with nothing handed out.
TEST(VersionIndex, LoadedOrRefused) {
    fx::TempDir dir;
    const std::string path = dir.file("v.dat");
    for (const fx::pub::VersionIndex& v : {fx::pub::VersionIndex{1, 0, 3, {7, 8}, {2, 1}, "110001;1"}, {}}) {
        Bytes b = fx::pub::version_index(v);
        b.insert(b.end(), {'x', 'y'});
        fx::pub::seal_version_index(b);
        fx::write_file(path, b);
        tagUPDT_DAT_VERSION_INFO_MEM m{};
        ASSERT_EQ(GetUpdateVersionInfo(path.c_str(), &m), 1);
        EXPECT_EQ(Words({m.stFirstVersion.dwMajorVersion, m.stFirstVersion.dwMinorVersion, m.stDbVersion.dwMajorVersion,
                         m.stDbVersion.dwMinorVersion, m.stBuffer.dwSize}),
                  Words({v.first.dwMajorVersion, v.first.dwMinorVersion, v.db.dwMajorVersion, v.db.dwMinorVersion,
                         unsigned(v.text.size())}));
        EXPECT_EQ(std::string(reinterpret_cast<char*>(m.stBuffer.pData), v.text.size() + 1), v.text + '\0');
        EXPECT_EACH_EQ(0, ReleaseUpdateVersionInfo(&m), ReleaseUpdateVersionInfo(&m),
                       ReleaseUpdateVersionInfo(nullptr));
        EXPECT_TRUE(m.stBuffer.pData == nullptr && m.stBuffer.dwSize == 0);
    }
    const Bytes good = fx::pub::version_index({1, 0, 0, {1, 1}, {1, 0}, "1110010;1"});
    std::vector<Bytes> bad;
    for (size_t len = 0; len < good.size(); ++len) bad.emplace_back(good.begin(), good.begin() + long(len));
    bad.emplace_back(good).back() ^= 1;
    for (uint32_t size : {10u, 1000u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        fx::poke32(bad.emplace_back(good), 48, size);
        fx::pub::seal_version_index(bad.back());
    }
    for (uint32_t count : {1u, 0x10000000u, 0x0FFFFFFFu, 0xFFFFFFFFu}) fx::poke32(bad.emplace_back(good), 16, count);
    tagUPDT_DAT_VERSION_INFO_MEM m{};
    for (size_t i = 0; i < bad.size(); ++i) {
        fx::write_file(path, bad[i]);
        EXPECT_TRUE(GetUpdateVersionInfo(path.c_str(), &m) == 0 && m.stBuffer.pData == nullptr) << i;
    }
    EXPECT_EACH_EQ(0, GetUpdateVersionInfo(nullptr, &m), GetUpdateVersionInfo(path.c_str(), nullptr));
}

std::string version(tagKAL_DORN_TYPE_INFO v) {
    return std::to_string(v.dwMajorVersion) + "." + std::to_string(v.dwMinorVersion) + ":" +
           std::to_string(v.dwUpdateType);
}

// "D1.1:101 W1.2:102 -" ("-": the untouched entry of a byte that is no token; "!" marks an entry whose flag, selection
// or reserved byte is not 0), or "fails"; the caller's array is never passed.
std::string decoded(std::string text, unsigned int capacity = 0) {
    std::vector<tagUPDT_VERSION_BUFFER> e(text.size() + 1);
    std::memset(e.data(), 0x5A, e.size() * sizeof e[0]);
    tagUPDT_BUFFER_DATA data{reinterpret_cast<unsigned char*>(text.data()), static_cast<unsigned int>(text.size())};
    unsigned int n = 0;
    if (ConvertDATBufferFormat(&data, e.data(), capacity ? capacity : unsigned(text.size()), &n) != 1) return "fails";
    std::string out;
    for (unsigned int i = 0; i < n; ++i) {
        out.append(i ? " " : "").append(e[i].chType == 0x5A ? "-" : e[i].chType + version(e[i].stInfo));
        if (e[i].uchFlag != 0 || e[i].uchSelected != 0 || e[i].uchReserved != 0) out += "!";
    }
    return out;
}

TEST(VersionText, Decodes) {
    const std::pair<std::string, std::string> cases[] = {
        {"110001;1", "D1.1:101 D1.2:101 W1.3:102 D2.1:101"},
        {"1111111", "D1.1:101 D1.2:101 D1.3:101 D1.4:101 D1.5:101 D1.6:101 D1.7:101"}, {"0010;1", "X1.1:104 D2.1:101"},
        {"10001;0010;1", "D1.1:101 W1.2:102 X2.1:104 D3.1:101"}, {"1\n1", "D1.1:101 - D1.3:101"},
        {"", ""}, {"1000", "fails"}, {"10002;", "fails"}, {"0001", "fails"}, {"110010", "fails"}};
    for (const auto& [text, want] : cases) EXPECT_EQ(decoded(text), want) << text;
    EXPECT_EQ(decoded("1x1", 2), "fails");  // more entries than the capacity
    unsigned char one = '1';
    tagUPDT_BUFFER_DATA data{&one, 1};
    tagUPDT_VERSION_BUFFER e[1];
    unsigned int n = 0;
    EXPECT_EACH_EQ(0, ConvertDATBufferFormat(nullptr, e, 1, &n), ConvertDATBufferFormat(&data, nullptr, 1, &n),
                   ConvertDATBufferFormat(&data, e, 1, nullptr));
}

// The current version of a product in a directory, as "381.1:101", or "error N" with the node untouched.
std::string client_version(const std::string& dir, unsigned int product = 1) {
    tagKAL_DORN_VERSION_LIST node;
    std::memset(&node, 0x77, sizeof node);
    unsigned int error = 5;
    const size_t fds = fx::descriptor_count();
    const int ok = KalDornGetCurrentClientVersionForUpdateManagerLocal(product, fx::wide(dir).data(), &node, &error);
    EXPECT_EQ(fx::descriptor_count(), fds);
    if (ok != 1) return node.uchFlag == 0x77 ? "error " + std::to_string(error) : "node written";
    EXPECT_TRUE(error == 0 && node.uchFlag == 0 && node.pNext == nullptr);
    return version(node.stInfo);
}

// A version absent from the text, a malformed text (even at 1.0) and every failed allocation give 1007.
TEST(ClientVersion, ReadsTheCurrentVersionOrFailsWith1007) {
    fx::TempDir dir;
    const std::string d = dir.str();
    std::string weeks;
    for (int i = 0; i < 380; ++i) weeks += "0001;";
    const std::tuple<std::string, uint32_t, uint32_t, std::string> cases[] = {
        {weeks + "11", 381, 1, "381.1:101"}, {fx::kExampleText, 1, 0, "1.0:104"}, {fx::kExampleText, 6, 3, "6.3:104"},
        {fx::kExampleText, 3, 7, "error 1007"}, {"1\n10002;", 1, 0, "error 1007"}};
    for (const auto& [text, major, minor, want] : cases) {
        fx::write_version_index(dir.path(), 1, text, major, minor);
        EXPECT_EQ(client_version(d), want);
    }
    fx::write_version_index(dir.path(), 3, "11", 1, 2);
    EXPECT_EQ(client_version(d, 3), "1.2:101");
    fx::write_version_index(dir.path(), 1, fx::kExampleText, 6, 3);
    fx::each_allocation([&](long nth) { EXPECT_EQ(client_version(d), nth == 0 ? "6.3:104" : "error 1007") << nth; });
    tagKAL_DORN_VERSION_LIST node{};
    unsigned int error = 5;
    EXPECT_TRUE(KalDornGetCurrentClientVersionForUpdateManagerLocal(1, nullptr, &node, &error) == 0 && error == 5);
}

}  // namespace

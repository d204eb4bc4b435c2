// Version text decoding, the version index, the plain update list and the
// reader of an installation's current version (over index DATs on disk).
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "datwriter.h"
#include "kaldorn/nupdtinf.h"
#include "planwriter.h"
#include "support/alloc.h"

namespace {

// "D1.1 W1.2 -" with "-" for an entry of a byte that is no token.
std::string decoded(const std::string& text, bool& ok) {
    std::vector<tagUPDT_VERSION_BUFFER> entries(text.size() + 1);
    tagUPDT_BUFFER_DATA data{reinterpret_cast<unsigned char*>(const_cast<char*>(text.data())),
                             static_cast<unsigned int>(text.size())};
    unsigned int n = 999;
    ok = ConvertDATBufferFormat(&data, entries.data(), static_cast<unsigned int>(text.size()), &n) == 1;
    std::string out;
    for (unsigned int i = 0; ok && i < n; ++i) {
        const tagUPDT_VERSION_BUFFER& e = entries[i];
        out += i ? " " : "";
        tagKAL_DORN_TYPE_INFO info = e.stInfo;
        out += e.chType == 0 ? std::string("-") : e.chType + std::to_string(info.dwMajorVersion) + "." +
                                                      std::to_string(info.dwMinorVersion) + ":" +
                                                      std::to_string(info.dwUpdateType);
    }
    return out;
}

TEST(VersionText, Decodes) {
    struct {
        std::string text;
        const char* entries;
    } cases[] = {
        {"110001;1", "D1.1:101 D1.2:101 W1.3:102 D2.1:101"},
        {"1111111", "D1.1:101 D1.2:101 D1.3:101 D1.4:101 D1.5:101 D1.6:101 D1.7:101"},
        {"0010;1", "X1.1:104 D2.1:101"},
        {"10001;0010;1", "D1.1:101 W1.2:102 X2.1:104 D3.1:101"},
        {"1\n1", "D1.1:101 - D1.3:101"},
        {"", ""},
    };
    for (const auto& c : cases) {
        bool ok = false;
        EXPECT_EQ(decoded(c.text, ok), c.entries) << c.text;
        EXPECT_TRUE(ok) << c.text;
    }
    for (const char* bad : {"1000", "10002;", "0001", "110010"}) {
        bool ok = true;
        decoded(bad, ok);
        EXPECT_FALSE(ok) << bad;
    }
}

TEST(VersionText, CallersArrayAndCapacity) {
    std::string text = "1x1";
    tagUPDT_BUFFER_DATA data{reinterpret_cast<unsigned char*>(text.data()), 3};
    tagUPDT_VERSION_BUFFER entries[3];
    std::memset(entries, 0x5A, sizeof entries);
    unsigned int n = 0;
    EXPECT_EQ(ConvertDATBufferFormat(&data, entries, 2, &n), 0);  // longer than the capacity
    ASSERT_EQ(ConvertDATBufferFormat(&data, entries, 3, &n), 1);
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(entries[1].uchFlag + entries[1].uchSelected + entries[1].uchReserved, 0);
    EXPECT_EQ(entries[1].chType, 0x5A);  // left as the caller's array held it
    EXPECT_EQ(entries[2].stInfo.dwMinorVersion, 3u);
    EXPECT_EQ(ConvertDATBufferFormat(nullptr, entries, 3, &n), 0);
    EXPECT_EQ(ConvertDATBufferFormat(&data, entries, 3, nullptr), 0);
}

TEST(VersionText, VersionIndex) {
    std::string text = "110001;1";
    std::vector<tagUPDT_VERSION_BUFFER> e(text.size());
    tagUPDT_BUFFER_DATA data{reinterpret_cast<unsigned char*>(text.data()), 8};
    unsigned int n = 0;
    ASSERT_EQ(ConvertDATBufferFormat(&data, e.data(), 8, &n), 1);
    struct {
        tagKAL_DORN_DBVERSION_INFO version;
        unsigned int count;
        int result, index;
        unsigned int type;
    } cases[] = {{{1, 0}, 0, 1, -1, 104}, {{1, 0}, n, 1, -1, 104}, {{1, 1}, n, 1, 0, 101},
                 {{1, 3}, n, 1, 2, 102},  {{2, 1}, n, 1, 3, 101},   {{3, 7}, n, 0, 99, 99}, {{2, 1}, 3, 0, 99, 99}};
    for (const auto& c : cases) {
        int index = 99;
        unsigned int type = 99;
        EXPECT_EQ(GetVersionIndex(e.data(), c.count, &c.version, &index, &type), c.result);
        EXPECT_EQ(index, c.index);
        EXPECT_EQ(type, c.type);
    }
    int index = 0;
    unsigned int type = 0;
    EXPECT_EQ(GetVersionIndex(nullptr, 0, &cases[0].version, &index, &type), 0);
}

TEST(UpdateList, AppendsInOrderAndFreesEveryNode) {
    tagKAL_DORN_VERSION_LIST *head = nullptr, *tail = nullptr;
    for (unsigned int i = 1; i <= 3; ++i) {
        tagKAL_DORN_TYPE_INFO record{i, i, 101};
        ASSERT_EQ(AddToUpdtInfoList(&record, static_cast<unsigned char>(i), &head, &tail), 1);
    }
    tagKAL_DORN_TYPE_INFO record{9, 9, 104};
    kaldorn::testing::fail_allocation(1);
    EXPECT_EQ(AddToUpdtInfoList(&record, 0, &head, &tail), 0);
    kaldorn::testing::fail_allocation(0);
    EXPECT_EQ(tail->stInfo.dwMajorVersion, 3u);
    EXPECT_EQ(tail->pNext, nullptr);
    EXPECT_EQ(head->uchFlag, 1);
    EXPECT_EQ(head->pNext->pNext, tail);
    EXPECT_EQ(AddToUpdtInfoList(nullptr, 0, &head, &tail), 0);
    EXPECT_EQ(KalDornFreeDownloadVersionListForInternetLocal(head), 1);  // LeakSanitizer sees the rest
    for (auto free_list : {FreeUpdtInfoList, KalDornFreeDownloadVersionListForPathLocal,
                           KalDornFreeDownloadVersionListForInternetLocal})
        EXPECT_EQ(free_list(nullptr), 0);
}

class ClientVersion : public ::testing::Test {
protected:
    fixtures::TempDir dir;

    // Reads the version of product 1 in directory; "error N" on failure, and
    // then the node must be untouched.
    std::string read(const std::string& directory, unsigned int product = 1) {
        std::vector<unsigned short> w(directory.begin(), directory.end());
        w.push_back(0);
        tagKAL_DORN_VERSION_LIST node;
        std::memset(&node, 0x77, sizeof node);
        unsigned int error = 5;
        int fds = fixtures::open_descriptor_count();
        int ok = KalDornGetCurrentClientVersionForUpdateManagerLocal(product, w.data(), &node, &error);
        EXPECT_EQ(fixtures::open_descriptor_count(), fds);
        if (ok != 1) {
            EXPECT_EQ(node.uchFlag, 0x77);
            return "error " + std::to_string(error);
        }
        EXPECT_EQ(error, 0u);
        EXPECT_EQ(node.uchFlag, 0);
        EXPECT_EQ(node.pNext, nullptr);
        tagKAL_DORN_TYPE_INFO info = node.stInfo;
        return std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion) + ":" +
               std::to_string(info.dwUpdateType);
    }
};

TEST_F(ClientVersion, ReadsTheCurrentVersionAndItsType) {
    std::string text;
    for (int i = 0; i < 380; ++i) text += "0001;";
    fixtures::write_version_index(dir.path(), 1, text + "11", 381, 1);
    fixtures::write_version_index(dir.path(), 3, "11", 1, 2);
    EXPECT_EQ(read(dir.str()), "381.1:101");
    EXPECT_EQ(read(dir.str() + "/"), "381.1:101");
    EXPECT_EQ(read(dir.str(), 3), "1.2:101");
    fixtures::write_version_index(dir.path(), 1, fixtures::kExampleText, 1, 0);
    EXPECT_EQ(read(dir.str()), "1.0:104");
    fixtures::write_version_index(dir.path(), 1, fixtures::kExampleText, 6, 3);
    EXPECT_EQ(read(dir.str()), "6.3:104");
}

TEST_F(ClientVersion, EveryFailureIs1007) {
    EXPECT_EQ(read(dir.str()), "error 1007");  // no file
    fixtures::write_version_index(dir.path(), 1, fixtures::kExampleText, 3, 7);
    EXPECT_EQ(read(dir.str()), "error 1007");  // version absent from the text
    fixtures::write_version_index(dir.path(), 1, "1\n10002;", 1, 0);
    EXPECT_EQ(read(dir.str()), "error 1007");  // malformed text, even at 1.0
    fixtures::write_version_index(dir.path(), 1, fixtures::kExampleText, 8, 2);
    std::string path = dir.file("00000001_index.dat");
    fixtures::Bytes good = fixtures::read_file(path), bad = good;
    bad.back() ^= 1;
    fixtures::write_file(path, bad);
    EXPECT_EQ(read(dir.str()), "error 1007");  // section checksum
    fixtures::write_file(path, good);
    for (size_t length : {241u, 259u, 260u, 4000u}) EXPECT_EQ(read(std::string(length, 'd')), "error 1007") << length;
    for (long n = 1; n <= 2; ++n) {  // the text, then the entries
        kaldorn::testing::fail_allocation(n);
        EXPECT_EQ(read(dir.str()), "error 1007") << n;
        kaldorn::testing::fail_allocation(0);
    }
    EXPECT_EQ(read(dir.str()), "8.2:101");
    tagKAL_DORN_VERSION_LIST node{};
    unsigned int error = 5;
    EXPECT_EQ(KalDornGetCurrentClientVersionForUpdateManagerLocal(1, nullptr, &node, &error), 0);
    EXPECT_EQ(error, 5u);
}

}  // namespace

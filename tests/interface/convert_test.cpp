// Record and list conversions, and the entry points' handling of failures
// in the middle of their conversions.
#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "datwriter.h"
#include "kaldorn.h"
#include "kaldorn/convert.h"
#include "kaldorn/lists.h"
#include "support/alloc.h"

namespace {

struct NameCase {
    unsigned int product, major, minor, type;
    const char* name;
};

TEST(Convert, UpdateFileNames) {
    const NameCase cases[] = {
        {1, 381, 1, 101, "iu038101.dat"},          {3, 386, 26, 102, "eu038626_weekly.dat"},
        {1, 390, 2, 104, "iu039002_monthly.dat"},  {1, 12345, 7, 102, "iu1234507_weekly.dat"},
        {4, 1, 2, 0, "eu000102.dat"},              {5, 7, 100, 103, "eu0007100.dat"},
    };
    for (const auto& c : cases) {
        tagKAL_DORN_TYPE_INFO in{c.major, c.minor, c.type};
        tagKAL_DORN_TYPE_INFOEXA out;
        std::memset(&out, 0, sizeof out);
        ASSERT_EQ(KalDornConvertVersionRecordToVersionRecordEx(c.product, &in, &out), 1);
        EXPECT_STREQ(out.szFileName, c.name);
        EXPECT_EQ(+out.dwUpdateType, c.type);
        EXPECT_EQ(+out.dwFlag, 0u);
    }
}

// Builds a plain list of n dailies 1.1 .. 1.n with alternating level marks.
tagKAL_DORN_VERSION_LIST* plain_list(int n) {
    tagKAL_DORN_VERSION_LIST *head = nullptr, *tail = nullptr;
    for (int i = 1; i <= n; ++i) {
        auto* node = static_cast<tagKAL_DORN_VERSION_LIST*>(std::calloc(1, sizeof(tagKAL_DORN_VERSION_LIST)));
        node->uchFlag = static_cast<unsigned char>(i % 3);
        node->stInfo = {1, static_cast<unsigned int>(i), i == n ? 104u : 101u};
        (head == nullptr ? head : tail->pNext) = node;
        tail = node;
    }
    return head;
}

void free_plain(tagKAL_DORN_VERSION_LIST* l) {
    while (l != nullptr) {
        auto* next = l->pNext;
        std::free(l);
        l = next;
    }
}

TEST(Convert, EmptyInputsGiveEmptyOutputsForEveryConversion) {
    const unsigned short dir[] = {'/', 0};
    char sentinel[8];  // outputs start non-null so that storing null shows
    auto* exa = reinterpret_cast<tagKAL_DORN_VERSION_LISTEXA*>(sentinel);
    auto* exw = reinterpret_cast<tagKAL_DORN_VERSION_LISTEXW*>(sentinel);
    auto* fa = reinterpret_cast<tagKAL_DORN_FILE_INFO_LISTA*>(sentinel);
    auto* fw = reinterpret_cast<tagKAL_DORN_FILE_INFO_LISTW*>(sentinel);
    EXPECT_EQ(KalDornConvertVersionListToVersionListEx(1, dir, nullptr, &exa), 1);
    EXPECT_EQ(exa, nullptr);
    EXPECT_EQ(KalDornConvertVersionListToFileList(1, 7, nullptr, &fa), 1);
    EXPECT_EQ(fa, nullptr);
    EXPECT_EQ(KalDornConvertVersionListExAToVersionListExW(1, nullptr, &exw), 1);
    EXPECT_EQ(exw, nullptr);
    EXPECT_EQ(KalDornConvertFileListAToFileListW(1, nullptr, &fw), 1);
    EXPECT_EQ(fw, nullptr);
    EXPECT_EQ(KalDornConvertVersionListExWToVersionListExA(1, nullptr, nullptr), 0);
    EXPECT_EQ(KalDornConvertFileListWToFileListA(1, nullptr, nullptr), 0);
}

TEST(Convert, OperationIdDecidesTheFlagAndUnknownIdsFail) {
    auto* plain = plain_list(3);
    for (unsigned int op : {0u, 1u, 2u}) {
        tagKAL_DORN_FILE_INFO_LISTA* names = nullptr;
        ASSERT_EQ(KalDornConvertVersionListToFileList(3, op, plain, &names), 1);
        int count = 0;
        for (auto* n = names; n != nullptr; n = n->pNext, ++count) {
            EXPECT_EQ(+n->dwFlag, op == 0 ? 0u : 1u);
            EXPECT_EQ(+n->dwKind, 0u);
        }
        EXPECT_EQ(count, 3);
        EXPECT_STREQ(names->szFileName, "eu000101.dat");
        FreeUpdtInfoListEx(names);
    }
    tagKAL_DORN_FILE_INFO_LISTA* untouched = reinterpret_cast<tagKAL_DORN_FILE_INFO_LISTA*>(plain);
    EXPECT_EQ(KalDornConvertVersionListToFileList(1, 3, plain, &untouched), 0);
    EXPECT_EQ(untouched, reinterpret_cast<tagKAL_DORN_FILE_INFO_LISTA*>(plain));
    free_plain(plain);
}

// 8-bit to 16-bit and back restores every member, marks included; names
// with bytes above 0x7F survive through sign extension.
TEST(Convert, NarrowWideRoundTripsAreExact) {
    auto* plain = plain_list(4);
    const unsigned short dir[] = {'/', 'n', 'o', 'n', 'e', 0};
    tagKAL_DORN_VERSION_LISTEXA* a = nullptr;
    ASSERT_EQ(KalDornConvertVersionListToVersionListEx(1, dir, plain, &a), 1);
    a->stInfo.szFileName[0] = static_cast<char>(0xE9);
    a->stInfo.dwKind = 7;
    a->stInfo.stDefDate = {1, 2, 3};
    tagKAL_DORN_VERSION_LISTEXW* w = nullptr;
    ASSERT_EQ(KalDornConvertVersionListExAToVersionListExW(1, a, &w), 1);
    unsigned short first;
    std::memcpy(&first, reinterpret_cast<unsigned char*>(w) + 1 + 12, sizeof first);
    EXPECT_EQ(first, 0xFFE9);
    tagKAL_DORN_VERSION_LISTEXA* back = nullptr;
    ASSERT_EQ(KalDornConvertVersionListExWToVersionListExA(1, w, &back), 1);
    for (auto *x = a, *y = back; x != nullptr || y != nullptr; x = x->pNext, y = y->pNext) {
        ASSERT_TRUE(x != nullptr && y != nullptr);
        EXPECT_EQ(std::memcmp(x, y, offsetof(tagKAL_DORN_VERSION_LISTEXA, pNext)), 0);
    }
    tagKAL_DORN_FILE_INFO_LISTA* names = nullptr;
    ASSERT_EQ(KalDornConvertVersionListToFileList(1, 1, plain, &names), 1);
    names->dwReserved = 5;  // not carried
    tagKAL_DORN_FILE_INFO_LISTW* wide_names = nullptr;
    ASSERT_EQ(KalDornConvertFileListAToFileListW(1, names, &wide_names), 1);
    tagKAL_DORN_FILE_INFO_LISTA* names_back = nullptr;
    ASSERT_EQ(KalDornConvertFileListWToFileListA(1, wide_names, &names_back), 1);
    EXPECT_STREQ(names_back->szFileName, names->szFileName);
    EXPECT_EQ(+names_back->dwFlag, 1u);
    EXPECT_EQ(+names_back->dwReserved, 0u);
    for (auto* l : {a, back}) FreeUpdtInfoListEx(l);
    FreeUpdtInfoListEx(w);
    FreeUpdtInfoListEx(names);
    FreeUpdtInfoListEx(names_back);
    FreeUpdtInfoListEx(wide_names);
    free_plain(plain);
}

// A name that fills its 260 bytes without a NUL is refused, not overrun.
TEST(Convert, UnterminatedNamesAreRefused) {
    tagKAL_DORN_TYPE_INFOEXA a;
    std::memset(&a, 'x', sizeof a);
    tagKAL_DORN_TYPE_INFOEXW w;
    EXPECT_EQ(KalDornConvertVersionRecordExAToVersionRecordExW(1, &a, &w), 0);
    std::memset(&w, 0x41, sizeof w);
    EXPECT_EQ(KalDornConvertVersionRecordExWToVersionRecordExA(1, &w, &a), 0);
}

// A converted name is zero after its terminator in either direction,
// whatever the record or the stack held before: a long name first leaves
// its units behind on the stack.
TEST(Convert, ConvertedNamesAreZeroAfterTheTerminator) {
    for (size_t length : {259u, 3u}) {
        tagKAL_DORN_TYPE_INFOEXA a;
        std::memset(&a, 0, sizeof a);
        std::memset(a.szFileName, 'x', length);
        tagKAL_DORN_TYPE_INFOEXW w;
        std::memset(&w, 0xAA, sizeof w);
        ASSERT_EQ(KalDornConvertVersionRecordExAToVersionRecordExW(1, &a, &w), 1);
        const auto* name = reinterpret_cast<const unsigned char*>(&w) + offsetof(tagKAL_DORN_TYPE_INFOEXW, wszFileName);
        for (size_t i = 2 * length; i < 2 * KALDORN_MAX_PATH; ++i) EXPECT_EQ(name[i], 0) << "byte " << i;
        std::memset(&a, 0xAA, sizeof a);
        ASSERT_EQ(KalDornConvertVersionRecordExWToVersionRecordExA(1, &w, &a), 1);
        for (size_t i = length; i < KALDORN_MAX_PATH; ++i) EXPECT_EQ(a.szFileName[i], 0) << "narrow byte " << i;
    }
}

// Every allocation of a call fails in turn. A call either fails and hands
// out nothing, or succeeds with a whole answer (a client index that cannot be
// loaded makes the client count as 1.0); LeakSanitizer checks that no
// intermediate list is left over on any path.
template <typename List, typename Call, typename Free>
void fail_each_allocation(Call call, Free release) {
    int failures = 0;
    for (long nth = 1;; ++nth) {
        List* list = nullptr;
        kaldorn::testing::fail_allocation(nth);
        int ok = call(&list);
        long seen = kaldorn::testing::fail_allocation(0);
        if (ok == 1) {
            release(list);  // an unloadable source index may also mean an empty answer
        } else {
            EXPECT_EQ(list, nullptr) << "allocation " << nth;
            ++failures;
        }
        if (seen < nth) break;  // the call got through without meeting the failure
    }
    EXPECT_GT(failures, 10);
}

class EntryPointFaults : public ::testing::Test {
protected:
    fixtures::TempDir dir;
    void SetUp() override {
        const std::string text = "110001;110001;110010;110001;110001;110010;110001;11";
        for (auto [sub, major, minor] : {std::tuple{"src", 8u, 2u}, std::tuple{"cli", 4u, 1u}}) {
            std::filesystem::create_directories(dir.path() / sub);
            fixtures::VersionDat v;
            v.text = text;
            v.db_major = major;
            v.db_minor = minor;
            fixtures::write_file(dir.path() / sub / "00000001_index.dat", fixtures::build_version_dat(v));
        }
    }
    std::string path(const char* sub) const { return dir.file(sub); }
};

TEST_F(EntryPointFaults, EveryFailedAllocationReleasesEverything) {
    std::string cli = path("cli"), src = path("src");
    unsigned int err = 0;
    fail_each_allocation<tagKAL_DORN_VERSION_LISTEXA>(
        [&](tagKAL_DORN_VERSION_LISTEXA** l) {
            return KalDornGetDownloadVersionListForUpdateManagerExA(1, cli.c_str(), src.c_str(), l, &err);
        },
        KalDornFreeDownloadVersionListExA);
    fail_each_allocation<tagKAL_DORN_FILE_INFO_LISTA>(
        [&](tagKAL_DORN_FILE_INFO_LISTA** l) {
            return KaldornGetFileListFromOprIdForUpdateManagerA(1, 1, src.c_str(), src.c_str(), cli.c_str(), l, &err);
        },
        KaldornFreeFileListFromOprIdForUpdateManagerA);
}

// A byte above 0x7F in an 8-bit directory reaches the driver unchanged.
TEST_F(EntryPointFaults, HighBytesInDirectoriesSurviveTheWidening) {
    std::string odd = path("cli\xE9");
    std::filesystem::create_directories(odd);
    std::filesystem::copy_file(path("cli") + "/00000001_index.dat", odd + "/00000001_index.dat");
    tagKAL_DORN_VERSION_LISTEXA node;
    std::memset(&node, 0, sizeof node);
    unsigned int err = 0;
    ASSERT_EQ(KalDornGetCurrentClientVersionForUpdateManagerExA(1, odd.c_str(), &node, &err), 1) << err;
    EXPECT_STREQ(node.stInfo.szFileName, "iu000401.dat");
    // Directories that cannot fit 260 characters are refused with 1007.
    std::string longdir(300, 'd');
    EXPECT_EQ(KalDornGetCurrentClientVersionForUpdateManagerExA(1, longdir.c_str(), &node, &err), 0);
    EXPECT_EQ(err, 1007u);
}

}  // namespace

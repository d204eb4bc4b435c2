// Conversions beyond what the C host sees through the entry points (marks,
// operation ids 0 and 3, an unterminated name), and every failed allocation
// of whole entry-point calls.
#include <cstring>

#include "fixtures.h"
#include "kaldorn/convert.h"

namespace {

// Operation ids 0, 1 and 2 set the flag of every name; any other fails with
// the output untouched, unless the input is empty. 8-bit to 16-bit and back
// restores every member of every node, marks included. A name filling its
// 260 bytes without a NUL is refused, not overrun.
TEST(Convert, OperationIdsRoundTripsAndUnterminatedNames) {
    tagKAL_DORN_VERSION_LIST *plain = nullptr, *tail = nullptr;
    unsigned char mark = 0;  // 1, 2, 0; names never shorter than the one before (the working record is reused)
    for (tagKAL_DORN_TYPE_INFO info : {tagKAL_DORN_TYPE_INFO{1, 1, 101}, {7, 100, 103}, {12345, 7, 102}})
        AddToUpdtInfoList(&info, ++mark % 3, &plain, &tail);
    for (unsigned int op : {0u, 1u, 2u}) {
        const std::string f = op == 0 ? "0" : "1";
        EXPECT_EQ(fx::outcome<tagKAL_DORN_FILE_INFO_LISTA>([&](auto** l, unsigned int* e) {
                      return *e = 0, KalDornConvertVersionListToFileList(3, op, plain, l);
                  }),
                  "eu000101.dat:" + f + "/0 eu0007100.dat:" + f + "/0 eu1234507_weekly.dat:" + f + "/0");
    }
    auto* names = reinterpret_cast<tagKAL_DORN_FILE_INFO_LISTA*>(plain);
    EXPECT_EQ(KalDornConvertVersionListToFileList(1, 3, plain, &names), 0);
    EXPECT_EQ(KalDornConvertVersionListToFileList(1, 3, nullptr, &names), 1);
    EXPECT_EQ(names, nullptr);
    const unsigned short dir[] = {'/', 0};
    tagKAL_DORN_VERSION_LISTEXA *a = nullptr, *back = nullptr;
    tagKAL_DORN_VERSION_LISTEXW* w = nullptr;
    ASSERT_EQ(KalDornConvertVersionListToVersionListEx(1, dir, plain, &a), 1);
    a->stInfo.dwKind = 7, a->stInfo.dwReserved = 9, a->stInfo.stDefDate = {1, 2, 3};
    ASSERT_EQ(KalDornConvertVersionListExAToVersionListExW(1, a, &w), 1);
    ASSERT_EQ(KalDornConvertVersionListExWToVersionListExA(1, w, &back), 1);
    std::string marks;
    for (auto *x = a, *y = back; x != nullptr && y != nullptr; x = x->pNext, y = y->pNext) {
        EXPECT_EQ(std::memcmp(x, y, offsetof(tagKAL_DORN_VERSION_LISTEXA, pNext)), 0) << marks;
        marks += std::to_string(y->uchFlag) + (y->pNext == nullptr && x->pNext == nullptr ? "." : "");
    }
    EXPECT_EQ(marks, "120.");
    std::memset(&a->stInfo, 'x', sizeof a->stInfo);
    EXPECT_EQ(KalDornConvertVersionRecordExAToVersionRecordExW(1, &a->stInfo, &w->stInfo), 0);
    std::memset(&w->stInfo, 0x41, sizeof w->stInfo);
    EXPECT_EQ(KalDornConvertVersionRecordExWToVersionRecordExA(1, &w->stInfo, &a->stInfo), 0);
    FreeUpdtInfoList(plain);
    for (auto* l : {a, back}) FreeUpdtInfoListEx(l);
    FreeUpdtInfoListEx(w);
}

// Each allocation of a whole call fails in turn: the call gives its full
// answer, fails and hands out nothing (outcome checks that), or answers as
// for an index it could not load (a client at 1.0; no source, no answer;
// "-": none). A text ending in " ..." is a prefix. LeakSanitizer sees every
// path.
TEST(Faults, EveryFailedAllocationReleasesEverything) {
    fx::TempDir root;
    const std::string c = root.file("client"), s = root.file("source");
    fx::write_version_index(s, 1, fx::kExampleText, 8, 2);
    fx::write_version_index(c, 1, fx::kExampleText, 4, 1);
    fx::write_definitions(c, 4, 1, 1, {fx::def(1, 1, "a"), fx::def(2, 1, "b")});
    fx::write_definitions(s, 4, 2, 3, {fx::def(1, 2, "a"), fx::def(2, 1, "b"), fx::def(3, 1, "c")});
    fx::write_engine(root.file("engine"), 4, {{"b", "b", fx::Part::Damaged}});
    fx::install_sibling(c, KALDORN_SIBLING, "../engine");
    const auto matches = [](const std::string& got, const std::string& want) {
        const size_t n = want.size() >= 4 && want.compare(want.size() - 4, 4, " ...") == 0 ? want.size() - 4 : 0;
        return got == want || (n > 0 && got.compare(0, n, want, 0, n) == 0);
    };
    const auto ex = [&](unsigned int product) {
        return fx::outcome<KAL_DORN_VERSION_LISTEXA>([&](auto** l, unsigned int* e) {
            return KalDornGetDownloadVersionListForInternetExA(product, c.c_str(), s.c_str(), l, e);
        });
    };
    const auto oprid = [&](unsigned int product) {
        return fx::outcome<KAL_DORN_FILE_INFO_LISTA>([&](auto** l, unsigned int* e) {
            return KaldornGetFileListFromOprIdForUpdateManagerA(product, 2, s.c_str(), s.c_str(), c.c_str(), l, e);
        });
    };
    const struct { std::function<std::string()> call; std::string full, degraded; } rows[] = {
        {[&] { return ex(1); }, "iu000403_weekly.dat:0/0 iu000503_weekly.dat:0/0 ...", "iu000303_monthly.dat:0/0 ..."},
        {[&] { return oprid(1); }, "iu000403_weekly.dat:1/0 iu000501.dat:1/0 ...", ""},
        {[&] { return ex(4); }, "00000004_00000001.dat:0/1 00000004_00000003.dat:0/1 00000004_00000002.dat:1/0", "-"},
        {[&] { return oprid(4); }, "00000004_00000001.dat:0/2 00000004_00000003.dat:1/0", "-"},
    };
    for (const auto& row : rows) {
        int failed = 0;
        fx::each_allocation([&](long nth) {
            const std::string got = row.call();
            failed += got.rfind("error ", 0) == 0;
            EXPECT_TRUE(matches(got, row.full) || (nth > 0 && (got.rfind("error ", 0) == 0 || matches(got, row.degraded))))
                << row.full << ", allocation " << nth << ": " << got;
        });
        EXPECT_GT(failed, 0) << row.full;
    }
}

}  // namespace

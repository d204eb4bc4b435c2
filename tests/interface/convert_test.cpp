// What the C host cannot see of the conversions, and every failed allocation of whole entry-point calls.
#include <cstring>

#include "fixtures.h"
#include "kaldorn/convert.h"

namespace {

using Names = tagKAL_DORN_FILE_INFO_LISTA;

// Operation ids 0, 1 and 2 set the flag of every name; any other fails, but for an empty input. A name
// filling its 260 units without a NUL is refused, not overrun.
TEST(Convert, OperationIdsAndUnterminatedNames) {
    tagKAL_DORN_VERSION_LIST *plain = nullptr, *tail = nullptr;
    for (tagKAL_DORN_TYPE_INFO info : {tagKAL_DORN_TYPE_INFO{1, 1, 101}, {7, 100, 103}, {12345, 7, 102}})
        AddToUpdtInfoList(&info, 0, &plain, &tail);
    for (tagKAL_DORN_VERSION_LIST* input : {plain, static_cast<tagKAL_DORN_VERSION_LIST*>(nullptr)})
        for (unsigned int op : {0u, 1u, 2u, 3u}) {
            const std::string f = op == 0 ? ":0/0" : ":1/0";
            const std::string want = "eu000101.dat" + f + " eu0007100.dat" + f + " eu1234507_weekly.dat" + f;
            EXPECT_EQ(fx::outcome<Names>([&](Names** l, unsigned int* e) {
                          return *e = 0, KalDornConvertVersionListToFileList(3, op, input, l);
                      }),
                      !input ? "" : op == 3 ? "error 0" : want);
        }
    FreeUpdtInfoList(plain);
    tagKAL_DORN_TYPE_INFOEXA a;
    tagKAL_DORN_TYPE_INFOEXW w;
    std::memset(&a, 'x', sizeof a);
    std::memset(&w, 0x41, sizeof w);
    EXPECT_EQ(KalDornConvertVersionRecordExAToVersionRecordExW(1, &a, &w), 0);
    EXPECT_EQ(KalDornConvertVersionRecordExWToVersionRecordExA(1, &w, &a), 0);
}

// Each allocation of a whole call fails in turn: the call gives its full answer, fails and hands out nothing (outcome
// checks that), or answers as for an index it could not load (a client at 1.0; no source: none; "-": no such answer).
TEST(Faults, EveryFailedAllocationReleasesEverything) {
    fx::TempDir root;
    const std::string c = root.file("client"), s = root.file("source");
    fx::write_version_index(s, 1, fx::kExampleText, 8, 2);
    fx::write_version_index(c, 1, fx::kExampleText, 7, 2);
    fx::write_definitions(c, 4, 1, 1, {fx::def(1, 1, "a"), fx::def(2, 1, "b")});
    fx::write_definitions(s, 4, 2, 3, {fx::def(1, 2, "a"), fx::def(2, 1, "b"), fx::def(3, 1, "c")});
    fx::write_engine(root.file("engine"), 4, {{"b", "b", fx::Part::Damaged}});
    fx::install_sibling(c, KALDORN_SIBLING, "../engine");
    const auto call = [&](unsigned int product, bool oprid) {  // the internet, or operation 2
        if (oprid)
            return fx::outcome<Names>([&](Names** l, unsigned int* e) {
                return KaldornGetFileListFromOprIdForUpdateManagerA(product, 2, s.c_str(), s.c_str(), c.c_str(), l, e);
            });
        return fx::outcome<KAL_DORN_VERSION_LISTEXA>([&](KAL_DORN_VERSION_LISTEXA** l, unsigned int* e) {
            return KalDornGetDownloadVersionListForInternetExA(product, c.c_str(), s.c_str(), l, e);
        });
    };
    const struct { unsigned int product; bool oprid; std::string full, degraded; } rows[] = {
        {1, false, "iu000801.dat:0/0 iu000802.dat:0/0",
         "iu000303_monthly.dat:0/0 iu000603_monthly.dat:0/0 iu000703_weekly.dat:0/0 iu000801.dat:0/0 iu000802.dat:0/0"},
        {1, true, "iu000703_weekly.dat:1/0 iu000801.dat:1/0 iu000802.dat:1/0", ""},
        {4, false, "00000004_00000001.dat:0/1 00000004_00000003.dat:0/1 00000004_00000002.dat:1/0", "-"},
        {4, true, "00000004_00000001.dat:0/2 00000004_00000003.dat:1/0", "-"},
    };
    int failed = 0;
    for (const auto& row : rows)
        fx::each_allocation([&](long nth) {
            const std::string got = call(row.product, row.oprid);
            failed += got.rfind("error ", 0) == 0;
            EXPECT_TRUE(got == row.full || (nth > 0 && (got.rfind("error ", 0) == 0 || got == row.degraded)))
                << row.full << ", allocation " << nth << ": " << got;
        });
    EXPECT_GT(failed, 3);
}

}  // namespace

// Below the entry points (whose answers the C host pins): the selection rules through their builders,
// with the flags entry points never set; presence names; null arguments.
#include <sstream>

#include "fixtures.h"
#include "kaldorn/convert.h"

namespace {

using U = unsigned int;
using Entries = tagUPDT_VERSION_BUFFER*;

constexpr const char* kAll = "D1.1 D1.2 W1.3 D2.1 D2.2 W2.3 D3.1 D3.2 X3.3 D4.1 D4.2 W4.3 D5.1 D5.2 W5.3 D6.1 D6.2 "
                             "X6.3 D7.1 D7.2 W7.3 D8.1 D8.2";
constexpr const char* kKeep = "X3.3 W4.3 D5.1 D5.2 W5.3 D6.1 D6.2 X6.3 D7.1 D7.2 W7.3 D8.1 D8.2";
constexpr const char* kDelete = "D1.1 D1.2 W1.3 D2.1 D2.2 W2.3 D3.1 D3.2 D4.1 D4.2";
constexpr const char* kFrom10 = "X3.3 X6.3 W7.3 D8.1 D8.2";

enum Builder { kRule1, kRule4, kRule5, kRule2, kDeleteWindow, kPath };

// One builder's list for a client at v ("major.minor") of `text` ("error 0": it fails); the path builder looks in
// dir, marked its mode.
std::string build(Builder b, const std::string& text, const std::string& v, U marked, const std::string& dir = "") {
    tagUPDT_DAT_VERSION_INFO_MEM source{};
    source.stBuffer = {reinterpret_cast<unsigned char*>(const_cast<char*>(text.c_str())), U(text.size())};
    const tagKAL_DORN_DBVERSION_INFO client{U(std::stoul(v)), U(std::stoul(v.substr(v.find('.') + 1)))};
    return fx::outcome<tagKAL_DORN_VERSION_LIST>([&](tagKAL_DORN_VERSION_LIST** list, U* error) {
        *error = 0;
        switch (b) {
            case kRule1: case kRule2:
                return GetDownloadFileListForUpdateManager(marked, &source, &client, list, b == kRule2);
            case kRule4: case kRule5: return GetDownloadFileList(marked, &source, &client, list, b == kRule5);
            case kDeleteWindow: return GetDeleteFileListForUpdateManager(&source, &client, list);
            default: return GetDownloadFileListForPath(1, marked, dir.c_str(), &source, &client, list);
        }
    });
}

// Per client of a text: rules 1, 4 (internet) and 5 (2012), the keep and the delete window ("[N]": left
// with mark N, listed only with the include-marked flag 1; null: not asked).
TEST(Rules, WorkedExamplesThroughTheBuilders) {
    const std::string example = fx::kExampleText, monthlies = "110010;110010;1";
    const struct { std::string text, client; const char* want[5]; } rows[] = {
        {example, "1.0", {kAll, kFrom10, kFrom10, kKeep, kDelete}},
        {example, "1.1", {nullptr, "D1.2 W1.3[1] W2.3 X3.3[2] X6.3 W7.3 D8.1 D8.2", kFrom10, kKeep, kDelete}},
        {example, "4.1", {"D4.2 W4.3 D5.1 D5.2 W5.3 D6.1 D6.2 X6.3 D7.1 D7.2 W7.3 D8.1 D8.2",
                          "D4.2 W4.3[1] W5.3 X6.3[2] W7.3 D8.1 D8.2", "W4.3 W5.3 X6.3[2] W7.3 D8.1 D8.2",
                          "W4.3 D5.1 D5.2 W5.3 D6.1 D6.2 X6.3 D7.1 D7.2 W7.3 D8.1 D8.2", kDelete}},
        {example, "5.2", {nullptr, "W5.3[1] X6.3[2] W7.3 D8.1 D8.2", "W5.3 X6.3[2] W7.3 D8.1 D8.2",
                          "W5.3 D6.1 D6.2 X6.3 D7.1 D7.2 W7.3 D8.1 D8.2", kDelete}},
        {example, "6.3", {nullptr, "W7.3 D8.1 D8.2", "W7.3 D8.1 D8.2", "D7.1 D7.2 W7.3 D8.1 D8.2", "D4.1 D4.2"}},
        {example, "7.2", {"W7.3 D8.1 D8.2", "W7.3[1] D8.1 D8.2", "W7.3[1] D8.1 D8.2", "W7.3 D8.1 D8.2", "D4.1 D4.2"}},
        {example, "8.2", {"", "", "", "", "D4.1 D4.2"}},
        {"10001;0010;1", "1.1",
         {"W1.2 X2.1 D3.1", "W1.2[1] X2.1[2] D3.1", "W1.2[1] X2.1[2] D3.1", "W1.2 X2.1 D3.1", ""}},
        {monthlies, "1.1",
         {nullptr, "D1.2 X1.3[2] X2.3 D3.1", "X1.3 X2.3 D3.1", "X1.3 D2.1 D2.2 X2.3 D3.1", "D1.1 D1.2"}},
        {monthlies, "1.3", {"D2.1 D2.2 X2.3 D3.1", "X2.3 D3.1", "X2.3 D3.1", "D2.1 D2.2 X2.3 D3.1", "D1.1 D1.2"}},
        // Other bytes take an entry of their own and count in the series.
        {"1;0001;\n;1", "1.0",
         {"D1.1 ?0.0 W1.3 ?0.0 ?0.0 D2.3", "W1.3 D2.3", "W1.3 D2.3", "D1.1 ?0.0 W1.3 ?0.0 ?0.0 D2.3", ""}},
        {"", "1.0", {"", "", "", "", ""}},
    };
    for (const auto& row : rows)
        for (int b = kRule1; b <= kDeleteWindow; ++b)
            for (U marked : {0u, 1u, 2u}) {
                if (row.want[b] == nullptr) continue;
                std::string want, token;  // without the flag, the marked entries stay out
                for (std::istringstream all(row.want[b]); all >> token;)
                    if (marked == 1 || token.find('[') == std::string::npos) want += (want.empty() ? "" : " ") + token;
                EXPECT_EQ(build(Builder(b), row.text, row.client, marked), want)
                    << row.text << " at " << row.client << ", builder " << b << ", marked " << marked;
            }
}

// Mode 0 looks for "iu" names, mode 1 for ".inx" names ("gn", then "bk"), listing marked missing files.
TEST(Rules, LocalDirectoryTakesTheNewestFilePresentPerLevel) {
    fx::TempDir dir;
    const struct { std::vector<std::string> absent; std::string client; U mode; const char* want; } rows[] = {
        {{}, "1.0", 0, kFrom10},
        {{}, "4.1", 1, "X6.3 W7.3 D8.1 D8.2"},
        {{"iu000603_monthly.dat"}, "1.1", 0, "X3.3 W4.3 W5.3 W7.3 D8.1 D8.2"},
        {{"iu000603_monthly.dat"}, "1.1", 1, "X3.3 W4.3 W5.3 X6.3[2] W7.3 D8.1 D8.2"},
        {{"iu000103_weekly.dat", "iu000203_weekly.dat", "iu000403_weekly.dat", "iu000503_weekly.dat",
          "iu000703_weekly.dat"}, "1.0", 1, "X3.3 X6.3 D7.1 D7.2 W7.3[1] D8.1 D8.2"},
        {{"iu000801.dat"}, "1.0", 0, "error 0"},
        {{"iu000801.dat"}, "4.1", 1, "error 0"},
        {{"iu000801.dat"}, "8.1", 0, "D8.2"},
    };
    for (const auto& row : rows) {
        fx::fs::remove_all(dir.path());
        fx::write_update_files(dir.path(), 1, fx::kExampleText, row.absent);
        for (const std::string& name : kaldorn::publish::update_files(1, fx::kExampleText))
            if (fx::fs::exists(dir.path() / name)) fx::write_file(dir.path() / ("bk" + name.substr(2, 6) + ".inx"), "");
        EXPECT_EQ(build(kPath, fx::kExampleText, row.client, row.mode, dir.str() + "/"), row.want) << row.client;
    }
}

// Names by mode, variant and product behind a directory taken as a prefix; 260 bytes with the NUL are refused.
TEST(Rules, PresenceTestNames) {
    fx::TempDir dir;
    const std::string at = dir.str() + "/", slashes = at + std::string(247 - at.size(), '/');
    const struct { U product, variant, mode; tagKAL_DORN_TYPE_INFO record; std::string dir, name; } cases[] = {
        {1, 0, 0, {7, 3, 102}, at, "iu000703_weekly.dat"}, {3, 2, 0, {7, 3, 104}, at, "eu000703_monthly.dat"},
        {1, 1, 9, {12, 1, 101}, at, "iu001201.dat"},       {1, 0, 0, {12345, 123, 0}, at, "iu12345123.dat"},
        {1, 2, 1, {7, 3, 102}, at, "gn000703.inx"},         {3, 2, 1, {7, 3, 101}, at, "gn000703.inx"},
        {1, 1, 1, {7, 3, 102}, at, "bk000703.inx"},         {4, 1, 1, {7, 3, 102}, at, "ec000703.inx"},
        {1, 0, 0, {7, 3, 101}, dir.str(), "iu000703.dat"},  {1, 0, 0, {7, 3, 101}, slashes, "iu000703.dat"}};
    for (auto c : cases)
        for (int present : {0, 1}) {
            if (present) fx::write_file(c.dir + c.name, "");
            const unsigned char variant = static_cast<unsigned char>(c.variant);
            EXPECT_EQ(IsVersionFilePresent(c.product, c.dir.c_str(), variant, c.mode, &c.record), present) << c.name;
            if (present) fx::fs::remove(c.dir + c.name);
        }
    fx::write_file(at + "iu000703.da", "");
    tagKAL_DORN_TYPE_INFO record{7, 3, 101};
    EXPECT_EQ(IsVersionFilePresent(1, (slashes + "/").c_str(), 0, 0, &record), 0);
}

// Each pointer argument null in turn (N(i, p) is argument i): 0, the error code untouched and nothing handed out.
// The rules, given a null array or a count and start that describe none: 1, and no flag nor first index written.
TEST(Planning, NullArgumentsChangeNothing) {
    tagUPDT_DAT_VERSION_INFO_MEM src{};
    tagKAL_DORN_DBVERSION_INFO v{1, 0};
    tagKAL_DORN_TYPE_INFO record{1, 1, 101};
    tagKAL_DORN_TYPE_INFOEXA a{};
    tagKAL_DORN_TYPE_INFOEXW w{};
    tagKAL_DORN_VERSION_LIST* list = nullptr;
    tagKAL_DORN_VERSION_LISTEXA *ex = nullptr, node{};
    tagKAL_DORN_FILE_INFO_LISTA* names = nullptr;
    const auto wide = fx::wide("/nowhere");
    const unsigned short* d = wide.data();
    const char* s = "/";
#define N(i, p) (k == (i) ? nullptr : (p))
#define NULLED(n, ...) {n, [&](int k, U* e) { return (void)e, __VA_ARGS__; }}
    const std::pair<int, std::function<int(int, U*)>> rows[] = {
        NULLED(2, IsVersionFilePresent(1, N(0, s), 0, 0, N(1, &record))),
        NULLED(3, GetDownloadFileList(0, N(0, &src), N(1, &v), N(2, &list), 1)),
        NULLED(1, GetDownloadFileListForPath(1, 0, N(0, s), &src, &v, &list)),
        NULLED(4, KalDornGetDownloadVersionListForUpdateManagerLocal(1, N(0, d), N(1, d), N(2, &list), 0, 1, N(3, e))),
        NULLED(5, KalDornGetDownloadVersionListForPathLocal(1, N(0, s), N(1, s), N(2, s), N(3, &list), 0, N(4, e))),
        NULLED(4, KalDornGetDownloadVersionListForInternetLocal(1, N(0, s), N(1, s), N(2, &list), 0, 1, N(3, e))),
        NULLED(5, KaldornGetFileListFromOprIdForUpdateManagerLocalW(1, 1, N(0, d), N(1, d), N(2, d), N(3, &list),
                                                                    N(4, e))),
        NULLED(4, KalDornGetDownloadFilesListForSoloUpdt(4, 1, N(0, s), N(1, s), N(2, &ex), N(3, e))),
        NULLED(5, KaldornGetFileListFromOprIdForSoloUpdt(4, 1, N(0, s), N(1, s), N(2, s), N(3, &names), N(4, e))),
        NULLED(3, KalDornGetCurrentClientFilesListForSoloUpdt(4, N(0, s), N(1, &node), N(2, e))),
        NULLED(2, KalDornConvertVersionRecordToVersionRecordEx(1, N(0, &record), N(1, &a))),
        NULLED(2, KalDornConvertVersionRecordExAToVersionRecordExW(1, N(0, &a), N(1, &w))),
        NULLED(2, KalDornConvertVersionRecordExWToVersionRecordExA(1, N(0, &w), N(1, &a))),
        NULLED(1, KalDornConvertVersionListToVersionListEx(1, d, nullptr, N(0, &ex))),
        NULLED(1, KalDornConvertVersionListToFileList(1, 0, nullptr, N(0, &names))),
    };
#undef N
#undef NULLED
    for (size_t i = 0; i < std::size(rows); ++i)
        for (int k = 0; k < rows[i].first; ++k) {
            U error = 77;
            EXPECT_EQ(rows[i].second(k, &error), 0) << "row " << i << ", argument " << k;
            EXPECT_TRUE(error == 77 && list == nullptr && ex == nullptr && names == nullptr) << i;
        }
    tagUPDT_VERSION_BUFFER e[2] = {};
    e[0].chType = e[1].chType = 'X';
    int first = -7;
    const std::function<int(Entries, int, int)> rules[] = {
        NewParseExForUpdateManager, NewParseExForUpdateManagerEx2, NewParseExForInternet, NewParseExForInternet2012,
        [](Entries p, int n, int at) { return NewParseExForPath(1, "/no/", 0, p, n, at); },
        [&](Entries p, int n, int at) { return NewParseForUpdateManagerDeleteFile(p, n, at, &first); },
        [](Entries p, int n, int at) { return NewParseForUpdateManagerDeleteFile(p, n, at, nullptr); },
        [](Entries p, int n, int at) { return NewParseExForPath(1, nullptr, 0, p, n, at); }};
    for (auto [entries, count, start] : {std::tuple{e, 2, 2}, {e, 2, -2}, {e, -1, -1}, {nullptr, 2, -1}, {e, 2, -1}})
        for (size_t r = start == -1 && count == 2 && entries ? 6 : 0; r < std::size(rules); ++r) {  // 6, 7: nulls
            EXPECT_EQ(rules[r](entries, count, start), 1) << r << " at " << start;
            EXPECT_TRUE(first == -7 && !e[0].uchFlag && !e[0].uchSelected && !e[1].uchFlag && !e[1].uchSelected) << r;
        }
}

}  // namespace

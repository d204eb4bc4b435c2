// The download drivers over index DATs written on disk: every worked example
// of the selection rules, and each documented result code.
#include <algorithm>
#include <filesystem>

#include "plan_fixture.h"

namespace {

using plan::PlanTest;
using Drivers = PlanTest;

// Client version; internet rule (flag 0), internet 2012 rule (flag 1) and
// update-manager keep window (flag 1), marked entries listed with their mark.
struct ExampleRow {
    const char* client;
    const char* internet;
    const char* internet2012;
    const char* keep_window;
};
constexpr const char* kKeepFromStart = "X3.3 W4.3 D5.1 D5.2 W5.3 D6.1 D6.2 X6.3 D7.1 D7.2 W7.3 D8.1 D8.2";
constexpr const char* kAll =
    "D1.1 D1.2 W1.3 D2.1 D2.2 W2.3 D3.1 D3.2 X3.3 D4.1 D4.2 W4.3 D5.1 D5.2 W5.3 D6.1 D6.2 X6.3 D7.1 D7.2 W7.3 D8.1 D8.2";
const ExampleRow kExample[] = {
    {"1.0", "X3.3 X6.3 W7.3 D8.1 D8.2", "X3.3 X6.3 W7.3 D8.1 D8.2", kKeepFromStart},
    {"1.1", "D1.2 W1.3[1] W2.3 X3.3[2] X6.3 W7.3 D8.1 D8.2", "X3.3 X6.3 W7.3 D8.1 D8.2", kKeepFromStart},
    {"4.1", "D4.2 W4.3[1] W5.3 X6.3[2] W7.3 D8.1 D8.2", "W4.3 W5.3 X6.3[2] W7.3 D8.1 D8.2",
     "W4.3 D5.1 D5.2 W5.3 D6.1 D6.2 X6.3 D7.1 D7.2 W7.3 D8.1 D8.2"},
    {"5.2", "W5.3[1] X6.3[2] W7.3 D8.1 D8.2", "W5.3 X6.3[2] W7.3 D8.1 D8.2",
     "W5.3 D6.1 D6.2 X6.3 D7.1 D7.2 W7.3 D8.1 D8.2"},
    {"7.2", "W7.3[1] D8.1 D8.2", "W7.3[1] D8.1 D8.2", "W7.3 D8.1 D8.2"},
};

TEST_F(Drivers, ExampleTextForEveryClientVersion) {
    source_at("8.2");
    for (const ExampleRow& row : kExample) {
        client_at(row.client);
        EXPECT_EQ(internet(1, 0), row.internet) << row.client;
        EXPECT_EQ(internet(1, 1), row.internet2012) << row.client;
        EXPECT_EQ(manager(0, 1), row.keep_window) << row.client;
    }
    client_at("1.1");  // without the include-marked flag the marks stay out
    EXPECT_EQ(internet(0, 0), "D1.2 W2.3 X6.3 W7.3 D8.1 D8.2");
    client_at("4.1");
    EXPECT_EQ(manager(0, 0), "D4.2 W4.3 D5.1 D5.2 W5.3 D6.1 D6.2 X6.3 D7.1 D7.2 W7.3 D8.1 D8.2");
}

TEST_F(Drivers, SmallTexts) {
    source_at("3.1", "10001;0010;1");
    client_at("1.1");
    EXPECT_EQ(internet(1, 0), "W1.2[1] X2.1[2] D3.1");
    EXPECT_EQ(internet(1, 1), "W1.2[1] X2.1[2] D3.1");
    source_at("3.1", "110010;110010;1");
    EXPECT_EQ(internet(1, 0), "D1.2 X1.3[2] X2.3 D3.1");
    EXPECT_EQ(internet(1, 1), "X1.3 X2.3 D3.1");
    client_at("1.3");
    EXPECT_EQ(internet(1, 0), "X2.3 D3.1");
    EXPECT_EQ(internet(1, 1), "X2.3 D3.1");
}

// Update files on disk: mode 0 looks for "iu" names, mode 1 for ".inx"
// names and lists the marked entries of missing files.
TEST_F(Drivers, LocalDirectoryTakesTheNewestFilePresentPerLevel) {
    auto updates_all = fixtures::updates_of(fixtures::kExampleText);
    auto write = [&](std::vector<std::string> absent) {
        std::filesystem::remove_all(updates);
        fixtures::write_update_files(updates, 1, updates_all, absent);
        for (const auto& u : updates_all) {  // mode 1: "bk" names of the same updates
            std::string name = fixtures::update_file_name(1, u);
            bool skip = std::find(absent.begin(), absent.end(), name) != absent.end();
            if (!skip) fixtures::write_file(updates + "/bk" + name.substr(2, 6) + ".inx", {});
        }
    };
    source_at("8.2");
    write({});
    client_at("1.0");
    EXPECT_EQ(path(0), "X3.3 X6.3 W7.3 D8.1 D8.2");
    client_at("4.1");
    EXPECT_EQ(path(0), "X6.3 W7.3 D8.1 D8.2");
    write({"iu000603_monthly.dat"});
    client_at("1.1");
    EXPECT_EQ(path(0), "X3.3 W4.3 W5.3 W7.3 D8.1 D8.2");
    EXPECT_EQ(path(1), "X3.3 W4.3 W5.3 X6.3[2] W7.3 D8.1 D8.2");
    write({"iu000103_weekly.dat", "iu000203_weekly.dat", "iu000403_weekly.dat", "iu000503_weekly.dat",
           "iu000703_weekly.dat"});
    client_at("1.0");
    EXPECT_EQ(path(0), "X3.3 X6.3 D7.1 D7.2 D8.1 D8.2");
    EXPECT_EQ(path(1), "X3.3 X6.3 D7.1 D7.2 W7.3[1] D8.1 D8.2");
    write({"iu000801.dat"});
    for (const char* behind : {"1.0", "4.1", "7.3"}) {
        client_at(behind);
        EXPECT_EQ(path(0), "error 1005") << behind;
    }
    client_at("8.1");
    EXPECT_EQ(path(0), "D8.2");
}

TEST_F(Drivers, ResultCodes) {
    source_at("8.2");
    EXPECT_EQ(manager(0, 0), kAll);  // no client index: from the very beginning
    EXPECT_EQ(internet(0, 1), "X3.3 X6.3 W7.3 D8.1 D8.2");
    std::filesystem::create_directories(client);
    fixtures::write_file(client + "/00000001_index.dat", {1, 2, 3});  // damaged: counts as 1.0 too
    EXPECT_EQ(internet(0, 1), "X3.3 X6.3 W7.3 D8.1 D8.2");
    struct {
        const char* client;
        const char* outcome;
    } cases[] = {{"8.2", "error 1004"}, {"9.1", "error 1003"}, {"8.3", "error 1003"}, {"4.5", "error 1005"}};
    for (const auto& c : cases) {
        client_at(c.client);
        EXPECT_EQ(internet(0, 1), c.outcome) << c.client;
        EXPECT_EQ(manager(0, 0), c.outcome) << c.client;
        EXPECT_EQ(path(0), c.outcome) << c.client;
    }
    client_at("8.2");
    source_at("9.1");  // the client already holds the last entry of the text
    EXPECT_EQ(internet(0, 1), "error 1006");
    client_at("1.0");
    source_at("8.2", "1102");  // malformed text
    EXPECT_EQ(manager(0, 1), "error 1005");
    std::filesystem::remove(source + "/00000001_index.dat");
    EXPECT_EQ(internet(0, 1), "error 1001");
    EXPECT_EQ(manager(0, 1), "error 1001");
    EXPECT_EQ(path(0), "error 1001");
}

TEST_F(Drivers, DirectoriesWithAndWithoutSlashAndOtherProducts) {
    product = 10;  // 0000000a_index.dat
    source_at("1.2", "11");
    client_at("1.1");
    EXPECT_EQ(internet(0, 1, client + "/", source), "D1.2");
    EXPECT_EQ(manager(0, 0, client, source + "/"), "D1.2");
    EXPECT_TRUE(std::filesystem::exists(source + "/0000000a_index.dat"));
}

// dir + "/" + 18-character name + NUL must fit in 260 bytes: a directory of
// 240 characters fits (the file is then simply absent), longer ones are
// refused before anything is read; update directories keep room for the
// longest update file name (36 bytes).
TEST_F(Drivers, OverlongDirectoriesAreRefused) {
    source_at("8.2");
    client_at("1.0");
    for (size_t length : {240u, 241u, 258u, 259u, 260u, 261u, 5000u}) {
        std::string longer = "/" + std::string(length - 1, 'd');
        std::string want = length == 240 ? "error 1001" : "error 1007";
        EXPECT_EQ(internet(0, 1, client, longer), want) << length;
        EXPECT_EQ(manager(0, 1, client, longer), want) << length;
        EXPECT_EQ(internet(0, 1, longer, source), length == 240 ? "X3.3 X6.3 W7.3 D8.1 D8.2" : want) << length;
        EXPECT_EQ(manager(0, 1, longer, source), length == 240 ? kKeepFromStart : want) << length;
    }
    EXPECT_EQ(path(0, "/" + std::string(221, 'u')), "error 1005");  // 222 + "/" + 36 < 260: looked in, empty
    EXPECT_EQ(path(0, "/" + std::string(222, 'u')), "error 1007");
    EXPECT_EQ(path(0, std::string(300, 'u')), "error 1007");
}

TEST_F(Drivers, NullArgumentsWriteNothing) {
    tagKAL_DORN_VERSION_LIST* list = reinterpret_cast<tagKAL_DORN_VERSION_LIST*>(this);
    unsigned int error = 77;
    auto w = plan::wide(client);
    EXPECT_EQ(KalDornGetDownloadVersionListForInternetLocal(1, nullptr, "s", &list, 0, 1, &error), 0);
    EXPECT_EQ(KalDornGetDownloadVersionListForUpdateManagerLocal(1, w.data(), w.data(), nullptr, 0, 1, &error), 0);
    EXPECT_EQ(KalDornGetDownloadVersionListForPathLocal(1, "c", "s", nullptr, &list, 0, &error), 0);
    EXPECT_EQ(KalDornGetDownloadVersionListForPathLocal(1, "c", "s", "u", &list, 0, nullptr), 0);
    EXPECT_EQ(error, 77u);
    EXPECT_EQ(list, reinterpret_cast<tagKAL_DORN_VERSION_LIST*>(this));
}

}  // namespace

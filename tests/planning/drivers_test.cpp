// The download drivers over index DATs written on disk: every worked example
// of the selection rules, and each documented result code.
#include <filesystem>

#include "plan_fixture.h"

namespace {

using Drivers = plan::PlanTest;

constexpr const char* kAll =
    "D1.1 D1.2 W1.3 D2.1 D2.2 W2.3 D3.1 D3.2 X3.3 D4.1 D4.2 W4.3 D5.1 D5.2 W5.3 D6.1 D6.2 X6.3 D7.1 D7.2 W7.3 D8.1 D8.2";
constexpr const char* kKeepFromStart = "X3.3 W4.3 D5.1 D5.2 W5.3 D6.1 D6.2 X6.3 D7.1 D7.2 W7.3 D8.1 D8.2";

TEST_F(Drivers, ExampleTextForEveryClientVersion) {
    // Client; internet rule, 2012 rule and keep window, marks listed.
    const char* rows[][4] = {
        {"1.0", "X3.3 X6.3 W7.3 D8.1 D8.2", "X3.3 X6.3 W7.3 D8.1 D8.2", kKeepFromStart},
        {"1.1", "D1.2 W1.3[1] W2.3 X3.3[2] X6.3 W7.3 D8.1 D8.2", "X3.3 X6.3 W7.3 D8.1 D8.2", kKeepFromStart},
        {"4.1", "D4.2 W4.3[1] W5.3 X6.3[2] W7.3 D8.1 D8.2", "W4.3 W5.3 X6.3[2] W7.3 D8.1 D8.2",
         "W4.3 D5.1 D5.2 W5.3 D6.1 D6.2 X6.3 D7.1 D7.2 W7.3 D8.1 D8.2"},
        {"5.2", "W5.3[1] X6.3[2] W7.3 D8.1 D8.2", "W5.3 X6.3[2] W7.3 D8.1 D8.2",
         "W5.3 D6.1 D6.2 X6.3 D7.1 D7.2 W7.3 D8.1 D8.2"},
        {"7.2", "W7.3[1] D8.1 D8.2", "W7.3[1] D8.1 D8.2", "W7.3 D8.1 D8.2"}};
    source_at("8.2");
    for (auto& row : rows) {
        client_at(row[0]);
        EXPECT_EQ(internet(1, 0), row[1]) << row[0];
        EXPECT_EQ(internet(1, 1), row[2]) << row[0];
        EXPECT_EQ(manager(0, 1), row[3]) << row[0];
    }
    client_at("1.1");  // without the include-marked flag the marks stay out
    EXPECT_EQ(internet(0, 0), "D1.2 W2.3 X6.3 W7.3 D8.1 D8.2");
    client_at("4.1");
    EXPECT_EQ(manager(0, 0), std::string(kAll).substr(std::string(kAll).find("D4.2")));
}

TEST_F(Drivers, SmallTextsAndBytesThatAreNoToken) {
    client_at("1.1");
    source_at("3.1", "10001;0010;1");
    EXPECT_EQ(internet(1, 0), "W1.2[1] X2.1[2] D3.1");
    EXPECT_EQ(internet(1, 1), "W1.2[1] X2.1[2] D3.1");
    source_at("3.1", "110010;110010;1");
    EXPECT_EQ(internet(1, 0), "D1.2 X1.3[2] X2.3 D3.1");
    EXPECT_EQ(internet(1, 1), "X1.3 X2.3 D3.1");
    client_at("1.3");
    EXPECT_EQ(internet(1, 0), "X2.3 D3.1");
    EXPECT_EQ(internet(1, 1), "X2.3 D3.1");
    client_at("1.0");  // other bytes, stray ';' among them, take zero entries of their own
    source_at("2.3", "1;0001;\n;1");
    EXPECT_EQ(manager(0, 0), "D1.1 ?0.0 W1.3 ?0.0 ?0.0 D2.3");
    EXPECT_EQ(internet(0, 1), "W1.3 D2.3");
}

// Mode 0 looks for "iu" names; mode 1 for ".inx" names, listing the marked
// entries of missing files.
TEST_F(Drivers, LocalDirectoryTakesTheNewestFilePresentPerLevel) {
    auto write = [&](std::vector<std::string> absent) {
        std::filesystem::remove_all(updates);
        auto all = fixtures::updates_of(fixtures::kExampleText);
        fixtures::write_update_files(updates, 1, all, absent);
        for (const auto& u : all) {  // the mode 1 name of each file present
            std::string name = fixtures::update_file_name(1, u);
            if (std::filesystem::exists(updates + "/" + name))
                fixtures::write_file(updates + "/bk" + name.substr(2, 6) + ".inx", {});
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
    std::filesystem::create_directories(client);
    fixtures::write_file(client + "/00000001_index.dat", {1, 2, 3});  // a damaged one: the same
    EXPECT_EQ(internet(0, 1), "X3.3 X6.3 W7.3 D8.1 D8.2");
    for (auto [version, code] : {std::pair{"8.2", "error 1004"}, {"9.1", "error 1003"}, {"8.3", "error 1003"},
                                 {"4.5", "error 1005"}}) {
        client_at(version);
        EXPECT_EQ(internet(0, 1), code) << version;
        EXPECT_EQ(manager(0, 0), code) << version;
        EXPECT_EQ(path(0), code) << version;
    }
    client_at("8.2");
    source_at("9.1");  // the client already holds the last entry of the text
    EXPECT_EQ(internet(0, 1), "error 1006");
    client_at("1.0");
    source_at("8.2", "1102");
    EXPECT_EQ(manager(0, 1), "error 1005");
    std::filesystem::remove(source + "/00000001_index.dat");
    EXPECT_EQ(internet(0, 1) + manager(0, 1) + path(0), "error 1001error 1001error 1001");
    auto* list = reinterpret_cast<tagKAL_DORN_VERSION_LIST*>(this);  // null arguments: nothing written
    unsigned int error = 77;
    EXPECT_EQ(KalDornGetDownloadVersionListForInternetLocal(1, nullptr, "s", &list, 0, 1, &error) +
                  KalDornGetDownloadVersionListForUpdateManagerLocal(1, plan::wide("c").data(), nullptr, &list, 0, 1,
                                                                     &error) +
                  KalDornGetDownloadVersionListForPathLocal(1, "c", "s", nullptr, &list, 0, &error) +
                  KalDornGetDownloadVersionListForPathLocal(1, "c", "s", "u", &list, 0, nullptr),
              0);
    EXPECT_TRUE(error == 77 && list == reinterpret_cast<tagKAL_DORN_VERSION_LIST*>(this));
    product = 10;  // 0000000a_index.dat, found with or without a final "/"
    source_at("1.2", "11");
    client_at("1.1");
    EXPECT_EQ(internet(0, 1, client + "/", source) + manager(0, 0, client, source + "/"), "D1.2D1.2");
}

// dir + "/" + 18-character name + NUL must fit in 260 bytes: 240 characters
// fit (the file is then simply absent), more are refused before anything is
// read; the update directory keeps room for the longest name (36 bytes).
TEST_F(Drivers, OverlongDirectoriesAreRefused) {
    source_at("8.2");
    client_at("1.0");
    for (size_t length : {240u, 241u, 259u, 260u, 5000u}) {
        std::string longer = std::string("/").append(length - 1, 'd');
        std::string refused = length == 240 ? "error 1001" : "error 1007";
        EXPECT_EQ(internet(0, 1, client, longer) + manager(0, 1, client, longer), refused + refused) << length;
        EXPECT_EQ(internet(0, 1, longer, source), length == 240 ? "X3.3 X6.3 W7.3 D8.1 D8.2" : refused) << length;
        EXPECT_EQ(manager(0, 1, longer, source), length == 240 ? kKeepFromStart : refused) << length;
    }
    EXPECT_EQ(path(0, "/" + std::string(221, 'u')), "error 1005");  // looked in: empty
    EXPECT_EQ(path(0, "/" + std::string(222, 'u')), "error 1007");
}

}  // namespace

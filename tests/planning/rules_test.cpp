// What the rules do outside the worked examples (those run through the
// drivers): bad arguments, and the names the presence test looks for.
#include <filesystem>

#include "plan_fixture.h"

namespace {

// The newest client and empty texts run through the builders; here, what
// describes no array: 1, and not a flag written.
TEST(Rules, ArgumentsThatDescribeNoArrayChangeNothing) {
    using Rule = int (*)(tagUPDT_VERSION_BUFFER*, int, int);
    auto path_rule = [](tagUPDT_VERSION_BUFFER* e, int n, int s) { return NewParseExForPath(1, "/no/", 0, e, n, s); };
    tagUPDT_VERSION_BUFFER e[2] = {};
    e[0].chType = e[1].chType = 'X';
    int first = -7;
    for (Rule rule : {NewParseExForUpdateManager, NewParseExForUpdateManagerEx2, NewParseExForInternet,
                      NewParseExForInternet2012, static_cast<Rule>(path_rule)}) {
        for (auto [count, start] : {std::pair{2, 2}, {2, -2}, {-1, -1}}) EXPECT_EQ(rule(e, count, start), 1);
        EXPECT_EQ(rule(nullptr, 2, -1), 1);
    }
    EXPECT_EQ(NewParseForUpdateManagerDeleteFile(e, 2, 5, &first) + NewParseForUpdateManagerDeleteFile(e, 2, 0, nullptr) +
                  NewParseExForPath(1, nullptr, 0, e, 2, -1),
              3);
    EXPECT_EQ(first, -7);
    for (const auto& entry : e) EXPECT_EQ(entry.uchFlag + entry.uchSelected, 0);
}

TEST(Rules, PresenceTestNames) {
    fixtures::TempDir dir;
    std::string prefix = dir.str() + "/";
    struct {
        unsigned int product;
        unsigned char variant;
        unsigned int mode;
        tagKAL_DORN_TYPE_INFO record;
        const char* name;
    } cases[] = {
        {1, 0, 0, {7, 3, 102}, "iu000703_weekly.dat"}, {3, 2, 0, {7, 3, 104}, "eu000703_monthly.dat"},
        {1, 1, 9, {12, 1, 101}, "iu001201.dat"},       {1, 0, 0, {12345, 123, 0}, "iu12345123.dat"},
        {1, 2, 1, {7, 3, 102}, "gn000703.inx"},         {3, 2, 1, {7, 3, 101}, "gn000703.inx"},
        {1, 1, 1, {7, 3, 102}, "bk000703.inx"},         {4, 1, 1, {7, 3, 102}, "ec000703.inx"}};
    for (auto& c : cases) {
        EXPECT_EQ(IsVersionFilePresent(c.product, prefix.c_str(), c.variant, c.mode, &c.record), 0) << c.name;
        fixtures::write_file(prefix + c.name, {});
        EXPECT_EQ(IsVersionFilePresent(c.product, prefix.c_str(), c.variant, c.mode, &c.record), 1) << c.name;
        std::filesystem::remove(prefix + c.name);
    }
    tagKAL_DORN_TYPE_INFO record{7, 3, 101};
    fixtures::write_file(dir.str() + "iu000703.dat", {});  // the directory is a prefix, used unchanged
    EXPECT_EQ(IsVersionFilePresent(1, dir.str().c_str(), 0, 0, &record), 1);
    fixtures::write_file(prefix + "iu000703.dat", {});  // 12 characters behind a prefix of slashes
    std::string fits = prefix + std::string(247 - prefix.size(), '/');
    EXPECT_EQ(IsVersionFilePresent(1, fits.c_str(), 0, 0, &record), 1);
    EXPECT_EQ(IsVersionFilePresent(1, (fits + "/").c_str(), 0, 0, &record), 0);  // 260 bytes with the NUL
    EXPECT_EQ(IsVersionFilePresent(1, nullptr, 0, 0, &record) + IsVersionFilePresent(1, "/", 0, 0, nullptr), 0);
}

}  // namespace

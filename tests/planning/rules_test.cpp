// What the rules do outside the worked examples (those run through the
// drivers): arrays with nothing after the client, bad arguments, and the
// names the presence test looks for.
#include <filesystem>
#include <vector>

#include "plan_fixture.h"

namespace {

std::vector<tagUPDT_VERSION_BUFFER> decode(const std::string& text) {
    std::vector<tagUPDT_VERSION_BUFFER> entries(text.size() + 1);
    tagUPDT_BUFFER_DATA data{reinterpret_cast<unsigned char*>(const_cast<char*>(text.data())),
                             static_cast<unsigned int>(text.size())};
    unsigned int n = 0;
    EXPECT_EQ(ConvertDATBufferFormat(&data, entries.data(), static_cast<unsigned int>(entries.size()), &n), 1);
    entries.resize(n);
    return entries;
}

bool untouched(const std::vector<tagUPDT_VERSION_BUFFER>& entries) {
    for (const auto& e : entries)
        if (e.uchFlag != 0 || e.uchSelected != 0) return false;
    return true;
}

using Rule = int (*)(tagUPDT_VERSION_BUFFER*, int, int);
int path_rule(tagUPDT_VERSION_BUFFER* e, int n, int s) { return NewParseExForPath(1, "/nonexistent/", 0, e, n, s); }
const Rule kRules[] = {NewParseExForUpdateManager, NewParseExForUpdateManagerEx2, NewParseExForInternet,
                       NewParseExForInternet2012, path_rule};

TEST(Rules, NothingAfterTheClientMeansNothingFlagged) {
    for (Rule rule : kRules) {
        auto entries = decode(fixtures::kExampleText);
        EXPECT_EQ(rule(entries.data(), 23, 22), 1);
        EXPECT_TRUE(untouched(entries));
        EXPECT_EQ(rule(entries.data(), 0, -1), 1);
        EXPECT_EQ(rule(nullptr, 23, -1), 1);
        for (int bad_start : {23, -2, 1000}) EXPECT_EQ(rule(entries.data(), 23, bad_start), 1);
        EXPECT_EQ(rule(entries.data(), -1, -1), 1);
        EXPECT_TRUE(untouched(entries));
    }
    EXPECT_EQ(NewParseExForPath(1, nullptr, 0, decode("1").data(), 1, -1), 1);
}

TEST(Rules, DeleteWindowStartsAtTheSecondMonthlyBack) {
    auto entries = decode(fixtures::kExampleText);
    int first = -7;
    struct {
        int start, first;
    } cases[] = {{22, 8}, {17, 8}, {13, 0}, {-1, 0}};
    for (auto c : cases) {
        entries = decode(fixtures::kExampleText);
        ASSERT_EQ(NewParseForUpdateManagerDeleteFile(entries.data(), 23, c.start, &first), 1);
        EXPECT_EQ(first, c.first) << c.start;
    }
    first = -7;
    EXPECT_EQ(NewParseForUpdateManagerDeleteFile(entries.data(), 0, -1, &first), 1);
    EXPECT_EQ(first, 0);
    entries = decode(fixtures::kExampleText);
    EXPECT_EQ(NewParseForUpdateManagerDeleteFile(entries.data(), 23, 5, nullptr), 1);
    EXPECT_TRUE(untouched(entries));
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
        {1, 0, 0, {7, 3, 102}, "iu000703_weekly.dat"},  {3, 2, 0, {7, 3, 104}, "eu000703_monthly.dat"},
        {1, 1, 9, {12, 1, 101}, "iu001201.dat"},        {1, 0, 0, {12345, 123, 0}, "iu12345123.dat"},
        {1, 2, 1, {7, 3, 102}, "gn000703.inx"},          {3, 2, 1, {7, 3, 101}, "gn000703.inx"},
        {1, 1, 1, {7, 3, 102}, "bk000703.inx"},          {4, 1, 1, {7, 3, 102}, "ec000703.inx"},
    };
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
    EXPECT_EQ(IsVersionFilePresent(1, nullptr, 0, 0, &record), 0);
    EXPECT_EQ(IsVersionFilePresent(1, "/", 0, 0, nullptr), 0);
}

}  // namespace

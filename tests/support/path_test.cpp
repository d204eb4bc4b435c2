// Bounded path joining: exactly one "/", never past the buffer.
#include <string>

#include <gtest/gtest.h>

#include "support/path.h"

namespace {

using kaldorn::detail::join_path;

TEST(JoinPath, AddsOneSlashOnlyWhenMissing) {
    char out[260];
    ASSERT_TRUE(join_path(out, sizeof out, "/a/b", "f.dat"));
    EXPECT_STREQ(out, "/a/b/f.dat");
    ASSERT_TRUE(join_path(out, sizeof out, "/a/b/", "f.dat"));
    EXPECT_STREQ(out, "/a/b/f.dat");
}

TEST(JoinPath, RefusesWhatDoesNotFitIncludingTheExactBoundary) {
    char out[260];
    std::string name = "00000001_index.dat";
    // dir + "/" + name + NUL == 260 fits; one more byte does not.
    std::string dir(260 - 1 - 1 - name.size(), 'd');
    ASSERT_TRUE(join_path(out, sizeof out, dir.c_str(), name.c_str()));
    EXPECT_EQ(std::string(out).size(), 259u);
    dir += 'd';
    EXPECT_FALSE(join_path(out, sizeof out, dir.c_str(), name.c_str()));
    EXPECT_STREQ(out, "");
    EXPECT_FALSE(join_path(out, sizeof out, std::string(5000, 'x').c_str(), "a"));
}

}  // namespace

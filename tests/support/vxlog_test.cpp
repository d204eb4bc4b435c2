// CVXLogger: exact line bytes, file mode and failure silence.
#include <string>

#include <gtest/gtest.h>

#include "datwriter.h"
#include "kaldorn/vxlog.h"
#include "alloc_faults.h"

namespace {

std::string contents(const std::string& path) {
    auto b = fixtures::read_file(path);
    return std::string(b.begin(), b.end());
}

// Each line: prefix ("UNKNOWN" when none), one blank, the message cut to
// 1023 characters, CR LF; appended behind what the file held.
TEST(Logger, LineBytesAndAppending) {
    const struct {
        const char* prefix;
        std::string before, message, after;
    } cases[] = {{"Setup", "", "hello", "Setup hello\r\n"},
                 {nullptr, "old\n", "n=1", "old\nUNKNOWN n=1\r\n"},
                 {"P", "", std::string(3000, 'x'), "P " + std::string(1023, 'x') + "\r\n"}};
    for (const auto& c : cases) {
        fixtures::TempDir dir;
        if (!c.before.empty()) fixtures::write_file(dir.file("a.log"), {c.before.begin(), c.before.end()});
        CVXLogger log(dir.file("a.log").c_str(), "mod", c.prefix);
        log.WriteToLog(7, "%s", c.message.c_str());
        EXPECT_EQ(contents(dir.file("a.log")), c.after) << c.after.substr(0, 20);
        if (c.before.empty()) {
            EXPECT_EQ(std::filesystem::status(dir.file("a.log")).permissions(), std::filesystem::perms(0600));
        }
    }
    fixtures::TempDir dir;  // one logger, two lines
    CVXLogger log(dir.file("a.log").c_str(), nullptr, nullptr);
    log.WriteToLog(7, "n=%d", 1);
    log.WriteToLog(8, "%s", "");
    EXPECT_EQ(contents(dir.file("a.log")), "UNKNOWN n=1\r\nUNKNOWN \r\n");
}

// A write or the seek failing at each point in turn: the old lines stay, the
// new one is incomplete and no descriptor stays open.
TEST(Logger, FailedWritesAndSeeksCutTheLineShort) {
    fixtures::TempDir dir;
    const std::string old = "old\r\n", whole = old + "P m\r\n";
    for (auto inject : {kaldorn::testing::fail_write, kaldorn::testing::fail_seek}) {
        int fds = 0;
        auto call = [&] {
            fixtures::write_file(dir.file("a.log"), {old.begin(), old.end()});
            fds = fixtures::open_descriptor_count();
            CVXLogger(dir.file("a.log").c_str(), nullptr, "P").WriteToLog(0, "m");
            return 0;
        };
        faults::until_through(inject, call, [&](long nth, int) {
            EXPECT_EQ(fixtures::open_descriptor_count(), fds);
            std::string now = contents(dir.file("a.log"));
            EXPECT_EQ(now.compare(0, old.size(), old), 0) << nth << ": " << now;
            if (now == whole) return true;
            EXPECT_LT(now.size(), whole.size()) << nth << ": " << now;
            return false;
        });
    }
}

TEST(Logger, NullFormatAndMissingDirectoryWriteNothing) {
    fixtures::TempDir dir;
    CVXLogger log(dir.file("a.log").c_str(), nullptr, "P");
    log.WriteToLog(0, nullptr);
    EXPECT_FALSE(std::filesystem::exists(dir.file("a.log")));
    CVXLogger lost(dir.file("no/such/dir/a.log").c_str(), nullptr, "P");
    int fds = fixtures::open_descriptor_count();
    lost.WriteToLog(0, "x");
    EXPECT_EQ(fixtures::open_descriptor_count(), fds);
    EXPECT_FALSE(std::filesystem::exists(dir.file("no")));
}

TEST(Logger, OverlongStringsNeverOverrunTheMembers) {
    fixtures::TempDir dir;
    std::string long_prefix(400, 'p');
    CVXLogger log(dir.file("a.log").c_str(), std::string(500, 'm').c_str(), long_prefix.c_str());
    log.WriteToLog(0, "m");
    EXPECT_EQ(contents(dir.file("a.log")), std::string(259, 'p') + " m\r\n");
    // A path that does not fit is refused rather than cut to another name.
    std::string long_path = dir.str() + "/" + std::string(300, 'f');
    CVXLogger refused(long_path.c_str(), nullptr, "P");
    refused.WriteToLog(0, "m");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

}  // namespace

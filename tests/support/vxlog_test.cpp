// CVXLogger: exact line bytes, file mode, members that never overrun, and
// silence on every failure.
#include "fixtures.h"
#include "kaldorn/vxlog.h"
#include "support/fileio.h"

namespace {

std::string text(const std::string& path) {
    const fx::Bytes b = fx::read_file(path);
    return std::string(b.begin(), b.end());
}

// Each line: prefix ("UNKNOWN" when none; cut to 259 bytes), one blank, the
// message cut to 1023 characters, CR LF; appended behind what the file held.
TEST(Logger, LineBytesAndAppending) {
    const std::string p(259, 'p'), pq = p + "q", x(1023, 'x');
    const struct {
        const char* prefix;
        std::string before, message, after;
    } cases[] = {{"Setup", "", "hello", "Setup hello\r\n"}, {nullptr, "old\n", "n=1", "old\nUNKNOWN n=1\r\n"},
                 {"P", "", x + "yy", "P " + x + "\r\n"}, {"", "", "", " \r\n"}, {pq.c_str(), "", "m", p + " m\r\n"}};
    for (const auto& c : cases) {
        fx::TempDir dir;
        if (!c.before.empty()) fx::write_file(dir.file("a.log"), c.before);
        CVXLogger log(dir.file("a.log").c_str(), std::string(500, 'm').c_str(), c.prefix);
        log.WriteToLog(7, "%s", c.message.c_str());
        log.WriteToLog(8, "%s", c.message.c_str());
        EXPECT_EQ(text(dir.file("a.log")), c.after + c.after.substr(c.before.size())) << c.after.substr(0, 20);
        EXPECT_TRUE(!c.before.empty() || fx::fs::status(dir.file("a.log")).permissions() == fx::fs::perms(0600));
    }
}

// A write or the seek failing at each point in turn: the old lines stay, the
// new one is incomplete and no descriptor stays open. A null format, a
// missing directory and a path too long for the member (refused rather than
// cut to another name) write nothing.
TEST(Logger, FailuresWriteLessOrNothing) {
    fx::TempDir dir;
    const std::string old = "old\r\n", whole = old + "P m\r\n";
    for (auto inject : {kaldorn::testing::fail_write, kaldorn::testing::fail_seek}) {
        size_t fds = 0;
        const auto call = [&] {
            fx::write_file(dir.file("a.log"), old);
            fds = fx::descriptor_count();
            CVXLogger(dir.file("a.log").c_str(), nullptr, "P").WriteToLog(0, "m");
            return 0;
        };
        fx::until_through(inject, call, [&](long, int) {
            const std::string now = text(dir.file("a.log"));
            EXPECT_EQ(fx::descriptor_count(), fds);
            EXPECT_TRUE(now == whole || (now.size() < whole.size() && now.compare(0, old.size(), old) == 0)) << now;
            return now == whole;
        });
    }
    fx::fs::remove(dir.file("a.log"));
    const size_t fds = fx::descriptor_count();
    CVXLogger(dir.file("a.log").c_str(), nullptr, "P").WriteToLog(0, nullptr);
    CVXLogger(dir.file("no/such/dir/a.log").c_str(), nullptr, "P").WriteToLog(0, "x");
    CVXLogger((dir.str() + "/" + std::string(300, 'f')).c_str(), nullptr, "P").WriteToLog(0, "m");
    EXPECT_EQ(fx::descriptor_count(), fds);
    EXPECT_TRUE(fx::fs::is_empty(dir.path()));
}

}  // namespace

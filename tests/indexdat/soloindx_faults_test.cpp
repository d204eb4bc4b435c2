// Faults in the definition writers: a write or seek failing at each point in
// turn, the process killed at each write, and the writes in place where no
// copy can be made. A call that does not complete leaves the old file byte
// for byte (or no file where there was none); one that completes leaves the
// whole new file and nothing else in the directory.
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "defs_support.h"

namespace {

namespace fs = std::filesystem;
using fixtures::Bytes;
using Contents = std::optional<Bytes>;

const VXDEFDATE kDate{0x01020304, 0x0506, 0x07};

struct Writer {
    const char* what;
    bool creates;  // the file does not exist before the call
    int (*call)(const char* path);
};

int append(const char* path, const char* name) {
    char file[32];
    unsigned int id = 0, err = 0;
    return GetDefEntryFromDatFile(4, path, name, 1, file, sizeof file, &id, &err);
}

const Writer kWriters[] = {
    {"stamp", false, [](const char* p) { unsigned int e = 0; return UpdateSoloIndexDatFile(p, 7, &e); }},
    {"modify", false, [](const char* p) { unsigned int e = 0; return ModifyDefEntryFromDatFile(p, 2, &kDate, 42, 0, &e); }},
    {"append", false, [](const char* p) { return append(p, "delta"); }},
    {"create", true, [](const char* p) { return append(p, "first"); }},
};

class DefWriterFaults : public ::testing::Test {
protected:
    fixtures::TempDir dir;
    std::string path = dir.file("00000004_index.dat");
    const Bytes old_bytes = fixtures::build_definition_dat(defs_test::three_records());

    // Empties the directory (a killed call may leave its copy behind) and
    // puts the old file back.
    void reset(const Writer& w) {
        for (const auto& e : std::vector<fs::directory_entry>(fs::directory_iterator(dir.path()), {})) fs::remove(e);
        if (!w.creates) fixtures::write_file(path, old_bytes);
    }
    Contents now() const { return fs::exists(path) ? Contents(fixtures::read_file(path)) : std::nullopt; }
    Contents before(const Writer& w) const { return w.creates ? std::nullopt : Contents(old_bytes); }
    size_t files() const { return static_cast<size_t>(std::distance(fs::directory_iterator(dir.path()), {})); }
    Bytes after(const Writer& w) {
        reset(w);
        EXPECT_EQ(w.call(path.c_str()), 1) << w.what;
        defs_test::expect_readable(path);
        return fixtures::read_file(path);
    }
};

TEST_F(DefWriterFaults, AFailedWriteOrSeekLeavesTheOldFile) {
    for (const Writer& w : kWriters) {
        const Bytes whole = after(w);
        for (auto inject : {kaldorn::testing::fail_write, kaldorn::testing::fail_seek}) {
            int fds = 0;
            auto call = [&] {
                reset(w);
                fds = fixtures::open_descriptor_count();
                return w.call(path.c_str());
            };
            long last = faults::until_through(inject, call, [&](long nth, int result) {
                EXPECT_EQ(fixtures::open_descriptor_count(), fds) << w.what << " at " << nth;
                EXPECT_EQ(now(), result == 1 ? Contents(whole) : before(w)) << w.what << " at " << nth;
                EXPECT_EQ(files(), result == 1 || !w.creates ? 1u : 0u) << w.what << " left a copy at " << nth;
                return result == 1;
            });
            if (inject == kaldorn::testing::fail_write) {
                EXPECT_GE(last, 4) << w.what;  // the copy, the records or header, the lead block
            }
        }
    }
}

TEST_F(DefWriterFaults, AProcessKilledAtAnyWriteLeavesTheOldFileOrTheNewOne) {
    for (const Writer& w : kWriters) {
        const Bytes whole = after(w);
        for (long nth = 1;; ++nth) {
            reset(w);
            pid_t child = ::fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                kaldorn::testing::kill_at_write(nth);
                ::_exit(w.call(path.c_str()) == 1 ? 0 : 1);
            }
            int status = 0;
            ASSERT_EQ(::waitpid(child, &status, 0), child);
            Contents left = now();
            if (WIFEXITED(status)) {  // no write left to kill it at
                EXPECT_EQ(WEXITSTATUS(status), 0) << w.what;
                EXPECT_EQ(left, Contents(whole)) << w.what;
                break;
            }
            ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << w.what;
            EXPECT_TRUE(left == before(w) || left == Contents(whole)) << w.what << " killed at write " << nth;
            ASSERT_LT(nth, 10000) << w.what;
        }
    }
}

// Where the copy's hidden name (".<name>.XXXXXX") would exceed the 255-byte
// limit on a name, and for links, the writers work on the file in place: same
// result, same links.
TEST_F(DefWriterFaults, WritesInPlaceWhereACopyCannotReplaceTheFile) {
    const std::string long_path = dir.file(std::string(250, 'd') + ".dat");
    const std::string link = dir.file("link.dat"), second = dir.file("second.dat");
    for (const Writer& w : kWriters) {
        const Bytes whole = after(w);
        reset(w);
        fs::remove(path);
        if (!w.creates) fixtures::write_file(long_path, old_bytes);
        ASSERT_EQ(w.call(long_path.c_str()), 1) << w.what;
        EXPECT_EQ(fixtures::read_file(long_path), whole) << w.what;
        EXPECT_EQ(files(), 1u) << w.what;
        if (w.creates) continue;

        reset(w);
        fs::create_symlink(path, link);
        ASSERT_EQ(w.call(link.c_str()), 1) << w.what;
        EXPECT_TRUE(fs::is_symlink(link)) << w.what;
        EXPECT_EQ(fixtures::read_file(path), whole) << w.what;
        fs::remove(link);
        fs::create_hard_link(path, second);
        ASSERT_EQ(w.call(second.c_str()), 1) << w.what;
        EXPECT_EQ(fixtures::read_file(second), fixtures::read_file(path)) << w.what;  // still one file
    }
}

// A replaced file keeps its permission mode; a created one gets 0600.
TEST_F(DefWriterFaults, TheCopyKeepsTheModeOfTheFileItReplaces) {
    for (const Writer& w : kWriters) {
        reset(w);
        if (!w.creates) fs::permissions(path, fs::perms(0644));
        ASSERT_EQ(w.call(path.c_str()), 1) << w.what;
        EXPECT_EQ(fs::status(path).permissions(), fs::perms(w.creates ? 0600 : 0644)) << w.what;
    }
}

}  // namespace

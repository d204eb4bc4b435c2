// Faults in the definition writers: a write or seek failing at each point in
// turn, the process killed at each write, and the writes in place where no
// copy can be made. A call that does not complete leaves the old file byte
// for byte (or no file where there was none); one that completes leaves the
// whole new file and nothing else in the directory.
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "definitions.h"
#include "support/fileio.h"

namespace {

int append(const char* path, const char* name) {
    char file[32];
    unsigned int id = 0, err = 0;
    return GetDefEntryFromDatFile(4, path, name, 1, file, sizeof file, &id, &err);
}

const struct Writer {
    const char* what;
    bool creates;  // the file does not exist before the call
    int (*call)(const char* path);
} kWriters[] = {
    {"stamp", false, [](const char* p) { unsigned int e = 0; return UpdateSoloIndexDatFile(p, 7, &e); }},
    {"modify", false,
     [](const char* p) { unsigned int e = 0; return ModifyDefEntryFromDatFile(p, 2, &kDate, 42, 0, &e); }},
    {"append", false, [](const char* p) { return append(p, "delta"); }},
    {"create", true, [](const char* p) { return append(p, "first"); }},
};

class DefWriterFaults : public ::testing::Test {
protected:
    fx::TempDir dir;
    std::string path = dir.file("00000004_index.dat");
    const Bytes old_bytes = pub::definition_index(three());

    // Empties the directory (a killed call may leave its copy behind) and
    // puts the old file back.
    void reset(const Writer& w) {
        for (const auto& e : std::vector<fs::directory_entry>(fs::directory_iterator(dir.path()), {})) fs::remove(e);
        if (!w.creates) fx::write_file(path, old_bytes);
    }
    Contents before(const Writer& w) const { return w.creates ? std::nullopt : Contents(old_bytes); }
    size_t files() const { return static_cast<size_t>(std::distance(fs::directory_iterator(dir.path()), {})); }
    Bytes after(const Writer& w) {
        reset(w);
        EXPECT_EQ(w.call(path.c_str()), 1) << w.what;
        expect_readable(path);
        return fx::read_file(path);
    }
};

TEST_F(DefWriterFaults, AFailedWriteOrSeekLeavesTheOldFile) {
    for (const Writer& w : kWriters) {
        const Bytes whole = after(w);
        for (auto inject : {kaldorn::testing::fail_write, kaldorn::testing::fail_seek}) {
            size_t fds = 0;
            const auto call = [&] { return reset(w), fds = fx::descriptor_count(), w.call(path.c_str()); };
            const long last = fx::until_through(inject, call, [&](long nth, int result) {
                EXPECT_EQ(fx::descriptor_count(), fds) << w.what << " at " << nth;
                EXPECT_EQ(contents(path), result == 1 ? Contents(whole) : before(w)) << w.what << " at " << nth;
                EXPECT_EQ(files(), result == 1 || !w.creates ? 1u : 0u) << w.what << " left a copy at " << nth;
                return result == 1;
            });
            EXPECT_TRUE(inject != kaldorn::testing::fail_write || last >= 4) << w.what;  // copy, body, header, lead
        }
    }
}

TEST_F(DefWriterFaults, AProcessKilledAtAnyWriteLeavesTheOldFileOrTheNewOne) {
    for (const Writer& w : kWriters) {
        const Bytes whole = after(w);
        for (long nth = 1; nth < 10000; ++nth) {
            reset(w);
            const pid_t child = ::fork();
            if (child == 0) {
                kaldorn::testing::kill_at_write(nth);
                ::_exit(w.call(path.c_str()) == 1 ? 0 : 1);
            }
            int status = 0;
            ASSERT_EQ(::waitpid(child, &status, 0), child);
            if (WIFEXITED(status)) {  // no write left to kill it at
                EXPECT_TRUE(WEXITSTATUS(status) == 0 && contents(path) == Contents(whole)) << w.what;
                break;
            }
            ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << w.what;
            const Contents left = contents(path);
            EXPECT_TRUE(left == before(w) || left == Contents(whole)) << w.what << " killed at write " << nth;
        }
    }
}

// A replaced file keeps its mode, a new one is 0600. Where the copy's hidden
// name (".<name>.XXXXXX") would pass the 255-byte limit on a name, and for
// links, the writers work on the file in place: same result, same links.
TEST_F(DefWriterFaults, ModesKeptAndInPlaceWhereACopyCannotReplaceTheFile) {
    const std::string long_path = dir.file(std::string(250, 'd') + ".dat");
    const std::string link = dir.file("link.dat"), second = dir.file("2.dat");
    for (const Writer& w : kWriters) {
        const Bytes whole = after(w);
        reset(w);
        if (!w.creates) fs::permissions(path, fs::perms(0644));
        ASSERT_EQ(w.call(path.c_str()), 1) << w.what;
        EXPECT_EQ(fs::status(path).permissions(), fs::perms(w.creates ? 0600 : 0644)) << w.what;
        reset(w);
        fs::remove(path);
        if (!w.creates) fx::write_file(long_path, old_bytes);
        ASSERT_EQ(w.call(long_path.c_str()), 1) << w.what;
        EXPECT_TRUE(fx::read_file(long_path) == whole && files() == 1) << w.what;
        if (w.creates) continue;
        reset(w);
        fs::create_symlink(path, link);
        ASSERT_EQ(w.call(link.c_str()), 1) << w.what;
        EXPECT_TRUE(fs::is_symlink(link) && fx::read_file(path) == whole) << w.what;
        fs::remove(link);
        fs::create_hard_link(path, second);
        ASSERT_EQ(w.call(second.c_str()), 1) << w.what;
        EXPECT_EQ(fx::read_file(second), fx::read_file(path)) << w.what;  // still one file
    }
}

}  // namespace

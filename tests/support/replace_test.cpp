// Every writer of both formats under each write or seek failing, killed at each write, and where no copy can replace
// the file (a copy name past 255 bytes or PATH_MAX, links: in place). The old file or the whole new one stays, alone;
// a replaced file keeps its mode (as root, its owner), a new one is 0600.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "fixtures.h"
#include "kaldorn/soloindx.h"
#include "kaldorn/vxcminfo.h"

namespace {

using namespace fx;
using kaldorn::testing::fail_seek, kaldorn::testing::fail_write;

const VXDEFDATE kDate{0x01020304, 0x0506, 0x07};

struct Writer {
    const char* what;
    bool list;     // writes a component list, else a definition index DAT
    bool creates;  // the file does not exist before the call
    std::function<int(const char* path, unsigned int& code)> call;
    unsigned int write_code = 0, seek_code = 0;  // what a failed write or seek leaves in the code
};

class Writers : public ::testing::Test {
protected:
    TempDir dir, aside;
    std::string path = dir.file("00000004_index.dat");
    std::string component = aside.file("c.dll"), newer = aside.file("new.lst");
    const Bytes old_defs = pub::definition_index(
        {4, 0, 2, {1, 1}, 1, 2, 0, false, {{1, {1}, 0, 1, "alpha"}, {2, {}, 9, 0, std::string(259, 'z')}}});
    const Bytes old_list = pub::component_list({pub::component("a.dll", "a"), pub::component("b", "")});
    tagVX_COMPONENT_FILE_MEM_RECORD_INFO records[2] = {};

    void SetUp() override {
        write_file(component, "c");
        write_file(newer, pub::component_list({pub::component("B", "b"), pub::component("d", "d")}));
        unsigned int code = 0;
        for (size_t i = 0; i < 2; ++i)
            ASSERT_EQ(GetCompnLstFileRecord((i == 0 ? component : newer).c_str(), 1, &records[i], &code), 1);
    }

    char name[32] = {};  // the out-values the writers are given
    unsigned int id = 0, reserved = 0, count = 0;

    std::vector<Writer> writers() {
        const auto dump = [this](const char* p, unsigned int& e) {
            return DumpRecordsToCompnLstFile(p, records, 2, 0, nullptr, &e);
        };
        const auto add = [this](const char* p, unsigned int& e) {
            return AddEntrytoCompnLstFile(component.c_str(), 1, 0, p, &reserved, &e);
        };
        const auto define = [this](const char* def) {
            return [this, def](const char* p, unsigned int& e) {
                return GetDefEntryFromDatFile(4, p, def, 1, name, sizeof name, &id, &e);
            };
        };
        return {
            {"stamp", false, false, [](const char* p, unsigned int& e) { return UpdateSoloIndexDatFile(p, 7, &e); }},
            {"modify", false, false,
             [](const char* p, unsigned int& e) { return ModifyDefEntryFromDatFile(p, 2, &kDate, 42, 0, &e); }},
            {"append", false, false, define("delta")},
            {"create", false, true, define("first")},
            {"dump", true, false, dump, 14, 15},
            {"dump new", true, true, dump, 14, 15},
            {"add", true, false, add, 14, 15},
            {"add new", true, true, add, 14, 15},
            {"merge into the older", true, false,
             [this](const char* p, unsigned int& e) { return MergeCompnLstFilesEx(p, newer.c_str(), p, &count, &e); },
             14, 15},
            {"platform", true, false,
             [](const char* p, unsigned int& e) { return SetCompnListFilePlatformId(p, 1, 2, 3, &e); }, 14, 15},
        };
    }

    // Empties the directory (a killed call may leave its copy behind) and puts the old file back at `at`.
    void reset(const Writer& w, const std::string& at) {
        for (const auto& e : std::vector<fs::directory_entry>(fs::directory_iterator(dir.path()), {})) fs::remove(e);
        fs::remove(at);
        if (!w.creates) write_file(at, w.list ? old_list : old_defs);
    }
    Contents before(const Writer& w) const { return w.creates ? std::nullopt : Contents(w.list ? old_list : old_defs); }
    size_t files() const { return static_cast<size_t>(std::distance(fs::directory_iterator(dir.path()), {})); }

    // The file a call that completes leaves, read back through the library.
    Bytes after(const Writer& w) {
        reset(w, path);
        unsigned int code = 0, n = 0;
        EXPECT_EQ(w.call(path.c_str(), code), 1) << w.what;
        tagSOLO_DEF_MEM_RECORD_INFO* defs = nullptr;
        tagVX_COMPONENT_FILE_MEM_RECORD_INFO* recs = nullptr;
        EXPECT_EQ(w.list ? GetCompnListFromLstFile(path.c_str(), &recs, &n, &code)
                         : GetDefListFromDatFile(path.c_str(), &defs, &n, &code),
                  1) << w.what;
        std::free(defs), std::free(recs);
        return read_file(path);
    }
};

TEST_F(Writers, AFailedWriteOrSeekOrAKillLeavesTheOldFileOrTheNewOne) {
    for (const Writer& w : writers()) {
        const Bytes whole = after(w);
        for (auto inject : {fail_write, fail_seek}) {
            size_t fds = 0;
            unsigned int code = 0;
            const auto call = [&] { return reset(w, path), fds = descriptor_count(), w.call(path.c_str(), code); };
            const long last = until_through(inject, call, [&](long nth, int result) {
                EXPECT_EQ(descriptor_count(), fds) << w.what << " at " << nth;
                EXPECT_EQ(contents(path), result == 1 ? Contents(whole) : before(w)) << w.what << " at " << nth;
                EXPECT_EQ(files(), result == 1 || !w.creates ? 1u : 0u) << w.what << " left a copy at " << nth;
                EXPECT_EQ(code, result == 1 ? 0 : inject == fail_write ? w.write_code : w.seek_code) << w.what;
                return result == 1;
            });
            EXPECT_TRUE(inject != fail_write || last > 1) << w.what;
        }
        for (long nth = 1; nth < 10000; ++nth) {
            reset(w, path);
            const pid_t child = ::fork();
            if (child == 0) {
                kaldorn::testing::kill_at_write(nth);
                unsigned int code = 0;
                ::_exit(w.call(path.c_str(), code) == 1 ? 0 : 1);
            }
            int status = 0;
            ASSERT_EQ(::waitpid(child, &status, 0), child);
            if (WIFEXITED(status)) {  // no write left to kill it at
                EXPECT_EQ(WEXITSTATUS(status), 0) << w.what;
                EXPECT_EQ(contents(path), Contents(whole)) << w.what;
                break;
            }
            ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << w.what;
            const Contents left = contents(path);
            EXPECT_TRUE(left == before(w) || left == Contents(whole)) << w.what << " killed at write " << nth;
        }
    }
}

// A path of 4094 bytes ending in X: a hidden copy name beside it would pass PATH_MAX.
std::string longest_path(const fs::path& base) {
    std::string p = base.string();
    while (p.size() + 201 < 4094 - 21) p.append("/").append(200, 'd');
    const size_t pad = 4094 - 21 - p.size() - 1;
    p.append("/").append(pad, 'e');
    fs::create_directories(p);
    return p.append("/").append(20, 'X');
}

TEST_F(Writers, ModesKeptAndInPlaceWhereACopyCannotReplaceTheFile) {
    const std::string link = dir.file("link"), second = dir.file("second");
    const std::string long_name = dir.file(std::string(250, 'd')), longest = longest_path(aside.path() / "deep");
    unsigned n = 0, code = 0;
    for (const Writer& w : writers()) {
        const Bytes whole = after(w);
        reset(w, path);
        if (!w.creates) fs::permissions(path, fs::perms(0644));
        const uid_t uid = ++n % 2 != 0 ? 1234 : ::geteuid();  // as root: the owner, or the group alone, not the copy's
        const gid_t gid = n % 2 != 0 ? ::getegid() : 1234;
        const bool chowned = !w.creates && ::geteuid() == 0 && ::chown(path.c_str(), uid, gid) == 0;
        struct stat st{};
        const ino_t old = ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
        ASSERT_EQ(w.call(path.c_str(), code), 1) << w.what;
        EXPECT_EQ(fs::status(path).permissions(), fs::perms(w.creates ? 0600 : 0644)) << w.what;
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_TRUE(!chowned || (st.st_uid == uid && st.st_gid == gid)) << w.what;
        EXPECT_TRUE(w.creates || st.st_ino != old) << w.what << ": replaced by a whole copy, not written in place";
        for (const std::string& at : {longest, long_name}) {  // no copy can be named: in place
            reset(w, at);
            const ino_t was = ::stat(at.c_str(), &st) == 0 ? st.st_ino : 0;
            ASSERT_EQ(w.call(at.c_str(), code), 1) << w.what << " " << at.size();
            EXPECT_EQ(read_file(at), whole) << w.what << " " << at.size();
            EXPECT_TRUE(::stat(at.c_str(), &st) == 0 && (w.creates || st.st_ino == was)) << w.what << " " << at.size();
        }
        EXPECT_EQ(files(), 1u) << w.what;  // the long name last, and no copy beside it
        if (w.creates) continue;
        reset(w, path);
        fs::create_symlink(path, link);
        ASSERT_EQ(w.call(link.c_str(), code), 1) << w.what;
        EXPECT_TRUE(fs::is_symlink(link)) << w.what;
        EXPECT_EQ(read_file(path), whole) << w.what;
        fs::remove(link);
        fs::create_hard_link(path, second);
        ASSERT_EQ(w.call(second.c_str(), code), 1) << w.what;
        EXPECT_EQ(read_file(second), read_file(path)) << w.what;  // still one file
    }
}

}  // namespace

// Every writer on a real full file system: a small tmpfs mounted in a mount
// namespace of a child process, filled to the last page. Each call fails with
// its documented result, holds no descriptor, and leaves the old file, no
// file, or a file no reader accepts. Where the machine does not allow the
// mount (no CAP_SYS_ADMIN), the test is skipped and says so.
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

#include <gtest/gtest.h>

#include "compnwriter.h"
#include "solowriter.h"
#include "kaldorn/soloindx.h"
#include "kaldorn/vxcminfo.h"
#include "kaldorn/vxlog.h"
#include "support/fileio.h"

namespace {

namespace fs = std::filesystem;
using fixtures::Bytes;
using Rec = tagVX_COMPONENT_FILE_MEM_RECORD_INFO;

constexpr int kCannotMount = 77;

bool mount_tmpfs(const std::string& at) {
    return ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           ::mount("tmpfs", at.c_str(), "tmpfs", 0, "size=256k") == 0;
}

// Writes until the file system has no page left.
void fill(const std::string& path) {
    kaldorn::detail::FdGuard fd(kaldorn::detail::open_create(path.c_str(), 0));
    static const char block[4096] = {};
    while (::write(fd.get(), block, sizeof block) > 0) {
    }
    while (::write(fd.get(), block, 1) > 0) {
    }
}

bool list_reads(const std::string& path) {
    Rec* recs = nullptr;
    unsigned int count = 0, code = 0;
    if (GetCompnListFromLstFile(path.c_str(), &recs, &count, &code) != 1) return false;
    ReleaseCompnList(recs, count, &code);
    return true;
}

void run_writers_on_a_full_file_system(const std::string& root) {
    const Bytes def = fixtures::build_definition_dat(fixtures::solo_index(4, 0, 0, {{1, {1}, 0, 1, "alpha"},
                                                                                 {2, {2}, 0, 1, "beta"}}));
    const std::string def_path = root + "/00000004_index.dat", list_path = root + "/00000004_compns.lst",
                      log_path = root + "/a.log", out = root + "/out.lst", merged = root + "/merged.lst";
    fixtures::write_file(def_path, def);
    fixtures::write_file(list_path,
                         fixtures::list_bytes({fixtures::entry_for("a.dll", "a"), fixtures::entry_for("b.dll", "b")}));
    fixtures::write_file(log_path, {'o', 'l', 'd', '\r', '\n'});
    fill(root + "/filler");

    int fds = fixtures::open_descriptor_count();
    unsigned int err = 0, id = 0, code = 0, count = 0;
    char name[32];
    const VXDEFDATE date{9, 9, 9};
    EXPECT_EQ(UpdateSoloIndexDatFile(def_path.c_str(), 5, &err), 0);
    EXPECT_EQ(ModifyDefEntryFromDatFile(def_path.c_str(), 1, &date, 1, 1, &err), 0);
    EXPECT_EQ(GetDefEntryFromDatFile(4, def_path.c_str(), "gamma", 1, name, sizeof name, &id, &err), 0);
    EXPECT_EQ(fixtures::read_file(def_path), def) << "a definition writer changed the file";
    EXPECT_EQ(GetDefEntryFromDatFile(4, (root + "/new.dat").c_str(), "gamma", 1, name, sizeof name, &id, &err), 0);
    EXPECT_FALSE(fs::exists(root + "/new.dat"));
    EXPECT_EQ(std::distance(fs::directory_iterator(root), {}), 4) << "a copy was left behind";

    Rec recs[2] = {};
    for (Rec& r : recs) r = Rec{1, 0, {}, 0, 2, {}, "x"};
    EXPECT_EQ(DumpRecordsToCompnLstFile(out.c_str(), recs, 2, 0, nullptr, &code), 0);
    EXPECT_EQ(code, 14u);
    EXPECT_EQ(MergeCompnLstFilesEx(list_path.c_str(), list_path.c_str(), merged.c_str(), &count, &code), 0);
    EXPECT_EQ(code, 14u);
    EXPECT_FALSE(list_reads(out) || list_reads(merged));

    CVXLogger(log_path.c_str(), nullptr, "P").WriteToLog(0, "%s", std::string(5000, 'm').c_str());
    Bytes log = fixtures::read_file(log_path);
    EXPECT_TRUE(log.size() >= 5 && std::memcmp(log.data(), "old\r\n", 5) == 0) << "the log lost its old lines";
    EXPECT_EQ(fixtures::open_descriptor_count(), fds);

    fs::remove(root + "/filler");  // the same calls succeed once there is room
    EXPECT_EQ(UpdateSoloIndexDatFile(def_path.c_str(), 5, &err), 1);
    EXPECT_EQ(DumpRecordsToCompnLstFile(out.c_str(), recs, 2, 0, nullptr, &code), 1);
    EXPECT_TRUE(list_reads(out));
}

TEST(FullFileSystem, WritersFailCleanlyAndLeaveNothingAReaderAccepts) {
    fixtures::TempDir dir;
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (!mount_tmpfs(dir.str())) {
            std::fprintf(stderr, "cannot mount a tmpfs: %s\n", std::strerror(errno));
            ::_exit(kCannotMount);
        }
        run_writers_on_a_full_file_system(dir.str());
        ::_exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == kCannotMount)
        GTEST_SKIP() << "this machine does not allow mounting a small tmpfs (needs CAP_SYS_ADMIN); "
                        "the writers' fault tests with injected failures still ran";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "see the failures the child printed above";
}

}  // namespace

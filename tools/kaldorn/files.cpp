// The files the tool reads and writes: inputs checked for what they are
// before anything reads them (a FIFO or a device would block or never end),
// directories listed with what is skipped named, outputs written whole
// through a copy that replaces them only once complete.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "commands.h"
#include "support/fd_guard.h"
#include "support/fileio.h"
#include "support/path.h"
#include "support/replace.h"

namespace tool {

namespace {

using kaldorn::detail::FdGuard;

std::string cause(int err) { return std::strerror(err); }

// What a file that is not regular is, for the message that refuses it.
std::string not_regular(mode_t mode) {
    if (S_ISDIR(mode)) return "is a directory";
    if (S_ISFIFO(mode)) return "is a FIFO, not a regular file";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "is a device, not a regular file";
    return "is not a regular file";
}

// Why a directory entry is not listed, or empty when it is a regular file
// a list can name and this process can read.
std::string skip_reason(const std::string& path, const char* name, struct stat& st) {
    if (::lstat(path.c_str(), &st) != 0) return "vanished (" + cause(errno) + ")";
    const bool link = S_ISLNK(st.st_mode);
    if (link && ::stat(path.c_str(), &st) != 0) return "a dangling link (" + cause(errno) + ")";
    if (S_ISDIR(st.st_mode)) return link ? "a link to a directory" : "a subdirectory (lists hold one directory)";
    if (!S_ISREG(st.st_mode)) return not_regular(st.st_mode);
    if (!kaldorn::detail::is_plain_name(name, std::strlen(name) + 1))
        return "its name holds a control byte, which no reader takes back";
    if (::access(path.c_str(), R_OK) != 0) return "cannot be read (" + cause(errno) + ")";
    return "";
}

}  // namespace

void check_length(const std::string& path) {
    if (path.size() >= KALDORN_MAX_PATH)
        throw Failure{escaped(path) + ": path longer than 259 bytes (the library's limit, 260 with the final NUL)"};
}

bool check_input(const std::string& path, bool may_be_missing) {
    if (path == "-") return true;
    check_length(path);
    FdGuard fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (!fd.valid()) {
        const int err = errno;
        if (err == ENOENT && may_be_missing) return false;
        throw Failure{escaped(path) + (err == ENOENT ? ": no such file" : ": cannot be read (" + cause(err) + ")")};
    }
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        throw Failure{escaped(path) + ": " + not_regular(st.st_mode)};
    return true;
}

bool check_directory(const std::string& path) {
    check_length(path);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return false;
        throw Failure{escaped(path) + ": cannot be read (" + cause(errno) + ")"};
    }
    if (!S_ISDIR(st.st_mode)) throw Failure{escaped(path) + ": not a directory"};
    if (::access(path.c_str(), R_OK | X_OK) != 0)
        throw Failure{escaped(path) + ": cannot be read (" + cause(errno) + ")"};
    return true;
}

std::vector<DirFile> regular_files(const std::string& dir) {
    if (!check_directory(dir)) throw Failure{escaped(dir) + ": no such directory"};
    std::unique_ptr<DIR, int (*)(DIR*)> d(::opendir(dir.c_str()), ::closedir);
    if (!d) throw Failure{escaped(dir) + ": cannot be read (" + cause(errno) + ")"};
    std::vector<DirFile> files;
    const std::string base = dir + (dir.back() == '/' ? "" : "/");
    errno = 0;
    while (const dirent* e = ::readdir(d.get())) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        struct stat st {};
        const std::string path = base + e->d_name, why = skip_reason(path, e->d_name, st);
        if (why.empty())
            files.push_back({path, e->d_name, static_cast<long long>(st.st_size), static_cast<long long>(st.st_mtime)});
        else
            warn("skipped " + escaped(path) + ": " + why);
        errno = 0;
    }
    if (errno != 0) throw Failure{escaped(dir) + ": cannot be read in full (" + cause(errno) + ")"};
    std::sort(files.begin(), files.end(), [](const DirFile& a, const DirFile& b) { return a.name < b.name; });
    return files;
}

void check_output(const std::string& path, const char* kind, bool (*is_kind)(const std::string&)) {
    check_length(path);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return;  // a new file, or one the write names the cause for
    if (!S_ISREG(st.st_mode)) throw Failure{escaped(path) + ": " + not_regular(st.st_mode)};
    if (!run().force && st.st_size > 0 && !is_kind(path))
        throw Failure{escaped(path) + ": exists and is not " + kind + "; --force replaces it"};
}

void write_output(const std::string& path, const kaldorn::publish::Bytes& bytes, bool published) {
    FdGuard original(::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
    if (!original.valid() && errno != ENOENT)
        throw Failure{escaped(path) + ": cannot be written (" + cause(errno) + ")"};
    const mode_t mask = ::umask(0);
    ::umask(mask);
    kaldorn::detail::FileReplacement change;
    const int fd = change.begin_whole(path.c_str(), original.get(), published ? 0666 & ~mask : 0600);
    if (fd < 0 || !kaldorn::detail::write_full(fd, bytes.data(), bytes.size()) || !change.commit())
        throw Failure{escaped(path) + ": cannot be written (" + cause(errno) + ")"};
}

bool is_component_list(const std::string& path) {
    FdGuard fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    char magic[4] = {};
    return fd.valid() && ::pread(fd.get(), magic, 4, 0) == 4 && std::memcmp(magic, "INXF", 4) == 0;
}

bool is_index_dat(const std::string& path) {
    tagUPDT_DAT_VERSION_INFO_MEM info{};
    if (GetUpdateVersionInfo(path.c_str(), &info) == 1) return ReleaseUpdateVersionInfo(&info), true;
    tagSOLO_DAT_HEADER_INFO header{};
    unsigned int error = 0;
    return GetSoloIndexDatHeader(path.c_str(), &header, &error) == 1;
}

}  // namespace tool

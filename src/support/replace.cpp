// Crash-safe file changes through a copy that is renamed over the original.
#include "support/replace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>

namespace kaldorn::detail {

namespace {

// Length of the directory part of `path`, with its final "/" (0: none).
size_t directory_length(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash == nullptr ? 0 : static_cast<size_t>(slash - path) + 1;
}

// Flushes the directory entry of a renamed file, so that the rename itself
// survives a crash. Best effort: the file already holds its new content.
void sync_directory(const char* path) {
    char dir[PATH_MAX];
    size_t length = directory_length(path);
    int n = length == 0 ? std::snprintf(dir, sizeof dir, ".")
                        : std::snprintf(dir, sizeof dir, "%.*s", static_cast<int>(length), path);
    if (n < 0 || static_cast<size_t>(n) >= sizeof dir) return;
    FdGuard fd(::open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.valid()) ::fsync(fd.get());
}

bool copy_content(int from, int to) {
    unsigned char block[64 * 1024];
    int64_t offset = 0;
    for (;;) {
        size_t got = pread_full(from, block, sizeof block, offset);
        if (got > 0 && !write_full(to, block, got)) return false;
        offset += static_cast<int64_t>(got);
        if (got < sizeof block) break;
    }
    return offset == file_size(from);  // a read error ends early
}

// The name must lead to this very file and to nothing else: replacing a
// symbolic link or one of several hard links would cut it off from the rest.
bool replaceable(const char* path, int original) {
    struct stat opened, named;
    return ::fstat(original, &opened) == 0 && ::lstat(path, &named) == 0 && S_ISREG(named.st_mode) &&
           named.st_nlink == 1 && named.st_ino == opened.st_ino && named.st_dev == opened.st_dev;
}

// Gives the copy the original's permission mode and owner.
bool take_attributes(int copy, int original) {
    struct stat want, have;
    if (::fstat(original, &want) != 0 || ::fstat(copy, &have) != 0) return false;
    if ((have.st_uid != want.st_uid || have.st_gid != want.st_gid) && ::fchown(copy, want.st_uid, want.st_gid) != 0)
        return false;
    return ::fchmod(copy, want.st_mode & 07777) == 0;
}

// Renames without replacing: the name must still be free.
bool rename_to_free_name(const char* from, const char* to) {
    if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A file system without the flag: a second name, then drop the first.
    if (::link(from, to) != 0) return false;
    ::unlink(from);
    return true;
}

}  // namespace

FileReplacement::~FileReplacement() {
    if (!pending_) return;
    fd_.reset();
    ::unlink(mode_ == Mode::new_in_place ? path_ : copy_path_);
}

// A hidden name beside the original: ".<name>.XXXXXX" in its directory.
bool FileReplacement::create_copy_file(const char* path) {
    size_t length = directory_length(path);
    int n = std::snprintf(copy_path_, sizeof copy_path_, "%.*s.%s.XXXXXX", static_cast<int>(length), path,
                          path + length);
    if (n < 0 || static_cast<size_t>(n) >= sizeof copy_path_) return false;
    fd_.reset(::mkostemp(copy_path_, O_CLOEXEC));  // mode 0600
    pending_ = fd_.valid();
    return pending_;
}

// A copy with the original's mode and owner; false (nothing left behind)
// when the name cannot be replaced or no such copy can be made.
bool FileReplacement::start_copy(const char* path, int original) {
    if (!replaceable(path, original) || !create_copy_file(path)) return false;
    if (take_attributes(fd_.get(), original)) {
        mode_ = Mode::copy;
        out_ = fd_.get();
        return true;
    }
    fd_.reset();  // an owner we cannot give: in place after all
    ::unlink(copy_path_);
    pending_ = false;
    return false;
}

int FileReplacement::begin(const char* path, int original) {
    path_ = path;
    mode_ = Mode::in_place;
    out_ = original;
    if (!start_copy(path, original)) return original;
    return copy_content(original, out_) ? out_ : -1;
}

int FileReplacement::begin_new(const char* path, mode_t mode) {
    path_ = path;
    if (create_copy_file(path)) {
        mode_ = Mode::new_copy;
    } else {
        mode_ = Mode::new_in_place;
        fd_.reset(open_create(path, O_EXCL));
        pending_ = fd_.valid();
    }
    out_ = fd_.get();
    // Files are made 0600; another mode is set outright, past the umask.
    if (out_ >= 0 && mode != 0600 && ::fchmod(out_, mode) != 0) out_ = -1;
    return out_;
}

int FileReplacement::begin_whole(const char* path, int original, mode_t mode) {
    if (original < 0) return begin_new(path, mode);
    path_ = path;
    mode_ = Mode::in_place;
    out_ = original;
    if (start_copy(path, original)) return out_;
    return ::ftruncate(original, 0) == 0 ? original : -1;
}

bool FileReplacement::commit() {
    if (out_ < 0 || ::fsync(out_) != 0) return false;
    switch (mode_) {
        case Mode::in_place:
            return true;
        case Mode::new_in_place:
            pending_ = false;
            return true;
        case Mode::copy:
        case Mode::new_copy:
            break;
    }
    bool renamed = mode_ == Mode::copy ? ::rename(copy_path_, path_) == 0 : rename_to_free_name(copy_path_, path_);
    if (!renamed) return false;
    pending_ = false;
    fd_.reset();
    sync_directory(path_);
    return true;
}

}  // namespace kaldorn::detail

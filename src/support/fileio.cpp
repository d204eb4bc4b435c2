// Full read/write helpers, opening and seeking.
#include "support/fileio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace kaldorn::detail {

namespace {
#ifdef KALDORN_ALLOC_SEAM
thread_local long t_write_countdown = 0;
thread_local long t_seek_countdown = 0;
thread_local long t_kill_countdown = 0;
bool injected(long& countdown) { return countdown > 0 && --countdown == 0; }

// The chosen write puts down the first half of its bytes and then fails, or
// kills the whole process there as a crash or a power cut would.
bool write_fault(int fd, const unsigned char* p, size_t n, int64_t offset) {
    bool fail = injected(t_write_countdown);
    bool kill = injected(t_kill_countdown);
    if (!fail && !kill) return false;
    ssize_t half = n / 2 == 0 ? 0 : offset < 0 ? ::write(fd, p, n / 2) : ::pwrite(fd, p, n / 2, offset);
    if (kill) ::raise(SIGKILL);
    return half >= 0;
}
#endif

int open_retry(int dir, const char* path, int flags, mode_t mode) {
    int fd;
    do {
        fd = ::openat(dir, path, flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}
}  // namespace

int open_read(const char* path) { return open_retry(AT_FDCWD, path, O_RDONLY, 0); }
int open_read_write(const char* path) { return open_retry(AT_FDCWD, path, O_RDWR, 0); }
int open_create(const char* path, int extra) { return open_retry(AT_FDCWD, path, O_RDWR | O_CREAT | extra, 0600); }
int open_directory(const char* path) { return open_retry(AT_FDCWD, path, O_PATH | O_DIRECTORY, 0); }
int open_read_at(int dir, const char* name) { return open_retry(dir, name, O_RDONLY, 0); }

int open_regular_at(int dir, const char* name) {
    FdGuard fd(open_retry(dir, name, O_RDONLY | O_NONBLOCK | O_NOCTTY, 0));
    if (!fd.valid()) return -1;
    struct stat st;
    if (::fstat(fd.get(), &st) != 0) return -1;
    if (!S_ISREG(st.st_mode)) {
        errno = EINVAL;
        return -1;
    }
    // The file is then read like any other, with the ordinary blocking flags.
    int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) return -1;
    return fd.release();
}

mode_t entry_type(int dir, const dirent& entry) {
    if (entry.d_type != DT_LNK && entry.d_type != DT_UNKNOWN) return static_cast<mode_t>(DTTOIF(entry.d_type));
    struct stat st;
    return ::fstatat(dir, entry.d_name, &st, 0) == 0 ? st.st_mode & S_IFMT : 0;
}

bool open_failed_missing(int dir, const char* path, int err) {
    switch (err) {
        case ENOENT:
        case ENOTDIR:
        case ELOOP:
        case ENAMETOOLONG:
            return true;
        case EACCES:
            return ::faccessat(dir, path, F_OK, 0) != 0;
        default:
            return false;
    }
}

size_t read_full(int fd, void* buf, size_t n) {
    auto* p = static_cast<unsigned char*>(buf);
    size_t done = 0;
    while (done < n) {
        ssize_t r = ::read(fd, p + done, n - done);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        done += static_cast<size_t>(r);
    }
    return done;
}

size_t pread_full(int fd, void* buf, size_t n, int64_t offset) {
    if (offset < 0) return 0;
    auto* p = static_cast<unsigned char*>(buf);
    size_t done = 0;
    while (done < n) {
        ssize_t r = ::pread(fd, p + done, n - done, static_cast<off_t>(offset) + static_cast<off_t>(done));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        done += static_cast<size_t>(r);
    }
    return done;
}

bool write_full(int fd, const void* buf, size_t n) {
    const auto* p = static_cast<const unsigned char*>(buf);
    size_t done = 0;
#ifdef KALDORN_ALLOC_SEAM
    if (write_fault(fd, p, n, -1)) return false;
#endif
    while (done < n) {
        ssize_t r = ::write(fd, p + done, n - done);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        done += static_cast<size_t>(r);
    }
    return true;
}

bool pwrite_full(int fd, const void* buf, size_t n, int64_t offset) {
    if (offset < 0) return false;
    const auto* p = static_cast<const unsigned char*>(buf);
    size_t done = 0;
#ifdef KALDORN_ALLOC_SEAM
    if (write_fault(fd, p, n, offset)) return false;
#endif
    while (done < n) {
        ssize_t r = ::pwrite(fd, p + done, n - done, static_cast<off_t>(offset) + static_cast<off_t>(done));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        done += static_cast<size_t>(r);
    }
    return true;
}

int64_t file_size(int fd) {
    struct stat st;
    if (::fstat(fd, &st) != 0) return -1;
    return static_cast<int64_t>(st.st_size);
}

int64_t regular_file_size(int fd) {
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return static_cast<int64_t>(st.st_size);
}

bool seek_to(int fd, int64_t offset) {
#ifdef KALDORN_ALLOC_SEAM
    if (injected(t_seek_countdown)) return false;
#endif
    return offset >= 0 && ::lseek(fd, static_cast<off_t>(offset), SEEK_SET) == static_cast<off_t>(offset);
}

bool BufferedReader::read_exact(void* out, size_t n) {
    auto* dst = static_cast<unsigned char*>(out);
    while (n > 0) {
        if (begin_ == end_) {
            if (n >= kBufferSize) {  // large pieces bypass the buffer
                size_t got = pread_full(fd_, dst, n, offset_);
                offset_ += static_cast<int64_t>(got);
                return got == n;
            }
            size_t got = pread_full(fd_, buf_, kBufferSize, offset_);
            if (got == 0) return false;
            offset_ += static_cast<int64_t>(got);
            begin_ = 0;
            end_ = got;
        }
        size_t take = end_ - begin_ < n ? end_ - begin_ : n;
        std::memcpy(dst, buf_ + begin_, take);
        begin_ += take;
        dst += take;
        n -= take;
    }
    return true;
}

}  // namespace kaldorn::detail

#ifdef KALDORN_ALLOC_SEAM
namespace kaldorn::testing {
void fail_write(long nth) { kaldorn::detail::t_write_countdown = nth; }
void fail_seek(long nth) { kaldorn::detail::t_seek_countdown = nth; }
void kill_at_write(long nth) { kaldorn::detail::t_kill_countdown = nth; }
}  // namespace kaldorn::testing
#endif

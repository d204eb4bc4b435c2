// Descriptor guard and full read/write helpers: every file the library opens
// goes through these, so each descriptor is closed on every path and short
// transfers are retried until they are complete or fail.
#pragma once

#include <dirent.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>

#include "support/fd_guard.h"

namespace kaldorn::detail {

int open_read(const char* path);                 // O_RDONLY | O_CLOEXEC, retried on EINTR
int open_read_write(const char* path);           // O_RDWR | O_CLOEXEC
int open_create(const char* path, int extra);    // O_RDWR | O_CREAT | extra, mode 0600
int open_directory(const char* path);            // O_PATH | O_DIRECTORY: a base for names, reads nothing
int open_read_at(int dir, const char* name);     // openat(dir, name, O_RDONLY | O_CLOEXEC)
// Opens for reading only what is a regular file, without waiting: a FIFO
// with no writer, a device or a directory is refused (-1, errno EINVAL), so
// a name planted in a directory cannot block or mislead whoever reads it.
// The type is taken from the open descriptor, so nothing can swap the file
// in between.
int open_regular_at(int dir, const char* name);

// The type bits (S_IFREG, S_IFIFO, ...) of an entry read from the directory
// open as dir: from the entry itself, or, for a symbolic link or a file system
// that does not say, from the file the name leads to; 0 when it leads nowhere.
mode_t entry_type(int dir, const dirent& entry);

// Whether an open of path (under the directory descriptor dir, or AT_FDCWD)
// that failed with errno err failed because nothing is there, as an
// existence test of the same path would find. The open's own errno answers,
// so the file is looked up once: ENOENT, ENOTDIR, ELOOP and ENAMETOOLONG say
// missing, any other errno says there; only EACCES, which a directory on the
// way that cannot be searched gives as well as the file's own permissions, is
// settled by a second lookup.
bool open_failed_missing(int dir, const char* path, int err);

// Reads until n bytes arrived, end of file or an error; returns the count
// read (less than n on end of file or error).
size_t read_full(int fd, void* buf, size_t n);
size_t pread_full(int fd, void* buf, size_t n, int64_t offset);
// Writes all n bytes; false on any error.
bool write_full(int fd, const void* buf, size_t n);
bool pwrite_full(int fd, const void* buf, size_t n, int64_t offset);

// Size of an open file, or -1.
int64_t file_size(int fd);
// Size of an open regular file; -1 for anything else (a directory, a device,
// a pipe), whose size says nothing about what a read returns.
int64_t regular_file_size(int fd);

// Moves the file position to offset; false when the seek fails or lands
// elsewhere.
bool seek_to(int fd, int64_t offset);

// Sequential reads from a fixed offset through a small internal buffer, so
// that many small records cost few system calls.
class BufferedReader {
public:
    BufferedReader(int fd, int64_t offset) : fd_(fd), offset_(offset) {}
    // Copies exactly n bytes, or returns false (short file or read error).
    bool read_exact(void* out, size_t n);

private:
    static constexpr size_t kBufferSize = 8192;
    int fd_;
    int64_t offset_;
    size_t begin_ = 0;
    size_t end_ = 0;
    unsigned char buf_[kBufferSize];
};

}  // namespace kaldorn::detail

#ifdef KALDORN_ALLOC_SEAM
namespace kaldorn::testing {
// Test builds only, per thread, counted from the call: the nth write
// (write_full or pwrite_full) writes the first half of its bytes and then
// fails; the nth seek_to fails; kill_at_write kills the process with SIGKILL
// after the half write instead. 0 turns injection off.
void fail_write(long nth);
void fail_seek(long nth);
void kill_at_write(long nth);
}  // namespace kaldorn::testing
#endif

// Descriptor guard and full read/write helpers: every file the library opens
// goes through these, so each descriptor is closed on every path and short
// transfers are retried until they are complete or fail.
#pragma once

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

// Reads until n bytes arrived, end of file or an error; returns the count
// read (less than n on end of file or error).
size_t read_full(int fd, void* buf, size_t n);
size_t pread_full(int fd, void* buf, size_t n, int64_t offset);
// Writes all n bytes; false on any error.
bool write_full(int fd, const void* buf, size_t n);
bool pwrite_full(int fd, const void* buf, size_t n, int64_t offset);

// Size of an open file, or -1.
int64_t file_size(int fd);

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

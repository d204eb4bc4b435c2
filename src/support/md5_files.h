// MD5 digests of many files at once: each lane of a multi-buffer path hashes
// one file, and a lane whose file ends takes the next one. Files are read in
// bounded blocks into one fixed working area, so memory and open descriptors
// stay bounded by the lane count whatever the files.
#pragma once

#include <cstddef>

#include "support/md5_lanes.h"

namespace kaldorn::detail {

// How the files are opened and read: one system call for each open, read
// and close, or batched through an io_uring, one system call for a round of
// opens and reads of every lane (the calls where the kernel has no io_uring
// to give).
enum class FileIo { calls, ring };

// The files to digest, handed out one at a time, and where their digests go.
class DigestJobs {
public:
    // The next file and its item number: it is opened as openat(dir, name,
    // O_RDONLY) would open it; name has room for a 260-byte path. False when
    // no file is left.
    virtual bool next(size_t& item, int& dir, char* name) = 0;
    // The open of an item's file failed with errno err: a descriptor of the
    // file found another way (the digester closes it), or -1 when the item
    // ends there without a digest.
    virtual int open_failed(size_t item, int err) = 0;
    // The digest of the whole file of an item (everything read until a
    // read returns fewer bytes than asked, which for a regular file is its
    // end), or null when a read failed.
    virtual void done(size_t item, const unsigned char* digest) = 0;

protected:
    ~DigestJobs() = default;
};

// The digest of everything left to read from one open file, one block after
// another; false on a read error (digest untouched).
bool md5_descriptor(int fd, unsigned char* digest);

// Runs every job on the path's lanes, no more of them than `files` (at least
// one); false, with no job started, when the working area cannot be
// allocated.
bool digest_files(Md5Path path, FileIo io, size_t files, DigestJobs& jobs);

}  // namespace kaldorn::detail

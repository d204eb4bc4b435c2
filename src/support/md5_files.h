// MD5 digests of many files at once: each lane of a multi-buffer path hashes
// one file, and a lane whose file ends takes the next one. Files are read in
// bounded blocks into one fixed working area, so memory and open descriptors
// stay bounded by the lane count whatever the files.
#pragma once

#include <cstddef>

#include "support/md5_lanes.h"

namespace kaldorn::detail {

// The files to digest, handed out one at a time, and where their digests go.
class DigestJobs {
public:
    // An open descriptor of the next file and its item number; -1 when no
    // file is left. The digester closes the descriptor.
    virtual int next(size_t& item) = 0;
    // The digest of the whole file of an item (everything read until a
    // read() returns fewer bytes than asked, which for a regular file is its
    // end), or null when a read failed.
    virtual void done(size_t item, const unsigned char* digest) = 0;

protected:
    ~DigestJobs() = default;
};

// Runs every job on the path's lanes, no more of them than `files` (at least
// one); false, with no job started, when the working area cannot be
// allocated.
bool digest_files(Md5Path path, size_t files, DigestJobs& jobs);

}  // namespace kaldorn::detail

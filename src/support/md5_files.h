// MD5 digests of files: one open file read block after block, and many files
// at once, each lane of a multi-buffer path hashing one file that the lane
// reader reads for it.
#pragma once

#include <cstddef>

#include "support/lane_reader.h"
#include "support/md5_lanes.h"

namespace kaldorn::detail {

// The digest of everything left to read from one open file, one block after
// another; false on a read error (digest untouched).
bool md5_descriptor(int fd, unsigned char* digest);

// Runs every job on the path's lanes, no more of them than `files` (at least
// one), each job's result its file's 16-byte digest; false, with no job
// started, when the working area cannot be allocated.
bool digest_files(Md5Path path, FileIo io, size_t files, FileJobs& jobs);

}  // namespace kaldorn::detail

// The file half of CMd5::CalculateMD5 over a path, for callers that open
// the file themselves (verification tells a missing file from the open).
#pragma once

#include "kaldorn/md5lib.h"

namespace kaldorn::detail {

// Digest of everything left to read from fd, through md5's virtual steps;
// 0 on a read error (digest untouched), else 1. Does not close fd.
int digest_descriptor(IMd5& md5, int fd, unsigned char* digest);

}  // namespace kaldorn::detail

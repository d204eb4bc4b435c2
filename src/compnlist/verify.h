// Verification with the digests taken on a chosen path of the multi-buffer
// MD5 and the files read in a chosen way; VerifyCompnsFileRecords is this on
// the widest path the processor runs, through the ring where there is one.
#pragma once

#include "compnlist/format.h"
#include "support/md5_files.h"

namespace kaldorn::detail {

int verify_compns_on(Md5Path path, FileIo io, const char* list, const char* dir1, const char* dir2,
                     CompnRecord** records, unsigned int* count, unsigned int* error);

}  // namespace kaldorn::detail

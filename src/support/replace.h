// Crash-safe changes to a file: the writes go to a copy in the same
// directory, which is flushed and renamed over the original only when every
// write succeeded, so a failed or interrupted change leaves the old file byte
// for byte. Where no copy can be made, the writes go to the file in place.
#pragma once

#include <sys/types.h>

#include <climits>

#include "support/fileio.h"

namespace kaldorn::detail {

class FileReplacement {
public:
    FileReplacement() = default;
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;
    ~FileReplacement();  // removes what an uncommitted change created

    // For an existing file open for reading and writing as `original`:
    // copies it to a new file beside `path` with the same mode and owner and
    // returns the copy's descriptor. Returns `original` itself (writes go in
    // place) when no copy can be created there, or when replacing the name
    // would change what it refers to (a symbolic link, a file with several
    // names, an owner this process cannot give the copy). -1 when copying
    // fails; the original is then untouched.
    int begin(const char* path, int original);

    // For a file that does not exist yet: returns a descriptor to a new empty
    // file of the given mode that appears under `path` only on commit and
    // never replaces a file that appeared there meanwhile. Where no such file
    // can be made beside it, creates `path` itself, to be removed again
    // unless committed. -1 when neither can be created.
    int begin_new(const char* path, mode_t mode = 0600);

    // For a file written whole: `original` is the file open for reading and
    // writing, or -1 when there is none. Returns an empty file that replaces
    // `path` on commit: a new one beside the original with its mode and
    // owner, or, with no original, one of the given mode (as begin_new).
    // Where no copy can replace the original (see begin), the original
    // itself, emptied. -1 when nothing can be made.
    int begin_whole(const char* path, int original, mode_t mode = 0600);

    // Makes the change final: flushes what was written, renames a copy to
    // `path` and flushes the directory. False when that fails; the old file
    // (or its absence) then stays as it was, unless the writes went in place.
    bool commit();

private:
    enum class Mode { in_place, copy, new_copy, new_in_place };
    bool create_copy_file(const char* path);
    bool start_copy(const char* path, int original);

    Mode mode_ = Mode::in_place;
    const char* path_ = nullptr;
    int out_ = -1;       // where the writes go
    FdGuard fd_;         // the copy, or the file created in place
    bool pending_ = false;  // something to remove if not committed
    char copy_path_[PATH_MAX] = {};
};

}  // namespace kaldorn::detail

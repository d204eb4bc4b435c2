// Many files read at once: each lane holds one file, read in bounded blocks
// into its slot of one fixed working area, and a consumer (the MD5 lanes,
// SHA-256 digests) takes what the lanes hold; a lane whose file it has taken
// whole goes on with the next file. The files are read through one system
// call for each open and read, or batched through an io_uring, one system
// call for a round of opens and reads of every lane, with the same outcome
// either way. Memory and open descriptors stay bounded by the lane count
// whatever the files.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kaldorn::detail {

// How the files are opened and read: calls, or batched through an io_uring
// (the calls where the kernel has no io_uring to give or refuses a round).
enum class FileIo { calls, ring };

inline constexpr unsigned kMaxLanes = 16;
inline constexpr uint32_t kLaneBlock = 64;                         // the area starts with this many zero bytes
inline constexpr uint32_t kLaneRead = 64 * 1024;                   // file bytes a slot holds
inline constexpr uint32_t kLaneSlot = kLaneRead + 2 * kLaneBlock;  // and room behind them (a digest's padding)

// The files to read, handed out one at a time, and where their results go.
class FileJobs {
public:
    // The next file and its item number: it is opened as openat(dir, name,
    // O_RDONLY) would open it; name has room for a 260-byte path. With name
    // left empty, dir is the file itself, already open: it is read from its
    // start through a descriptor of the reader's own. False when no file is
    // left.
    virtual bool next(size_t& item, int& dir, char* name) = 0;
    // The open of an item's file failed with errno err: a descriptor of the
    // file found another way (the reader closes it), or -1 when the item
    // ends there without a result.
    virtual int open_failed(size_t item, int err) = 0;
    // The consumer's result for the whole file of an item (everything read
    // until a read returns fewer bytes than asked, which for a regular file
    // is its end), or null when a read failed.
    virtual void done(size_t item, const unsigned char* result) = 0;

protected:
    ~FileJobs() = default;
};

// A lane as its consumer sees it: area bytes [begin, end) are read and not
// yet taken.
struct LaneState {
    uint32_t begin = 0;
    uint32_t end = 0;
    uint32_t room_end = 0;  // the end of the lane's slot: a consumer may append up to here once at_end
    uint64_t length = 0;    // bytes of the file read so far
    bool busy = false;      // the lane holds a file
    bool at_end = false;    // the file is read to its end
};

// Takes what the lanes read.
class LaneConsumer {
public:
    // A lane starts the file of an item.
    virtual void start(unsigned lane, size_t item) = 0;
    // Takes what it can from the busy lanes, moving begin past what it took,
    // and sets complete[l] for each lane whose file it has taken whole. It
    // takes from every busy lane that holds a block (or is read to its end),
    // so the lanes keep moving.
    virtual void take(unsigned char* area, LaneState* lanes, unsigned count, bool* complete) = 0;
    // The result of a lane whose file was taken whole; valid until the lane
    // starts again.
    virtual const unsigned char* result(unsigned lane) = 0;

protected:
    ~LaneConsumer() = default;
};

// Runs every job on `lanes` lanes (1 to 16, no more than `files`, at least
// one); false, with no job started, when the working area cannot be
// allocated.
bool read_files(FileIo io, unsigned lanes, size_t files, FileJobs& jobs, LaneConsumer& consumer);

}  // namespace kaldorn::detail

// The lane scheduler behind digest_files. Each lane owns a slot of the
// working area: its file is read into the slot, the lanes advance together by
// as many blocks as the shortest of them holds, and a lane that runs dry
// reads on. At the end of its file the lane appends the MD5 padding itself,
// so a whole file, padding included, goes through the vector steps. With
// the ring, each round queues the opens of the lanes that take a file (each
// with its first read linked behind it) and the reads of the lanes running
// low, and one system call does them all; the files sit in the ring's table
// of registered files, one slot per lane, never in the descriptor table.
#include "support/md5_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "kaldorn/base.h"
#include "support/alloc.h"
#include "support/bytes.h"
#include "support/fd_guard.h"
#include "support/fileio.h"
#include "support/md5_steps.h"
#include "support/ring.h"

namespace kaldorn::detail {

namespace {

constexpr uint32_t kBlock = 64;
constexpr uint32_t kRead = 64 * 1024;          // file bytes a slot holds
constexpr uint32_t kSlot = kRead + 2 * kBlock;  // and room for the padding; the area starts with a zero block

struct Lane {
    FdGuard fd;           // calls: open until the file has been read to its end
    size_t item = 0;
    uint32_t slot = 0;    // offset of the lane's slot in the working area
    uint32_t begin = 0;   // bytes [begin, end) are read but not yet hashed
    uint32_t end = 0;
    uint32_t asked = 0;   // ring: the size of the read in flight
    uint64_t length = 0;  // bytes of the file read so far
    bool busy = false;
    bool ended = false;   // read to its end and padded
    char name[KALDORN_MAX_PATH];
};

static_assert(Ring::kMaxSlots >= kMd5MaxLanes, "a ring slot for every lane");

enum Op : uint64_t { kOpenOp, kReadOp };
constexpr uint64_t tag(unsigned lane, Op op) { return uint64_t{lane} << 1 | op; }

class Digester {
public:
    Digester(Md5Path path, unsigned lanes, unsigned char* area, DigestJobs& jobs, bool ring)
        : path_(path), count_(lanes), area_(area), jobs_(jobs) {
        for (unsigned l = 0; l < count_; ++l) lane_[l].slot = kBlock + l * kSlot;
        ring_on_ = ring && ring_.open(2 * count_, count_);
    }

    void run() {
        while (ring_on_ ? ring_round() : take_jobs()) {
            uint32_t blocks = advance_all();
            for (unsigned l = 0; l < count_; ++l) {
                Lane& lane = lane_[l];
                if (!lane.busy) continue;
                lane.begin += blocks * kBlock;
                if (lane.ended && lane.begin == lane.end)
                    finish(l);
                else if (!ring_on_ && running_low(lane))
                    fill(l);
            }
        }
    }

private:
    void start(unsigned l) {
        Lane& lane = lane_[l];
        lane.busy = true;
        lane.ended = false;
        lane.begin = lane.end = lane.slot;
        lane.length = 0;
        for (int w = 0; w < 4; ++w) state_.v[w][l] = kMd5Initial[w];
    }

    // Gives every free lane a file while there are any; false when no lane
    // is busy.
    bool take_jobs() {
        bool any = false;
        for (unsigned l = 0; l < count_; ++l) {
            Lane& lane = lane_[l];
            while (!lane.busy && more_) {
                int dir = AT_FDCWD;
                if (!jobs_.next(lane.item, dir, lane.name)) {
                    more_ = false;
                    break;
                }
                int fd = open_read_at(dir, lane.name);
                if (fd < 0) fd = jobs_.open_failed(lane.item, errno);
                if (fd < 0) continue;
                lane.fd.reset(fd);
                start(l);
                fill(l);
            }
            any = any || lane.busy;
        }
        return any;
    }

    // One round through the ring: free lanes open their next file and read
    // its first block, lanes running low read on. False when no lane is busy.
    bool ring_round() {
        bool any = false;
        for (unsigned l = 0; l < count_; ++l) {
            Lane& lane = lane_[l];
            int dir = AT_FDCWD;
            if (!lane.busy && more_ && !jobs_.next(lane.item, dir, lane.name)) more_ = false;
            if (!lane.busy && more_) {
                start(l);
                lane.asked = kRead;
                ring_.open_and_read(dir, lane.name, l, area_ + lane.slot, kRead, tag(l, kOpenOp), tag(l, kReadOp));
            } else if (lane.busy && running_low(lane)) {
                compact(lane);
                lane.asked = lane.slot + kRead - lane.end;
                ring_.read(l, area_ + lane.end, lane.asked, lane.length, tag(l, kReadOp));
            }
            any = any || lane.busy;
        }
        if (!any) return false;
        if (!ring_.wait()) {
            // The kernel refused the round: the lanes' files are lost with
            // it (their items fail), the files left go through the calls.
            for (unsigned l = 0; l < count_; ++l)
                if (lane_[l].busy) fail(l);
            ring_on_ = false;
            return take_jobs();
        }
        ring_.completions([this](uint64_t t, int result) {
            completed(static_cast<unsigned>(t >> 1), Op(t & 1), result);
        });
        return true;
    }

    void completed(unsigned l, Op op, int result) {
        Lane& lane = lane_[l];
        if (op == kOpenOp) {
            if (result >= 0) return;
            FdGuard fd(jobs_.open_failed(lane.item, -result));
            if (!fd.valid())
                lane.busy = false;
            else if (!ring_.place(l, fd.get()))
                fail(l);
            return;  // a file found another way is read in the next round
        }
        if (result == -ECANCELED) return;  // behind an open that failed
        if (result < 0) return fail(l);
        took(lane, static_cast<uint32_t>(result));
    }

    void fail(unsigned l) {
        lane_[l].fd.reset();
        lane_[l].busy = false;
        jobs_.done(lane_[l].item, nullptr);
    }

    // Not read to its end and holding less than a block to hash.
    static bool running_low(const Lane& lane) { return !lane.ended && lane.end - lane.begin < kBlock; }

    // Moves the bytes read but not hashed to the start of the lane's slot.
    void compact(Lane& lane) {
        uint32_t held = lane.end - lane.begin;
        std::memmove(area_ + lane.slot, area_ + lane.begin, held);
        lane.begin = lane.slot;
        lane.end = lane.slot + held;
    }

    // Counts `got` bytes read of lane.asked; fewer is the end of the file.
    void took(Lane& lane, uint32_t got) {
        lane.end += got;
        lane.length += got;
        if (got < lane.asked) {
            lane.fd.reset();
            pad(lane);
        }
    }

    // Advances the busy lanes by the blocks all of them hold; returns that
    // count.
    uint32_t advance_all() {
        uint32_t offset[kMd5MaxLanes] = {}, step[kMd5MaxLanes] = {};  // idle lanes: the zero block, step 0
        uint32_t blocks = kSlot;
        for (unsigned l = 0; l < count_; ++l) {
            if (!lane_[l].busy) continue;
            offset[l] = lane_[l].begin;
            step[l] = kBlock;
            uint32_t held = (lane_[l].end - lane_[l].begin) / kBlock;
            blocks = held < blocks ? held : blocks;
        }
        if (blocks == kSlot) return 0;  // no lane busy (a round whose opens all failed)
        md5_lanes_update(path_, state_, area_, offset, step, blocks);
        return blocks;
    }

    // Reads until the slot holds kRead bytes or the file ends; at the end
    // the padding follows the data. A read that returns fewer bytes than
    // asked is the end: a regular file returns less only there, so a small
    // file costs one read, not a second one that returns 0. A read error ends
    // the job without a digest and frees the lane.
    void fill(unsigned l) {
        Lane& lane = lane_[l];
        compact(lane);
        while (lane.end < lane.slot + kRead && !lane.ended) {
            lane.asked = lane.slot + kRead - lane.end;
            ssize_t got = ::read(lane.fd.get(), area_ + lane.end, lane.asked);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) return fail(l);
            took(lane, static_cast<uint32_t>(got));
        }
    }

    // 0x80, zeros up to 56 bytes into a block, then the bit length.
    void pad(Lane& lane) {
        uint32_t tail = (lane.end - lane.begin) % kBlock;
        uint32_t zeros = (tail < 56 ? 56 - tail : 120 - tail) - 1;
        unsigned char* p = area_ + lane.end;
        p[0] = 0x80;
        std::memset(p + 1, 0, zeros);
        uint64_t bits = lane.length << 3;
        store_le32(p + 1 + zeros, static_cast<uint32_t>(bits));
        store_le32(p + 5 + zeros, static_cast<uint32_t>(bits >> 32));
        lane.end += zeros + 9;
        lane.ended = true;
    }

    void finish(unsigned l) {
        unsigned char digest[16];
        for (int w = 0; w < 4; ++w) store_le32(digest + 4 * w, state_.v[w][l]);
        lane_[l].busy = false;
        jobs_.done(lane_[l].item, digest);
    }

    Md5Path path_;
    unsigned count_;
    unsigned char* area_;
    DigestJobs& jobs_;
    bool more_ = true;
    Md5Lanes state_{};
    Lane lane_[kMd5MaxLanes];
    Ring ring_;
    bool ring_on_ = false;
};

}  // namespace

bool digest_files(Md5Path path, FileIo io, size_t files, DigestJobs& jobs) {
    unsigned lanes = static_cast<unsigned>(path);
    if (files < lanes) lanes = files == 0 ? 1 : static_cast<unsigned>(files);
    // Zeroed whole, so that a memory checker, which does not see what the
    // kernel writes through the ring, takes the slots as written.
    HeapPtr<unsigned char> area(static_cast<unsigned char*>(allocate_zeroed(kBlock + size_t{lanes} * kSlot, 1)));
    if (!area) return false;
    // The ring costs a few calls to set up: worth it when lanes take more
    // than one file each.
    Digester(path, lanes, area.get(), jobs, io == FileIo::ring && files > lanes).run();
    return true;
}

}  // namespace kaldorn::detail

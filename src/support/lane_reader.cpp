// The lane scheduler behind read_files. Each lane owns a slot of the working
// area: its file is read into the slot, the consumer takes what the lanes
// hold, and a lane that runs low reads on. With the ring, each round queues
// the opens of the lanes that take a file (each with its first read linked
// behind it) and the reads of the lanes running low, and one system call does
// them all; the files sit in the ring's table of registered files, one slot
// per lane, never in the descriptor table. A round the kernel refuses is
// drained (whatever it took completes before any slot is used again) and its
// files are read again from their start through plain calls.
#include "support/lane_reader.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "kaldorn/base.h"
#include "support/alloc.h"
#include "support/fd_guard.h"
#include "support/fileio.h"
#include "support/ring.h"

namespace kaldorn::detail {

namespace {

// How a lane reads: its file, its job, and the read in flight.
struct LaneFile {
    FdGuard fd;  // calls: open until the file has been read to its end
    size_t item = 0;
    int dir = AT_FDCWD;
    uint32_t slot = 0;   // offset of the lane's slot in the working area
    uint32_t asked = 0;  // the size of the read in flight
    char name[KALDORN_MAX_PATH];
};

static_assert(Ring::kMaxSlots >= kMaxLanes, "a ring slot for every lane");

enum Op : uint64_t { kOpenOp, kReadOp };
constexpr uint64_t tag(unsigned lane, Op op) { return uint64_t{lane} << 1 | op; }

class Reader {
public:
    Reader(unsigned lanes, unsigned char* area, FileJobs& jobs, LaneConsumer& consumer, bool ring)
        : count_(lanes), area_(area), jobs_(jobs), consumer_(consumer) {
        for (unsigned l = 0; l < count_; ++l) {
            file_[l].slot = kLaneBlock + l * kLaneSlot;
            lane_[l].room_end = file_[l].slot + kLaneSlot;
        }
        ring_on_ = ring && ring_.open(2 * count_, count_);
    }

    void run() {
        while (ring_on_ ? ring_round() : take_jobs()) {
            bool complete[kMaxLanes] = {};
            consumer_.take(area_, lane_, count_, complete);
            for (unsigned l = 0; l < count_; ++l) {
                if (!lane_[l].busy) continue;
                if (complete[l])
                    finish(l);
                else if (!ring_on_ && running_low(lane_[l]))
                    fill(l);
            }
        }
    }

private:
    void start(unsigned l) {
        LaneState& lane = lane_[l];
        lane.busy = true;
        lane.at_end = false;
        lane.begin = lane.end = file_[l].slot;
        lane.length = 0;
        consumer_.start(l, file_[l].item);
    }

    // A descriptor of the lane's file: opened by name, or one of its own for
    // a file handed out open, at its start. errno tells a failure.
    int open_file(const LaneFile& f) {
        if (f.name[0] != '\0') return open_read_at(f.dir, f.name);
        FdGuard fd(::fcntl(f.dir, F_DUPFD_CLOEXEC, 0));
        return fd.valid() && ::lseek(fd.get(), 0, SEEK_SET) == 0 ? fd.release() : -1;
    }

    // Opens a lane's file by plain calls (or has the job find it) and reads
    // its first blocks; false when the item ended without a file.
    bool open_by_call(unsigned l) {
        LaneFile& f = file_[l];
        int fd = open_file(f);
        if (fd < 0) fd = jobs_.open_failed(f.item, errno);
        if (fd < 0) return false;
        f.fd.reset(fd);
        start(l);
        fill(l);
        return true;
    }

    // Gives every free lane a file while there are any; false when no lane
    // is busy.
    bool take_jobs() {
        bool any = false;
        for (unsigned l = 0; l < count_; ++l) {
            LaneFile& f = file_[l];
            while (!lane_[l].busy && more_) {
                f.dir = AT_FDCWD;
                if (!jobs_.next(f.item, f.dir, f.name)) {
                    more_ = false;
                    break;
                }
                open_by_call(l);
            }
            any = any || lane_[l].busy;
        }
        return any;
    }

    // One round through the ring: free lanes open their next file and read
    // its first block, lanes running low read on. False when no lane is busy.
    bool ring_round() {
        bool any = false;
        for (unsigned l = 0; l < count_; ++l) {
            LaneState& lane = lane_[l];
            LaneFile& f = file_[l];
            if (!lane.busy && more_) {
                f.dir = AT_FDCWD;
                more_ = jobs_.next(f.item, f.dir, f.name);
            }
            if (!lane.busy && more_) {
                start(l);
                f.asked = kLaneRead;
                if (f.name[0] != '\0')
                    ring_.open_and_read(f.dir, f.name, l, area_ + f.slot, kLaneRead, tag(l, kOpenOp),
                                        tag(l, kReadOp));
                else if (!place_open_file(l))  // a file handed out open goes into the slot at once
                    fail(l);
            } else if (lane.busy && running_low(lane)) {
                compact(l);
                f.asked = f.slot + kLaneRead - lane.end;
                ring_.read(l, area_ + lane.end, f.asked, lane.length, tag(l, kReadOp));
            }
            any = any || lane.busy;
        }
        if (!any) return false;
        if (!ring_.wait()) return refused();
        ring_.completions([this](uint64_t t, int result) {
            completed(static_cast<unsigned>(t >> 1), Op(t & 1), result);
        });
        return true;
    }

    // The kernel refused a round. Once everything it took has completed, so
    // that no read of it can land in a slot any more, the lanes' files are
    // read again from their start through plain calls, and the rest follow
    // the same way: the outcome is that of reading without a ring. Should
    // the kernel not even let the round complete, the slots are never used
    // again and the lanes' items end without a result.
    bool refused() {
        ring_on_ = false;
        bool drained = ring_.drain();
        for (unsigned l = 0; l < count_; ++l) {
            if (!lane_[l].busy) continue;
            if (!drained || !open_by_call(l)) lane_[l].busy = false;
            if (!drained) jobs_.done(file_[l].item, nullptr);
        }
        if (!drained) more_ = false;
        return take_jobs();
    }

    // Puts a file handed out open into the lane's ring slot and reads its
    // first blocks in this round.
    bool place_open_file(unsigned l) {
        FdGuard fd(open_file(file_[l]));
        if (!fd.valid() || !ring_.place(l, fd.get())) return false;
        ring_.read(l, area_ + file_[l].slot, kLaneRead, 0, tag(l, kReadOp));
        return true;
    }

    void completed(unsigned l, Op op, int result) {
        if (op == kOpenOp) {
            if (result >= 0) return;
            FdGuard fd(jobs_.open_failed(file_[l].item, -result));
            if (!fd.valid())
                lane_[l].busy = false;
            else if (!ring_.place(l, fd.get()))
                fail(l);
            return;  // a file found another way is read in the next round
        }
        if (result == -ECANCELED) return;  // behind an open that failed
        if (result < 0) return fail(l);
        took(l, static_cast<uint32_t>(result));
    }

    void fail(unsigned l) {
        file_[l].fd.reset();
        lane_[l].busy = false;
        jobs_.done(file_[l].item, nullptr);
    }

    void finish(unsigned l) {
        lane_[l].busy = false;
        jobs_.done(file_[l].item, consumer_.result(l));
    }

    // Not read to its end and holding less than a block.
    static bool running_low(const LaneState& lane) { return !lane.at_end && lane.end - lane.begin < kLaneBlock; }

    // Moves the bytes read but not taken to the start of the lane's slot.
    void compact(unsigned l) {
        LaneState& lane = lane_[l];
        uint32_t held = lane.end - lane.begin;
        std::memmove(area_ + file_[l].slot, area_ + lane.begin, held);
        lane.begin = file_[l].slot;
        lane.end = file_[l].slot + held;
    }

    // Counts `got` bytes read of what was asked; fewer is the end of the file.
    void took(unsigned l, uint32_t got) {
        LaneState& lane = lane_[l];
        lane.end += got;
        lane.length += got;
        if (got < file_[l].asked) {
            file_[l].fd.reset();
            lane.at_end = true;
        }
    }

    // Reads until the slot holds kLaneRead bytes or the file ends. A read
    // that returns fewer bytes than asked is the end: a regular file returns
    // less only there, so a small file costs one read, not a second one that
    // returns 0. A read error ends the job without a result and frees the
    // lane.
    void fill(unsigned l) {
        LaneState& lane = lane_[l];
        LaneFile& f = file_[l];
        compact(l);
        while (lane.end < f.slot + kLaneRead && !lane.at_end) {
            f.asked = f.slot + kLaneRead - lane.end;
            ssize_t got = ::read(f.fd.get(), area_ + lane.end, f.asked);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) return fail(l);
            took(l, static_cast<uint32_t>(got));
        }
    }

    unsigned count_;
    unsigned char* area_;
    FileJobs& jobs_;
    LaneConsumer& consumer_;
    bool more_ = true;
    LaneState lane_[kMaxLanes];
    LaneFile file_[kMaxLanes];
    Ring ring_;
    bool ring_on_ = false;
};

}  // namespace

bool read_files(FileIo io, unsigned lanes, size_t files, FileJobs& jobs, LaneConsumer& consumer) {
    if (lanes > kMaxLanes) lanes = kMaxLanes;
    if (files < lanes) lanes = files == 0 ? 1 : static_cast<unsigned>(files);
    // Zeroed whole, so that a memory checker, which does not see what the
    // kernel writes through the ring, takes the slots as written; the zero
    // block in front is there for idle lanes of the MD5 lanes.
    HeapPtr<unsigned char> area(
        static_cast<unsigned char*>(allocate_zeroed(kLaneBlock + size_t{lanes} * kLaneSlot, 1)));
    if (!area) return false;
    // The ring costs a few calls to set up: worth it when lanes take more
    // than one file each.
    Reader(lanes, area.get(), jobs, consumer, io == FileIo::ring && files > lanes).run();
    return true;
}

}  // namespace kaldorn::detail

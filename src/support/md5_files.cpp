// The lane scheduler behind digest_files. Each lane owns a slot of the
// working area: its file is read into the slot, the lanes advance together by
// as many blocks as the shortest of them holds, and a lane that runs dry
// reads on. At the end of its file the lane appends the MD5 padding itself,
// so a whole file, padding included, goes through the vector steps.
#include "support/md5_files.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "support/alloc.h"
#include "support/bytes.h"
#include "support/fd_guard.h"
#include "support/md5_steps.h"

namespace kaldorn::detail {

namespace {

constexpr uint32_t kBlock = 64;
constexpr uint32_t kRead = 64 * 1024;          // file bytes a slot holds
constexpr uint32_t kSlot = kRead + 2 * kBlock;  // and room for the padding
constexpr uint32_t kIdle = 0;                   // offset of the zero block idle lanes read

struct Lane {
    FdGuard fd;           // open until the file has been read to its end
    size_t item = 0;
    uint32_t slot = 0;    // offset of the lane's slot in the working area
    uint32_t begin = 0;   // bytes [begin, end) are read but not yet hashed
    uint32_t end = 0;
    uint64_t length = 0;  // bytes of the file read so far
    bool busy = false;
    bool ended = false;   // read to its end and padded
};

class Digester {
public:
    Digester(Md5Path path, unsigned lanes, unsigned char* area, DigestJobs& jobs)
        : path_(path), count_(lanes), area_(area), jobs_(jobs) {
        for (unsigned l = 0; l < count_; ++l) lane_[l].slot = kBlock + l * kSlot;
    }

    void run() {
        while (take_jobs()) {
            uint32_t blocks = advance_all();
            for (unsigned l = 0; l < count_; ++l) {
                Lane& lane = lane_[l];
                if (!lane.busy) continue;
                lane.begin += blocks * kBlock;
                if (lane.ended && lane.begin == lane.end)
                    finish(l);
                else if (!lane.ended && lane.end - lane.begin < kBlock)
                    fill(l);
            }
        }
    }

private:
    // Gives every free lane a file while there are any; false when no lane
    // is busy.
    bool take_jobs() {
        bool any = false;
        for (unsigned l = 0; l < count_; ++l) {
            Lane& lane = lane_[l];
            while (!lane.busy && more_) {
                int fd = jobs_.next(lane.item);
                if (fd < 0) {
                    more_ = false;
                    break;
                }
                lane.fd.reset(fd);
                lane.busy = true;
                lane.ended = false;
                lane.begin = lane.end = lane.slot;
                lane.length = 0;
                for (int w = 0; w < 4; ++w) state_.v[w][l] = kMd5Initial[w];
                fill(l);
            }
            any = any || lane.busy;
        }
        return any;
    }

    // Advances the busy lanes by the blocks all of them hold; returns that
    // count.
    uint32_t advance_all() {
        uint32_t offset[kMd5MaxLanes] = {}, step[kMd5MaxLanes] = {};  // idle lanes: kIdle, step 0
        uint32_t blocks = kSlot;
        for (unsigned l = 0; l < count_; ++l) {
            if (!lane_[l].busy) continue;
            offset[l] = lane_[l].begin;
            step[l] = kBlock;
            uint32_t held = (lane_[l].end - lane_[l].begin) / kBlock;
            blocks = held < blocks ? held : blocks;
        }
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
        uint32_t held = lane.end - lane.begin;
        std::memmove(area_ + lane.slot, area_ + lane.begin, held);
        lane.begin = lane.slot;
        lane.end = lane.slot + held;
        while (lane.end < lane.slot + kRead) {
            uint32_t asked = lane.slot + kRead - lane.end;
            ssize_t got = ::read(lane.fd.get(), area_ + lane.end, asked);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) {
                lane.fd.reset();
                lane.busy = false;
                jobs_.done(lane.item, nullptr);
                return;
            }
            lane.end += static_cast<uint32_t>(got);
            lane.length += static_cast<uint64_t>(got);
            if (static_cast<uint32_t>(got) < asked) {
                lane.fd.reset();
                pad(lane);
                return;
            }
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
};

}  // namespace

bool digest_files(Md5Path path, size_t files, DigestJobs& jobs) {
    unsigned lanes = static_cast<unsigned>(path);
    if (files < lanes) lanes = files == 0 ? 1 : static_cast<unsigned>(files);
    HeapPtr<unsigned char> area(static_cast<unsigned char*>(allocate(kBlock + size_t{lanes} * kSlot)));
    if (!area) return false;
    std::memset(area.get() + kIdle, 0, kBlock);
    Digester(path, lanes, area.get(), jobs).run();
    return true;
}

}  // namespace kaldorn::detail

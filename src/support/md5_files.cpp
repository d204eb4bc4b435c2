// The MD5 lanes as a consumer of the lane reader: the busy lanes advance
// together by as many blocks as the shortest of them holds (idle lanes read
// the zero block in front of the area, and their values are not kept). At
// the end of its file a lane appends the MD5 padding itself, so a whole
// file, padding included, goes through the vector steps.
#include "support/md5_files.h"

#include <cstring>

#include "support/bytes.h"
#include "support/md5_steps.h"

namespace kaldorn::detail {

namespace {

static_assert(kMaxLanes >= kMd5MaxLanes, "a lane of the reader for every MD5 lane");
static_assert(kLaneSlot - kLaneRead >= 2 * 64, "room for the padding behind a full slot");

class Md5Consumer final : public LaneConsumer {
public:
    explicit Md5Consumer(Md5Path path) : path_(path) {}

    void start(unsigned l, size_t /*item*/) override {
        padded_[l] = false;
        for (int w = 0; w < 4; ++w) state_.v[w][l] = kMd5Initial[w];
    }

    void take(unsigned char* area, LaneState* lanes, unsigned count, bool* complete) override {
        uint32_t offset[kMd5MaxLanes] = {}, step[kMd5MaxLanes] = {};  // idle lanes: the zero block, step 0
        uint32_t blocks = UINT32_MAX;
        for (unsigned l = 0; l < count; ++l) {
            LaneState& lane = lanes[l];
            if (!lane.busy) continue;
            if (lane.at_end && !padded_[l]) pad(area, lane, l);
            offset[l] = lane.begin;
            step[l] = 64;
            uint32_t held = (lane.end - lane.begin) / 64;
            blocks = held < blocks ? held : blocks;
        }
        if (blocks == UINT32_MAX) return;  // no lane busy (a round whose opens all failed)
        if (blocks > 0) md5_lanes_update(path_, state_, area, offset, step, blocks);
        for (unsigned l = 0; l < count; ++l) {
            if (!lanes[l].busy) continue;
            lanes[l].begin += blocks * 64;
            complete[l] = padded_[l] && lanes[l].begin == lanes[l].end;
        }
    }

    const unsigned char* result(unsigned l) override {
        for (int w = 0; w < 4; ++w) store_le32(digest_ + 4 * w, state_.v[w][l]);
        return digest_;
    }

private:
    // 0x80, zeros up to 56 bytes into a block, then the bit length.
    void pad(unsigned char* area, LaneState& lane, unsigned l) {
        uint32_t tail = (lane.end - lane.begin) % 64;
        uint32_t zeros = (tail < 56 ? 56 - tail : 120 - tail) - 1;
        unsigned char* p = area + lane.end;
        p[0] = 0x80;
        std::memset(p + 1, 0, zeros);
        uint64_t bits = lane.length << 3;
        store_le32(p + 1 + zeros, static_cast<uint32_t>(bits));
        store_le32(p + 5 + zeros, static_cast<uint32_t>(bits >> 32));
        lane.end += zeros + 9;
        padded_[l] = true;
    }

    Md5Path path_;
    Md5Lanes state_{};
    bool padded_[kMd5MaxLanes] = {};
    unsigned char digest_[16] = {};
};

}  // namespace

bool digest_files(Md5Path path, FileIo io, size_t files, FileJobs& jobs) {
    Md5Consumer md5(path);
    return read_files(io, static_cast<unsigned>(path), files, jobs, md5);
}

}  // namespace kaldorn::detail

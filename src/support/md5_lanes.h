// Multi-buffer MD5: up to 16 independent digests advanced together, one per
// lane of a vector register, each lane reading its own 64-byte blocks.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kaldorn::detail {

// Lanes per step: one scalar digest, 8 on 256-bit vectors, 16 on 512-bit.
enum class Md5Path : unsigned { one = 1, eight = 8, sixteen = 16 };

// Whether this processor (and its operating system) runs a path.
bool md5_path_runs(Md5Path path);

// The widest path this processor runs.
Md5Path best_md5_path();

inline constexpr unsigned kMd5MaxLanes = 16;

// Chaining values A, B, C, D of every lane: word w of lane l is v[w][l].
struct Md5Lanes {
    alignas(64) uint32_t v[4][kMd5MaxLanes];
};

// Runs `blocks` compressions in each lane of the path. Lane l reads its
// blocks one after another from base + offset[l] when step[l] is 64; with
// step 0 it reads the 64 bytes at its offset each time and its chaining
// values mean nothing afterwards. Offsets are below 2^31.
void md5_lanes_update(Md5Path path, Md5Lanes& lanes, const unsigned char* base, const uint32_t* offset,
                      const uint32_t* step, size_t blocks);

}  // namespace kaldorn::detail

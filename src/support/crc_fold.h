// Fast CRC-32 register update shared by every CRC computation of the library.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kaldorn::detail {

// The ways to fold a buffer into the register, narrowest first: the byte
// table, then carry-less multiplication over 128-, 256- and 512-bit vectors.
enum class CrcPath { table, clmul128, clmul256, clmul512 };

// Whether this processor (and its operating system) runs a path.
bool crc_path_runs(CrcPath path);

// The widest path this processor runs.
CrcPath best_crc_path();

// Folds len bytes into the raw register reg (no initial value or final
// complement applied here) along the given path, which the processor must
// run; inputs too short for the path's vectors take the next narrower one.
uint32_t crc32_update_on(CrcPath path, const uint32_t* table, uint32_t reg, const unsigned char* p, size_t len);

// The same along the widest path this processor runs.
uint32_t crc32_update(const uint32_t* table, uint32_t reg, const unsigned char* p, size_t len);

}  // namespace kaldorn::detail

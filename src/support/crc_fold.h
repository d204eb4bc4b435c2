// Fast CRC-32 register update shared by every CRC computation of the library.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kaldorn::detail {

// Folds len bytes into the raw register reg (no initial value or final
// complement applied here), using the 256-entry byte table for short inputs
// and carry-less multiplication when the processor has it.
uint32_t crc32_update(const uint32_t* table, uint32_t reg, const unsigned char* p, size_t len);

}  // namespace kaldorn::detail

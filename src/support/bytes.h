// Little-endian load/store and the byte rotation used by the record areas of
// definition index DATs and component lists.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

// The file records are packed structs copied to and from the file's bytes as
// they lie, so only a little-endian processor reads them right.
static_assert(std::endian::native == std::endian::little,
              "kaldorn reads its file formats on little-endian targets only");

namespace kaldorn::detail {

inline uint16_t load_le16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline uint32_t load_le32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline void store_le32(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

// Stored record bytes are rotated left by 3 bits within the byte.
inline unsigned char rotate_stored(unsigned char b) {
    return static_cast<unsigned char>((b << 3) | (b >> 5));
}

inline unsigned char rotate_loaded(unsigned char b) {
    return static_cast<unsigned char>((b >> 3) | (b << 5));
}

inline void encode_rotated(unsigned char* p, size_t n) {
    for (size_t i = 0; i < n; ++i) p[i] = rotate_stored(p[i]);
}

inline void decode_rotated(unsigned char* p, size_t n) {
    for (size_t i = 0; i < n; ++i) p[i] = rotate_loaded(p[i]);
}

}  // namespace kaldorn::detail

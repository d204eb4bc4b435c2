// A component list loaded and checked but not yet copied into 300-byte
// records: the decoded file bytes and the offset of every record. Merge and
// diff compare records in place and copy out only what they hand back.
#pragma once

#include <cstdint>
#include <cstring>

#include "compnlist/format.h"
#include "support/alloc.h"
#include "support/bytes.h"

namespace kaldorn::detail {

struct ListView {
    HeapPtr<unsigned char> bytes;  // the whole file, record area decoded
    HeapPtr<uint32_t> offsets;     // start of each record's fixed part
    uint32_t count = 0;

    const unsigned char* fixed(uint32_t i) const { return bytes.get() + offsets.get()[i]; }
    const char* name(uint32_t i) const { return reinterpret_cast<const char*>(fixed(i) + kCompnFixedSize); }
    uint32_t flag(uint32_t i) const { return load_le32(fixed(i)); }
    uint32_t tag(uint32_t i) const { return load_le32(fixed(i) + offsetof(CompnRecord, dwTag)); }
    const unsigned char* digest(uint32_t i) const { return fixed(i) + offsetof(CompnRecord, uchMD5Digest); }

    // Record i as the reader hands it out: zero after the name's NUL.
    void copy_out(uint32_t i, CompnRecord& out) const {
        std::memcpy(&out, fixed(i), kCompnFixedSize);
        size_t length = std::strlen(name(i));
        std::memcpy(out.szFileName, name(i), length);
        std::memset(out.szFileName + length, 0, sizeof out.szFileName - length);
    }
};

// Loads and checks a list; 0 or the reader's code (7, 8, 10, 11, 13, 17, 18).
unsigned int load_list_view(const char* path, ListView& view);

}  // namespace kaldorn::detail

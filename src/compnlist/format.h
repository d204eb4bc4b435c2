// The stored layout of component list files, shared by the reader, the
// writer and the tools built on them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "kaldorn/vxcminfo.h"
#include "support/path.h"

namespace kaldorn::detail {

using CompnRecord = tagVX_COMPONENT_FILE_MEM_RECORD_INFO;

inline constexpr size_t kCompnHeadSize = 80;         // header block + record count
inline constexpr size_t kCompnHeaderBlockSize = 76;  // written and read apart from the count
inline constexpr size_t kCompnCountOffset = 76;
inline constexpr size_t kCompnFixedSize = 40;        // stored fixed part of a record
inline constexpr size_t kCompnMagicOffset = 0;
inline constexpr size_t kCompnFormatOffset = 4;      // two bytes, both 1
inline constexpr size_t kCompnMakerOffset = 6;
inline constexpr size_t kCompnMakerSize = 32;
inline constexpr size_t kCompnChecksumOffset = 56;   // byte sum of the stored record area
inline constexpr size_t kCompnPlatformOffset = 60;   // three identifiers
inline constexpr char kCompnMagic[4] = {'I', 'N', 'X', 'F'};
inline constexpr char kCompnMaker[] = "Tarnwick Fieldworks Systems Ltd.";
static_assert(sizeof(kCompnMaker) == kCompnMakerSize + 1, "maker name fills its 32 bytes");

// A record the writer accepts reads back identical: its stored name holds 1
// to 260 bytes including the NUL, is a plain file name, and szFileName is
// zero after the NUL.
inline bool compn_name_storable(const CompnRecord& r) {
    if (r.dwNameLength < 1 || r.dwNameLength > KALDORN_MAX_PATH) return false;
    size_t length = strnlen(r.szFileName, r.dwNameLength);
    if (length == r.dwNameLength || !is_plain_name(r.szFileName, length)) return false;
    unsigned char any = 0;  // OR of the bytes after the NUL
    for (size_t i = length; i < sizeof r.szFileName; ++i) any |= static_cast<unsigned char>(r.szFileName[i]);
    return any == 0;
}

}  // namespace kaldorn::detail

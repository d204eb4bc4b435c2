// Writer of component lists for tests, built byte by byte from the file
// layout (80-byte plain head, records stored rotated left by 3 bits), with
// OpenSSL's MD5 as the digest oracle. It shares no code with the library.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "datwriter.h"

namespace fixtures {

using Digest = std::array<uint8_t, 16>;

struct CompnEntry {
    uint32_t flag = 1;
    uint32_t size = 0;
    Digest digest{};
    uint32_t tag = 0;
    std::string name;                     // stored as name + NUL unless override_length
    std::array<uint8_t, 8> reserved{};
    bool override_length = false;
    uint32_t name_length = 0;             // stored length when override_length: name cut or zero-padded
};

struct CompnList {
    std::vector<CompnEntry> records;
    uint32_t platform[3] = {0, 0, 0};
    std::string magic = "INXF";
    uint8_t format[2] = {1, 1};
    std::string maker = "Tarnwick Fieldworks Systems Ltd.";
    bool override_count = false;
    uint32_t count = 0;
    bool override_checksum = false;
    uint32_t checksum = 0;
    Bytes trailing;                       // stored bytes after the last record (summed)
};

inline constexpr size_t kCompnHead = 80;

Bytes build_compn_list(const CompnList& spec);
Bytes list_bytes(const std::vector<CompnEntry>& records);  // a valid list of these records

Digest md5_of(const std::string& bytes);  // OpenSSL EVP
CompnEntry entry_for(const std::string& name, const std::string& contents, uint32_t flag = 1);

}  // namespace fixtures

// Writers of index DAT files for tests, built field by field from the file
// layout with zlib's crc32 as the checksum oracle. They share no code with
// the library, so a fault in its layout code cannot hide in both.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace fixtures {

using Bytes = std::vector<uint8_t>;

void put32(Bytes& b, uint32_t v);
void set32(Bytes& b, size_t at, uint32_t v);
uint32_t get32(const Bytes& b, size_t at);

// Standard CRC-32 (zlib) of the last 1024-byte block of b[start, end).
uint32_t block_crc(const Bytes& b, size_t start);
// Signed byte sum from offset 8.
uint32_t byte_sum(const Bytes& b);
// A record byte as stored in definition files and component lists: rotated left by 3.
uint8_t stored_byte(uint8_t plain);

struct VersionDat {
    uint32_t product = 1;
    uint32_t revision = 0;
    uint32_t entries = 0;                // 16-byte entry table entries (filled with a pattern)
    uint32_t first_major = 1, first_minor = 1;
    uint32_t db_major = 1, db_minor = 0;
    std::string text;                    // the version text
    std::string trailing;                // bytes after the payload
    bool override_size = false;
    uint32_t payload_size = 0;           // used when override_size
};
Bytes build_version_dat(const VersionDat& spec);

struct DefRecord {
    uint32_t id = 1;
    uint8_t date[7] = {0, 0, 0, 0, 0, 0, 0};
    uint32_t data = 0;
    uint32_t status = 1;
    std::string name;
    bool override_length = false;
    uint32_t name_length = 0;            // stored length when override_length
};

struct DefinitionDat {
    uint32_t product = 4;
    uint32_t revision = 0;
    uint32_t entries = 0;
    uint32_t db_major = 1, db_minor = 1;
    uint32_t payload_size = 0;
    uint32_t file_length = 0;
    uint32_t dat_version = 0;
    uint32_t last_def_id = 0;
    uint32_t current_def_id = 0;
    std::vector<DefRecord> records;
    bool override_count = false;
    uint32_t record_count = 0;
};
Bytes build_definition_dat(const DefinitionDat& spec);

// "%08x_index.dat" of a product.
std::string index_name(uint32_t product);

// Offset of the solo header in a definition file with this many entries.
inline size_t solo_offset(uint32_t entries) { return 60 + 16 * size_t{entries}; }

// n bytes of a fixed pseudo-random sequence.
Bytes random_bytes(size_t n, unsigned seed);
void write_file(const std::filesystem::path& path, const Bytes& bytes);
Bytes read_file(const std::filesystem::path& path);

// A fresh directory under base (the test temp dir unless given), removed by
// the destructor.
class TempDir {
public:
    explicit TempDir(const std::filesystem::path& base = std::filesystem::temp_directory_path());
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string str() const { return path_.string(); }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// A terminated 16-bit copy of an ASCII path, as the 16-bit entry points take it.
inline std::vector<unsigned short> wide(const std::string& s) {
    std::vector<unsigned short> w(s.begin(), s.end());
    w.push_back(0);
    return w;
}

// This process's open descriptors: number to what each refers to.
std::map<int, std::string> open_descriptors();
// How many descriptors this process has open.
inline int open_descriptor_count() { return static_cast<int>(open_descriptors().size()); }

}  // namespace fixtures

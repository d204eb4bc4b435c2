// The publisher's side of the file formats, which kaldorn.so itself only
// reads or maintains: whole version index DATs, definition index DATs and
// component lists built in memory from their fields, with every checksum in
// place. A static library of the project (the tool, the example generator,
// the benchmarks, the fuzz corpora and the tests), never part of kaldorn.so;
// it calls only what kaldorn.so exports and the header-only mechanics.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "kaldorn/soloindx.h"

namespace kaldorn::publish {

using Bytes = std::vector<unsigned char>;

// A version index DAT: the version text and the DB version its owner holds.
struct VersionIndex {
    uint32_t product = 1;
    uint32_t revision = 0;
    uint32_t entries = 0;  // 16-byte entries of the entry table, written as zeros
    tagKAL_DORN_DBVERSION_INFO first{1, 1};  // carried, never interpreted
    tagKAL_DORN_DBVERSION_INFO db{1, 1};
    std::string text;  // tokens "1", "0001;", "0010;"
};

// One definition record.
struct Definition {
    uint32_t id = 1;
    std::array<uint8_t, 7> date{};  // the date stamp, compared byte for byte
    uint32_t data = 0;              // the caller's value, never interpreted
    uint32_t status = 1;            // 1 = active
    std::string name;
};

// A definition index DAT. An unstamped file is what appending records
// leaves: no file length or payload size. A stamped one carries both, as
// UpdateSoloIndexDatFile leaves them.
struct DefinitionIndex {
    uint32_t product = 4;
    uint32_t revision = 0;
    uint32_t entries = 0;
    tagKAL_DORN_DBVERSION_INFO db{1, 1};
    uint32_t dat_version = 0;
    uint32_t current = 0;  // the definition id stamped as current
    uint32_t last_id = 0;  // 0: the highest id among the records
    bool stamped = false;
    std::vector<Definition> records;
};

// One component list record: the plain fixed part and the name.
struct Component {
    uint32_t flag = 1;  // 1: verified against the disk
    uint32_t size = 0;
    std::array<uint8_t, 16> digest{};
    uint32_t tag = 0;
    std::string name;  // stored with its NUL
    std::array<uint8_t, 8> reserved{};
};

Bytes version_index(const VersionIndex& index);
Bytes definition_index(const DefinitionIndex& index);
Bytes component_list(const std::vector<Component>& records, const std::array<uint32_t, 3>& platform = {});

// The record of a file named `name` holding `contents`: its size and MD5.
Component component(const std::string& name, const std::string& contents, uint32_t flag = 1);

// Recompute every checksum of a file after its bytes were changed: the
// section CRC (version index DATs), the solo CRC (definition index DATs, N
// entries) and the byte sum in the lead block; the component list's record
// sum. The writers above end with them.
void seal_version_index(Bytes& b);
void seal_definition_index(Bytes& b);
void seal_component_list(Bytes& b);

// "%08x_index.dat", "%08x_compns.lst" and "%08x_%08x.dat".
std::string index_name(uint32_t product);
std::string component_list_name(uint32_t product);
std::string definition_file(uint32_t product, uint32_t id);

// The update files a version text names, oldest first, as the planners name
// them ("iu"/"eu", "%04d%02d", "_weekly"/"_monthly"); empty when the text
// does not decode.
std::vector<std::string> update_files(uint32_t product, const std::string& text);

// Writes bytes to a file (replacing it), mode 0600; false when it cannot.
bool write_file(const std::filesystem::path& path, const Bytes& bytes);

}  // namespace kaldorn::publish

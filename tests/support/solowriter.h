// Installations of a solo product for tests, the example and the
// benchmarks: definition index DATs under their product's name, an engine
// directory with its component list and component files, and the sibling
// library with the file naming the engine directory.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "datwriter.h"

namespace fixtures {

// An active record dated with a fixed stamp whose third byte is `day`.
DefRecord solo_def(uint32_t id, uint8_t day, const char* name);

// A definition index DAT at dat_version whose header names `current`; the
// record list as given, last_def_id the highest id.
DefinitionDat solo_index(uint32_t product, uint32_t dat_version, uint32_t current, std::vector<DefRecord> records);
void write_solo_index(const std::filesystem::path& dir, const DefinitionDat& dat);

// One component of an engine directory: listed with the digest of
// `contents`; on disk as listed, with other contents, or absent.
struct Component {
    enum State { Intact, Damaged, Missing };
    std::string name;
    std::string contents;
    State state = Intact;
};
// The component files and "%08x_compns.lst" listing all of them (flag 1).
void write_engine(const std::filesystem::path& engine, uint32_t product, const std::vector<Component>& components);

// Copies a built sibling library into dir as "orlenmap.dll" and, when
// location is not empty, writes "orlenmap.loc" naming the engine directory.
void install_sibling(const std::filesystem::path& dir, const std::string& built, const std::string& location = "");

}  // namespace fixtures

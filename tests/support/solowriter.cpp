// Solo installations written from the documented layouts by the index DAT
// and component list writers.
#include "solowriter.h"

#include <algorithm>
#include <cstdio>

#include "compnwriter.h"

namespace fs = std::filesystem;

namespace fixtures {

DefRecord solo_def(uint32_t id, uint8_t day, const char* name) {
    return {id, {0x10, 0x0b, day, 0x07, 0xea, 0x07, 0x01}, 0, 1, name};
}

DefinitionDat solo_index(uint32_t product, uint32_t dat_version, uint32_t current, std::vector<DefRecord> records) {
    DefinitionDat d;
    d.product = product;
    d.dat_version = dat_version;
    d.current_def_id = current;
    for (const DefRecord& r : records) d.last_def_id = std::max(d.last_def_id, r.id);
    d.records = std::move(records);
    return d;
}

void write_solo_index(const fs::path& dir, const DefinitionDat& dat) {
    fs::create_directories(dir);
    write_file(dir / index_name(dat.product), build_definition_dat(dat));
}

void write_engine(const fs::path& engine, uint32_t product, const std::vector<Component>& components) {
    fs::create_directories(engine);
    std::vector<CompnEntry> entries;
    for (const Component& c : components) {
        entries.push_back(entry_for(c.name, c.contents));
        if (c.state == Component::Missing) continue;
        std::string on_disk = c.state == Component::Damaged ? c.contents + "#" : c.contents;
        write_file(engine / c.name, Bytes(on_disk.begin(), on_disk.end()));
    }
    char name[32];
    std::snprintf(name, sizeof name, "%08x_compns.lst", product);
    write_file(engine / name, list_bytes(entries));
}

void install_sibling(const fs::path& dir, const std::string& built, const std::string& location) {
    fs::create_directories(dir);
    fs::copy_file(built, dir / "orlenmap.dll", fs::copy_options::overwrite_existing);
    if (!location.empty()) write_file(dir / "orlenmap.loc", Bytes(location.begin(), location.end()));
}

}  // namespace fixtures

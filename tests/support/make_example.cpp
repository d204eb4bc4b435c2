// Writes the bundled example installation: a client directory and an update
// source for the version product 1, with a directory of update files for the
// local directory source, a definition product 4 with a reference source,
// and the component files of an installation with their component lists and
// the sibling library naming them as the engine, built from the documented
// layout by the fixture writers.
#include <filesystem>
#include <iostream>

#include "compnwriter.h"
#include "datwriter.h"
#include "planwriter.h"
#include "solowriter.h"

namespace fs = std::filesystem;

// install/ lacks patterns.extra and holds a damaged patterns.main; the
// client's list records them as they should be, the source's list is newer.
void write_components(const fs::path& root) {
    fs::create_directories(root / "install");
    auto put = [&](const char* name, const std::string& contents) {
        fixtures::write_file(root / "install" / name, fixtures::Bytes(contents.begin(), contents.end()));
    };
    put("engine.core", "engine core v2\n");
    put("patterns.main", "patterns main, damaged\n");
    put("readme.txt", "not verified\n");
    fixtures::write_file(root / "client" / "00000004_compns.lst",
                         fixtures::list_bytes({fixtures::entry_for("engine.core", "engine core v2\n"),
                                               fixtures::entry_for("patterns.main", "patterns main\n"),
                                               fixtures::entry_for("patterns.extra", "patterns extra\n"),
                                               fixtures::entry_for("readme.txt", "readme\n", 0)}));
    fixtures::write_file(root / "source" / "00000004_compns.lst",
                         fixtures::list_bytes({fixtures::entry_for("engine.core", "engine core v3\n"),
                                               fixtures::entry_for("Patterns.Main", "patterns main\n"),
                                               fixtures::entry_for("patterns.new", "patterns new\n")}));
}

// The solo product 4 planned end to end: the client's sibling library names
// install/ as the engine directory, whose component list is the client's;
// a reference one DAT version ahead of the source re-dates patterns.main.
void write_solo(const fs::path& root, fixtures::DefinitionDat defs) {
    fs::copy_file(root / "client" / "00000004_compns.lst", root / "install" / "00000004_compns.lst",
                  fs::copy_options::overwrite_existing);
    fixtures::install_sibling(root / "client", KALDORN_SIBLING, "../install\n");
    defs.dat_version = 3;
    defs.records[1].date[6] = 0x05;
    fixtures::write_solo_index(root / "reference", defs);
}

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_example DIR\n";
        return 2;
    }
    fs::path root = argv[1];
    for (const char* d : {"client", "source", "updates"}) fs::create_directories(root / d);

    const std::string text = fixtures::kExampleText;
    fixtures::VersionDat source;
    source.text = text;
    source.db_major = 8;
    source.db_minor = 2;
    fixtures::write_file(root / "source" / "00000001_index.dat", fixtures::build_version_dat(source));

    fixtures::VersionDat client = source;
    client.db_major = 2;
    client.db_minor = 2;
    fixtures::write_file(root / "client" / "00000001_index.dat", fixtures::build_version_dat(client));
    // Every update file of the source but the second monthly, so that the
    // local directory source falls back to the weeklies it covers.
    fixtures::write_update_files(root / "updates", 1, fixtures::updates_of(text), {"iu000603_monthly.dat"});

    fixtures::DefinitionDat defs;
    defs.product = 4;
    defs.dat_version = 1;
    defs.last_def_id = 3;
    defs.current_def_id = 3;
    defs.records = {{1, {0x10, 0x0b, 0x1a, 0x07, 0xea, 0x07, 0x01}, 0, 1, "engine.core"},
                    {2, {0x10, 0x0b, 0x1a, 0x07, 0xea, 0x07, 0x02}, 0, 1, "patterns.main"},
                    {3, {0x11, 0x0b, 0x1a, 0x07, 0xea, 0x07, 0x03}, 0, 1, "patterns.extra"}};
    defs.dat_version = 2;  // the source is one DAT version ahead of the client
    fixtures::write_file(root / "source" / "00000004_index.dat", fixtures::build_definition_dat(defs));
    defs.dat_version = 1;
    defs.records.pop_back();
    defs.last_def_id = 2;
    defs.current_def_id = 2;
    fixtures::write_file(root / "client" / "00000004_index.dat", fixtures::build_definition_dat(defs));
    write_components(root);
    defs.dat_version = 2;
    defs.records.push_back({3, {0x11, 0x0b, 0x1a, 0x07, 0xea, 0x07, 0x03}, 0, 1, "patterns.extra"});
    defs.last_def_id = 3;
    defs.current_def_id = 3;
    write_solo(root, defs);
    std::cout << "example installation written to " << root.string() << '\n';
    return 0;
}

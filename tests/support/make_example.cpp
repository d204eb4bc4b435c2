// Writes the bundled example installation: a client directory and an update
// source for the version product 1, with a directory of update files for the
// local directory source, a definition product 4 with a reference source,
// and the component files of an installation with their component lists and
// the sibling library naming them as the engine, built from the documented
// layout by the fixture writers.
#include <cstring>
#include <filesystem>
#include <iostream>

#include "compnwriter.h"
#include "datwriter.h"
#include "planwriter.h"
#include "solowriter.h"

namespace fs = std::filesystem;
using fixtures::entry_for;

// install/ lacks patterns.extra and holds a damaged patterns.main; the
// client's list records them as they should be, the source's list is newer.
// The client's sibling library names install/ as the engine directory,
// whose component list is the client's.
void write_components(const fs::path& root) {
    fs::create_directories(root / "install");
    for (auto [name, contents] : {std::pair{"engine.core", "engine core v2\n"},
                                  {"patterns.main", "patterns main, damaged\n"}, {"readme.txt", "not verified\n"}})
        fixtures::write_file(root / "install" / name, fixtures::Bytes(contents, contents + std::strlen(contents)));
    const fixtures::Bytes client = fixtures::list_bytes(
        {entry_for("engine.core", "engine core v2\n"), entry_for("patterns.main", "patterns main\n"),
         entry_for("patterns.extra", "patterns extra\n"), entry_for("readme.txt", "readme\n", 0)});
    fixtures::write_file(root / "client" / "00000004_compns.lst", client);
    fixtures::write_file(root / "install" / "00000004_compns.lst", client);
    fixtures::write_file(root / "source" / "00000004_compns.lst",
                         fixtures::list_bytes({entry_for("engine.core", "engine core v3\n"),
                                               entry_for("Patterns.Main", "patterns main\n"),
                                               entry_for("patterns.new", "patterns new\n")}));
    fixtures::install_sibling(root / "client", KALDORN_SIBLING, "../install\n");
}

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_example DIR\n";
        return 2;
    }
    fs::path root = argv[1];
    const std::string text = fixtures::kExampleText;
    fixtures::write_version_index(root / "source", 1, text, 8, 2);
    fixtures::write_version_index(root / "client", 1, text, 2, 2);
    // Every update file of the source but the second monthly, so that the
    // local directory source falls back to the weeklies it covers.
    fixtures::write_update_files(root / "updates", 1, fixtures::updates_of(text), {"iu000603_monthly.dat"});

    // Product 4: the client one DAT version behind the source, which adds
    // patterns.extra; a reference one DAT version ahead of the source
    // re-dates patterns.main.
    std::vector<fixtures::DefRecord> defs = {{1, {0x10, 0x0b, 0x1a, 0x07, 0xea, 0x07, 0x01}, 0, 1, "engine.core"},
                                             {2, {0x10, 0x0b, 0x1a, 0x07, 0xea, 0x07, 0x02}, 0, 1, "patterns.main"},
                                             {3, {0x11, 0x0b, 0x1a, 0x07, 0xea, 0x07, 0x03}, 0, 1, "patterns.extra"}};
    fixtures::write_solo_index(root / "source", fixtures::solo_index(4, 2, 3, defs));
    fixtures::write_solo_index(root / "client", fixtures::solo_index(4, 1, 2, {defs[0], defs[1]}));
    defs[1].date[6] = 0x05;
    fixtures::write_solo_index(root / "reference", fixtures::solo_index(4, 3, 3, defs));
    write_components(root);
    std::cout << "example installation written to " << root.string() << '\n';
    return 0;
}

// Writes the bundled example installation: a client directory and an update
// source for the version product 1, and a definition product 4, built from
// the documented layout by the fixture writers.
#include <filesystem>
#include <iostream>

#include "datwriter.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_example DIR\n";
        return 2;
    }
    fs::path root = argv[1];
    for (const char* d : {"client", "source", "updates"}) fs::create_directories(root / d);

    // Two dailies and a weekly, twice; two dailies and a monthly; the same
    // again; then two dailies, a weekly and two dailies: 23 update files.
    const std::string text = "110001;110001;110010;110001;110001;110010;110001;11";
    fixtures::VersionDat source;
    source.text = text;
    source.db_major = 8;
    source.db_minor = 2;
    fixtures::write_file(root / "source" / "00000001_index.dat", fixtures::build_version_dat(source));

    fixtures::VersionDat client = source;
    client.db_major = 2;
    client.db_minor = 2;
    fixtures::write_file(root / "client" / "00000001_index.dat", fixtures::build_version_dat(client));

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
    std::cout << "example installation written to " << root.string() << '\n';
    return 0;
}

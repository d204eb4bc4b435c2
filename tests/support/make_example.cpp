// Writes the bundled example installation: product 1's client at 2.2 and source at 8.2 with update files, product
// 4's definition indexes, and the installed components with their lists and the sibling naming install/.
#include <iostream>

#include "files.h"

namespace pub = kaldorn::publish;

int main(int argc, char** argv) {
    if (argc != 2) return (std::cerr << "usage: make_example DIR\n"), 2;
    const fx::fs::path root = argv[1];
    fx::write_version_index(root / "source", 1, fx::kExampleText, 8, 2);
    fx::write_version_index(root / "client", 1, fx::kExampleText, 2, 2);
    // Without the second monthly a local directory falls back to the weeklies it covers.
    fx::write_update_files(root / "updates", 1, fx::kExampleText, {"iu000603_monthly.dat"});

    // The client is one DAT version behind the source, which adds patterns.extra; the reference, one ahead, re-dates
    // patterns.main.
    std::vector<pub::Definition> defs = {{1, {0x10, 0x0b, 0x1a, 0x07, 0xea, 0x07, 0x01}, 0, 1, "engine.core"},
                                         {2, {0x10, 0x0b, 0x1a, 0x07, 0xea, 0x07, 0x02}, 0, 1, "patterns.main"},
                                         {3, {0x11, 0x0b, 0x1a, 0x07, 0xea, 0x07, 0x03}, 0, 1, "patterns.extra"}};
    fx::write_definitions(root / "client", 4, 1, 2, {defs[0], defs[1]});
    fx::write_definitions(root / "source", 4, 2, 3, defs);
    defs[1].date[6] = 0x05;
    fx::write_definitions(root / "reference", 4, 3, 3, defs);

    // install/ lacks patterns.extra and holds a damaged patterns.main; the client's list (the engine's too) records
    // them as they should be.
    fx::write_file(root / "install/engine.core", "engine core v2\n");
    fx::write_file(root / "install/patterns.main", "patterns main, damaged\n");
    fx::write_file(root / "install/readme.txt", "not verified\n");
    const pub::Bytes client = pub::component_list(
        {pub::component("engine.core", "engine core v2\n"), pub::component("patterns.main", "patterns main\n"),
         pub::component("patterns.extra", "patterns extra\n"), pub::component("readme.txt", "readme\n", 0)});
    for (const char* dir : {"client", "install"}) fx::write_file(root / dir / pub::component_list_name(4), client);
    fx::write_file(root / "source" / pub::component_list_name(4),
                   pub::component_list({pub::component("engine.core", "engine core v3\n"),
                                        pub::component("Patterns.Main", "patterns main\n"),
                                        pub::component("patterns.new", "patterns new\n")}));
    fx::install_sibling(root / "client", KALDORN_SIBLING, "../install\n");
    std::cout << "example installation written to " << root.string() << '\n';
    return 0;
}

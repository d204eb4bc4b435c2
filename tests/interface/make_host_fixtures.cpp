// Writes the installations the C host test plans against: a source at 8.2
// with the 23-token version text, clients at 4.1 and 5.2, a source and a
// client around version 381.1, an update directory holding every file, and
// the solo installations of products 4, 5 and 778.
#include <filesystem>
#include <string>

#include "planwriter.h"
#include "solowriter.h"

namespace fs = std::filesystem;

namespace {

const auto def = fixtures::solo_def;

// Solo products 4, 5 and 778 under solo/: a client at DAT version 1, a source
// at 2 (2 and 5 re-dated, 6 added), a reference at 3 (5 re-dated again), an
// engine directory with a missing and a damaged component, and sources for
// the worked example of a client without an index.
void solo_installation(const fs::path& root) {
    using fixtures::Component;
    using fixtures::solo_index;
    const std::vector<fixtures::DefRecord> client = {def(1, 1, "a"), def(2, 1, "patterns.main"),
                                                     def(5, 1, "engine.dll"), def(7, 1, "readme.txt")};
    const std::vector<fixtures::DefRecord> source = {def(1, 1, "a"), def(2, 2, "patterns.main"),
                                                     def(5, 2, "engine.dll"), def(6, 1, "patterns.extra"),
                                                     def(7, 1, "readme.txt")};
    std::vector<fixtures::DefRecord> reference = source;
    reference[2].date[2] = 3;
    const std::vector<fixtures::DefRecord> abc = {def(1, 1, "a"), def(2, 1, "b"), def(3, 1, "c")};
    for (uint32_t p : {4u, 5u, 778u}) {
        fixtures::write_solo_index(root / "client", solo_index(p, 1, 0x1a, client));
        fixtures::write_solo_index(root / "source", solo_index(p, 2, 6, source));
        fixtures::write_solo_index(root / "reference", solo_index(p, 3, 6, reference));
        fixtures::write_solo_index(root / "source123", solo_index(p, 1, 3, abc));
        fixtures::write_solo_index(root / "source9", solo_index(p, 1, 9, abc));
        // The engine of 4 and 5 is named by the sibling; 778 keeps its components beside its index.
        std::vector<Component> components = {{"a", "a", Component::Intact},
                                             {"engine.dll", "engine", Component::Missing},
                                             {"Readme.TXT", "readme", Component::Damaged}};
        fixtures::write_engine(p == 778 ? root / "client" : root / "engine", p, components);
    }
    fixtures::install_sibling(root / "client", KALDORN_SIBLING, "../engine");
    fs::create_directories(root / "empty");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    fs::path root = argv[1];
    fs::remove_all(root);
    // 380 weeklies close series 1 to 380; the dailies after them are 381.x.
    std::string text381;
    for (int i = 0; i < 380; ++i) text381 += "0001;";
    for (uint32_t product : {1u, 3u}) {
        fixtures::write_version_index(root / "source", product, fixtures::kExampleText, 8, 2);
        fixtures::write_version_index(root / "client41", product, fixtures::kExampleText, 4, 1);
        fixtures::write_version_index(root / "client52", product, fixtures::kExampleText, 5, 2);
        fixtures::write_version_index(root / "client381", product, text381 + "1", 381, 1);
        fixtures::write_version_index(root / "source381", product, text381 + "111", 381, 3);
    }
    fixtures::write_update_files(root / "updates", 1, fixtures::updates_of(fixtures::kExampleText));
    fs::create_directories(root / "empty");
    solo_installation(root / "solo");
    return 0;
}

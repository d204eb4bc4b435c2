// Writes the installations the C host test plans against: a source at 8.2
// with the 23-token version text, clients at 4.1 and 5.2, a source and a
// client around version 381.1, and an update directory holding every file.
#include <filesystem>
#include <string>

#include "planwriter.h"

namespace fs = std::filesystem;

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
    return 0;
}

// Writes the installations the C host test plans against: a source at 8.2
// with the 23-token version text, clients at 4.1 and 5.2, a source and a
// client around version 381.1, and an update directory holding every file.
#include <filesystem>
#include <iostream>
#include <string>

#include "datwriter.h"

namespace fs = std::filesystem;

namespace {

const std::string kText = "110001;110001;110010;110001;110001;110010;110001;11";
const char* kUpdateFiles[] = {"000101", "000102", "000103_weekly", "000201", "000202", "000203_weekly",
                              "000301", "000302", "000303_monthly", "000401", "000402", "000403_weekly",
                              "000501", "000502", "000503_weekly", "000601", "000602", "000603_monthly",
                              "000701", "000702", "000703_weekly", "000801", "000802"};

void index_at(const fs::path& dir, uint32_t product, const std::string& text, uint32_t major, uint32_t minor) {
    fs::create_directories(dir);
    fixtures::VersionDat v;
    v.product = product;
    v.text = text;
    v.db_major = major;
    v.db_minor = minor;
    char name[32];
    std::snprintf(name, sizeof name, "%08x_index.dat", product);
    fixtures::write_file(dir / name, fixtures::build_version_dat(v));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    fs::path root = argv[1];
    fs::remove_all(root);
    for (uint32_t product : {1u, 3u}) {
        index_at(root / "source", product, kText, 8, 2);
        index_at(root / "client41", product, kText, 4, 1);
        index_at(root / "client52", product, kText, 5, 2);
        // 380 weeklies close series 1 to 380; the dailies after them are 381.x.
        std::string text381;
        for (int i = 0; i < 380; ++i) text381 += "0001;";
        index_at(root / "client381", product, text381 + "1", 381, 1);
        index_at(root / "source381", product, text381 + "111", 381, 3);
    }
    fs::create_directories(root / "updates");
    for (const char* f : kUpdateFiles) fixtures::write_file(root / "updates" / ("iu" + std::string(f) + ".dat"), {});
    fs::create_directories(root / "empty");
    return 0;
}

#include "planwriter.h"

#include <cstdio>
#include <stdexcept>

#include "datwriter.h"

namespace fixtures {

std::vector<Update> updates_of(const std::string& text) {
    std::vector<Update> out;
    uint32_t series = 1, position = 0;
    for (size_t at = 0; at < text.size();) {
        ++position;
        if (text[at] == '1') {
            out.push_back({'D', series, position});
            ++at;
            continue;
        }
        std::string token = text.substr(at, 5);
        if (token != "0001;" && token != "0010;") throw std::invalid_argument("not a version text: " + text);
        out.push_back({token == "0001;" ? 'W' : 'X', series, position});
        ++series;
        position = 0;
        at += 5;
    }
    return out;
}

std::string repeated_text(size_t tokens) {
    static const char* const pattern[] = {"1", "1", "0001;", "1", "1", "0001;", "1", "1", "0010;"};
    std::string text;
    for (size_t i = 0; i < tokens; ++i) text += pattern[i % 9];
    return text;
}

std::string update_file_name(uint32_t product, const Update& u) {
    char name[64];
    const char* suffix = u.letter == 'W' ? "_weekly" : u.letter == 'X' ? "_monthly" : "";
    std::snprintf(name, sizeof name, "%s%04u%02u%s.dat", product == 1 ? "iu" : "eu", u.major, u.minor, suffix);
    return name;
}

void write_update_files(const std::filesystem::path& dir, uint32_t product, const std::vector<Update>& updates,
                        const std::vector<std::string>& absent) {
    std::filesystem::create_directories(dir);
    for (const Update& u : updates) {
        std::string name = update_file_name(product, u);
        bool skip = false;
        for (const auto& a : absent) skip = skip || a == name;
        if (!skip) write_file(dir / name, Bytes(name.begin(), name.end()));
    }
}

void write_version_index(const std::filesystem::path& dir, uint32_t product, const std::string& text,
                         uint32_t major, uint32_t minor) {
    VersionDat dat;
    dat.product = product;
    dat.text = text;
    dat.db_major = major;
    dat.db_minor = minor;
    std::filesystem::create_directories(dir);
    write_file(dir / index_name(product), build_version_dat(dat));
}

}  // namespace fixtures

// Version texts, index DAT pairs and update-file directories for the
// planning tests, the example installation and the benchmarks, written from
// the documented token and file-name formats without the library's code.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace fixtures {

// Two dailies and a weekly, twice; two dailies and a monthly; the same
// again; then two dailies, a weekly and two dailies: 23 update files.
inline const std::string kExampleText = "110001;110001;110010;110001;110001;110010;110001;11";

// One update file of a version text: letter 'D', 'W' or 'X' and its version.
struct Update {
    char letter;
    uint32_t major;
    uint32_t minor;
};

// The updates of a text made only of the tokens "1", "0001;" and "0010;".
std::vector<Update> updates_of(const std::string& text);

// A text of `tokens` tokens that repeats the example's pattern.
std::string repeated_text(size_t tokens);

// "iu" (product 1) or "eu", "%04d%02d", then "_weekly", "_monthly" or
// nothing, then ".dat".
std::string update_file_name(uint32_t product, const Update& update);

// An empty file for every update, but for the names listed in `absent`.
void write_update_files(const std::filesystem::path& dir, uint32_t product, const std::vector<Update>& updates,
                        const std::vector<std::string>& absent = {});

// "%08x_index.dat" in dir: a version index DAT holding text at version
// major.minor.
void write_version_index(const std::filesystem::path& dir, uint32_t product, const std::string& text,
                         uint32_t major, uint32_t minor);

}  // namespace fixtures

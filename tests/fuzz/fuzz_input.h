// Shared by the fuzz targets: each input is written to a file in a directory
// of this process's own, the call is made, and the files are removed again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace fuzz {

namespace fs = std::filesystem;

// Created on first use, removed when the process exits. The path is never
// destroyed, so the exit handler cannot outlive it.
inline const fs::path& scratch() {
    static const fs::path* const dir = [] {
        auto* p = new fs::path(fs::temp_directory_path() / ("kaldorn-fuzz-" + std::to_string(::getpid())));
        fs::create_directories(*p);
        std::atexit([] { std::error_code ec; fs::remove_all(scratch(), ec); });
        return p;
    }();
    return *dir;
}

inline std::string put(const std::string& relative, const uint8_t* data, size_t size) {
    fs::path p = scratch() / relative;
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return p.string();
}

// Removes the files of each input; the directories stay until the exit, as
// creating and removing them costs more than the calls under test.
struct Cleanup {
    ~Cleanup() {
        std::error_code ec;
        std::vector<fs::path> files;
        for (const auto& e : fs::recursive_directory_iterator(scratch(), ec))
            if (!e.is_directory()) files.push_back(e.path());
        for (const auto& f : files) fs::remove(f, ec);
    }
};

// Splits an input at the point named by its first two bytes.
struct Halves {
    const uint8_t* a = nullptr;
    size_t a_size = 0;
    const uint8_t* b = nullptr;
    size_t b_size = 0;
};
inline bool split(const uint8_t* data, size_t size, Halves& h) {
    if (size < 2) return false;
    size_t cut = (size_t{data[0]} | size_t{data[1]} << 8) % (size - 1);
    h = {data + 2, cut, data + 2 + cut, size - 2 - cut};
    return true;
}

}  // namespace fuzz

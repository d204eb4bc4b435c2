// Shared by the fuzz targets: each input is written to a file in a directory
// of this process's own, the call is made, and the files are removed again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

namespace fuzz {

namespace fs = std::filesystem;

// Created on first use, removed when the process exits.
inline const fs::path& scratch() {
    static const fs::path dir = [] {
        fs::path p = fs::temp_directory_path() / ("kaldorn-fuzz-" + std::to_string(::getpid()));
        fs::create_directories(p);
        std::atexit([] { std::error_code ec; fs::remove_all(scratch(), ec); });
        return p;
    }();
    return dir;
}

inline std::string put(const std::string& relative, const uint8_t* data, size_t size) {
    fs::path p = scratch() / relative;
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return p.string();
}

// Empties the scratch directory after each input.
struct Cleanup {
    ~Cleanup() {
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(scratch(), ec)) fs::remove_all(e.path(), ec);
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

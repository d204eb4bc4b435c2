// Shared by the fuzz targets: an input's parts go to files in a directory of
// this process's own (removed at exit), the calls are made, and the Input
// removes its files again; the directories stay, as creating them costs more
// than the calls under test.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fuzz {

namespace fs = std::filesystem;

inline const fs::path& scratch() {  // never destroyed, so the exit handler cannot outlive it
    static const fs::path* const dir = [] {
        auto* p = new fs::path(fs::temp_directory_path() / ("kaldorn-fuzz-" + std::to_string(::getpid())));
        fs::create_directories(*p);
        std::atexit([] { std::error_code ec; fs::remove_all(scratch(), ec); });
        return p;
    }();
    return *dir;
}

struct Input {
    const uint8_t* data;
    size_t size;
    std::string put(const std::string& relative, const uint8_t* at, size_t n) const {
        const fs::path p = scratch() / relative;
        fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(at), std::streamsize(n));
        return p.string();
    }
    std::string put(const std::string& relative) const { return put(relative, data, size); }
    // Two files: the input split at the point its first two bytes name.
    bool put_pair(const std::string& a, const std::string& b) const {
        if (size < 2) return false;
        const size_t cut = (size_t{data[0]} | size_t{data[1]} << 8) % (size - 1);
        put(a, data + 2, cut), put(b, data + 2 + cut, size - 2 - cut);
        return true;
    }
    ~Input() {
        std::error_code ec;
        std::vector<fs::path> files;
        for (const auto& e : fs::recursive_directory_iterator(scratch(), ec))
            if (!e.is_directory()) files.push_back(e.path());
        for (const fs::path& f : files) fs::remove(f, ec);
    }
};

}  // namespace fuzz

// Shared by the fuzz targets: an Input writes its parts to files in a scratch directory of this process (removed at
// exit) and removes the files when it goes; the directories stay, as creating them costs more than the calls under
// test. Outside the libFuzzer build each target is a replay program.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fuzz {

namespace fs = std::filesystem;

inline const fs::path& scratch() {  // never destroyed, so the exit handler cannot outlive it
    static const fs::path* const dir = [] {
        auto* p = new fs::path(fs::temp_directory_path() / ("kaldorn-fuzz-" + std::to_string(::getpid())));
        std::atexit([] { std::error_code ec; fs::remove_all(scratch(), ec); });
        return p;
    }();
    return *dir;
}

inline std::string read(const fs::path& path) {
    std::ostringstream read;
    read << std::ifstream(path, std::ios::binary).rdbuf();
    return read.str();
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
    bool put_pair(const std::string& a, const std::string& b) const {  // split where the first two bytes say
        const size_t cut = size < 2 ? 0 : (size_t{data[0]} | size_t{data[1]} << 8) % (size - 1);
        return size >= 2 && !put(a, data + 2, cut).empty() && !put(b, data + 2 + cut, size - 2 - cut).empty();
    }
    ~Input() {
        std::error_code ec;
        for (auto e = fs::recursive_directory_iterator(scratch(), ec); e != fs::end(e); e.increment(ec))
            if (!e->is_directory()) fs::remove(e->path(), ec);
    }
};

}  // namespace fuzz

#ifndef KALDORN_FUZZ
int main(int argc, char** argv) {  // replays every file under the directories given (a missing one holds none)
    size_t runs = 0;
    std::error_code ec;
    for (int i = 1; i < argc; ++i)
        for (const auto& e : std::filesystem::recursive_directory_iterator(argv[i], ec))
            if (e.is_regular_file()) {
                const std::string input = fuzz::read(e.path());  // data() is never null, as with libFuzzer
                LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.data()), input.size()), ++runs;
            }
    std::cout << runs << " input(s) replayed\n";
    return runs > 0 ? 0 : 1;
}
#endif

// Runs every file of the given directories through a fuzz target.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
    size_t runs = 0;
    for (int i = 1; i < argc; ++i) {
        std::error_code ec;
        for (const auto& e : std::filesystem::recursive_directory_iterator(argv[i], ec)) {
            if (!e.is_regular_file()) continue;
            std::ostringstream read;
            read << std::ifstream(e.path(), std::ios::binary).rdbuf();
            static const uint8_t none = 0;  // like libFuzzer, never a null pointer for an empty input
            const std::string input = read.str();
            LLVMFuzzerTestOneInput(input.empty() ? &none : reinterpret_cast<const uint8_t*>(input.data()), input.size());
            ++runs;
        }
    }
    std::cout << runs << " input(s) replayed\n";
    return runs > 0 ? 0 : 1;
}

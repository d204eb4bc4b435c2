// Runs every file of the given directories through a fuzz target: raw files
// as they are, ".hex" files decoded from hex text (whitespace ignored).
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
    size_t runs = 0;
    for (int i = 1; i < argc; ++i) {
        std::error_code ec;
        for (const auto& e : std::filesystem::recursive_directory_iterator(argv[i], ec)) {
            if (!e.is_regular_file()) continue;
            std::ostringstream read;
            read << std::ifstream(e.path(), std::ios::binary).rdbuf();
            const std::string bytes = read.str();
            std::string digits;
            std::vector<uint8_t> input(bytes.begin(), bytes.end());
            if (e.path().extension() == ".hex") {
                for (char c : bytes)
                    if (!std::isspace(static_cast<unsigned char>(c))) digits += c;
                input.clear();
                for (size_t k = 0; k < digits.size(); k += 2)
                    input.push_back(static_cast<uint8_t>(std::stoi(digits.substr(k, 2), nullptr, 16)));  // throws on non-hex
            }
            static const uint8_t none = 0;  // like libFuzzer, never a null pointer for an empty input
            LLVMFuzzerTestOneInput(input.empty() ? &none : input.data(), input.size());
            ++runs;
        }
    }
    std::cout << runs << " input(s) replayed\n";
    return runs > 0 ? 0 : 1;
}

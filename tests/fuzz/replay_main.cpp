// Runs every file of the given directories through a fuzz target: raw files
// as they are, ".hex" files decoded from hex text (whitespace ignored).
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

static bool decode_hex(const std::string& text, std::vector<uint8_t>& out) {
    std::string digits;
    for (char c : text)
        if (!std::isspace(static_cast<unsigned char>(c))) digits += c;
    if (digits.size() % 2 != 0) return false;
    for (size_t i = 0; i < digits.size(); i += 2) {
        if (!std::isxdigit(static_cast<unsigned char>(digits[i])) ||
            !std::isxdigit(static_cast<unsigned char>(digits[i + 1])))
            return false;
        out.push_back(static_cast<uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    }
    return true;
}

int main(int argc, char** argv) {
    size_t runs = 0;
    for (int i = 1; i < argc; ++i) {
        std::error_code ec;
        for (const auto& e : std::filesystem::recursive_directory_iterator(argv[i], ec)) {
            if (!e.is_regular_file()) continue;
            std::string bytes;
            if (std::FILE* f = std::fopen(e.path().c_str(), "rb")) {
                char chunk[4096];
                for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) bytes.append(chunk, n);
                std::fclose(f);
            }
            std::vector<uint8_t> input(bytes.begin(), bytes.end());
            if (e.path().extension() == ".hex") {
                input.clear();
                if (!decode_hex(bytes, input)) {
                    std::cerr << e.path() << ": not hex\n";
                    return 1;
                }
            }
            static const uint8_t none = 0;  // like libFuzzer, never a null pointer for an empty input
            LLVMFuzzerTestOneInput(input.empty() ? &none : input.data(), input.size());
            ++runs;
        }
    }
    std::cout << runs << " input(s) replayed\n";
    return runs > 0 ? 0 : 1;
}

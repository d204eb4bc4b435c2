// SHA256SUMS of a release: whatever parses lists plain names once each, and writing the list again as sha256sum
// does gives the same list back.
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_input.h"
#include "trust/formats.h"

using namespace kaldorn::trust;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SumsList list, again;
    if (!parse_sums(reinterpret_cast<const char*>(data), size, list, nullptr)) return 0;
    std::string text;
    char line[2 * kNameMax + 128];
    for (size_t i = 0; i < list.count; ++i) {
        const size_t n = format_sums_entry(list.files[i].name, list.files[i].size, list.files[i].sha256, line);
        if (n == 0) std::abort();
        text.append(line, n);
    }
    if (!parse_sums(text.data(), text.size(), again, nullptr) || again.count != list.count) std::abort();
    for (size_t i = 0; i < list.count; ++i)
        if (std::strcmp(list.files[i].name, again.files[i].name) != 0 || list.files[i].size != again.files[i].size ||
            std::memcmp(list.files[i].sha256, again.files[i].sha256, 32) != 0)
            std::abort();
    free_sums(list), free_sums(again);
    return 0;
}

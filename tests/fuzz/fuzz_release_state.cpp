// The state file of a release: read from a file, never a crash; a state that reads is written back byte for byte.
#include <cstdlib>

#include "fuzz_input.h"
#include "trust/formats.h"

using namespace kaldorn::trust;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzz::Input input{data, size};
    const std::string dir = (fuzz::scratch() / "state").string();
    const std::string path = input.put("state/release-main.state");
    State state;
    if (read_state(dir.c_str(), "main", state, nullptr) != 1) return 0;
    if (!write_state(dir.c_str(), state, nullptr) || fuzz::read(path) != std::string(data, data + size)) std::abort();
    return 0;
}

// A definition index DAT: its header and its definition records, every name
// handed out terminated within its length and naming one file.
#include "fuzz_input.h"
#include "kaldorn/soloindx.h"
#include "support/path.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzz::Input in{data, size};
    const std::string path = in.put("00000004_index.dat");
    tagSOLO_DAT_HEADER_INFO header{};
    tagSOLO_DEF_MEM_RECORD_INFO* records = nullptr;
    unsigned int error = 0, count = 0;
    GetSoloIndexDatHeader(path.c_str(), &header, &error);
    if (GetDefListFromDatFile(path.c_str(), &records, &count, &error) != 1) return 0;
    for (const auto* r = records; r != records + count; ++r)
        if (r->dwNameLength < 1 || r->dwNameLength > KALDORN_MAX_PATH || r->szDefName[r->dwNameLength - 1] != '\0' ||
            !kaldorn::detail::is_plain_name(r->szDefName, r->dwNameLength)) std::abort();
    ReleaseDefList(records, count, &error);
    return 0;
}

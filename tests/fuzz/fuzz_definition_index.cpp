// A definition index DAT: its header and its definition records.
#include "fuzz_input.h"
#include "kaldorn/soloindx.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Cleanup cleanup;
    std::string path = fuzz::put("00000004_index.dat", data, size);
    tagSOLO_DAT_HEADER_INFO header{};
    unsigned int error = 0;
    GetSoloIndexDatHeader(path.c_str(), &header, &error);
    tagSOLO_DEF_MEM_RECORD_INFO* records = nullptr;
    unsigned int count = 0;
    if (GetDefListFromDatFile(path.c_str(), &records, &count, &error) == 1) {
        for (unsigned int i = 0; i < count; ++i)  // every name the reader hands out is terminated in bounds
            if (records[i].dwNameLength < 1 || records[i].dwNameLength > KALDORN_MAX_PATH ||
                records[i].szDefName[records[i].dwNameLength - 1] != '\0')
                std::abort();
        ReleaseDefList(records, count, &error);
    }
    return 0;
}

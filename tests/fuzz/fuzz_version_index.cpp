// A version index DAT: the loader, the text decoder, the version lookup and
// the client-version reader over the same bytes.
#include <vector>

#include "fuzz_input.h"
#include "kaldorn/nupdtinf.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Cleanup cleanup;
    std::string path = fuzz::put("client/00000001_index.dat", data, size);
    tagUPDT_DAT_VERSION_INFO_MEM info{};
    if (GetUpdateVersionInfo(path.c_str(), &info) == 1) {
        std::vector<tagUPDT_VERSION_BUFFER> entries(size_t{info.stBuffer.dwSize} + 1);
        unsigned int count = 0;
        if (ConvertDATBufferFormat(&info.stBuffer, entries.data(), static_cast<unsigned int>(entries.size()), &count) == 1) {
            if (count > entries.size()) std::abort();
            int index = 0;
            unsigned int type = 0;
            if (GetVersionIndex(entries.data(), count, &info.stDbVersion, &index, &type) == 1 &&
                (index < -1 || index >= static_cast<int>(count)))
                std::abort();
        }
        ReleaseUpdateVersionInfo(&info);
    }
    unsigned short wide[KALDORN_MAX_PATH];
    std::string dir = fuzz::scratch().string() + "/client";
    tagKAL_DORN_VERSION_LIST node{};
    unsigned int error = 0;
    if (ConvertToWideCharEx(dir.c_str(), wide, KALDORN_MAX_PATH) == 1)
        KalDornGetCurrentClientVersionForUpdateManagerLocal(1, wide, &node, &error);
    return 0;
}

// A version index DAT: the loader, the text decoder, the version lookup and
// the client-version reader over the same bytes.
#include <vector>

#include "fuzz_input.h"
#include "kaldorn/nupdtinf.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzz::Input in{data, size};
    const std::string path = in.put("client/00000001_index.dat"), dir = fuzz::scratch().string() + "/client";
    tagUPDT_DAT_VERSION_INFO_MEM info{};
    if (GetUpdateVersionInfo(path.c_str(), &info) == 1) {
        std::vector<tagUPDT_VERSION_BUFFER> entries(size_t{info.stBuffer.dwSize} + 1);
        unsigned int count = 0, type = 0;
        int index = 0;
        if (ConvertDATBufferFormat(&info.stBuffer, entries.data(), static_cast<unsigned int>(entries.size()), &count) ==
                1 &&
            (count > entries.size() || (GetVersionIndex(entries.data(), count, &info.stDbVersion, &index, &type) == 1 &&
                                        (index < -1 || index >= static_cast<int>(count)))))
            std::abort();
        ReleaseUpdateVersionInfo(&info);
    }
    const std::vector<unsigned short> wide(dir.c_str(), dir.c_str() + dir.size() + 1);
    tagKAL_DORN_VERSION_LIST node{};
    unsigned int error = 0;
    KalDornGetCurrentClientVersionForUpdateManagerLocal(1, wide.data(), &node, &error);
    return 0;
}

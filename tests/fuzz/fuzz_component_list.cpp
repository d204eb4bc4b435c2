// A component list: the reader and the platform ids; a list that reads is
// written back out and must read back record for record.
#include <cstring>

#include "fuzz_input.h"
#include "kaldorn/vxcminfo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzz::Input in{data, size};
    const std::string path = in.put("00000004_compns.lst"), copy = (fuzz::scratch() / "copy.lst").string();
    unsigned int error = 0, id[3], count = 0, again_count = 0;
    GetCompnListFilePlatformId(path.c_str(), &id[0], &id[1], &id[2], &error);
    tagVX_COMPONENT_FILE_MEM_RECORD_INFO *records = nullptr, *again = nullptr;
    if (GetCompnListFromLstFile(path.c_str(), &records, &count, &error) != 1) return 0;
    if (DumpRecordsToCompnLstFile(copy.c_str(), records, count, 0, nullptr, &error) != 1 ||
        GetCompnListFromLstFile(copy.c_str(), &again, &again_count, &error) != 1 || again_count != count ||
        (count != 0 && std::memcmp(records, again, sizeof *records * count) != 0))
        std::abort();
    ReleaseCompnList(again, again_count, &error);
    ReleaseCompnList(records, count, &error);
    return 0;
}

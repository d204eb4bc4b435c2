// A client and a source version index DAT, split from one input: every
// planning driver and the operation-id lists, each list freed.
#include "fuzz_input.h"
#include "kaldorn/nupdtinf.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Halves h;
    if (!fuzz::split(data, size, h)) return 0;
    fuzz::Cleanup cleanup;
    fuzz::put("client/00000001_index.dat", h.a, h.a_size);
    fuzz::put("source/00000001_index.dat", h.b, h.b_size);
    fuzz::fs::create_directories(fuzz::scratch() / "updates");
    std::string root = fuzz::scratch().string(), client = root + "/client", source = root + "/source";
    unsigned short wclient[KALDORN_MAX_PATH], wsource[KALDORN_MAX_PATH];
    if (ConvertToWideCharEx(client.c_str(), wclient, KALDORN_MAX_PATH) != 1 ||
        ConvertToWideCharEx(source.c_str(), wsource, KALDORN_MAX_PATH) != 1)
        return 0;
    unsigned int error = 0;
    tagKAL_DORN_VERSION_LIST* list = nullptr;
    for (int rule = 0; rule <= 1; ++rule) {
        for (unsigned int marked = 0; marked <= 1; ++marked) {
            list = nullptr;
            if (KalDornGetDownloadVersionListForInternetLocal(1, client.c_str(), source.c_str(), &list, marked, rule,
                                                              &error) == 1)
                KalDornFreeDownloadVersionListForInternetLocal(list);
            list = nullptr;
            if (KalDornGetDownloadVersionListForUpdateManagerLocal(1, wclient, wsource, &list, marked, rule, &error) == 1)
                FreeUpdtInfoList(list);
        }
    }
    for (unsigned int mode = 0; mode <= 1; ++mode) {
        list = nullptr;
        if (KalDornGetDownloadVersionListForPathLocal(1, client.c_str(), source.c_str(), (root + "/updates").c_str(),
                                                      &list, mode, &error) == 1)
            KalDornFreeDownloadVersionListForPathLocal(list);
    }
    for (unsigned int op = 0; op <= 2; ++op) {
        list = nullptr;
        if (KaldornGetFileListFromOprIdForUpdateManagerLocalW(1, op, wsource, wsource, wclient, &list, &error) == 1)
            FreeUpdtInfoList(list);
    }
    return 0;
}

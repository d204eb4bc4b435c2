// A client and a source version index DAT, split from one input: every
// planning driver and the operation-id lists, each list freed; then the
// plain entry points for products 1 and 3, whose 16-bit and 8-bit forms must
// give the same answer.
#include "fuzz_input.h"
#include "kaldorn.h"
#include "kaldorn/nupdtinf.h"

namespace {

template <typename Node>
size_t length(const Node* n) {
    size_t count = 0;
    for (; n != nullptr; n = n->pNext) ++count;
    return count;
}

struct Answer {
    int result;
    unsigned int error;
    size_t nodes;
    bool operator==(const Answer&) const = default;
};

template <typename Node, typename Get, typename Free>
Answer answer(Get get, Free release) {
    Node* list = nullptr;
    unsigned int error = 0;
    Answer out{get(&list, &error), error, 0};
    out.nodes = length(list);
    if (list != nullptr) release(list);
    return out;
}

// The W and the A form of one entry point, each list freed: they must agree.
template <typename NodeW, typename NodeA, typename GetW, typename FreeW, typename GetA, typename FreeA>
void agree(GetW get_w, FreeW free_w, GetA get_a, FreeA free_a) {
    if (answer<NodeW>(get_w, free_w) != answer<NodeA>(get_a, free_a)) std::abort();
}

using LW = KAL_DORN_VERSION_LISTEXW;
using LA = KAL_DORN_VERSION_LISTEXA;
using FW = KAL_DORN_FILE_INFO_LISTW;
using FA = KAL_DORN_FILE_INFO_LISTA;
using Plain = KAL_DORN_VERSION_LIST;

struct Dirs {
    std::string client, source, updates;
    const unsigned short *wclient, *wsource, *wupdates;
};

void extended_lists(unsigned int p, const Dirs& d) {
    const char *c = d.client.c_str(), *s = d.source.c_str(), *u = d.updates.c_str();
    const unsigned short *wc = d.wclient, *ws = d.wsource;
    agree<LW, LA>([&](LW** l, unsigned int* e) { return KalDornGetDownloadVersionListForUpdateManagerExW(p, wc, ws, l, e); },
                  KalDornFreeDownloadVersionListExW,
                  [&](LA** l, unsigned int* e) { return KalDornGetDownloadVersionListForUpdateManagerExA(p, c, s, l, e); },
                  KalDornFreeDownloadVersionListExA);
    agree<LW, LA>([&](LW** l, unsigned int* e) { return KalDornGetDownloadVersionListForUpdateManagerEx2W(p, wc, ws, l, e); },
                  KalDornFreeDownloadVersionListExW,
                  [&](LA** l, unsigned int* e) { return KalDornGetDownloadVersionListForUpdateManagerEx2A(p, c, s, l, e); },
                  KalDornFreeDownloadVersionListExA);
    agree<LW, LA>([&](LW** l, unsigned int* e) { return KalDornGetDownloadVersionListForInternetExW(p, wc, ws, l, e); },
                  KalDornFreeDownloadVersionListExW,
                  [&](LA** l, unsigned int* e) { return KalDornGetDownloadVersionListForInternetExA(p, c, s, l, e); },
                  KalDornFreeDownloadVersionListExA);
    agree<LW, LA>(
        [&](LW** l, unsigned int* e) { return KalDornGetDownloadVersionListForPathExW(p, wc, ws, d.wupdates, l, e); },
        KalDornFreeDownloadVersionListExW,
        [&](LA** l, unsigned int* e) { return KalDornGetDownloadVersionListForPathExA(p, c, s, u, l, e); },
        KalDornFreeDownloadVersionListExA);
    for (unsigned int op = 0; op <= 2; ++op)
        agree<FW, FA>(
            [&](FW** l, unsigned int* e) { return KaldornGetFileListFromOprIdForUpdateManagerW(p, op, ws, ws, wc, l, e); },
            KaldornFreeFileListFromOprIdForUpdateManagerW,
            [&](FA** l, unsigned int* e) { return KaldornGetFileListFromOprIdForUpdateManagerA(p, op, s, s, c, l, e); },
            KaldornFreeFileListFromOprIdForUpdateManagerA);
    LW wnode{};
    LA anode{};
    unsigned int we = 0, ae = 0;
    if (KalDornGetCurrentClientVersionForUpdateManagerExW(p, wc, &wnode, &we) !=
            KalDornGetCurrentClientVersionForUpdateManagerExA(p, c, &anode, &ae) ||
        we != ae)
        std::abort();
}

void plain_lists(const Dirs& d) {
    const char *c = d.client.c_str(), *s = d.source.c_str();
    Plain node{};
    unsigned int error = 0;
    KalDornGetCurrentClientVersionForUpdateManagerW(d.wclient, &node, &error);
    answer<Plain>([&](Plain** l, unsigned int* e) { return KalDornGetDownloadVersionListForUpdateManagerW(d.wclient, d.wsource, l, e); },
                  KalDornFreeDownloadVersionListForUpdateManager);
    answer<Plain>([&](Plain** l, unsigned int* e) { return KalDornGetDownloadVersionListForInternetA(c, s, l, e); },
                  KalDornFreeDownloadVersionListForInternet);
    answer<Plain>([&](Plain** l, unsigned int* e) { return KalDornGetDownloadVersionListForPathA(c, s, d.updates.c_str(), l, e); },
                  KalDornFreeDownloadVersionListForPath);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Halves h;
    if (!fuzz::split(data, size, h)) return 0;
    fuzz::Cleanup cleanup;
    fuzz::put("client/00000001_index.dat", h.a, h.a_size);
    fuzz::put("source/00000001_index.dat", h.b, h.b_size);
    fuzz::put("client/00000003_index.dat", h.a, h.a_size);
    fuzz::put("source/00000003_index.dat", h.b, h.b_size);
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
    unsigned short wupdates[KALDORN_MAX_PATH];
    if (ConvertToWideCharEx((root + "/updates").c_str(), wupdates, KALDORN_MAX_PATH) == 1) {
        const Dirs dirs{client, source, root + "/updates", wclient, wsource, wupdates};
        extended_lists(1, dirs);
        extended_lists(3, dirs);
        plain_lists(dirs);
    }
    return 0;
}

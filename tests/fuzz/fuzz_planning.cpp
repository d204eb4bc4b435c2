// The two halves of an input as the client's and the source's version index
// DAT of products 1 and 3: every planning driver with each of its rules,
// modes and operations, every list freed; the 16-bit and the 8-bit form of
// each entry point must give the same result, code and number of records.
#include "fuzz_input.h"
#include "kaldorn.h"
#include "kaldorn/nupdtinf.h"

namespace {

using U = unsigned int;

template <typename L>
size_t length(const L* l) { return l == nullptr ? 0 : 1 + length(l->pNext); }
void drop(KAL_DORN_VERSION_LIST* l) { FreeUpdtInfoList(l); }
void drop(KAL_DORN_VERSION_LISTEXW* l) { KalDornFreeDownloadVersionListExW(l); }
void drop(KAL_DORN_VERSION_LISTEXA* l) { KalDornFreeDownloadVersionListExA(l); }
void drop(KAL_DORN_FILE_INFO_LISTW* l) { KaldornFreeFileListFromOprIdForUpdateManagerW(l); }
void drop(KAL_DORN_FILE_INFO_LISTA* l) { KaldornFreeFileListFromOprIdForUpdateManagerA(l); }

// Result, code and record count of a call that hands out a list, freed.
template <typename L, typename Call>
std::string ask(Call call) {
    L* list = nullptr;
    U error = 0;
    const int result = call(&list, &error);
    const std::string out = std::to_string(result) + "/" + std::to_string(error) + "/" + std::to_string(length(list));
    drop(list);
    return out;
}

template <typename C>
struct Dirs {
    std::vector<C> c, s, u;
};
template <typename C>
std::vector<C> copy(const std::string& s) { return std::vector<C>(s.c_str(), s.c_str() + s.size() + 1); }

}  // namespace

// Both forms of fn, with the arguments in c, s, u (the directories), l and e.
#define BOTH(L, fn, ...)                                                                                   \
    if (ask<L##W>([&](L##W** l, U* e) { const auto c = w.c.data(), s = w.s.data(), u = w.u.data(); (void)u; return fn##W(__VA_ARGS__); }) != \
        ask<L##A>([&](L##A** l, U* e) { const auto c = a.c.data(), s = a.s.data(), u = a.u.data(); (void)u; return fn##A(__VA_ARGS__); }))  \
    std::abort()

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzz::Input in{data, size};
    if (!in.put_pair("client/00000001_index.dat", "source/00000001_index.dat") ||
        !in.put_pair("client/00000003_index.dat", "source/00000003_index.dat"))
        return 0;
    fuzz::fs::create_directories(fuzz::scratch() / "updates");
    const std::string root = fuzz::scratch().string();
    const Dirs<char> a{copy<char>(root + "/client"), copy<char>(root + "/source"), copy<char>(root + "/updates")};
    const Dirs<unsigned short> w{copy<unsigned short>(root + "/client"), copy<unsigned short>(root + "/source"),
                                 copy<unsigned short>(root + "/updates")};
    using Plain = KAL_DORN_VERSION_LIST;
    for (U v = 0; v <= 2; ++v) {  // rule and mark, path mode, operation
        for (U marked = 0; marked <= 1 && v <= 1; ++marked) {
            ask<Plain>([&](Plain** l, U* e) { return KalDornGetDownloadVersionListForInternetLocal(1, a.c.data(), a.s.data(), l, marked, int(v), e); });
            ask<Plain>([&](Plain** l, U* e) { return KalDornGetDownloadVersionListForUpdateManagerLocal(1, w.c.data(), w.s.data(), l, marked, int(v), e); });
        }
        if (v <= 1) ask<Plain>([&](Plain** l, U* e) { return KalDornGetDownloadVersionListForPathLocal(1, a.c.data(), a.s.data(), a.u.data(), l, v, e); });
        ask<Plain>([&](Plain** l, U* e) { return KaldornGetFileListFromOprIdForUpdateManagerLocalW(1, v, w.s.data(), w.s.data(), w.c.data(), l, e); });
    }
    for (U p : {1u, 3u}) {
        BOTH(KAL_DORN_VERSION_LISTEX, KalDornGetDownloadVersionListForUpdateManagerEx, p, c, s, l, e);
        BOTH(KAL_DORN_VERSION_LISTEX, KalDornGetDownloadVersionListForUpdateManagerEx2, p, c, s, l, e);
        BOTH(KAL_DORN_VERSION_LISTEX, KalDornGetDownloadVersionListForInternetEx, p, c, s, l, e);
        BOTH(KAL_DORN_VERSION_LISTEX, KalDornGetDownloadVersionListForPathEx, p, c, s, u, l, e);
        for (U op = 0; op <= 2; ++op) BOTH(KAL_DORN_FILE_INFO_LIST, KaldornGetFileListFromOprIdForUpdateManager, p, op, s, s, c, l, e);
        KAL_DORN_VERSION_LISTEXW wide{};
        KAL_DORN_VERSION_LISTEXA narrow{};
        U we = 0, ae = 0;
        if (KalDornGetCurrentClientVersionForUpdateManagerExW(p, w.c.data(), &wide, &we) !=
                KalDornGetCurrentClientVersionForUpdateManagerExA(p, a.c.data(), &narrow, &ae) || we != ae)
            std::abort();
    }
    Plain node{};
    U error = 0;
    KalDornGetCurrentClientVersionForUpdateManagerW(w.c.data(), &node, &error);
    ask<Plain>([&](Plain** l, U* e) { return KalDornGetDownloadVersionListForUpdateManagerW(w.c.data(), w.s.data(), l, e); });
    ask<Plain>([&](Plain** l, U* e) { return KalDornGetDownloadVersionListForInternetA(a.c.data(), a.s.data(), l, e); });
    ask<Plain>([&](Plain** l, U* e) { return KalDornGetDownloadVersionListForPathA(a.c.data(), a.s.data(), a.u.data(), l, e); });
    return 0;
}

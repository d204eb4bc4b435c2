// The two halves of an input as the client's and the source's version index DAT of product 1: every call of the file
// table over the client, source and update directories, the 16-bit and the 8-bit form of each entry point giving the
// same result, code and number of records; and the drivers with each of their rules, modes and operations. Everything
// handed out is freed.
#include "../interface/file_calls.h"
#include "fuzz_input.h"

using namespace calls;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzz::Input in{data, size};
    if (!in.put_pair("client/00000001_index.dat", "source/00000001_index.dat")) return 0;
    fs::create_directories(fuzz::scratch() / "updates");
    const std::string root = fuzz::scratch().string(), c = root + "/client", s = root + "/source",
                      u = root + "/updates";
    std::string wide;  // the answer of the 16-bit form just made
    for (const Row& row : table()) {
        if (row.roles[std::strspn(row.roles, "csru")] != '\0') continue;
        Paths p;
        for (const char* r = row.roles; *r != '\0'; ++r) p.push_back(*r == 'c' ? c : *r == 'u' ? u : s);
        Out o;
        const std::string got =
            std::to_string(row(p, o.e, o)) + "/" + std::to_string(o.e) + "/" + std::to_string(o.records());
        if (row.form == 'W') wide = got;
        if (row.form == 'A' && got != wide) std::abort();
    }
    const auto freed = [](auto call) { Out o; call(o); };
    for (U v = 0; v <= 2; ++v) {  // rule and mark, path mode, operation
        for (U marked = 0; marked <= 1 && v <= 1; ++marked) {
            freed([&](Out& o) {
                KalDornGetDownloadVersionListForInternetLocal(1, c.c_str(), s.c_str(), &o.vl, marked, int(v), &o.e);
            });
            freed([&](Out& o) {
                KalDornGetDownloadVersionListForUpdateManagerLocal(1, W(c.c_str()), W(s.c_str()), &o.vl, marked, int(v),
                                                                   &o.e);
            });
        }
        if (v <= 1)
            freed([&](Out& o) {
                KalDornGetDownloadVersionListForPathLocal(1, c.c_str(), s.c_str(), u.c_str(), &o.vl, v, &o.e);
            });
        freed([&](Out& o) {
            KaldornGetFileListFromOprIdForUpdateManagerLocalW(1, v, W(s.c_str()), W(s.c_str()), W(c.c_str()), &o.vl,
                                                              &o.e);
        });
        Out w, a;
        if (KaldornGetFileListFromOprIdForUpdateManagerW(1, v, W(s.c_str()), W(s.c_str()), W(c.c_str()), &w.fw, &w.e) !=
                KaldornGetFileListFromOprIdForUpdateManagerA(1, v, s.c_str(), s.c_str(), c.c_str(), &a.fa, &a.e) ||
            w.e != a.e || w.records() != a.records()) std::abort();
    }
    return 0;
}

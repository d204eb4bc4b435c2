// Every exported function that opens files, as one table: the role of each path argument, the documented outcome of
// each broken argument, and the call, with what it hands out held and freed by an Out.
#pragma once

#include <cstring>
#include <tuple>

#include "files.h"
#include "kaldorn/convert.h"
#include "kaldorn/crc32.h"
#include "kaldorn/md5lib.h"
#include "kaldorn/support.h"
#include "kaldorn/vxcminfo.h"
#include "kaldorn/vxlog.h"

namespace calls {

namespace fs = std::filesystem;
namespace pub = kaldorn::publish;
using Paths = std::vector<std::string>;
using P = const char* const*;
using U = unsigned int;

template <class T>
std::string raw(const T* p, size_t n = 1) {
    return p ? std::string(reinterpret_cast<const char*>(p), n * sizeof *p) : "";
}
template <class L>  // a list's nodes without their links
std::string nodes(const L* l) { return l ? raw(l).substr(0, offsetof(L, pNext)) + nodes(l->pNext) : ""; }
template <class L>
size_t length(const L* l) { return l ? 1 + length(l->pNext) : 0; }

// What a call hands out or fills, freed with the Out; answer() is all of it as bytes, links and text pointers left
// out. The records some calls take last (GetCompnLstFileRecord fills rec).
struct Out {
    KAL_DORN_VERSION_LIST* vl = nullptr;
    KAL_DORN_VERSION_LISTEXW* xw = nullptr;
    KAL_DORN_VERSION_LISTEXA* xa = nullptr;
    KAL_DORN_FILE_INFO_LISTW* fw = nullptr;
    KAL_DORN_FILE_INFO_LISTA* fa = nullptr;
    tagSOLO_DEF_MEM_RECORD_INFO *dr = nullptr, *dr2 = nullptr;
    tagVX_COMPONENT_FILE_MEM_RECORD_INFO* cr = nullptr;
    U n = 0, n2 = 0, e = 0;
    tagUPDT_DAT_VERSION_INFO_MEM vi{};
    struct {
        KAL_DORN_VERSION_LIST node;
        KAL_DORN_VERSION_LISTEXW nw;
        KAL_DORN_VERSION_LISTEXA na;
        tagSOLO_DAT_HEADER_INFO h, h2;
        unsigned char digest[16];
        U u[4];
        int mode;
        char name[32], path[KALDORN_MAX_PATH];
    } f;
    KAL_DORN_VERSION_LIST in{0, {3, 1, 101}, nullptr};
    KAL_DORN_TYPE_INFO type{8, 2, 101};
    VXDEFDATE date{7, 7, 7};
    tagVX_COMPONENT_FILE_MEM_RECORD_INFO rec{1, 1, {}, 0, 2, {}, "a"};

    Out() { std::memset(&f, 0, sizeof f); }  // padding too: answer() compares every byte
    ~Out() {
        FreeUpdtInfoList(vl), KalDornFreeDownloadVersionListExW(xw), KalDornFreeDownloadVersionListExA(xa);
        KaldornFreeFileListFromOprIdForUpdateManagerW(fw), KaldornFreeFileListFromOprIdForUpdateManagerA(fa);
        if (vi.stBuffer.pData != nullptr) ReleaseUpdateVersionInfo(&vi);
        if (dr != nullptr) ReleaseDefList(dr, n, &e);
        if (dr2 != nullptr) ReleaseDefList(dr2, n2, &e);
        if (cr != nullptr) ReleaseCompnList(cr, n, &e);
    }
    std::string answer() const {
        return nodes(vl) + nodes(xw) + nodes(xa) + nodes(fw) + nodes(fa) + raw(dr, dr ? n : 0) + raw(dr2, n2) +
               raw(cr, cr ? n : 0) + raw(&vi.stDbVersion) + raw(vi.stBuffer.pData, vi.stBuffer.dwSize) + raw(&f) +
               raw(&rec);
    }
    size_t records() const { return length(vl) + length(xw) + length(xa) + length(fw) + length(fa) + n + n2; }
};

// A terminated 16-bit copy of an ASCII path, alive for the full expression of the call.
struct W : std::vector<unsigned short> {
    explicit W(const char* s) : vector(s, s + std::strlen(s) + 1) {}
    operator const unsigned short*() const { return data(); }
};
inline std::string slash(const char* dir) { return std::string(dir) + "/"; }
inline int loads(const char* path) {
    void* h = VXLoadLibrary(path);
    VXFreeLibrary(h);
    return h != nullptr ? 1 : 0;
}

// Roles of path arguments; upper case marks a file the call may write.
//   c client directory   s source directory   r reference directory   u update files   e engine directory
//   v version index      d client definition index (D: written)       n source definition index
//   l component list (L: written)   m newer component list   k a file not in the list   y sibling library
//   O new component list   G log file   x a definition name, not a path
// broken: per argument ("|"), "result[/error]" when it is missing, of the wrong type, garbled and unreadable (four,
// or one for all); then, for the calls that read records, ";" and the outcome when a record is named to reach outside
// its directory.
struct Row {
    const char *name, *roles, *broken;
    int (*call)(P p, U& e, Out& o);  // e stays 0 where the function reports no code
    char form;                       // 'W' and 'A' for the two forms of one entry point, one after the other
    int operator()(const Paths& paths, U& e, Out& o) const {
        std::vector<const char*> p;
        for (const std::string& path : paths) p.push_back(path.c_str());
        return call(p.data(), e, o);
    }
    std::string answer(const Paths& paths) const {  // result, error and what the call handed out
        Out o;
        const int result = (*this)(paths, o.e, o);
        return std::to_string(result) + "/" + std::to_string(o.e) + ":" + o.answer();
    }
};
#define CALL(roles, broken, ...) \
    Row{#__VA_ARGS__, roles, broken, [](P p, U& e, Out& o) -> int { (void)p, (void)e, (void)o; return __VA_ARGS__; }, 0}
// The 16-bit and the 8-bit form of one entry point: a(i) is path argument i, and
// list, files and node what the form hands out or fills.
#define FORMS(roles, broken, fn, ...)                                                                            \
    Row{#fn "W " #__VA_ARGS__, roles, broken, [](P p, U& e, Out& o) {                                            \
        const auto a = [p](int i) { return W(p[i]); };                                                           \
        [[maybe_unused]] auto [list, files, node] = std::tie(o.xw, o.fw, o.f.nw);                                \
        return fn##W(__VA_ARGS__); }, 'W'},                                                                      \
    Row{#fn "A " #__VA_ARGS__, roles, broken, [](P p, U& e, Out& o) {                                            \
        const auto a = [p](int i) { return p[i]; };                                                              \
        [[maybe_unused]] auto [list, files, node] = std::tie(o.xa, o.fa, o.f.na);                                \
        return fn##A(__VA_ARGS__); }, 'A'}

// The plain 8-bit forms ending in A only forward to the rows' functions of the same name without it.
inline const std::vector<Row>& table() {
    static const std::vector<Row> rows = {
        // Entry points with plain names: 1 and 3 from version texts, 4 from definition indexes.
        CALL("cs", "1|0/1001", KalDornGetDownloadVersionListForUpdateManagerW(W(p[0]), W(p[1]), &o.vl, &e)),
        CALL("csu", "1|0/1001|0/1005 0/1005 1 0/1005",
             KalDornGetDownloadVersionListForPath(p[0], p[1], p[2], &o.vl, &e)),
        CALL("cs", "1|0/1001", KalDornGetDownloadVersionListForInternet(p[0], p[1], &o.vl, &e)),
        CALL("c", "0/1007", KalDornGetCurrentClientVersionForUpdateManagerW(W(p[0]), &o.f.node, &e)),
        FORMS("cs", "1|0/1001", KalDornGetDownloadVersionListForUpdateManagerEx, 1, a(0), a(1), &list, &e),
        FORMS("cs", "1 1 0 1|0;0", KalDornGetDownloadVersionListForUpdateManagerEx, 4, a(0), a(1), &list, &e),
        FORMS("cs", "1|0/1001", KalDornGetDownloadVersionListForUpdateManagerEx2, 1, a(0), a(1), &list, &e),
        FORMS("cs", "1 1 0 1|0;0", KalDornGetDownloadVersionListForUpdateManagerEx2, 4, a(0), a(1), &list, &e),
        FORMS("cs", "1|0/1001", KalDornGetDownloadVersionListForInternetEx, 1, a(0), a(1), &list, &e),
        FORMS("cs", "0/1007 0/1007 0 0/1007|0;0", KalDornGetDownloadVersionListForInternetEx, 4, a(0), a(1), &list, &e),
        FORMS("csu", "1|0/1001|0/1005 0/1005 1 0/1005", KalDornGetDownloadVersionListForPathEx, 1, a(0), a(1), a(2),
              &list, &e),
        FORMS("csu", "1 1 0 1|0|1;0", KalDornGetDownloadVersionListForPathEx, 4, a(0), a(1), a(2), &list, &e),
        FORMS("c", "0/1007", KalDornGetCurrentClientVersionForUpdateManagerEx, 1, a(0), &node, &e),
        FORMS("c", "0/1007", KalDornGetCurrentClientVersionForUpdateManagerEx, 4, a(0), &node, &e),
        FORMS("src", "1|1|1", KaldornGetFileListFromOprIdForUpdateManager, 1, 2, a(0), a(1), a(2), &files, &e),
        FORMS("src", "1 1 0 1|1|1 1 0 1;0", KaldornGetFileListFromOprIdForUpdateManager, 4, 2, a(0), a(1), a(2), &files,
              &e),
        // The solo planners (the drivers below the entry points: through the rows of product 1).
        CALL("c", "1", KalDornConvertVersionListToVersionListEx(1, W(p[0]), &o.in, &o.xa)),
        CALL("cs", "1 1 0 1|0;0", KalDornGetDownloadFilesListForSoloUpdt(4, 0, p[0], p[1], &o.xa, &e)),
        CALL("cs", "0/1007 0/1007 0 0/1007|0;0", KalDornGetDownloadFilesListForSoloUpdt(4, 1, p[0], p[1], &o.xa, &e)),
        CALL("src", "1 1 0 1|0|1 1 0 1;0", KaldornGetFileListFromOprIdForSoloUpdt(4, 1, p[0], p[1], p[2], &o.fa, &e)),
        CALL("c", "0/1007", KalDornGetCurrentClientFilesListForSoloUpdt(4, p[0], &o.f.na, &e)),
        // Update files looked for in a directory (given as a prefix ending in "/").
        CALL("u", "0 0 1 0", IsVersionFilePresent(1, slash(p[0]).c_str(), 0, 0, &o.type)),
        // Index DAT files.
        CALL("v", "0", GetUpdateVersionInfo(p[0], &o.vi)),
        CALL("d", "0", GetSoloIndexDatHeader(p[0], &o.f.h, &e)),
        CALL("d", "0;0", GetDefListFromDatFile(p[0], &o.dr, &o.n, &e)),
        CALL("D", "0;0", UpdateSoloIndexDatFile(p[0], 2, &e)),
        CALL("D", "0;0", ModifyDefEntryFromDatFile(p[0], 2, &o.date, 5, 1, &e)),
        CALL("dn", "0|0;0", GenerateDiffforDatFiles(p[0], p[1], &o.dr, &o.n, &e)),
        CALL("dx", "0|-;0", GetDefEntryFromDatFile(4, p[0], p[1], 0, o.f.name, 32, &o.f.u[3], &e)),
        CALL("Dx", "0 0 0 0|-;0",
             GetDefEntryFromDatFile(4, p[0], (p[1] + std::string("2")).c_str(), 1, o.f.name, 32, &o.f.u[3], &e)),
        CALL("cnd", "1|0|1 0 0 0;0",
             CompareSoloDatFiles(0, p[0], p[1], p[2], &o.dr, &o.n, &o.dr2, &o.n2, &o.f.h, &o.f.h2, &o.f.mode, &e)),
        CALL("nd", "1 0 0 0|1 0 0 0;0", CompareSoloDatFilesForOprId(4, 2, p[0], p[1], &o.fa, &e)),
        // Component lists.
        CALL("l", "0/8 0/13 0/17 0/7;0/18", GetCompnListFromLstFile(p[0], &o.cr, &o.n, &e)),
        CALL("l", "0/8 0/13 1 0/7", GetCompnListFilePlatformId(p[0], &o.f.u[0], &o.f.u[1], &o.f.u[2], &e)),
        CALL("L", "0/8 0/7 1 0/7", SetCompnListFilePlatformId(p[0], 4, 5, 6, &e)),
        CALL("O", "0/7 0/7 1 0/7", DumpRecordsToCompnLstFile(p[0], &o.rec, 1, 1, &o.rec, &e)),
        CALL("k", "0/8 0/20 1 0/20", GetCompnLstFileRecord(p[0], 1, &o.rec, &e)),
        CALL("kL", "0/8 0/20 1 0/20|0/7 0/13 0/17 0/7;0/18", AddEntrytoCompnLstFile(p[0], 1, 0, p[1], &o.f.u[0], &e)),
        CALL("lee", "0/8 0/13 0/17 0/7|0/9 0/9 1 0/20|0/9 0/9 1 1;0/18",
             VerifyCompnsFileRecords(p[0], p[1], p[2], &o.cr, &o.n, &e)),
        CALL("lm", "1 0/13 0/17 0/7|0/8 0/13 0/17 0/7;0/18", GenerateMergforCompnLstFiles(p[0], p[1], &o.cr, &o.n, &e)),
        CALL("lm", "1 0/13 0/17 0/7|0/8 0/13 0/17 0/7;0/18", GenerateDiffforCompnLstFiles(p[0], p[1], &o.cr, &o.n, &e)),
        CALL("lmO", "1 0/13 0/17 0/7|0/8 0/13 0/17 0/7|0/7 0/7 1 0/7;0/18",
             MergeCompnLstFilesEx(p[0], p[1], p[2], &o.n, &e)),
        // Checksums, digests, the log and the sibling library.
        CALL("k", "0 1 1 0", CVXCrc32().GetFileCrc32fopen(p[0], &o.f.u[0])),
        CALL("k", "0 1 1 0", CVXCrc32().GetFileCrc32open(p[0], &o.f.u[0])),
        CALL("k", "0 0 1 0", CMd5().CalculateMD5(p[0], o.f.digest)),
        CALL("k", "0 0 1 0", CMd5().ValidateMD5(p[0], o.f.digest, &o.f.mode)),
        CALL("k", "0 0 1 0", CalculateMD5WrapperA(p[0], o.f.digest)),
        CALL("G", "1", (CVXLogger(p[0], nullptr, "P").WriteToLog(0, "%s", "line"), 1)),
        CALL("c", "0", GetCurrentEngineLocation(p[0], 0, o.f.path, KALDORN_MAX_PATH, &e)),
        CALL("y", "0", loads(p[0])),
    };
    return rows;
}
#undef CALL
#undef FORMS

inline bool is_directory_role(char role) { return std::strchr("csrue", role) != nullptr; }
inline bool is_written(char role) { return std::strchr("DLOG", role) != nullptr; }
inline bool writes(const Row& row) { return std::strpbrk(row.roles, "DLOG") != nullptr; }

// Where each role lies in an installation of the tests; a written role where its reader finds it.
inline std::string place_of(char role) {
    static const std::map<char, std::string> at = {
        {'c', "client"}, {'s', "source"}, {'r', "reference"}, {'u', "updates"}, {'e', "client/engine"},
        {'v', "client/00000001_index.dat"}, {'d', "client/00000004_index.dat"}, {'n', "source/00000004_index.dat"},
        {'l', "client/engine/00000004_compns.lst"}, {'m', "source/00000004_compns.lst"}, {'k', "client/component"},
        {'y', "client/orlenmap.dll"}, {'O', "out.lst"}, {'G', "kaldorn.log"}};
    return at.at(role == 'D' || role == 'L' ? char(role + 32) : role);
}

#ifdef KALDORN_SIBLING
// Client 2.2 with definition index 1 (alpha, beta) and its engine (beta damaged), source 8.2 with index 2 (alpha
// re-dated, gamma) and a newer list, reference 3, the update files. odd: a record of that name in every index and
// list (its component missing). place() copies a role of the model anywhere.
class Installation {
public:
    explicit Installation(const fs::path& root, const std::string& odd = "")
        : root_(root), model_(root.string() + ".model") {
        const auto definitions = [&](const char* dir, uint8_t version) {
            std::vector<pub::Definition> d = {fx::def(1, version, "alpha"), fx::def(2, 1, "beta")};
            if (version > 1) d.push_back(fx::def(3, 1, "gamma"));
            if (!odd.empty()) d.push_back(fx::def(9, 1, odd));
            fx::write_definitions(model_ / dir, 4, version, 1, d);
        };
        const auto engine = [&](const char* dir, std::vector<fx::Part> parts) {
            if (!odd.empty()) parts.push_back({odd, "victim", fx::Part::Missing});
            fx::write_engine(model_ / dir, 4, parts);
        };
        fx::write_version_index(model_ / "client", 1, fx::kExampleText, 2, 2);
        fx::write_version_index(model_ / "source", 1, fx::kExampleText, 8, 2);
        definitions("client", 1), definitions("source", 2), definitions("reference", 3);
        engine("client/engine", {{"alpha", "A"}, {"beta", "B", fx::Part::Damaged}});
        engine("source", {{"alpha", "A2", fx::Part::Missing}, {"gamma", "G", fx::Part::Missing}});
        fx::install_sibling(model_ / "client", KALDORN_SIBLING, "engine");
        fx::write_update_files(model_ / "updates", 1, fx::kExampleText);
        fx::write_file(model_ / "client/component", "K");
        fs::copy(model_, root_, fs::copy_options::recursive);
    }
    std::string path(char role) const { return role == 'x' ? "alpha" : (root_ / place_of(role)).string(); }
    Paths paths(const Row& row) const {
        Paths p;
        for (const char* r = row.roles; *r != '\0'; ++r) p.push_back(path(*r));
        return p;
    }
    void place(char role, const fs::path& at) const {
        if (role == 'x') return;
        fs::create_directories(is_directory_role(role) ? at : at.parent_path());
        if (std::strchr("OG", role)) fs::remove(at);  // files the calls create
        else fs::copy(model_ / place_of(role), at, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    }

private:
    fs::path root_, model_;
};
#endif

}  // namespace calls

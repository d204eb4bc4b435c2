// Every exported function that opens files (or tests for them), as one table
// that the descriptor and hostile-path tests loop over: each row names the
// call, gives the role of each path argument, makes the call with the paths
// it is given, frees what it hands out and returns its result. Around it:
// an installation whose parts can be written at any path, and snapshots of
// the open descriptors and of a directory tree.
#pragma once

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "compnwriter.h"
#include "datwriter.h"
#include "kaldorn.h"
#include "kaldorn/convert.h"
#include "kaldorn/crc32.h"
#include "kaldorn/md5lib.h"
#include "kaldorn/nupdtinf.h"
#include "kaldorn/soloindx.h"
#include "kaldorn/support.h"
#include "kaldorn/vxcminfo.h"
#include "kaldorn/vxlog.h"
#include "planwriter.h"
#include "solowriter.h"

namespace exported {

namespace fs = std::filesystem;
using Paths = std::vector<std::string>;

// 16-bit copy of an ASCII path, alive for the full expression of the call.
struct W {
    std::vector<unsigned short> u;
    explicit W(const std::string& s) : u(fixtures::wide(s)) {}
    operator const unsigned short*() const { return u.data(); }
};

inline void release(KAL_DORN_VERSION_LIST* l) { FreeUpdtInfoList(l); }
inline void release(KAL_DORN_VERSION_LISTEXW* l) { KalDornFreeDownloadVersionListExW(l); }
inline void release(KAL_DORN_VERSION_LISTEXA* l) { KalDornFreeDownloadVersionListExA(l); }
inline void release(KAL_DORN_FILE_INFO_LISTW* l) { KaldornFreeFileListFromOprIdForUpdateManagerW(l); }
inline void release(KAL_DORN_FILE_INFO_LISTA* l) { KaldornFreeFileListFromOprIdForUpdateManagerA(l); }
inline void release(tagSOLO_DEF_MEM_RECORD_INFO* r) { unsigned int e = 0; ReleaseDefList(r, 0, &e); }
inline void release(tagVX_COMPONENT_FILE_MEM_RECORD_INFO* r) { unsigned int e = 0; ReleaseCompnList(r, 0, &e); }
// What a call hands out, given back when the row's call returns.
template <class T>
struct Owned {
    T* p = nullptr;
    unsigned int n = 0;
    ~Owned() { release(p); }
};
using VL = Owned<KAL_DORN_VERSION_LIST>;
using XW = Owned<KAL_DORN_VERSION_LISTEXW>;
using XA = Owned<KAL_DORN_VERSION_LISTEXA>;
using FW = Owned<KAL_DORN_FILE_INFO_LISTW>;
using FA = Owned<KAL_DORN_FILE_INFO_LISTA>;
using DR = Owned<tagSOLO_DEF_MEM_RECORD_INFO>;
using CR = Owned<tagVX_COMPONENT_FILE_MEM_RECORD_INFO>;

inline const std::string& text() { return fixtures::kExampleText; }
inline tagUPDT_BUFFER_DATA text_buffer() {
    auto* data = reinterpret_cast<unsigned char*>(const_cast<char*>(text().data()));
    return {data, static_cast<unsigned int>(text().size())};
}
inline std::string cat(const char* a, const char* b) { return std::string(a) + b; }

// Roles of path arguments; upper case marks a file the call may write.
//   c client directory   s source directory   r reference directory   u update files   e engine directory
//   v version index      d client definition index (D: written)       n source definition index
//   l component list (L: written)   m newer component list   k a file not in the list   y sibling library
//   O new component list   G log file   x a definition name, not a path
using P = const char* const*;
using U = unsigned int;
struct Row {
    const char* name;
    const char* roles;
    const char* broken;  // outcome per argument missing, of the wrong type, garbled, unreadable: descriptors_test.cpp
    int (*call)(P p, U& error);  // error stays 0 where the function reports none

    int operator()(const Paths& paths, unsigned int& error) const {
        std::vector<const char*> p;
        for (const std::string& path : paths) p.push_back(path.c_str());
        return call(p.data(), error);
    }
};

inline const std::vector<Row>& table() {
    static const std::vector<Row> rows = {
        // Entry points with plain names: 1 and 3 from version texts, 4 from definition indexes.
        {"KalDornGetDownloadVersionListForUpdateManagerW", "cs", "1|0/1001",
         [](P p, U& e) { VL l; return KalDornGetDownloadVersionListForUpdateManagerW(W(p[0]), W(p[1]), &l.p, &e); }},
        {"KalDornGetDownloadVersionListForPath", "csu", "1|0/1001|0/1005 0/1005 1 0/1005",
         [](P p, U& e) { VL l; return KalDornGetDownloadVersionListForPath(p[0], p[1], p[2], &l.p, &e); }},
        {"KalDornGetDownloadVersionListForPathA", "csu", "1|0/1001|0/1005 0/1005 1 0/1005",
         [](P p, U& e) { VL l; return KalDornGetDownloadVersionListForPathA(p[0], p[1], p[2], &l.p, &e); }},
        {"KalDornGetDownloadVersionListForInternet", "cs", "1|0/1001",
         [](P p, U& e) { VL l; return KalDornGetDownloadVersionListForInternet(p[0], p[1], &l.p, &e); }},
        {"KalDornGetDownloadVersionListForInternetA", "cs", "1|0/1001",
         [](P p, U& e) { VL l; return KalDornGetDownloadVersionListForInternetA(p[0], p[1], &l.p, &e); }},
        {"KalDornGetCurrentClientVersionForUpdateManagerW", "c", "0/1007",
         [](P p, U& e) { KAL_DORN_VERSION_LIST n{}; return KalDornGetCurrentClientVersionForUpdateManagerW(W(p[0]), &n, &e); }},
        {"KalDornGetDownloadVersionListForUpdateManagerExW 1", "cs", "1|0/1001",
         [](P p, U& e) { XW l; return KalDornGetDownloadVersionListForUpdateManagerExW(1, W(p[0]), W(p[1]), &l.p, &e); }},
        {"KalDornGetDownloadVersionListForUpdateManagerExW 4", "cs", "1 1 0 1|0",
         [](P p, U& e) { XW l; return KalDornGetDownloadVersionListForUpdateManagerExW(4, W(p[0]), W(p[1]), &l.p, &e); }},
        {"KalDornGetDownloadVersionListForUpdateManagerExA 1", "cs", "1|0/1001",
         [](P p, U& e) { XA l; return KalDornGetDownloadVersionListForUpdateManagerExA(1, p[0], p[1], &l.p, &e); }},
        {"KalDornGetDownloadVersionListForUpdateManagerExA 4", "cs", "1 1 0 1|0",
         [](P p, U& e) { XA l; return KalDornGetDownloadVersionListForUpdateManagerExA(4, p[0], p[1], &l.p, &e); }},
        {"KalDornGetDownloadVersionListForUpdateManagerEx2W 1", "cs", "1|0/1001",
         [](P p, U& e) { XW l; return KalDornGetDownloadVersionListForUpdateManagerEx2W(1, W(p[0]), W(p[1]), &l.p, &e); }},
        {"KalDornGetDownloadVersionListForUpdateManagerEx2W 4", "cs", "1 1 0 1|0",
         [](P p, U& e) { XW l; return KalDornGetDownloadVersionListForUpdateManagerEx2W(4, W(p[0]), W(p[1]), &l.p, &e); }},
        {"KalDornGetDownloadVersionListForUpdateManagerEx2A 1", "cs", "1|0/1001",
         [](P p, U& e) { XA l; return KalDornGetDownloadVersionListForUpdateManagerEx2A(1, p[0], p[1], &l.p, &e); }},
        {"KalDornGetDownloadVersionListForUpdateManagerEx2A 4", "cs", "1 1 0 1|0",
         [](P p, U& e) { XA l; return KalDornGetDownloadVersionListForUpdateManagerEx2A(4, p[0], p[1], &l.p, &e); }},
        {"KalDornGetDownloadVersionListForInternetExW 1", "cs", "1|0/1001",
         [](P p, U& e) { XW l; return KalDornGetDownloadVersionListForInternetExW(1, W(p[0]), W(p[1]), &l.p, &e); }},
        {"KalDornGetDownloadVersionListForInternetExW 4", "cs", "0/1007 0/1007 0 0/1007|0",
         [](P p, U& e) { XW l; return KalDornGetDownloadVersionListForInternetExW(4, W(p[0]), W(p[1]), &l.p, &e); }},
        {"KalDornGetDownloadVersionListForInternetExA 1", "cs", "1|0/1001",
         [](P p, U& e) { XA l; return KalDornGetDownloadVersionListForInternetExA(1, p[0], p[1], &l.p, &e); }},
        {"KalDornGetDownloadVersionListForInternetExA 4", "cs", "0/1007 0/1007 0 0/1007|0",
         [](P p, U& e) { XA l; return KalDornGetDownloadVersionListForInternetExA(4, p[0], p[1], &l.p, &e); }},
        {"KalDornGetDownloadVersionListForPathExW 1", "csu", "1|0/1001|0/1005 0/1005 1 0/1005",
         [](P p, U& e) { XW l; return KalDornGetDownloadVersionListForPathExW(1, W(p[0]), W(p[1]), W(p[2]), &l.p, &e); }},
        {"KalDornGetDownloadVersionListForPathExW 4", "csu", "1 1 0 1|0|1",
         [](P p, U& e) { XW l; return KalDornGetDownloadVersionListForPathExW(4, W(p[0]), W(p[1]), W(p[2]), &l.p, &e); }},
        {"KalDornGetDownloadVersionListForPathExA 1", "csu", "1|0/1001|0/1005 0/1005 1 0/1005",
         [](P p, U& e) { XA l; return KalDornGetDownloadVersionListForPathExA(1, p[0], p[1], p[2], &l.p, &e); }},
        {"KalDornGetDownloadVersionListForPathExA 4", "csu", "1 1 0 1|0|1",
         [](P p, U& e) { XA l; return KalDornGetDownloadVersionListForPathExA(4, p[0], p[1], p[2], &l.p, &e); }},
        {"KalDornGetCurrentClientVersionForUpdateManagerExW 1", "c", "0/1007",
         [](P p, U& e) { KAL_DORN_VERSION_LISTEXW n{}; return KalDornGetCurrentClientVersionForUpdateManagerExW(1, W(p[0]), &n, &e); }},
        {"KalDornGetCurrentClientVersionForUpdateManagerExW 4", "c", "0/1007",
         [](P p, U& e) { KAL_DORN_VERSION_LISTEXW n{}; return KalDornGetCurrentClientVersionForUpdateManagerExW(4, W(p[0]), &n, &e); }},
        {"KalDornGetCurrentClientVersionForUpdateManagerExA 1", "c", "0/1007",
         [](P p, U& e) { KAL_DORN_VERSION_LISTEXA n{}; return KalDornGetCurrentClientVersionForUpdateManagerExA(1, p[0], &n, &e); }},
        {"KalDornGetCurrentClientVersionForUpdateManagerExA 4", "c", "0/1007",
         [](P p, U& e) { KAL_DORN_VERSION_LISTEXA n{}; return KalDornGetCurrentClientVersionForUpdateManagerExA(4, p[0], &n, &e); }},
        {"KaldornGetFileListFromOprIdForUpdateManagerW 1", "src", "1|1|1",
         [](P p, U& e) { FW l; return KaldornGetFileListFromOprIdForUpdateManagerW(1, 2, W(p[0]), W(p[1]), W(p[2]), &l.p, &e); }},
        {"KaldornGetFileListFromOprIdForUpdateManagerW 4", "src", "1 1 0 1|1|1 1 0 1",
         [](P p, U& e) { FW l; return KaldornGetFileListFromOprIdForUpdateManagerW(4, 2, W(p[0]), W(p[1]), W(p[2]), &l.p, &e); }},
        {"KaldornGetFileListFromOprIdForUpdateManagerA 1", "src", "1|1|1",
         [](P p, U& e) { FA l; return KaldornGetFileListFromOprIdForUpdateManagerA(1, 2, p[0], p[1], p[2], &l.p, &e); }},
        {"KaldornGetFileListFromOprIdForUpdateManagerA 4", "src", "1 1 0 1|1|1 1 0 1",
         [](P p, U& e) { FA l; return KaldornGetFileListFromOprIdForUpdateManagerA(4, 2, p[0], p[1], p[2], &l.p, &e); }},
        // Drivers and the solo planners.
        {"KalDornGetDownloadVersionListForUpdateManagerLocal", "cs", "1|0/1001",
         [](P p, U& e) { VL l; return KalDornGetDownloadVersionListForUpdateManagerLocal(1, W(p[0]), W(p[1]), &l.p, 0, 1, &e); }},
        {"KalDornGetDownloadVersionListForPathLocal", "csu", "1|0/1001|0/1005 0/1005 1 0/1005",
         [](P p, U& e) { VL l; return KalDornGetDownloadVersionListForPathLocal(1, p[0], p[1], p[2], &l.p, 0, &e); }},
        {"KalDornGetDownloadVersionListForInternetLocal", "cs", "1|0/1001",
         [](P p, U& e) { VL l; return KalDornGetDownloadVersionListForInternetLocal(1, p[0], p[1], &l.p, 0, 1, &e); }},
        {"KaldornGetFileListFromOprIdForUpdateManagerLocalW", "src", "1|1|1",
         [](P p, U& e) { VL l; return KaldornGetFileListFromOprIdForUpdateManagerLocalW(1, 1, W(p[0]), W(p[1]), W(p[2]), &l.p, &e); }},
        {"KalDornGetCurrentClientVersionForUpdateManagerLocal", "c", "0/1007",
         [](P p, U& e) { KAL_DORN_VERSION_LIST n{}; return KalDornGetCurrentClientVersionForUpdateManagerLocal(1, W(p[0]), &n, &e); }},
        {"KalDornConvertVersionListToVersionListEx", "c", "1",
         [](P p, U&) {
             KAL_DORN_VERSION_LIST n{0, {3, 1, 101}, nullptr};
             XA l;
             return KalDornConvertVersionListToVersionListEx(1, W(p[0]), &n, &l.p);
         }},
        {"KalDornGetDownloadFilesListForSoloUpdt 0", "cs", "1 1 0 1|0",
         [](P p, U& e) { XA l; return KalDornGetDownloadFilesListForSoloUpdt(4, 0, p[0], p[1], &l.p, &e); }},
        {"KalDornGetDownloadFilesListForSoloUpdt 1", "cs", "0/1007 0/1007 0 0/1007|0",
         [](P p, U& e) { XA l; return KalDornGetDownloadFilesListForSoloUpdt(4, 1, p[0], p[1], &l.p, &e); }},
        {"KaldornGetFileListFromOprIdForSoloUpdt", "src", "1 1 0 1|0|1 1 0 1",
         [](P p, U& e) { FA l; return KaldornGetFileListFromOprIdForSoloUpdt(4, 1, p[0], p[1], p[2], &l.p, &e); }},
        {"KalDornGetCurrentClientFilesListForSoloUpdt", "c", "0/1007",
         [](P p, U& e) { KAL_DORN_VERSION_LISTEXA n{}; return KalDornGetCurrentClientFilesListForSoloUpdt(4, p[0], &n, &e); }},
        // Update files looked for in a directory (given as a prefix ending in "/").
        {"IsVersionFilePresent", "u", "0 0 1 0",
         [](P p, U&) { KAL_DORN_TYPE_INFO r{8, 2, 101}; return IsVersionFilePresent(1, cat(p[0], "/").c_str(), 0, 0, &r); }},
        {"NewParseExForPath", "u", "0 0 1 0",
         [](P p, U&) {  // from the client's 2.2, the fifth entry
             tagUPDT_BUFFER_DATA t = text_buffer();
             tagUPDT_VERSION_BUFFER v[64] = {};
             unsigned int n = 0;
             int decoded = ConvertDATBufferFormat(&t, v, 64, &n);
             return decoded * NewParseExForPath(1, cat(p[0], "/").c_str(), 0, v, static_cast<int>(n), 4);
         }},
        {"GetDownloadFileListForPath", "u", "0 0 1 0",
         [](P p, U&) {
             tagUPDT_DAT_VERSION_INFO_MEM s{{1, 1}, {8, 2}, text_buffer()};
             KAL_DORN_DBVERSION_INFO c{2, 2};
             VL l;
             return GetDownloadFileListForPath(1, 0, cat(p[0], "/").c_str(), &s, &c, &l.p);
         }},
        // Index DAT files.
        {"GetUpdateVersionInfo", "v", "0",
         [](P p, U&) {
             tagUPDT_DAT_VERSION_INFO_MEM i{};
             int r = GetUpdateVersionInfo(p[0], &i);
             if (r == 1) ReleaseUpdateVersionInfo(&i);
             return r;
         }},
        {"GetSoloIndexDatHeader", "d", "0",
         [](P p, U& e) { tagSOLO_DAT_HEADER_INFO h{}; return GetSoloIndexDatHeader(p[0], &h, &e); }},
        {"GetDefListFromDatFile", "d", "0",
         [](P p, U& e) { DR r; return GetDefListFromDatFile(p[0], &r.p, &r.n, &e); }},
        {"UpdateSoloIndexDatFile", "D", "0",
         [](P p, U& e) { return UpdateSoloIndexDatFile(p[0], 2, &e); }},
        {"ModifyDefEntryFromDatFile", "D", "0",
         [](P p, U& e) { VXDEFDATE d{7, 7, 7}; return ModifyDefEntryFromDatFile(p[0], 2, &d, 5, 1, &e); }},
        {"GenerateDiffforDatFiles", "dn", "0|0",
         [](P p, U& e) { DR r; return GenerateDiffforDatFiles(p[0], p[1], &r.p, &r.n, &e); }},
        {"GetDefEntryFromDatFile lookup", "dx", "0|-",
         [](P p, U& e) { char f[32]; U id; return GetDefEntryFromDatFile(4, p[0], p[1], 0, f, sizeof f, &id, &e); }},
        {"GetDefEntryFromDatFile append", "Dx", "0 0 0 0|-",
         [](P p, U& e) {
             char f[32];
             U id;
             return GetDefEntryFromDatFile(4, p[0], cat(p[1], "2").c_str(), 1, f, sizeof f, &id, &e);
         }},
        {"CompareSoloDatFiles", "cnd", "1|0|1 0 0 0",
         [](P p, U& e) {
             DR all, sel;
             tagSOLO_DAT_HEADER_INFO hn{}, ho{};
             int mode = 0;
             return CompareSoloDatFiles(0, p[0], p[1], p[2], &all.p, &all.n, &sel.p, &sel.n, &hn, &ho, &mode, &e);
         }},
        {"CompareSoloDatFilesForOprId", "nd", "1 0 0 0|1 0 0 0",
         [](P p, U& e) { FA l; return CompareSoloDatFilesForOprId(4, 2, p[0], p[1], &l.p, &e); }},
        // Component lists.
        {"GetCompnListFromLstFile", "l", "0/8 0/13 0/17 0/7",
         [](P p, U& e) { CR r; return GetCompnListFromLstFile(p[0], &r.p, &r.n, &e); }},
        {"GetCompnListFilePlatformId", "l", "0/8 0/13 1 0/7",
         [](P p, U& e) { unsigned int a, b, c; return GetCompnListFilePlatformId(p[0], &a, &b, &c, &e); }},
        {"SetCompnListFilePlatformId", "L", "0/8 0/7 1 0/7",
         [](P p, U& e) { return SetCompnListFilePlatformId(p[0], 4, 5, 6, &e); }},
        {"DumpRecordsToCompnLstFile", "O", "0/7 0/7 1 0/7",
         [](P p, U& e) {
             tagVX_COMPONENT_FILE_MEM_RECORD_INFO r{1, 1, {}, 0, 2, {}, "a"};
             return DumpRecordsToCompnLstFile(p[0], &r, 1, 1, &r, &e);
         }},
        {"GetCompnLstFileRecord", "k", "0/8 0/20 1 0/20",
         [](P p, U& e) { tagVX_COMPONENT_FILE_MEM_RECORD_INFO r{}; return GetCompnLstFileRecord(p[0], 1, &r, &e); }},
        {"AddEntrytoCompnLstFile", "kL", "0/8 0/20 1 0/20|0/7 0/13 0/17 0/7",
         [](P p, U& e) { unsigned int x = 0; return AddEntrytoCompnLstFile(p[0], 1, 0, p[1], &x, &e); }},
        {"VerifyCompnsFileRecords", "lee", "0/8 0/13 0/17 0/7|0/9 0/9 1 0/20|0/9 0/9 1 1",
         [](P p, U& e) { CR r; return VerifyCompnsFileRecords(p[0], p[1], p[2], &r.p, &r.n, &e); }},
        {"GenerateMergforCompnLstFiles", "lm", "1 0/13 0/17 0/7|0/8 0/13 0/17 0/7",
         [](P p, U& e) { CR r; return GenerateMergforCompnLstFiles(p[0], p[1], &r.p, &r.n, &e); }},
        {"GenerateDiffforCompnLstFiles", "lm", "1 0/13 0/17 0/7|0/8 0/13 0/17 0/7",
         [](P p, U& e) { CR r; return GenerateDiffforCompnLstFiles(p[0], p[1], &r.p, &r.n, &e); }},
        {"MergeCompnLstFilesEx", "lmO", "1 0/13 0/17 0/7|0/8 0/13 0/17 0/7|0/7 0/7 1 0/7",
         [](P p, U& e) { unsigned int n = 0; return MergeCompnLstFilesEx(p[0], p[1], p[2], &n, &e); }},
        // Checksums, digests, the log and the sibling library.
        {"CVXCrc32::GetFileCrc32fopen", "k", "0 1 1 0",
         [](P p, U&) { unsigned int c = 0; return CVXCrc32().GetFileCrc32fopen(p[0], &c); }},
        {"CVXCrc32::GetFileCrc32open", "k", "0 1 1 0",
         [](P p, U&) { unsigned int c = 0; return CVXCrc32().GetFileCrc32open(p[0], &c); }},
        {"CMd5::CalculateMD5", "k", "0 0 1 0",
         [](P p, U&) { unsigned char d[16]; return CMd5().CalculateMD5(p[0], d); }},
        {"CMd5::ValidateMD5", "k", "0 0 1 0",
         [](P p, U&) { unsigned char d[16] = {}; int m = 0; return CMd5().ValidateMD5(p[0], d, &m); }},
        {"CalculateMD5WrapperA", "k", "0 0 1 0",
         [](P p, U&) { unsigned char d[16]; return CalculateMD5WrapperA(p[0], d); }},
        {"CVXLogger::WriteToLog", "G", "1",
         [](P p, U&) { CVXLogger(p[0], nullptr, "P").WriteToLog(0, "%s", "line"); return 1; }},
        {"GetCurrentEngineLocation", "c", "0",
         [](P p, U& e) { char d[KALDORN_MAX_PATH]; return GetCurrentEngineLocation(p[0], 0, d, sizeof d, &e); }},
        {"VXLoadLibrary", "y", "0",
         [](P p, U&) { void* h = VXLoadLibrary(p[0]); VXFreeLibrary(h); return h != nullptr ? 1 : 0; }},
    };
    return rows;
}

inline bool is_directory_role(char role) { return std::string("csrue").find(role) != std::string::npos; }
inline bool is_written(char role) { return role >= 'A' && role <= 'Z'; }

// Where each role lies in an installation at root.
inline std::string default_place(char role) {
    static const std::map<char, std::string> places = {
        {'c', "client"}, {'s', "source"}, {'r', "reference"}, {'u', "updates"}, {'e', "client/engine"},
        {'v', "client/00000001_index.dat"}, {'d', "client/00000004_index.dat"}, {'D', "client/00000004_index.dat"},
        {'n', "source/00000004_index.dat"}, {'l', "client/engine/00000004_compns.lst"},
        {'L', "client/engine/00000004_compns.lst"}, {'m', "source/00000004_compns.lst"}, {'k', "client/component"},
        {'y', "client/orlenmap.dll"}, {'O', "out.lst"}, {'G', "kaldorn.log"}};
    return places.at(role);
}

// The contents of each role. A non-empty `odd` adds a record of that name to
// every definition index and component list; its component record carries the
// digest of "victim".
class Installation {
public:
    explicit Installation(fs::path root, std::string odd = "") : root_(std::move(root)), odd_(std::move(odd)) {
        for (char role : std::string("csruvdnlmkyOG")) place(role, path(role));
    }
    std::string path(char role) const { return role == 'x' ? "alpha" : (root_ / default_place(role)).string(); }
    Paths paths(const Row& row) const {
        Paths p;
        for (const char* r = row.roles; *r != '\0'; ++r) p.push_back(path(*r));
        return p;
    }

    void place(char role, const fs::path& at) const {
        using fixtures::write_file;
        if (role == 'x') return;
        fs::create_directories(is_directory_role(role) ? at : at.parent_path());
        switch (role) {
        case 'c':
            write_file(at / "00000001_index.dat", version_index(2, 2));
            write_file(at / "00000004_index.dat", definitions(1));
            fixtures::install_sibling(at, KALDORN_SIBLING, "engine");
            return place('e', at / "engine");
        case 's':
            write_file(at / "00000001_index.dat", version_index(8, 2));
            return write_file(at / "00000004_index.dat", definitions(2));
        case 'r': return write_file(at / "00000004_index.dat", definitions(3));
        case 'u': return fixtures::write_update_files(at, 1, fixtures::updates_of(text()));
        case 'e':
            write_file(at / "alpha", {'A'});
            write_file(at / "beta", {'B'});
            return write_file(at / "00000004_compns.lst", components(false));
        case 'v': return write_file(at, version_index(2, 2));
        case 'd': case 'D': return write_file(at, definitions(1));
        case 'n': return write_file(at, definitions(2));
        case 'l': case 'L': return write_file(at, components(false));
        case 'm': return write_file(at, components(true));
        case 'k': return write_file(at, {'K'});
        case 'y': fs::copy_file(KALDORN_SIBLING, at, fs::copy_options::overwrite_existing); return;
        default: fs::remove(at);  // O, G: files the call creates
        }
    }

private:
    static fixtures::Bytes version_index(uint32_t major, uint32_t minor) {
        fixtures::VersionDat v;
        v.text = text();
        v.db_major = major;
        v.db_minor = minor;
        return fixtures::build_version_dat(v);
    }
    // Client 1, source 2 (alpha re-dated, gamma added), reference 3 (alpha again).
    fixtures::Bytes definitions(uint32_t version) const {
        auto def = [](uint32_t id, uint8_t day, const std::string& name) {
            return fixtures::DefRecord{id, {1, 2, day, 4, 5, 6, 7}, 0, 1, name};
        };
        std::vector<fixtures::DefRecord> r = {def(1, static_cast<uint8_t>(version), "alpha"), def(2, 1, "beta")};
        if (version > 1) r.push_back(def(3, 1, "gamma"));
        if (!odd_.empty()) r.push_back(def(9, 1, odd_));
        return fixtures::build_definition_dat(fixtures::solo_index(4, version, 1, r));
    }
    fixtures::Bytes components(bool newer) const {
        std::vector<fixtures::CompnEntry> e = {fixtures::entry_for("alpha", newer ? "A2" : "A"),
                                               fixtures::entry_for(newer ? "gamma" : "beta", newer ? "G" : "B")};
        if (!odd_.empty()) e.push_back(fixtures::entry_for(odd_, "victim"));
        return fixtures::list_bytes(e);
    }

    fs::path root_;
    std::string odd_;
};

// Where the trees of these tests go: memory when the machine offers it (and
// lets the sibling library be loaded from there), as the writers flush every
// file they replace and the sweeps replace hundreds.
inline fs::path scratch() {
    struct statvfs v{};
    bool memory = ::access("/dev/shm", W_OK) == 0 && ::statvfs("/dev/shm", &v) == 0 && (v.f_flag & ST_NOEXEC) == 0;
    return memory ? fs::path("/dev/shm") : fs::temp_directory_path();
}

using fixtures::open_descriptors;

// Every entry under root with its type, size, inode and modification time.
using Tree = std::map<std::string, std::tuple<unsigned, long long, unsigned long, long long>>;
inline Tree snapshot(const fs::path& root) {
    Tree t;
    for (const auto& e : fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied)) {
        struct stat st{};
        if (::lstat(e.path().c_str(), &st) != 0) continue;
        const long long mtime = st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
        t[e.path().string()] = {st.st_mode, st.st_size, st.st_ino, mtime};
    }
    return t;
}

// Entries added, removed or changed between two snapshots.
inline std::vector<std::string> changes(const Tree& before, const Tree& after) {
    std::vector<std::string> out;
    for (const auto& [p, v] : before)
        if (!after.count(p) || after.at(p) != v) out.push_back(p);
    for (const auto& [p, v] : after)
        if (!before.count(p)) out.push_back(p);
    return out;
}

inline std::string outcome(int result, unsigned int error) {
    return error == 0 ? std::to_string(result) : std::to_string(result) + "/" + std::to_string(error);
}

}  // namespace exported

// A component list: the reader and the platform ids; a list that reads is written back, must read back record
// for record, and is verified on every MD5 path as CMd5 would find its files (made from the input) one by one.
#include <cstring>
#include <vector>

#include "compnlist/verify.h"
#include "fuzz_input.h"
#include "kaldorn/md5lib.h"
#include "kaldorn/vxcminfo.h"

using namespace kaldorn::detail;

static void verify_installation(CompnRecord* records, unsigned int count, const uint8_t* data, size_t size) {
    std::string dir = (fuzz::scratch() / "inst").string(), list = (fuzz::scratch() / "inst.lst").string();
    CMd5 md5;
    for (unsigned int i = 0; i < count; ++i) {
        const char* name = records[i].szFileName;  // only short names that stay inside (none, empty or all dots)
        if (std::strlen(name) - 1 > 98 || std::strchr(name, '/') || name[std::strspn(name, ".")] == '\0') return;
        std::vector<uint8_t> body(size == 0 ? 0 : records[i].dwFileSize % 70000);
        for (size_t k = 0; k < body.size(); ++k) body[k] = data[(i + k) % size];
        if (i % 3 != 2) fuzz::put("inst/" + std::string(name), body.data(), body.size());
        if (i % 2 == 0) md5.CalculateMD5(body.data(), static_cast<unsigned int>(body.size()), records[i].uchMD5Digest);
    }
    unsigned int e = 0, n = 0;
    if (DumpRecordsToCompnLstFile(list.c_str(), records, count, 0, nullptr, &e) != 1) std::abort();
    std::vector<CompnRecord> want;  // what checking one file after another reports
    unsigned char d[16];
    for (unsigned int i = 0; i < count; ++i)
        if (records[i].dwFlag == 1 && (md5.CalculateMD5((dir + "/" + records[i].szFileName).c_str(), d) != 1 ||
                                       std::memcmp(d, records[i].uchMD5Digest, 16) != 0))
            want.push_back(records[i]);
    for (Md5Path path : {Md5Path::one, Md5Path::eight, Md5Path::sixteen}) {
        CompnRecord* found = nullptr;
        if (md5_path_runs(path) && (verify_compns_on(path, list.c_str(), dir.c_str(), nullptr, &found, &n, &e) != 1 ||
                                    n != want.size() || (n && std::memcmp(found, want.data(), n * sizeof *found))))
            std::abort();
        ReleaseCompnList(found, n, &e);
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Cleanup cleanup;
    std::string path = fuzz::put("00000004_compns.lst", data, size);
    unsigned int error = 0, id[3];
    GetCompnListFilePlatformId(path.c_str(), &id[0], &id[1], &id[2], &error);
    tagVX_COMPONENT_FILE_MEM_RECORD_INFO* records = nullptr;
    unsigned int count = 0;
    if (GetCompnListFromLstFile(path.c_str(), &records, &count, &error) != 1) return 0;
    std::string copy = (fuzz::scratch() / "copy.lst").string();
    if (DumpRecordsToCompnLstFile(copy.c_str(), records, count, 0, nullptr, &error) != 1) std::abort();
    tagVX_COMPONENT_FILE_MEM_RECORD_INFO* again = nullptr;
    unsigned int again_count = 0;
    if (GetCompnListFromLstFile(copy.c_str(), &again, &again_count, &error) != 1 || again_count != count ||
        (count != 0 && std::memcmp(records, again, sizeof *records * count) != 0))
        std::abort();
    ReleaseCompnList(again, again_count, &error);
    if (count != 0) verify_installation(records, count, data, size);  // the first file makes the directory
    ReleaseCompnList(records, count, &error);
    return 0;
}

// A component list: the reader and the platform ids; a list that reads is written back, must read back record
// for record, and is verified on every MD5 path as CMd5 would find its files (made from the input) one by one.
#include <cstring>
#include <vector>

#include "compnlist/verify.h"
#include "fuzz_input.h"
#include "kaldorn/md5lib.h"
#include "kaldorn/vxcminfo.h"
#include "support/path.h"

using namespace kaldorn::detail;

static void verify_installation(const fuzz::Input& in, CompnRecord* records, unsigned int count) {
    std::string dir = (fuzz::scratch() / "inst").string(), list = (fuzz::scratch() / "inst.lst").string();
    CMd5 md5;
    for (unsigned int i = 0; i < count; ++i) {
        const char* name = records[i].szFileName;  // plain names only, as the reader hands out; short ones on disk
        if (!is_plain_name(name, sizeof records[i].szFileName)) std::abort();
        if (std::strlen(name) - 1 > 98 || name[std::strspn(name, ".")] == '\0') return;
        std::vector<uint8_t> body(in.size == 0 ? 0 : records[i].dwFileSize % 70000);
        for (size_t k = 0; k < body.size(); ++k) body[k] = in.data[(i + k) % in.size];
        if (i % 3 != 2) in.put("inst/" + std::string(name), body.data(), body.size());
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
    for (FileIo io : {FileIo::calls, FileIo::ring})
        for (Md5Path path : {Md5Path::one, Md5Path::eight, Md5Path::sixteen}) {
            CompnRecord* found = nullptr;
            if (md5_path_runs(path) &&
                (verify_compns_on(path, io, list.c_str(), dir.c_str(), nullptr, &found, &n, &e) != 1 ||
                 n != want.size() || (n && std::memcmp(found, want.data(), n * sizeof *found))))
                std::abort();
            ReleaseCompnList(found, n, &e);
        }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzz::Input in{data, size};
    const std::string path = in.put("00000004_compns.lst"), copy = (fuzz::scratch() / "copy.lst").string();
    unsigned int error = 0, id[3], count = 0, again_count = 0;
    GetCompnListFilePlatformId(path.c_str(), &id[0], &id[1], &id[2], &error);
    tagVX_COMPONENT_FILE_MEM_RECORD_INFO *records = nullptr, *again = nullptr;
    if (GetCompnListFromLstFile(path.c_str(), &records, &count, &error) != 1) return 0;
    if (DumpRecordsToCompnLstFile(copy.c_str(), records, count, 0, nullptr, &error) != 1 ||
        GetCompnListFromLstFile(copy.c_str(), &again, &again_count, &error) != 1 || again_count != count ||
        (count != 0 && std::memcmp(records, again, sizeof *records * count) != 0)) std::abort();
    ReleaseCompnList(again, again_count, &error);
    if (count != 0) verify_installation(in, records, count);  // the first file makes the directory
    ReleaseCompnList(records, count, &error);
    return 0;
}

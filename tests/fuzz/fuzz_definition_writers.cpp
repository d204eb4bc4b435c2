// The definition writers on a fuzzed file: stamp, record rewrite and append.
// A refused call leaves every byte of the file as it was; an append that
// succeeds reads back as the old records plus the new one; a file created by
// an append reads back as that one record.
//
// Input: 16 control bytes (stamp id, record id, caller's value, status,
// three date bytes, name length), then the file, then the name.
#include <cstdio>
#include <cstring>

#include "fuzz_input.h"
#include "kaldorn/soloindx.h"

namespace {

uint32_t le32(const uint8_t* p) { return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24; }

std::vector<uint8_t> slurp(const std::string& path) {
    std::vector<uint8_t> bytes;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        uint8_t chunk[4096];
        for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) bytes.insert(bytes.end(), chunk, chunk + n);
        std::fclose(f);
    }
    return bytes;
}

struct Records {
    tagSOLO_DEF_MEM_RECORD_INFO* list = nullptr;
    unsigned int count = 0;
    bool read(const std::string& path) {
        unsigned int error = 0;
        return GetDefListFromDatFile(path.c_str(), &list, &count, &error) == 1;
    }
    ~Records() {
        unsigned int error = 0;
        if (list != nullptr) ReleaseDefList(list, count, &error);
    }
};

// A call that fails must not have written; one that succeeds on a file the
// reader takes must leave one it takes, with as many records. (The stamp
// does not look at the records, so it may succeed on a file whose records do
// not read.)
template <typename Call>
void check_write(const std::string& path, Call call) {
    Records before;
    bool readable = before.read(path);
    std::vector<uint8_t> bytes = slurp(path);
    if (call() != 1) {
        if (slurp(path) != bytes) std::abort();
        return;
    }
    Records after;
    if (readable && (!after.read(path) || after.count != before.count)) std::abort();
}

void check_append(const std::string& path, const char* name) {
    Records before;
    bool readable = before.read(path);
    char file[32];
    unsigned int id = 0, error = 0;
    std::vector<uint8_t> bytes = slurp(path);
    if (GetDefEntryFromDatFile(4, path.c_str(), name, 1, file, sizeof file, &id, &error) != 1) {
        if (slurp(path) != bytes) std::abort();
        return;
    }
    Records after;
    if (!after.read(path) || !readable) std::abort();
    if (after.count == before.count) {  // the name was found: nothing written
        if (slurp(path) != bytes) std::abort();
        return;
    }
    if (after.count != before.count + 1 || std::strcmp(after.list[before.count].szDefName, name) != 0 ||
        after.list[before.count].dwDefId != id ||
        (before.count != 0 &&
         std::memcmp(before.list, after.list, sizeof *before.list * before.count) != 0))
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 16) return 0;
    size_t name_length = data[15] % 64;
    if (size < 16 + name_length) return 0;
    fuzz::Cleanup cleanup;
    std::string path = fuzz::put("00000004_index.dat", data + 16, size - 16 - name_length);
    std::string name(reinterpret_cast<const char*>(data + size - name_length), name_length);
    name = name.c_str();  // up to the first NUL

    unsigned int error = 0;
    check_write(path, [&] { return UpdateSoloIndexDatFile(path.c_str(), le32(data), &error); });
    const tagVXDEFDATE date{le32(data + 8), static_cast<unsigned short>(data[13] | data[14] << 8), data[12]};
    check_write(path, [&] { return ModifyDefEntryFromDatFile(path.c_str(), le32(data + 4), &date, le32(data + 8),
                                                             data[12] & 1u, &error); });
    check_append(path, name.c_str());

    std::string fresh = (fuzz::scratch() / "00000004_new.dat").string();  // an append that creates the file
    char file[32];
    unsigned int id = 0;
    if (GetDefEntryFromDatFile(4, fresh.c_str(), name.c_str(), 1, file, sizeof file, &id, &error) == 1) {
        Records created;
        if (!created.read(fresh) || created.count != 1 || id != 1 || std::strcmp(created.list[0].szDefName, name.c_str()) != 0)
            std::abort();
    }
    return 0;
}

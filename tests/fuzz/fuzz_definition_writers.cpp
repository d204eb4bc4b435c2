// The definition writers on a fuzzed file: stamp, record rewrite and append. A refused call leaves every byte of the
// file as it was; a stamp or rewrite that succeeds on a file the reader takes leaves one it takes with as many
// records (the stamp does not read them); an append reads back as the old records plus the new one, or writes nothing
// when the name is there; a file an append creates reads back as that one record. Input: 16 control bytes (stamp id,
// record id, caller's value, status, three date bytes, name length), then the file, then the name.
#include <cstring>

#include "fuzz_input.h"
#include "kaldorn/soloindx.h"
#include "support/bytes.h"

namespace {

using kaldorn::detail::load_le32;

struct Records {
    tagSOLO_DEF_MEM_RECORD_INFO* list = nullptr;
    unsigned int count = 0, error = 0;
    const bool read;
    explicit Records(const std::string& path) : read(GetDefListFromDatFile(path.c_str(), &list, &count, &error) == 1) {}
    ~Records() {
        if (list != nullptr) ReleaseDefList(list, count, &error);
    }
    bool ends_with(const Records& old, const char* name, unsigned int id) const {
        return count == old.count + 1 && std::strcmp(list[old.count].szDefName, name) == 0 &&
               list[old.count].dwDefId == id &&
               (old.count == 0 || std::memcmp(old.list, list, sizeof *list * old.count) == 0);
    }
};

void must(bool holds) { if (!holds) std::abort(); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const size_t name_length = size < 16 ? 0 : data[15] % 64;
    if (size < 16 + name_length) return 0;
    const fuzz::Input in{data, size};
    const std::string path = in.put("00000004_index.dat", data + 16, size - 16 - name_length),
                      fresh = (fuzz::scratch() / "00000004_new.dat").string(),
                      name = std::string(reinterpret_cast<const char*>(data + size - name_length), name_length).c_str();
    const tagVXDEFDATE date{load_le32(data + 8), static_cast<unsigned short>(data[13] | data[14] << 8), data[12]};
    unsigned int error = 0, id = 0;
    char file[32];
    for (int step = 0; step < 3; ++step) {  // stamp, rewrite, append
        const Records before(path);
        const std::string was = fuzz::read(path);
        const int result =
            step == 0   ? UpdateSoloIndexDatFile(path.c_str(), load_le32(data), &error)
            : step == 1 ? ModifyDefEntryFromDatFile(path.c_str(), load_le32(data + 4), &date, load_le32(data + 8),
                                                    data[12] & 1u, &error)
                        : GetDefEntryFromDatFile(4, path.c_str(), name.c_str(), 1, file, sizeof file, &id, &error);
        const Records after(path);
        if (result != 1) must(fuzz::read(path) == was);
        else if (step < 2) must(!before.read || (after.read && after.count == before.count));
        else
            must(before.read && after.read &&
                 (after.count == before.count ? fuzz::read(path) == was : after.ends_with(before, name.c_str(), id)));
    }
    const Records none(fresh);
    if (GetDefEntryFromDatFile(4, fresh.c_str(), name.c_str(), 1, file, sizeof file, &id, &error) == 1)
        must(Records(fresh).ends_with(none, name.c_str(), 1) && id == 1);
    return 0;
}

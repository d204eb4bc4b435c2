// Two definition index DATs, split from one input: the comparison and the
// operation-id lists over them, everything freed.
#include "fuzz_input.h"
#include "kaldorn/soloindx.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzz::Input in{data, size};
    if (!in.put_pair("client/00000004_index.dat", "source/00000004_index.dat")) return 0;
    const std::string older = (fuzz::scratch() / "client/00000004_index.dat").string(),
                      newer = (fuzz::scratch() / "source/00000004_index.dat").string();
    tagSOLO_DEF_MEM_RECORD_INFO *all = nullptr, *selected = nullptr;
    unsigned int all_count = 0, selected_count = 0, error = 0;
    tagSOLO_DAT_HEADER_INFO new_header{}, old_header{};
    int mode = 0;
    if (CompareSoloDatFiles(0, "", newer.c_str(), older.c_str(), &all, &all_count, &selected, &selected_count,
                            &new_header, &old_header, &mode, &error) == 1) {
        if (selected_count > all_count) std::abort();
        ReleaseDefList(all, all_count, &error);
        ReleaseDefList(selected, selected_count, &error);
    }
    for (unsigned int op = 0; op <= 2; ++op) {
        tagKAL_DORN_FILE_INFO_LISTA* list = nullptr;
        if (CompareSoloDatFilesForOprId(4, op, newer.c_str(), older.c_str(), &list, &error) == 1)
            FreeUpdtInfoListEx(list);
    }
    return 0;
}

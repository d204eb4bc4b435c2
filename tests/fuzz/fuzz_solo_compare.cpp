// Two definition index DATs, split from one input: the comparison and the
// operation-id lists over them, everything freed.
#include "fuzz_input.h"
#include "kaldorn/soloindx.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Halves h;
    if (!fuzz::split(data, size, h)) return 0;
    fuzz::Cleanup cleanup;
    std::string older = fuzz::put("client/00000004_index.dat", h.a, h.a_size);
    std::string newer = fuzz::put("source/00000004_index.dat", h.b, h.b_size);
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

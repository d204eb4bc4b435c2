// Solo download list: the definition files a client of a solo product must
// fetch from a source, and in internet mode the definition files of the
// client's components that are missing or damaged on disk.
#include <cstdio>
#include <cstring>

#include "indexdat/defselect.h"
#include "indexdat/versions.h"
#include "kaldorn/nupdtinf.h"
#include "kaldorn/support.h"
#include "kaldorn/vxcminfo.h"
#include "planning/planning.h"
#include "support/list_guard.h"
#include "support/path.h"

using namespace kaldorn::detail;

namespace {

using SoloList = OwnedList<tagKAL_DORN_VERSION_LISTEXA>;

// The results of comparing the source's index (new) with the client's (old);
// both record arrays are released on every path.
struct SoloComparison {
    tagSOLO_DEF_MEM_RECORD_INFO* all = nullptr;      /*!< every record of the source's index */
    unsigned int allCount = 0;
    tagSOLO_DEF_MEM_RECORD_INFO* changed = nullptr;  /*!< new or re-dated active records, source order */
    unsigned int changedCount = 0;
    tagSOLO_DAT_HEADER_INFO source{};
    tagSOLO_DAT_HEADER_INFO client{};
    SoloComparison() = default;
    SoloComparison(const SoloComparison&) = delete;
    SoloComparison& operator=(const SoloComparison&) = delete;
    ~SoloComparison() {
        unsigned int ignored = 0;
        if (all != nullptr) ReleaseDefList(all, allCount, &ignored);
        if (changed != nullptr) ReleaseDefList(changed, changedCount, &ignored);
    }
};

// The component records the verification reported.
struct ReportedComponents {
    tagVX_COMPONENT_FILE_MEM_RECORD_INFO* records = nullptr;
    unsigned int count = 0;
    ReportedComponents() = default;
    ReportedComponents(const ReportedComponents&) = delete;
    ReportedComponents& operator=(const ReportedComponents&) = delete;
    ~ReportedComponents() {
        unsigned int ignored = 0;
        if (records != nullptr) ReleaseCompnList(records, count, &ignored);
    }
};

// The definition the source stamps as current must be among the changes,
// else the two indexes do not describe one update.
bool current_definition_changed(const SoloComparison& cmp) {
    for (unsigned int i = 0; i < cmp.changedCount; ++i)
        if (cmp.changed[i].dwDefId == cmp.source.dwCurrentDefId) return true;
    return false;
}

bool append_record(SoloList& list, unsigned int productId, unsigned int defId, const char* fileName,
                   unsigned int flag, unsigned int kind, const tagVXDEFDATE* date) {
    tagKAL_DORN_TYPE_INFOEXA record;
    std::memset(&record, 0, sizeof record);
    record.dwMajorVersion = productId;
    record.dwMinorVersion = defId;
    std::memcpy(record.szFileName, fileName, std::strlen(fileName) + 1);
    record.dwFlag = flag;
    record.dwKind = kind;
    if (date != nullptr) std::memcpy(&record.stDefDate, date, sizeof record.stDefDate);
    return AddToUpdtInfoListEx(&record, 0, &list.head, &list.tail) == 1;
}

bool append_changed_definitions(SoloList& list, unsigned int productId, const SoloComparison& cmp) {
    for (unsigned int i = 0; i < cmp.changedCount; ++i) {
        const tagSOLO_DEF_MEM_RECORD_INFO& rec = cmp.changed[i];
        char name[32];
        format_definition_file_name(name, productId, rec.dwDefId);
        tagVXDEFDATE date;
        std::memcpy(&date, &rec.stDefDate, sizeof date);
        if (!append_record(list, productId, rec.dwDefId, name, 0, 1, &date)) return false;
    }
    return true;
}

// Products 4 and 5 ask the sibling library; any other product keeps its
// component list beside its client index.
bool engine_directory(unsigned int productId, const char* clientDirectory, char (&engine)[KALDORN_MAX_PATH],
                      unsigned int* error) {
    if (productId == 4 || productId == 5)
        return GetCurrentEngineLocation(clientDirectory, 0, engine, sizeof engine, error) == 1 &&
               std::memchr(engine, '\0', sizeof engine) != nullptr;
    return copy_bounded(engine, sizeof engine, clientDirectory);
}

bool verify_components(unsigned int productId, const char* clientDirectory, ReportedComponents& reported,
                       unsigned int* error) {
    char engine[KALDORN_MAX_PATH];
    if (!engine_directory(productId, clientDirectory, engine, error)) return false;
    char listName[32], listPath[KALDORN_MAX_PATH];
    std::snprintf(listName, sizeof listName, "%08x_compns.lst", productId);
    if (!MakeFilePath(engine, listName, listPath, sizeof listPath)) return false;
    unsigned int code = 0;
    return VerifyCompnsFileRecords(listPath, engine, nullptr, &reported.records, &reported.count, &code) == 1;
}

bool named_like_a_change(const SoloComparison& cmp, const char* component) {
    for (unsigned int i = 0; i < cmp.changedCount; ++i)
        if (std::strcmp(cmp.changed[i].szDefName, component) == 0) return true;
    return false;
}

// A component that is not already fetched as a changed definition brings
// the definition file of its name (any letter case) from the source index.
bool append_component_repairs(SoloList& list, unsigned int productId, SoloComparison& cmp,
                              const ReportedComponents& reported) {
    for (unsigned int i = 0; i < reported.count; ++i) {
        const char* component = reported.records[i].szFileName;
        if (named_like_a_change(cmp, component)) continue;
        char name[KALDORN_MAX_PATH];
        unsigned int defId = 0, code = 0;
        if (!GetDefEntryFromDatList(productId, cmp.all, cmp.allCount, component, name, sizeof name, &defId, &code))
            return false;
        if (!append_record(list, productId, defId, name, 1, 0, nullptr)) return false;
    }
    return true;
}

bool plan_after_comparison(unsigned int productId, int soloMode, const char* clientDirectory, SoloComparison& cmp,
                           SoloList& list, unsigned int* error) {
    if (!current_definition_changed(cmp) || !append_changed_definitions(list, productId, cmp)) return false;
    if (soloMode != 1) return true;
    ReportedComponents reported;
    return verify_components(productId, clientDirectory, reported, error) &&
           append_component_repairs(list, productId, cmp, reported);
}

}  // namespace

int KalDornGetDownloadFilesListForSoloUpdt(unsigned int productId, int soloMode, const char* clientDirectory,
                                           const char* sourceDirectory, tagKAL_DORN_VERSION_LISTEXA** list,
                                           unsigned int* error) {
    if (clientDirectory == nullptr || sourceDirectory == nullptr || list == nullptr || error == nullptr) return 0;
    *error = KALDORN_E_NONE;
    *list = nullptr;
    char clientIndex[KALDORN_MAX_PATH], sourceIndex[KALDORN_MAX_PATH];
    if (!index_path(clientIndex, clientDirectory, productId) || !index_path(sourceIndex, sourceDirectory, productId))
        return 0;

    SoloComparison cmp;
    int mode = 0;
    if (!CompareSoloDatFiles(soloMode, clientDirectory, sourceIndex, clientIndex, &cmp.all, &cmp.allCount,
                             &cmp.changed, &cmp.changedCount, &cmp.source, &cmp.client, &mode, error))
        return is_empty_answer(*error) ? 1 : 0;

    SoloList built;
    if (!plan_after_comparison(productId, soloMode, clientDirectory, cmp, built, error)) {
        *error = KALDORN_E_CONVERSION;
        return 0;
    }
    *list = built.release();
    return 1;
}

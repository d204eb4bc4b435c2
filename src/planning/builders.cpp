// List builders: decode the source's version text, place the client in it,
// run one selection rule and list the admitted entries in text order.
#include "planning/planning.h"

using namespace kaldorn::detail;

namespace {

// Which entries of the walk go into the list.
enum class Admit {
    Selected,           // chosen by the rule
    SelectedOrMarked,   // chosen, or carrying a level mark
    Unselected,         // left alone by the rule (the deletable ones)
};

bool admitted(const tagUPDT_VERSION_BUFFER& e, Admit admit) {
    switch (admit) {
        case Admit::Selected: return e.uchSelected == 1;
        case Admit::SelectedOrMarked: return e.uchSelected == 1 || e.uchFlag != 0;
        case Admit::Unselected: return e.uchSelected == 0;
    }
    return false;
}

Admit download_admit(unsigned int includeMarked) {
    return includeMarked == 1 ? Admit::SelectedOrMarked : Admit::Selected;
}

// Appends entries [from, count) that are admitted; on a failed append the
// nodes made so far are freed and false returned.
bool collect(const DecodedText& text, int from, Admit admit, tagKAL_DORN_VERSION_LIST*& head) {
    tagKAL_DORN_VERSION_LIST* first = nullptr;
    tagKAL_DORN_VERSION_LIST* tail = nullptr;
    for (int i = from; i < text.count(); ++i) {
        tagUPDT_VERSION_BUFFER& e = text.entries()[i];
        if (!admitted(e, admit)) continue;
        if (AddToUpdtInfoList(&e.stInfo, e.uchFlag, &first, &tail) == 0) {
            FreeUpdtInfoList(first);
            return false;
        }
    }
    head = first;
    return true;
}

// The common course of every builder. rule(entries, count, start, from)
// flags the entries and sets where the walk begins; 0 means it failed.
template <typename Rule>
int build(const tagUPDT_DAT_VERSION_INFO_MEM* source, const tagKAL_DORN_DBVERSION_INFO* client,
          tagKAL_DORN_VERSION_LIST** list, Admit admit, Rule rule) {
    if (source == nullptr || client == nullptr || list == nullptr) return 0;
    DecodedText text;
    int start = -1;
    unsigned int type = 0;
    if (!text.decode(source->stBuffer) || !text.find(*client, start, type)) return 0;
    int from = start + 1;
    if (rule(text.entries(), text.count(), start, from) == 0) return 0;
    tagKAL_DORN_VERSION_LIST* head = nullptr;
    if (!collect(text, from, admit, head)) return 0;
    *list = head;
    return 1;
}

}  // namespace

int GetDownloadFileList(unsigned int includeMarked, const tagUPDT_DAT_VERSION_INFO_MEM* source,
                        const tagKAL_DORN_DBVERSION_INFO* client, tagKAL_DORN_VERSION_LIST** list, int ruleFlag) {
    return build(source, client, list, download_admit(includeMarked),
                 [ruleFlag](tagUPDT_VERSION_BUFFER* e, int n, int start, int&) {
                     return ruleFlag == 1 ? NewParseExForInternet2012(e, n, start) : NewParseExForInternet(e, n, start);
                 });
}

int GetDownloadFileListForUpdateManager(unsigned int includeMarked, const tagUPDT_DAT_VERSION_INFO_MEM* source,
                                        const tagKAL_DORN_DBVERSION_INFO* client, tagKAL_DORN_VERSION_LIST** list,
                                        int ruleFlag) {
    return build(source, client, list, download_admit(includeMarked),
                 [ruleFlag](tagUPDT_VERSION_BUFFER* e, int n, int start, int&) {
                     return ruleFlag == 1 ? NewParseExForUpdateManagerEx2(e, n, start)
                                          : NewParseExForUpdateManager(e, n, start);
                 });
}

int GetDownloadFileListForPath(unsigned int productId, unsigned int mode, const char* directory,
                               const tagUPDT_DAT_VERSION_INFO_MEM* source, const tagKAL_DORN_DBVERSION_INFO* client,
                               tagKAL_DORN_VERSION_LIST** list) {
    if (directory == nullptr) return 0;
    return build(source, client, list, download_admit(mode),
                 [productId, mode, directory](tagUPDT_VERSION_BUFFER* e, int n, int start, int&) {
                     return NewParseExForPath(productId, directory, mode, e, n, start);
                 });
}

int GetDeleteFileListForUpdateManager(const tagUPDT_DAT_VERSION_INFO_MEM* source,
                                      const tagKAL_DORN_DBVERSION_INFO* client, tagKAL_DORN_VERSION_LIST** list) {
    return build(source, client, list, Admit::Unselected,
                 [](tagUPDT_VERSION_BUFFER* e, int n, int start, int& from) {
                     return NewParseForUpdateManagerDeleteFile(e, n, start, &from);
                 });
}

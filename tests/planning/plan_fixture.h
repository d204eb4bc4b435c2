// The directories of one planning request and each driver run with its
// outcome rendered as "D1.2 W1.3[1] X3.3[2]" (letter of the update type, "?"
// for none, version, mark when not 0), file lists as their names, then
// "[N]" when a success leaves code N, or "error N" when the call returns 0.
#pragma once

#include <string>
#include <type_traits>
#include <vector>

#include <gtest/gtest.h>

#include "datwriter.h"
#include "kaldorn/lists.h"
#include "kaldorn/nupdtinf.h"
#include "planwriter.h"

namespace plan {

inline std::string item(const tagKAL_DORN_VERSION_LIST* n) {
    tagKAL_DORN_TYPE_INFO i = n->stInfo;
    char letter = i.dwUpdateType == 101 ? 'D' : i.dwUpdateType == 102 ? 'W' : i.dwUpdateType == 104 ? 'X' : '?';
    return letter + std::to_string(i.dwMajorVersion) + "." + std::to_string(i.dwMinorVersion) +
           (n->uchFlag ? std::string("[").append(std::to_string(n->uchFlag)) + "]" : "");
}
inline std::string item(const tagKAL_DORN_VERSION_LISTEXA* n) { return n->stInfo.szFileName; }
inline std::string item(const tagKAL_DORN_FILE_INFO_LISTA* n) { return n->szFileName; }

using fixtures::wide;

// One call: no descriptor may stay open, and a failure hands out no list.
template <typename List = tagKAL_DORN_VERSION_LIST, typename Call>
std::string outcome(Call call) {
    List* list = nullptr;
    unsigned int error = 12345;
    int fds = fixtures::open_descriptor_count();
    int ok = call(&list, &error);
    EXPECT_EQ(fixtures::open_descriptor_count(), fds);
    EXPECT_TRUE(ok == 1 || list == nullptr);
    std::string out = ok == 1 ? "" : std::string("error ").append(std::to_string(error));
    for (const List* n = list; n != nullptr; n = n->pNext) out.append(out.empty() ? "" : " ").append(item(n));
    if (ok == 1 && error != 0) out.append("[").append(std::to_string(error)).append("]");
    if constexpr (std::is_same_v<List, tagKAL_DORN_VERSION_LIST>)
        FreeUpdtInfoList(list);
    else
        FreeUpdtInfoListEx(list);
    return out;
}

class PlanTest : public ::testing::Test {
protected:
    fixtures::TempDir dir;
    std::string client = dir.file("client"), source = dir.file("source"), updates = dir.file("updates");
    unsigned int product = 1;

    void index_at(const std::string& where, const std::string& version, const std::string& text) {
        size_t dot = version.find('.');
        fixtures::write_version_index(where, product, text, static_cast<uint32_t>(std::stoul(version.substr(0, dot))),
                                      static_cast<uint32_t>(std::stoul(version.substr(dot + 1))));
    }
    void source_at(const std::string& v, const std::string& text = fixtures::kExampleText) { index_at(source, v, text); }
    void client_at(const std::string& v) { index_at(client, v, ""); }

    // Each driver on the fixture's directories, or on the ones given.
    std::string internet(unsigned int marked, int rule) { return internet(marked, rule, client, source); }
    std::string internet(unsigned int marked, int rule, const std::string& c, const std::string& s) {
        return outcome([&](auto l, auto e) {
            return KalDornGetDownloadVersionListForInternetLocal(product, c.c_str(), s.c_str(), l, marked, rule, e);
        });
    }
    std::string manager(unsigned int marked, int rule) { return manager(marked, rule, client, source); }
    std::string manager(unsigned int marked, int rule, const std::string& c, const std::string& s) {
        return outcome([&](auto l, auto e) {
            return KalDornGetDownloadVersionListForUpdateManagerLocal(product, wide(c).data(), wide(s).data(), l,
                                                                      marked, rule, e);
        });
    }
    std::string path(unsigned int mode) { return path(mode, updates); }
    std::string path(unsigned int mode, const std::string& u) {
        return outcome([&](auto l, auto e) {
            return KalDornGetDownloadVersionListForPathLocal(product, client.c_str(), source.c_str(), u.c_str(), l,
                                                             mode, e);
        });
    }
    std::string oprid(unsigned int op) { return oprid(op, client, source); }
    std::string oprid(unsigned int op, const std::string& c, const std::string& s) {
        return outcome([&](auto l, auto e) {
            return KaldornGetFileListFromOprIdForUpdateManagerLocalW(product, op, wide(s).data(), wide("/").data(),
                                                                     wide(c).data(), l, e);
        });
    }
};

}  // namespace plan

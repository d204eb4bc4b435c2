// The directories of one planning request and each driver run with its
// outcome rendered as "D1.2 W1.3[1] X3.3[2]" (letter of the update type, "?"
// for none, version, mark when not 0), or "error N" when it returns 0.
#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "datwriter.h"
#include "kaldorn/nupdtinf.h"
#include "planwriter.h"

namespace plan {

inline std::string render(const tagKAL_DORN_VERSION_LIST* list) {
    std::string out;
    for (; list != nullptr; list = list->pNext) {
        tagKAL_DORN_TYPE_INFO i = list->stInfo;
        char letter = i.dwUpdateType == 101 ? 'D' : i.dwUpdateType == 102 ? 'W' : i.dwUpdateType == 104 ? 'X' : '?';
        out += (out.empty() ? "" : " ") + std::string(1, letter) + std::to_string(i.dwMajorVersion) + "." +
               std::to_string(i.dwMinorVersion) + (list->uchFlag ? "[" + std::to_string(list->uchFlag) + "]" : "");
    }
    return out;
}

inline std::vector<unsigned short> wide(const std::string& s) {  // ASCII directories only
    std::vector<unsigned short> w(s.begin(), s.end());
    w.push_back(0);
    return w;
}

// One call: no descriptor may stay open, and a failure hands out no list.
template <typename Call>
std::string outcome(Call call) {
    tagKAL_DORN_VERSION_LIST* list = nullptr;
    unsigned int error = 12345;
    int fds = fixtures::open_descriptor_count();
    int ok = call(&list, &error);
    EXPECT_EQ(fixtures::open_descriptor_count(), fds);
    EXPECT_TRUE(ok == 1 ? error == 0 : list == nullptr);
    std::string out = ok == 1 ? render(list) : "error " + std::to_string(error);
    FreeUpdtInfoList(list);
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

// The directories of one planning request, written by the fixture writers,
// each driver run with its outcome rendered compactly: "D1.2 W1.3[1] X3.3[2]"
// (letter from the update type, version, mark when not 0), or "error N".
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
        tagKAL_DORN_TYPE_INFO info = list->stInfo;
        char letter = info.dwUpdateType == 101 ? 'D' : info.dwUpdateType == 102 ? 'W' : 'X';
        out += (out.empty() ? "" : " ") + std::string(1, letter) + std::to_string(info.dwMajorVersion) + "." +
               std::to_string(info.dwMinorVersion);
        if (list->uchFlag != 0) out += "[" + std::to_string(list->uchFlag) + "]";
    }
    return out;
}

// ASCII only: enough for the directories of the tests.
inline std::vector<unsigned short> wide(const std::string& s) {
    std::vector<unsigned short> w(s.begin(), s.end());
    w.push_back(0);
    return w;
}

class PlanTest : public ::testing::Test {
protected:
    fixtures::TempDir dir;
    std::string client = dir.file("client");
    std::string source = dir.file("source");
    std::string updates = dir.file("updates");
    unsigned int product = 1;

    static void index(const std::string& where, const std::string& text, const std::string& version,
                      unsigned int product = 1) {
        size_t dot = version.find('.');
        fixtures::write_version_index(where, product, text, static_cast<uint32_t>(std::stoul(version.substr(0, dot))),
                                      static_cast<uint32_t>(std::stoul(version.substr(dot + 1))));
    }
    void source_at(const std::string& version, const std::string& text = fixtures::kExampleText) {
        index(source, text, version, product);
    }
    void client_at(const std::string& version) { index(client, "", version, product); }

    // Runs one driver call, checking that no descriptor stays open and that
    // a failure hands out no list.
    template <typename Call>
    static std::string outcome(Call call) {
        tagKAL_DORN_VERSION_LIST* list = nullptr;
        unsigned int error = 12345;
        int fds = fixtures::open_descriptor_count();
        int ok = call(&list, &error);
        EXPECT_EQ(fixtures::open_descriptor_count(), fds);
        if (ok != 1) {
            EXPECT_EQ(list, nullptr);
            return "error " + std::to_string(error);
        }
        EXPECT_EQ(error, 0u);
        std::string out = render(list);
        FreeUpdtInfoList(list);
        return out;
    }

    std::string internet(unsigned int includeMarked, int ruleFlag, const std::string& c, const std::string& s) {
        return outcome([&](auto list, auto error) {
            return KalDornGetDownloadVersionListForInternetLocal(product, c.c_str(), s.c_str(), list, includeMarked,
                                                                 ruleFlag, error);
        });
    }
    std::string internet(unsigned int includeMarked, int ruleFlag) { return internet(includeMarked, ruleFlag, client, source); }
    std::string manager(unsigned int includeMarked, int ruleFlag, const std::string& c, const std::string& s) {
        return outcome([&](auto list, auto error) {
            return KalDornGetDownloadVersionListForUpdateManagerLocal(product, wide(c).data(), wide(s).data(), list,
                                                                      includeMarked, ruleFlag, error);
        });
    }
    std::string manager(unsigned int includeMarked, int ruleFlag) { return manager(includeMarked, ruleFlag, client, source); }
    std::string path(unsigned int mode, const std::string& u) {
        return outcome([&](auto list, auto error) {
            return KalDornGetDownloadVersionListForPathLocal(product, client.c_str(), source.c_str(), u.c_str(), list,
                                                             mode, error);
        });
    }
    std::string path(unsigned int mode) { return path(mode, updates); }
    std::string oprid(unsigned int operation, const std::string& c, const std::string& s) {
        return outcome([&](auto list, auto error) {
            return KaldornGetFileListFromOprIdForUpdateManagerLocalW(product, operation, wide(s).data(),
                                                                     wide("/unused").data(), wide(c).data(), list,
                                                                     error);
        });
    }
    std::string oprid(unsigned int operation) { return oprid(operation, client, source); }
};

}  // namespace plan

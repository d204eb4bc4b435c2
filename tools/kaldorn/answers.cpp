// Shared by the question families (plan, solo): index file names, the text
// form of an answer's heading and file count, and how answers are reported.
#include <cstdio>
#include <iostream>

#include "commands.h"
#include "kaldorn/convert.h"
#include "kaldorn/nupdtinf.h"

namespace tool {

std::vector<unsigned short> widen(const std::string& s) {
    std::vector<unsigned short> w(s.size() + 1);
    ConvertToWideCharEx(s.c_str(), w.data(), static_cast<unsigned int>(w.size()));
    return w;
}

const char* meaning(unsigned int code) {
    switch (code) {
        case KALDORN_E_NONE: return "no error";
        case KALDORN_E_SOURCE_INDEX: return "the source's index DAT cannot be loaded";
        case KALDORN_E_CLIENT_NEWER: return "the client is newer than the source";
        case KALDORN_E_SAME_VERSION: return "client and source are at the same version";
        case KALDORN_E_BUILD_LIST: return "building the list failed";
        case KALDORN_E_NOTHING_TO_DO: return "nothing to download";
        case KALDORN_E_CONVERSION: return "a directory or the client's index cannot be used, or a solo step failed";
        default: return "unexpected code";
    }
}

std::string update_file_name(unsigned int product, const tagKAL_DORN_TYPE_INFO& record) {
    tagKAL_DORN_TYPE_INFO in = record;
    tagKAL_DORN_TYPE_INFOEXA out{};
    KalDornConvertVersionRecordToVersionRecordEx(product, &in, &out);
    return out.szFileName;
}

std::string index_file(const std::string& dir, unsigned int product) {
    char name[32];
    std::snprintf(name, sizeof name, "%08x_index.dat", product);
    return dir + (dir.empty() || dir.back() != '/' ? "/" : "") + name;
}

bool print_heading(const nlohmann::json& doc) {
    std::cout << doc["question"].get<std::string>() << ", product " << doc["product"] << ": ";
    if (doc["ok"].get<bool>()) return true;
    std::cout << "FAILED (";
    if (doc["error"] == 0)
        std::cout << doc["failure"].get<std::string>();
    else
        std::cout << doc["error"] << ": " << doc["meaning"].get<std::string>();
    std::cout << ")\n";
    return false;
}

bool print_file_count(const nlohmann::json& doc) {
    const auto& files = doc["files"];
    if (files.empty()) {
        std::cout << "nothing";
        if (doc["error"] != 0) std::cout << " (" << doc["error"] << ": " << doc["meaning"].get<std::string>() << ")";
        std::cout << '\n';
        return false;
    }
    std::cout << files.size() << (files.size() == 1 ? " file\n" : " files\n");
    return true;
}

void report(const std::vector<nlohmann::json>& answers, bool json, void (*print_text)(const nlohmann::json&)) {
    if (json) print_json(answers.size() == 1 ? answers.front() : nlohmann::json(answers));
    std::string failures;
    for (const auto& a : answers) {
        if (!json) print_text(a);
        if (!a["ok"].get<bool>()) failures += (failures.empty() ? "" : "\nkaldorn: ") + a["failure"].get<std::string>();
    }
    if (!failures.empty()) throw Failure{failures};
}

}  // namespace tool

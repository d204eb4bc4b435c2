// solo: the planning questions of a solo product (definition index DATs):
// the definition files to download (with the repair of missing or damaged
// components for an internet source), the per-operation file lists and the
// client's current definition file.
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "kaldorn/lists.h"
#include "kaldorn/nupdtinf.h"

namespace tool {

namespace {

struct SoloRequest {
    unsigned int product = 4;
    std::string client, source, reference;
    bool internet = false;
    unsigned int operation = 0;
    bool json = false;
};

const char* solo_meaning(unsigned int code) {
    switch (code) {
        case KALDORN_E_NONE: return "no error";
        case KALDORN_E_CLIENT_NEWER: return "the client's DAT version is newer than the source's";
        case KALDORN_E_SAME_VERSION: return "client and source hold the same DAT version";
        case KALDORN_E_NOTHING_TO_DO: return "no definition changed";
        case KALDORN_E_CONVERSION: return "a solo step failed";
        default: return "unknown code";
    }
}

// A failed question, naming what it read.
std::string failure(const std::string& question, const std::vector<std::string>& files, unsigned int code) {
    std::string names;
    for (const auto& f : files) names += (names.empty() ? "" : ", ") + f;
    if (code == KALDORN_E_CONVERSION && question == "solo download list")
        return names + ": the source's current definition is not among its changes, or (internet) the engine "
                       "directory, its component list or a repaired component's definition cannot be found (1007)";
    if (code == KALDORN_E_CONVERSION) return names + ": cannot be read as definition index DATs (1007)";
    return names + ": cannot be read, or they belong to different products (code " + std::to_string(code) + ")";
}

nlohmann::json answer(const std::string& question, const SoloRequest& r, int result, unsigned int error,
                      nlohmann::json files, const std::vector<std::string>& read) {
    bool ok = result == 1;
    nlohmann::json doc = {{"question", question}, {"product", r.product},       {"result", result},
                          {"error", error},       {"meaning", solo_meaning(error)}, {"ok", ok},
                          {"files", std::move(files)}};
    if (!ok) doc["failure"] = failure(question, read, error);
    return doc;
}

nlohmann::json download(const SoloRequest& r) {
    tagKAL_DORN_VERSION_LISTEXA* list = nullptr;
    unsigned int error = 0;
    int result = KalDornGetDownloadFilesListForSoloUpdt(r.product, r.internet ? 1 : 0, r.client.c_str(),
                                                        r.source.c_str(), &list, &error);
    nlohmann::json files = nlohmann::json::array();
    for (const tagKAL_DORN_VERSION_LISTEXA* n = list; n != nullptr; n = n->pNext) {
        tagKAL_DORN_TYPE_INFOEXA info;
        std::memcpy(&info, &n->stInfo, sizeof info);
        files.push_back({{"file", info.szFileName},
                         {"definition", info.dwMinorVersion},
                         {"why", info.dwFlag == 1 ? "component repair" : "changed definition"},
                         {"flag", info.dwFlag},
                         {"kind", info.dwKind}});
    }
    FreeUpdtInfoListEx(list);
    std::string question = r.internet ? "solo download list (internet)" : "solo download list";
    nlohmann::json doc = answer("solo download list", r, result, error, std::move(files),
                                {index_file(r.client, r.product), index_file(r.source, r.product)});
    doc["question"] = question;
    return doc;
}

nlohmann::json operation(const SoloRequest& r) {
    tagKAL_DORN_FILE_INFO_LISTA* list = nullptr;
    unsigned int error = 0;
    int result = KaldornGetFileListFromOprIdForSoloUpdt(r.product, r.operation, r.source.c_str(),
                                                        r.reference.c_str(), r.client.c_str(), &list, &error);
    nlohmann::json files = nlohmann::json::array();
    for (const tagKAL_DORN_FILE_INFO_LISTA* n = list; n != nullptr; n = n->pNext)
        files.push_back({{"file", n->szFileName}, {"flag", n->dwFlag}, {"kind", n->dwKind}});
    FreeUpdtInfoListEx(list);
    nlohmann::json doc = answer("solo operation " + std::to_string(r.operation) + " list", r, result, error,
                                std::move(files),
                                {index_file(r.source, r.product), index_file(r.reference, r.product),
                                 index_file(r.client, r.product)});
    if (result == 0 && error == 0) doc["failure"] = "operation " + std::to_string(r.operation) +
                                                    " is not 0, 1 or 2, or an index cannot be read";
    return doc;
}

nlohmann::json client_file(const SoloRequest& r) {
    tagKAL_DORN_VERSION_LISTEXA node{};
    unsigned int error = 0;
    int result = KalDornGetCurrentClientFilesListForSoloUpdt(r.product, r.client.c_str(), &node, &error);
    nlohmann::json files = nlohmann::json::array();
    tagKAL_DORN_TYPE_INFOEXA info;
    std::memcpy(&info, &node.stInfo, sizeof info);
    if (result == 1) files.push_back({{"file", info.szFileName}, {"definition", info.dwMinorVersion}});
    return answer("solo client file", r, result, error, std::move(files), {index_file(r.client, r.product)});
}

void print_text(const nlohmann::json& doc) {
    if (!print_heading(doc) || !print_file_count(doc)) return;
    for (const auto& f : doc["files"]) {
        std::cout << "  " << f["file"].get<std::string>();
        if (f.contains("why")) std::cout << "  " << f["why"].get<std::string>();
        if (f.contains("flag")) std::cout << "  flag " << f["flag"] << "  kind " << f["kind"];
        std::cout << '\n';
    }
}

std::vector<nlohmann::json> everything(SoloRequest& r) {
    std::vector<nlohmann::json> answers{client_file(r)};
    r.internet = false;
    answers.push_back(download(r));
    r.internet = true;
    answers.push_back(download(r));
    if (!r.reference.empty()) {
        for (unsigned int op : {0u, 1u, 2u}) {
            r.operation = op;
            answers.push_back(operation(r));
        }
    }
    return answers;
}

// Adds a subcommand with --product and --json that prints what ask answers.
template <typename Own, typename Ask>
void add_question(CLI::App& solo, const char* name, const char* what, Own own, Ask ask) {
    auto r = std::make_shared<SoloRequest>();
    auto* cmd = solo.add_subcommand(name, what);
    cmd->add_option("--product", r->product, "Product identifier (4, 5, or 778 to 787)")->capture_default_str();
    cmd->add_flag("--json", r->json, "Print JSON");
    own(*cmd, *r);
    cmd->callback([r, ask] { report(ask(*r), r->json, print_text); });
}

}  // namespace

void register_solo_commands(CLI::App& app) {
    auto* solo = app.add_subcommand("solo", "Plan solo definition updates: downloads, operation lists, client file");
    solo->require_subcommand(1);
    add_question(
        *solo, "all", "Every solo question for one installation",
        [](CLI::App& cmd, SoloRequest& r) {
            cmd.add_option("client", r.client, "Client directory")->required();
            cmd.add_option("source", r.source, "Source directory")->required();
            cmd.add_option("reference", r.reference, "Reference directory for the operation lists");
        },
        everything);
    add_question(
        *solo, "download", "Definition files to download from a source",
        [](CLI::App& cmd, SoloRequest& r) {
            cmd.add_option("client", r.client, "Client directory")->required();
            cmd.add_option("source", r.source, "Source directory")->required();
            cmd.add_flag("--internet", r.internet, "Internet source: also repair missing or damaged components");
        },
        [](SoloRequest& r) { return std::vector{download(r)}; });
    add_question(
        *solo, "oprid", "Definition files of one operation (0, 1 or 2)",
        [](CLI::App& cmd, SoloRequest& r) {
            cmd.add_option("source", r.source, "Source directory")->required();
            cmd.add_option("reference", r.reference, "Reference directory")->required();
            cmd.add_option("client", r.client, "Client directory")->required();
            cmd.add_option("operation", r.operation, "Operation id")->required();
        },
        [](SoloRequest& r) { return std::vector{operation(r)}; });
    add_question(
        *solo, "client", "The client's current definition file",
        [](CLI::App& cmd, SoloRequest& r) { cmd.add_option("client", r.client, "Client directory")->required(); },
        [](SoloRequest& r) { return std::vector{client_file(r)}; });
}

}  // namespace tool

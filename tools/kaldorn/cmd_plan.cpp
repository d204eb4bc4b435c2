// plan: the planning questions of one installation, asked through the
// drivers: the download list of each kind of source, the update manager's
// delete and operation-id lists, and the client's current version.
#include <cstdio>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "kaldorn/nupdtinf.h"

namespace tool {

namespace {

struct Request {
    unsigned int product = 1;
    std::string client, source, updates, reference;
    bool include_marked = false;
    int rule_flag = 0;
    unsigned int mode = 0;
    unsigned int operation = 0;
    bool json = false;
};

const char* kind_of(unsigned int update_type) {
    switch (update_type) {
        case KALDORN_UPDATE_DAILY: return "daily";
        case KALDORN_UPDATE_WEEKLY: return "weekly";
        case KALDORN_UPDATE_MONTHLY: return "monthly";
        default: return "none";
    }
}

std::string version_of(const tagKAL_DORN_TYPE_INFO& r) {
    return std::to_string(r.dwMajorVersion) + "." + std::to_string(r.dwMinorVersion);
}

// What went wrong, naming the file or directory concerned.
std::string failure(const Request& r, unsigned int code) {
    std::string source_index = index_file(r.source, r.product);
    switch (code) {
        case KALDORN_E_SOURCE_INDEX: return source_index + ": cannot be loaded as a version index DAT (1001)";
        case KALDORN_E_BUILD_LIST:
            return source_index + ": no list could be built (1005): malformed version text, the client's version " +
                   "not in it, memory" + (r.updates.empty() ? "" : ", or a daily update file missing from " + r.updates);
        case KALDORN_E_CONVERSION:
            return r.client + ", " + r.source + (r.updates.empty() ? "" : ", " + r.updates) +
                   ": a directory does not fit in 260 bytes with its file name (1007)";
        default: return "operation " + std::to_string(r.operation) + " is not 0, 1 or 2";
    }
}

// One answer: the list and what the driver said, as a JSON document. 1003,
// 1004 and 1006 are answers with an empty list, as for the entry points.
nlohmann::json answer(const std::string& question, const Request& r, int result, unsigned int error,
                      tagKAL_DORN_VERSION_LIST* list) {
    nlohmann::json files = nlohmann::json::array();
    for (const tagKAL_DORN_VERSION_LIST* n = list; n != nullptr; n = n->pNext) {
        tagKAL_DORN_TYPE_INFO info = n->stInfo;
        files.push_back({{"kind", kind_of(info.dwUpdateType)},
                         {"version", version_of(info)},
                         {"update_type", info.dwUpdateType},
                         {"mark", n->uchFlag},
                         {"file", update_file_name(r.product, info)}});
    }
    FreeUpdtInfoList(list);
    bool ok = result == 1 || error == KALDORN_E_CLIENT_NEWER || error == KALDORN_E_SAME_VERSION ||
              error == KALDORN_E_NOTHING_TO_DO;
    nlohmann::json doc = {{"question", question}, {"product", r.product}, {"result", result},
                          {"error", error},       {"meaning", meaning(error)}, {"ok", ok},
                          {"files", files}};
    if (!ok) doc["failure"] = failure(r, error);
    return doc;
}

nlohmann::json internet(const Request& r) {
    tagKAL_DORN_VERSION_LIST* list = nullptr;
    unsigned int error = 0;
    int result = KalDornGetDownloadVersionListForInternetLocal(r.product, r.client.c_str(), r.source.c_str(), &list,
                                                               r.include_marked ? 1 : 0, r.rule_flag, &error);
    return answer("internet download list", r, result, error, list);
}

nlohmann::json manager(const Request& r) {
    tagKAL_DORN_VERSION_LIST* list = nullptr;
    unsigned int error = 0;
    int result = KalDornGetDownloadVersionListForUpdateManagerLocal(
        r.product, widen(r.client).data(), widen(r.source).data(), &list, r.include_marked ? 1 : 0, r.rule_flag, &error);
    return answer(r.rule_flag == 1 ? "update-manager download list (keep window)" : "update-manager download list",
                  r, result, error, list);
}

nlohmann::json path(const Request& r) {
    tagKAL_DORN_VERSION_LIST* list = nullptr;
    unsigned int error = 0;
    int result = KalDornGetDownloadVersionListForPathLocal(r.product, r.client.c_str(), r.source.c_str(),
                                                           r.updates.c_str(), &list, r.mode, &error);
    return answer("local directory download list", r, result, error, list);
}

nlohmann::json operation(const Request& r) {
    tagKAL_DORN_VERSION_LIST* list = nullptr;
    unsigned int error = 0;
    std::string reference = r.reference.empty() ? r.source : r.reference;
    int result = KaldornGetFileListFromOprIdForUpdateManagerLocalW(r.product, r.operation, widen(r.source).data(),
                                                                   widen(reference).data(), widen(r.client).data(),
                                                                   &list, &error);
    const char* what = r.operation == 1 ? "update-manager delete list" : r.operation == 2
                                                                            ? "update-manager fetch list"
                                                                            : "update-manager operation list";
    nlohmann::json doc = answer(what, r, result, error, list);
    doc["operation"] = r.operation;
    return doc;
}

nlohmann::json client_version(const Request& r) {
    tagKAL_DORN_VERSION_LIST node{};
    unsigned int error = 0;
    int result = KalDornGetCurrentClientVersionForUpdateManagerLocal(r.product, widen(r.client).data(), &node, &error);
    tagKAL_DORN_TYPE_INFO info = node.stInfo;
    nlohmann::json doc = {{"question", "client version"}, {"product", r.product}, {"result", result},
                          {"error", error},               {"meaning", meaning(error)}, {"ok", result == 1}};
    if (result == 1) {
        doc["version"] = version_of(info);
        doc["kind"] = kind_of(info.dwUpdateType);
        doc["update_type"] = info.dwUpdateType;
        doc["file"] = info.dwMajorVersion == 1 && info.dwMinorVersion == 0 ? "" : update_file_name(r.product, info);
    } else {
        doc["failure"] = index_file(r.client, r.product) +
                         ": cannot be read, or its version is not in its own version text (1007)";
    }
    return doc;
}

void print_text(const nlohmann::json& doc) {
    if (!print_heading(doc)) return;
    if (doc.contains("version")) {
        std::cout << doc["version"].get<std::string>() << " (" << doc["kind"].get<std::string>()
                  << (doc["file"].get<std::string>().empty() ? "" : ", " + doc["file"].get<std::string>()) << ")\n";
        return;
    }
    if (!print_file_count(doc)) return;
    for (const auto& f : doc["files"]) {
        std::printf("  %-7s %8s  %s%s\n", f["kind"].get<std::string>().c_str(), f["version"].get<std::string>().c_str(),
                    f["file"].get<std::string>().c_str(),
                    f["mark"] == 0 ? "" : ("  [mark " + std::to_string(f["mark"].get<int>()) + "]").c_str());
    }
}


using Ask = std::function<std::vector<nlohmann::json>(Request&)>;
using Options = std::function<void(CLI::App&, Request&)>;

// One question: the client and source directories, --product and --json,
// the options of its own, and what it asks.
void add_question(CLI::App& plan, const char* name, const char* what, bool needs_source, const Options& own,
                  Ask ask) {
    auto r = std::make_shared<Request>();
    auto* cmd = plan.add_subcommand(name, what);
    cmd->add_option("client", r->client, "Client directory (holds the installation's index DAT)")->required();
    if (needs_source)
        cmd->add_option("source", r->source, "Source directory (holds the source's index DAT)")->required();
    cmd->add_option("--product", r->product, "Product identifier (1 or 3)")->capture_default_str();
    cmd->add_flag("--json", r->json, "Print JSON");
    own(*cmd, *r);
    cmd->callback([r, ask] { report(ask(*r), r->json, print_text); });
}

void rule_options(CLI::App& cmd, Request& r, const char* rule_help) {
    cmd.add_option("--rule-flag", r.rule_flag, rule_help)->capture_default_str();
    cmd.add_flag("--include-marked", r.include_marked, "Also list the records the rule marked");
}

// Every question for one installation, as the example shows them.
std::vector<nlohmann::json> everything(Request& r) {
    std::vector<nlohmann::json> answers{client_version(r)};
    r.rule_flag = 1;
    answers.push_back(internet(r));
    r.rule_flag = 0;
    answers.push_back(manager(r));
    r.rule_flag = 1;
    answers.push_back(manager(r));
    if (!r.updates.empty()) answers.push_back(path(r));
    r.operation = 1;
    answers.push_back(operation(r));
    return answers;
}

}  // namespace

void register_plan_commands(CLI::App& app) {
    auto* plan = app.add_subcommand("plan", "Plan updates: download, delete and operation-id lists, client version");
    plan->require_subcommand(1);
    auto none = [](CLI::App&, Request&) {};
    add_question(
        *plan, "all", "Every planning question for one installation", true,
        [](CLI::App& cmd, Request& r) {
            cmd.add_option("updates", r.updates, "Update-file directory of the local directory source");
        },
        everything);
    add_question(
        *plan, "internet", "Download list from an index DAT fetched from the internet", true,
        [](CLI::App& cmd, Request& r) {
            r.rule_flag = 1;
            rule_options(cmd, r, "1: the 2012 internet rule; other values: the internet rule");
        },
        [](Request& r) { return std::vector{internet(r)}; });
    add_question(
        *plan, "manager", "Download list for an update manager's store", true,
        [](CLI::App& cmd, Request& r) {
            rule_options(cmd, r, "1: keep window; other values: everything after the client");
        },
        [](Request& r) { return std::vector{manager(r)}; });
    add_question(
        *plan, "path", "Download list from a local directory of update files", true,
        [](CLI::App& cmd, Request& r) {
            cmd.add_option("updates", r.updates, "Directory that holds the update files")->required();
            cmd.add_option("--mode", r.mode, "1: look for .inx names and list marked records; 0: .dat names")
                ->capture_default_str();
        },
        [](Request& r) { return std::vector{path(r)}; });
    add_question(*plan, "delete", "Stored update files an update manager may delete", true, none, [](Request& r) {
        r.operation = 1;
        return std::vector{operation(r)};
    });
    add_question(
        *plan, "oprid", "Update manager's list for one operation (0 none, 1 delete, 2 fetch)", true,
        [](CLI::App& cmd, Request& r) {
            cmd.add_option("operation", r.operation, "Operation id")->required();
            cmd.add_option("--reference", r.reference, "Reference directory (not used for products 1 and 3)");
        },
        [](Request& r) { return std::vector{operation(r)}; });
    add_question(*plan, "version", "The client's current version", false, none,
                 [](Request& r) { return std::vector{client_version(r)}; });
}

}  // namespace tool

// download, delete, oprid, client: the planning questions asked through the
// library's plain entry points, as a host asks them, in the 16-bit (W) or
// 8-bit (A) form. Prints each file with its flag and kind indicators.
#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "kaldorn.h"
#include "kaldorn/nupdtinf.h"
#include "kaldorn/soloindx.h"

namespace tool {

namespace {

struct Ask {
    unsigned int product = 1;
    std::string width = "w";
    std::string source_kind = "internet";
    std::string client, source, updates, reference;
    unsigned int operation = 0;
    bool json = false;
    bool explain = false;
    bool wide() const { return width == "w"; }
};

std::string narrow(const unsigned char* units_at, size_t max_units) {
    std::string s;
    for (size_t i = 0; i < max_units; ++i) {
        unsigned short u;
        std::memcpy(&u, units_at + 2 * i, 2);  // names in packed nodes sit at odd addresses
        if (u == 0) break;
        s += static_cast<char>(u);
    }
    return s;
}

template <typename Info>
nlohmann::json record(const Info& info, const std::string& name, unsigned int mark) {
    return {{"file", name},          {"version", std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion)},
            {"update_type", +info.dwUpdateType}, {"flag", +info.dwFlag}, {"kind", +info.dwKind}, {"mark", mark}};
}

// Extended lists of either width into JSON records, freed afterwards.
nlohmann::json files_of(tagKAL_DORN_VERSION_LISTEXW* list) {
    nlohmann::json files = nlohmann::json::array();
    for (auto* n = list; n != nullptr; n = n->pNext) {
        auto* name = reinterpret_cast<const unsigned char*>(n) + offsetof(tagKAL_DORN_VERSION_LISTEXW, stInfo) +
                     offsetof(tagKAL_DORN_TYPE_INFOEXW, wszFileName);
        files.push_back(record(n->stInfo, narrow(name, KALDORN_MAX_PATH), n->uchFlag));
    }
    KalDornFreeDownloadVersionListExW(list);
    return files;
}

nlohmann::json files_of(tagKAL_DORN_VERSION_LISTEXA* list) {
    nlohmann::json files = nlohmann::json::array();
    for (auto* n = list; n != nullptr; n = n->pNext)
        files.push_back(record(n->stInfo, std::string(n->stInfo.szFileName, strnlen(n->stInfo.szFileName, 260)),
                               n->uchFlag));
    KalDornFreeDownloadVersionListExA(list);
    return files;
}

nlohmann::json names_of(tagKAL_DORN_FILE_INFO_LISTW* list) {
    nlohmann::json files = nlohmann::json::array();
    for (auto* n = list; n != nullptr; n = n->pNext)
        files.push_back({{"file", narrow(reinterpret_cast<const unsigned char*>(n), KALDORN_MAX_PATH)},
                         {"flag", +n->dwFlag},
                         {"kind", +n->dwKind}});
    KaldornFreeFileListFromOprIdForUpdateManagerW(list);
    return files;
}

nlohmann::json names_of(tagKAL_DORN_FILE_INFO_LISTA* list) {
    nlohmann::json files = nlohmann::json::array();
    for (auto* n = list; n != nullptr; n = n->pNext)
        files.push_back({{"file", std::string(n->szFileName, strnlen(n->szFileName, 260))},
                         {"flag", +n->dwFlag},
                         {"kind", +n->dwKind}});
    KaldornFreeFileListFromOprIdForUpdateManagerA(list);
    return files;
}

nlohmann::json answer(const char* question, const Ask& a, int result, unsigned int error, nlohmann::json files) {
    return {{"question", question}, {"product", a.product}, {"width", a.width}, {"result", result},
            {"error", error},       {"meaning", meaning(error)}, {"files", std::move(files)}};
}

nlohmann::json download(const Ask& a) {
    unsigned int error = 0;
    int result = 0;
    const auto& k = a.source_kind;
    if (a.wide()) {
        tagKAL_DORN_VERSION_LISTEXW* list = nullptr;
        auto c = widen(a.client), s = widen(a.source), u = widen(a.updates);
        if (k == "internet")
            result = KalDornGetDownloadVersionListForInternetExW(a.product, c.data(), s.data(), &list, &error);
        else if (k == "update-manager")
            result = KalDornGetDownloadVersionListForUpdateManagerExW(a.product, c.data(), s.data(), &list, &error);
        else if (k == "update-manager-window")
            result = KalDornGetDownloadVersionListForUpdateManagerEx2W(a.product, c.data(), s.data(), &list, &error);
        else
            result = KalDornGetDownloadVersionListForPathExW(a.product, c.data(), s.data(), u.data(), &list, &error);
        return answer("download list", a, result, error, files_of(list));
    }
    tagKAL_DORN_VERSION_LISTEXA* list = nullptr;
    const char *c = a.client.c_str(), *s = a.source.c_str();
    if (k == "internet")
        result = KalDornGetDownloadVersionListForInternetExA(a.product, c, s, &list, &error);
    else if (k == "update-manager")
        result = KalDornGetDownloadVersionListForUpdateManagerExA(a.product, c, s, &list, &error);
    else if (k == "update-manager-window")
        result = KalDornGetDownloadVersionListForUpdateManagerEx2A(a.product, c, s, &list, &error);
    else
        result = KalDornGetDownloadVersionListForPathExA(a.product, c, s, a.updates.c_str(), &list, &error);
    return answer("download list", a, result, error, files_of(list));
}

nlohmann::json operation(const Ask& a) {
    unsigned int error = 0;
    int result = 0;
    const std::string& reference = a.reference.empty() ? a.source : a.reference;
    nlohmann::json files;
    if (a.wide()) {
        tagKAL_DORN_FILE_INFO_LISTW* list = nullptr;
        auto s = widen(a.source), r = widen(reference), c = widen(a.client);
        result = KaldornGetFileListFromOprIdForUpdateManagerW(a.product, a.operation, s.data(), r.data(), c.data(),
                                                              &list, &error);
        files = names_of(list);
    } else {
        tagKAL_DORN_FILE_INFO_LISTA* list = nullptr;
        result = KaldornGetFileListFromOprIdForUpdateManagerA(a.product, a.operation, a.source.c_str(),
                                                              reference.c_str(), a.client.c_str(), &list, &error);
        files = names_of(list);
    }
    nlohmann::json doc = answer("operation-id list", a, result, error, std::move(files));
    doc["operation"] = a.operation;
    return doc;
}

nlohmann::json client(const Ask& a) {
    unsigned int error = 0;
    int result = 0;
    nlohmann::json files = nlohmann::json::array();
    if (a.wide()) {
        tagKAL_DORN_VERSION_LISTEXW node{};
        auto c = widen(a.client);
        result = KalDornGetCurrentClientVersionForUpdateManagerExW(a.product, c.data(), &node, &error);
        if (result == 1) {
            auto* name = reinterpret_cast<const unsigned char*>(&node) + 1 + offsetof(tagKAL_DORN_TYPE_INFOEXW, wszFileName);
            files.push_back(record(node.stInfo, narrow(name, KALDORN_MAX_PATH), 0));
        }
    } else {
        tagKAL_DORN_VERSION_LISTEXA node{};
        result = KalDornGetCurrentClientVersionForUpdateManagerExA(a.product, a.client.c_str(), &node, &error);
        if (result == 1) files.push_back(record(node.stInfo, node.stInfo.szFileName, 0));
    }
    return answer("client's current file", a, result, error, std::move(files));
}

// The source's version text as a timeline, one line per series, with the
// client's position (@), what it already holds (.) and each file the answer
// selected (*), so a reader sees why each file was chosen.
void explain(const Ask& a, const nlohmann::json& doc) {
    if (a.product != 1 && a.product != 3) {
        std::cout << "(no timeline: product " << a.product << " is planned from definition records)\n";
        return;
    }
    char name[32];
    std::snprintf(name, sizeof name, "%08x_index.dat", a.product);
    std::string path = a.source + (a.source.empty() || a.source.back() != '/' ? "/" : "") + name;
    tagUPDT_DAT_VERSION_INFO_MEM source{};
    if (GetUpdateVersionInfo(path.c_str(), &source) != 1) {
        std::cout << "(no timeline: " << path << " cannot be loaded)\n";
        return;
    }
    std::vector<tagUPDT_VERSION_BUFFER> entries(source.stBuffer.dwSize);
    unsigned int count = 0;
    bool decoded = ConvertDATBufferFormat(&source.stBuffer, entries.data(), source.stBuffer.dwSize, &count) == 1;
    ReleaseUpdateVersionInfo(&source);
    if (!decoded) {
        std::cout << "(no timeline: the version text of " << path << " is malformed)\n";
        return;
    }
    tagKAL_DORN_VERSION_LIST client{};
    unsigned int error = 0;
    auto c = widen(a.client);
    tagKAL_DORN_DBVERSION_INFO at{1, 0};
    if (KalDornGetCurrentClientVersionForUpdateManagerLocal(a.product, c.data(), &client, &error) == 1)
        at = {client.stInfo.dwMajorVersion, client.stInfo.dwMinorVersion};
    int position = -1;
    unsigned int type = 0;
    GetVersionIndex(entries.data(), count, &at, &position, &type);
    std::vector<std::string> chosen;
    for (const auto& f : doc["files"]) chosen.push_back(f["version"].get<std::string>());
    std::cout << "timeline of " << path << "; client at " << at.dwMajorVersion << "." << at.dwMinorVersion
              << "   (. held by the client, @ the client's version, * to fetch)\n";
    unsigned int series = 0;
    for (unsigned int i = 0; i < count; ++i) {
        const tagKAL_DORN_TYPE_INFO info = entries[i].stInfo;
        if (entries[i].chType == 0) continue;  // not an update token
        if (info.dwMajorVersion != series) {
            series = info.dwMajorVersion;
            std::printf("%s  series %4u ", i == 0 ? "" : "\n", series);
        }
        std::string version = std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion);
        bool fetch = std::find(chosen.begin(), chosen.end(), version) != chosen.end();
        char mark = static_cast<int>(i) == position ? '@' : static_cast<int>(i) < position ? '.' : fetch ? '*' : ' ';
        std::printf(" %c%s%c", entries[i].chType, version.c_str(), mark);
    }
    std::printf("\n");
}

void print(const nlohmann::json& doc) {
    std::cout << doc["question"].get<std::string>() << ", product " << doc["product"] << " ("
              << doc["width"].get<std::string>() << "): ";
    if (doc["result"] == 0) {
        std::cout << "FAILED, error " << doc["error"] << ": " << doc["meaning"].get<std::string>() << '\n';
        return;
    }
    const auto& files = doc["files"];
    std::cout << files.size() << (files.size() == 1 ? " file" : " files");
    if (doc["error"] != 0) std::cout << " (" << doc["error"] << ": " << doc["meaning"].get<std::string>() << ")";
    std::cout << '\n';
    for (const auto& f : files) {
        std::printf("  %-28s flag %u  kind %u", f["file"].get<std::string>().c_str(), f["flag"].get<unsigned>(),
                    f["kind"].get<unsigned>());
        if (f.contains("version"))
            std::printf("  version %s  type %u  mark %u", f["version"].get<std::string>().c_str(),
                        f["update_type"].get<unsigned>(), f["mark"].get<unsigned>());
        std::printf("\n");
    }
}

// A failed call ends the tool with status 1 after printing its answer.
void run(const Ask& a, nlohmann::json doc) {
    if (a.json)
        print_json(doc);
    else
        print(doc);
    std::fflush(stdout);
    if (doc["result"] == 0)
        throw Failure{"the library answered error " + std::to_string(doc["error"].get<unsigned>()) + " (" +
                      doc["meaning"].get<std::string>() + ") for " + a.client +
                      (a.source.empty() ? "" : " and " + a.source)};
}

CLI::App* question(CLI::App& app, const char* name, const char* help, std::shared_ptr<Ask> a) {
    auto* cmd = app.add_subcommand(name, help);
    cmd->add_option("--product", a->product, "Product identifier: 1, 3 (versions), 4, 5 (solo), 778-787")
        ->capture_default_str();
    cmd->add_option("--width", a->width, "String form of the entry points: w (16-bit) or a (8-bit)")
        ->check(CLI::IsMember({"w", "a"}))
        ->capture_default_str();
    cmd->add_flag("--json", a->json, "Print one JSON document");
    return cmd;
}

}  // namespace

void register_entry_commands(CLI::App& app) {
    auto d = std::make_shared<Ask>();
    auto* dl = question(app, "download", "Files an installation must fetch from a source (through the entry points)", d);
    dl->add_option("client", d->client, "Client directory")->required();
    dl->add_option("source", d->source, "Source directory")->required();
    dl->add_option("updates", d->updates, "Update-file directory (--source path)");
    dl->add_option("--source", d->source_kind, "internet, update-manager, update-manager-window or path")
        ->check(CLI::IsMember({"internet", "update-manager", "update-manager-window", "path"}))
        ->capture_default_str();
    dl->add_flag("--explain", d->explain, "Draw the source's version text as a timeline with the choices marked");
    dl->callback([d] {
        nlohmann::json doc = download(*d);
        if (d->explain && !d->json) {
            print(doc);
            explain(*d, doc);
            d->explain = false;
            if (doc["result"] == 0) run(*d, doc);
            return;
        }
        run(*d, doc);
    });

    auto del = std::make_shared<Ask>();
    auto* dc = question(app, "delete", "Stored update files an update manager may delete (operation 1)", del);
    dc->add_option("client", del->client, "The store's directory (its current index)")->required();
    dc->add_option("source", del->source, "Source directory (the new index)")->required();
    dc->callback([del] {
        del->operation = 1;
        run(*del, operation(*del));
    });

    auto o = std::make_shared<Ask>();
    auto* oc = question(app, "oprid", "File names of one update-manager operation: 0 none, 1 delete, 2 fetch", o);
    oc->add_option("client", o->client, "The store's directory (its current index)")->required();
    oc->add_option("source", o->source, "Source directory (the new index)")->required();
    oc->add_option("operation", o->operation, "Operation id")->required();
    oc->add_option("--reference", o->reference, "Reference directory (solo products; defaults to the source)");
    oc->callback([o] { run(*o, operation(*o)); });

    auto c = std::make_shared<Ask>();
    auto* cc = question(app, "client", "The client's current version or definition file", c);
    cc->add_option("client", c->client, "Client directory")->required();
    cc->callback([c] { run(*c, client(*c)); });
}

}  // namespace tool

// plan, delete, oprid, client: the planning questions of one installation,
// asked as a host asks them, through the library's plain-named entry points
// in their 16-bit (W) or 8-bit (A) form. --plain asks the product-1 entry
// points that hand out plain update lists instead of extended ones.
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <iomanip>
#include <iostream>
#include <memory>
#include <string>

#include "commands.h"
#include "kaldorn/convert.h"

namespace tool {

namespace {

struct Ask {
    std::string command;  // plan, delete, oprid or client
    unsigned int product = 1;
    std::string width = "w", source_kind, client, source, updates, reference;
    unsigned int oprid = 0;
    bool explain = false, keep_window = false, plain = false;
    TrustArgs trust;
    bool wide() const { return width == "w"; }
};

// What one entry point answered, its list already read and given back.
struct Answer {
    std::string entry_point;
    int result = 0;
    unsigned int error = 0;
    Json files = Json::array();
};

// Calls an entry point and keeps its name beside its result.
#define KALDORN_CALL(answer, function, ...) ((answer).entry_point = #function, (answer).result = function(__VA_ARGS__))

// Products 1 and 3 are planned from version records, the others from
// definition records.
bool versioned(unsigned int product) { return product == 1 || product == 3; }

const char* update_kind(unsigned int type) {
    switch (type) {
        case KALDORN_UPDATE_DAILY: return "daily";
        case KALDORN_UPDATE_WEEKLY: return "weekly";
        case KALDORN_UPDATE_MONTHLY: return "monthly";
        default: return "-";
    }
}

// A record of an extended list or client node, either width (name narrowed).
template <typename Info>
Json ex_record(const Ask& a, const Info& i, const std::string& name, unsigned int mark) {
    Json f = {{"file", name}};
    if (versioned(a.product)) {
        f["version"] = version_text(i.dwMajorVersion, i.dwMinorVersion);
        f["update_type"] = +i.dwUpdateType;
    } else {
        f["definition"] = +i.dwMinorVersion;
        f["date"] = date_hex(i.stDefDate);
        if (a.command == "plan") f["why"] = i.dwKind == 1 ? "changed definition" : "component repair";
    }
    f["flag"] = +i.dwFlag;
    f["kind"] = +i.dwKind;
    f["mark"] = mark;
    return f;
}

std::string name_of(const tagKAL_DORN_TYPE_INFOEXW& i) {
    return narrow(reinterpret_cast<const unsigned char*>(&i) + offsetof(tagKAL_DORN_TYPE_INFOEXW, wszFileName),
                  KALDORN_MAX_PATH);
}

std::string name_of(const tagKAL_DORN_TYPE_INFOEXA& i) {
    return std::string(i.szFileName, strnlen(i.szFileName, sizeof i.szFileName));
}

// Lists are read into JSON and handed back to the free function of their family.
template <typename List>
Json take(const Ask& a, List* list, int (*release)(List*)) {
    Json files = Json::array();
    for (List* n = list; n != nullptr; n = n->pNext) {
        decltype(n->stInfo) i;
        std::memcpy(&i, &n->stInfo, sizeof i);
        files.push_back(ex_record(a, i, name_of(i), n->uchFlag));
    }
    release(list);
    return files;
}

Json take(tagKAL_DORN_FILE_INFO_LISTW* list) {
    Json files = Json::array();
    for (auto* n = list; n != nullptr; n = n->pNext)
        files.push_back({{"file", narrow(reinterpret_cast<const unsigned char*>(n), KALDORN_MAX_PATH)},
                         {"flag", +n->dwFlag}, {"kind", +n->dwKind}});
    KaldornFreeFileListFromOprIdForUpdateManagerW(list);
    return files;
}

Json take(tagKAL_DORN_FILE_INFO_LISTA* list) {
    Json files = Json::array();
    for (auto* n = list; n != nullptr; n = n->pNext)
        files.push_back({{"file", std::string(n->szFileName, strnlen(n->szFileName, sizeof n->szFileName))},
                         {"flag", +n->dwFlag}, {"kind", +n->dwKind}});
    KaldornFreeFileListFromOprIdForUpdateManagerA(list);
    return files;
}

// A plain record, named by the library's own rule; version 1.0 (nothing
// applied yet) names no file.
Json plain_record(unsigned int product, const tagKAL_DORN_VERSION_LIST& n) {
    tagKAL_DORN_TYPE_INFO in = n.stInfo;
    tagKAL_DORN_TYPE_INFOEXA out{};
    KalDornConvertVersionRecordToVersionRecordEx(product, &in, &out);
    bool none = in.dwMajorVersion == 1 && in.dwMinorVersion == 0;
    return {{"file", none ? "" : name_of(out)}, {"version", version_text(in.dwMajorVersion, in.dwMinorVersion)},
            {"update_type", +in.dwUpdateType}, {"mark", +n.uchFlag}};
}

Json take(unsigned int product, tagKAL_DORN_VERSION_LIST* list, int (*release)(tagKAL_DORN_VERSION_LIST*)) {
    Json files = Json::array();
    for (auto* n = list; n != nullptr; n = n->pNext) files.push_back(plain_record(product, *n));
    release(list);
    return files;
}

Answer plain_download(const Ask& a) {
    Answer r;
    tagKAL_DORN_VERSION_LIST* list = nullptr;
    const char *c = a.client.c_str(), *s = a.source.c_str(), *u = a.updates.c_str();
    if (a.source_kind == "update-manager") {
        auto wc = widen(a.client), ws = widen(a.source);
        KALDORN_CALL(r, KalDornGetDownloadVersionListForUpdateManagerW, wc.data(), ws.data(), &list, &r.error);
        r.files = take(1, list, KalDornFreeDownloadVersionListForUpdateManager);
    } else if (a.source_kind == "path") {
        if (a.wide())
            KALDORN_CALL(r, KalDornGetDownloadVersionListForPath, c, s, u, &list, &r.error);
        else
            KALDORN_CALL(r, KalDornGetDownloadVersionListForPathA, c, s, u, &list, &r.error);
        r.files = take(1, list, KalDornFreeDownloadVersionListForPath);
    } else {
        if (a.wide())
            KALDORN_CALL(r, KalDornGetDownloadVersionListForInternet, c, s, &list, &r.error);
        else
            KALDORN_CALL(r, KalDornGetDownloadVersionListForInternetA, c, s, &list, &r.error);
        r.files = take(1, list, KalDornFreeDownloadVersionListForInternet);
    }
    return r;
}

Answer download(const Ask& a) {
    if (a.plain) return plain_download(a);
    Answer r;
    const unsigned int p = a.product;
    const std::string& k = a.source_kind;
    if (a.wide()) {
        tagKAL_DORN_VERSION_LISTEXW* list = nullptr;
        auto c = widen(a.client), s = widen(a.source), u = widen(a.updates);
        if (k == "internet")
            KALDORN_CALL(r, KalDornGetDownloadVersionListForInternetExW, p, c.data(), s.data(), &list, &r.error);
        else if (k == "path")
            KALDORN_CALL(r, KalDornGetDownloadVersionListForPathExW, p, c.data(), s.data(), u.data(), &list, &r.error);
        else if (a.keep_window)
            KALDORN_CALL(r, KalDornGetDownloadVersionListForUpdateManagerEx2W, p, c.data(), s.data(), &list, &r.error);
        else
            KALDORN_CALL(r, KalDornGetDownloadVersionListForUpdateManagerExW, p, c.data(), s.data(), &list, &r.error);
        r.files = take(a, list, KalDornFreeDownloadVersionListExW);
        return r;
    }
    tagKAL_DORN_VERSION_LISTEXA* list = nullptr;
    const char *c = a.client.c_str(), *s = a.source.c_str(), *u = a.updates.c_str();
    if (k == "internet")
        KALDORN_CALL(r, KalDornGetDownloadVersionListForInternetExA, p, c, s, &list, &r.error);
    else if (k == "path")
        KALDORN_CALL(r, KalDornGetDownloadVersionListForPathExA, p, c, s, u, &list, &r.error);
    else if (a.keep_window)
        KALDORN_CALL(r, KalDornGetDownloadVersionListForUpdateManagerEx2A, p, c, s, &list, &r.error);
    else
        KALDORN_CALL(r, KalDornGetDownloadVersionListForUpdateManagerExA, p, c, s, &list, &r.error);
    r.files = take(a, list, KalDornFreeDownloadVersionListExA);
    return r;
}

// The reference directory serves the definition products only; it defaults
// to the source.
const std::string& reference_of(const Ask& a) { return a.reference.empty() ? a.source : a.reference; }

Answer operation(const Ask& a) {
    Answer r;
    if (a.wide()) {
        tagKAL_DORN_FILE_INFO_LISTW* list = nullptr;
        auto s = widen(a.source), f = widen(reference_of(a)), c = widen(a.client);
        KALDORN_CALL(r, KaldornGetFileListFromOprIdForUpdateManagerW, a.product, a.oprid, s.data(), f.data(),
                     c.data(), &list, &r.error);
        r.files = take(list);
    } else {
        tagKAL_DORN_FILE_INFO_LISTA* list = nullptr;
        KALDORN_CALL(r, KaldornGetFileListFromOprIdForUpdateManagerA, a.product, a.oprid, a.source.c_str(),
                     reference_of(a).c_str(), a.client.c_str(), &list, &r.error);
        r.files = take(list);
    }
    return r;
}

Answer client(const Ask& a) {
    Answer r;
    if (a.plain) {
        tagKAL_DORN_VERSION_LIST node{};
        auto c = widen(a.client);
        KALDORN_CALL(r, KalDornGetCurrentClientVersionForUpdateManagerW, c.data(), &node, &r.error);
        if (r.result == 1) r.files.push_back(plain_record(1, node));
    } else if (a.wide()) {
        tagKAL_DORN_VERSION_LISTEXW node{};
        auto c = widen(a.client);
        KALDORN_CALL(r, KalDornGetCurrentClientVersionForUpdateManagerExW, a.product, c.data(), &node, &r.error);
        tagKAL_DORN_TYPE_INFOEXW i;
        std::memcpy(&i, &node.stInfo, sizeof i);
        if (r.result == 1) r.files.push_back(ex_record(a, i, name_of(i), node.uchFlag));
    } else {
        tagKAL_DORN_VERSION_LISTEXA node{};
        KALDORN_CALL(r, KalDornGetCurrentClientVersionForUpdateManagerExA, a.product, a.client.c_str(), &node,
                     &r.error);
        tagKAL_DORN_TYPE_INFOEXA i;
        std::memcpy(&i, &node.stInfo, sizeof i);
        if (r.result == 1) r.files.push_back(ex_record(a, i, name_of(i), node.uchFlag));
    }
    return r;
}

// Combinations that no entry point answers are usage errors.
void check(const Ask& a) {
    if (a.explain && run().json) usage("--explain draws text: not with --json");
    if (a.command == "plan" && (a.source_kind == "path") == a.updates.empty())
        usage(a.updates.empty() ? "--source path needs the UPDATES directory" : "UPDATES is only for --source path");
    if (a.keep_window && a.source_kind != "update-manager") usage("--keep-window is only for --source update-manager");
    if (!a.plain) return;
    if (a.product != 1) usage("the plain entry points plan product 1 only");
    if (a.keep_window) usage("no plain entry point keeps the window: drop --plain or --keep-window");
    if (!a.wide() && (a.command == "client" || a.source_kind == "update-manager"))
        usage("this plain entry point has only a 16-bit form: use --width w");
}

// Whether the entry point answers this product (and operation) at all.
bool served(const Ask& a) {
    bool internet = a.command == "plan" && a.source_kind == "internet";
    bool solo = a.product == 4 || a.product == 5 || (internet && a.product >= 778 && a.product <= 787);
    return (versioned(a.product) || solo) && (a.command != "oprid" || a.oprid <= 2);
}

// The definition-file readers report failure by their result alone: name
// the index DATs that do not read, or else say that they do not match.
std::string definition_failure(const Ask& a) {
    std::vector<std::string> paths{index_file(a.client, a.product), index_file(a.source, a.product)};
    if (a.command == "oprid" || a.command == "delete") paths.push_back(index_file(reference_of(a), a.product));
    std::string all, bad;
    for (const auto& p : paths) {
        tagSOLO_DAT_HEADER_INFO header{};
        unsigned int error = 0;
        if (all.find(p) != std::string::npos) continue;
        all += (all.empty() ? "" : ", ") + p;
        if (GetSoloIndexDatHeader(p.c_str(), &header, &error) != 1) bad += (bad.empty() ? "" : ", ") + p;
    }
    return bad.empty() ? all + ": definition index DATs of different products, or their records do not read"
                       : bad + ": not a readable definition index DAT (missing, short or wrong solo checksum)";
}

// What went wrong, naming the file concerned.
std::string failure(const Ask& a, const Answer& r) {
    const std::string source = index_file(a.source, a.product), client = index_file(a.client, a.product);
    const std::string code = " (" + std::to_string(r.error) + ")";
    switch (r.error) {
        case KALDORN_E_NONE:
            if (!served(a))
                return r.entry_point + " serves no product " + std::to_string(a.product) +
                       (a.command == "oprid" ? " with operation " + std::to_string(a.oprid) : "") +
                       " (products 1, 3, 4, 5; the internet also 778 to 787; operations 0, 1, 2)";
            return definition_failure(a);
        case KALDORN_E_SOURCE_INDEX: return source + ": cannot be loaded as a version index DAT" + code;
        case KALDORN_E_BUILD_LIST:
            return source + ": no list could be built" + code + ": malformed version text, the client's version " +
                   "not in it, " + (a.updates.empty() ? "" : "a daily update file missing from " + a.updates + ", ") +
                   "or out of memory";
        case KALDORN_E_CONVERSION:
            if (a.command == "client")
                return client + ": cannot be read" +
                       (versioned(a.product) ? ", or its version is not in its own version text"
                                             : " as a definition index DAT") + code;
            if (!versioned(a.product) && a.command == "plan")
                return source + ": its current definition is not among its changes against " + client +
                       ", or (internet) the engine directory, its component list or a repaired component's " +
                       "definition cannot be found" + code;
            return client + ", " + source + ": a directory does not fit 260 characters with its file name" + code;
        default:
            return client + " against " + source + ": cannot be compared" + code + ": " + meaning(r.error);
    }
}

std::string title(const Ask& a) {
    if (a.command == "delete") return "delete list";
    if (a.command == "oprid") return "operation " + std::to_string(a.oprid) + " list";
    if (a.command == "client") return "client's current file";
    return "download list (" + std::string(a.source_kind == "update-manager" ? "update manager" : a.source_kind) +
           (a.keep_window ? ", keep window)" : ")");
}

void print_text(const Ask& a, const Answer& r) {
    std::cout << title(a) << ", product " << a.product << ": ";
    if (r.result != 1) {
        std::cout << "FAILED (" << (r.error == 0 ? "refused" : std::to_string(r.error) + ": " + meaning(r.error))
                  << ")\n";
        return;
    }
    if (r.files.empty()) {
        std::cout << "nothing";
        if (r.error != 0) std::cout << " (" << r.error << ": " << meaning(r.error) << ")";
        std::cout << '\n';
        return;
    }
    std::cout << r.files.size() << (r.files.size() == 1 ? " file\n" : " files\n");
    for (const auto& f : r.files) {
        std::cout << "  " << std::left << std::setw(22) << f["file"].get<std::string>();
        if (f.contains("version"))
            std::cout << "  version " << f["version"].get<std::string>() << ' '
                      << update_kind(f["update_type"].get<unsigned>());
        if (f.contains("definition")) std::cout << "  definition " << f["definition"];
        if (f.contains("why")) std::cout << "  " << f["why"].get<std::string>();
        for (const char* key : {"flag", "kind", "mark"})
            if (f.contains(key)) std::cout << "  " << key << ' ' << f[key];
        std::cout << '\n';
    }
}

Json to_json(const Ask& a, const Answer& r) {
    Json doc = document(a.command);
    doc["product"] = a.product;
    if (a.command == "plan") doc["source_kind"] = a.source_kind;
    if (a.keep_window) doc["keep_window"] = true;
    doc["width"] = a.width;
    doc["entry_point"] = r.entry_point;
    doc["client"] = a.client;
    if (a.command != "client") doc["source"] = a.source;
    if (!a.updates.empty()) doc["updates"] = a.updates;
    if (a.command == "oprid" || a.command == "delete") {
        doc["reference"] = reference_of(a);
        doc["oprid"] = a.oprid;
    }
    doc["result"] = r.result;
    doc["error"] = r.error;
    doc["meaning"] = meaning(r.error);
    doc["files"] = r.files;
    return doc;
}

// The directories a question reads from, each with what the answer rests on
// when its index DAT is not there: a warning, since the entry points answer
// all the same (a client without one stands at version 1.0).
void check_directories(const Ask& a) {
    const bool defs = !versioned(a.product);
    std::vector<std::pair<std::string, std::string>> roles{
        {a.client, defs                  ? "the client counts as holding no definitions"
                   : a.command == "plan" ? "planning from version 1.0"
                                         : "the client counts as at version 1.0"}};
    if (a.command != "client") roles.push_back({a.source, "the source counts as empty"});
    if ((a.command == "oprid" || a.command == "delete") && defs && !a.reference.empty())
        roles.push_back({a.reference, "the reference counts as empty"});
    for (const auto& [dir, rest] : roles) {
        const std::string index = index_file(dir, a.product);
        check_length(index);
        const bool there = check_directory(dir);
        if (!there || !check_input(index, true))
            warn("no index DAT in " + escaped(dir) + (there ? "" : " (no such directory)") + ": " + rest);
    }
    if (!a.updates.empty() && !check_directory(a.updates))
        warn("no directory " + escaped(a.updates) + ": every update file counts as missing");
}

// Prints the answer; an answer that is an error ends the command with status
// 1, a product or operation the entry point does not serve with status 2.
void ask(const Ask& a, Answer (*question)(const Ask&)) {
    check(a);
    if (served(a)) check_directories(a);
    check_release(a.trust, a.command == "client" ? a.client : a.source);
    Answer r = question(a);
    Json doc = to_json(a, r);
    if (r.result != 1) throw Failure{escaped(failure(a, r)), served(a) ? kExitRefused : kExitUsage, r.error, doc};
    answer(doc);
    if (run().json) return;
    print_text(a, r);
    if (a.explain && versioned(a.product)) {
        std::vector<std::string> chosen;
        for (const auto& f : r.files) chosen.push_back(f["version"].get<std::string>());
        print_timeline(a.product, a.client, a.source, chosen);
    } else if (a.explain) {
        std::cout << "(no timeline: product " << a.product << " is planned from definition records)\n";
    }
}

CLI::App* question(CLI::App& app, const char* name, const char* help, const std::shared_ptr<Ask>& a,
                   Answer (*asked)(const Ask&)) {
    auto* cmd = app.add_subcommand(name, help);
    a->command = name;
    cmd->add_option("CLIENT", a->client, "Client directory (the installation's index DAT)")->required();
    if (a->command != "client")
        cmd->add_option("SOURCE", a->source, "Source directory (the source's index DAT)")->required();
    add_number(*cmd, "--product", a->product, "Product: 1, 3 (version index), 4, 5, 778-787 (definitions)")
        ->default_str("1");
    cmd->add_option("--width", a->width, "String form of the entry points: w (16-bit) or a (8-bit)")
        ->check(CLI::IsMember({"w", "a"}))
        ->capture_default_str();
    add_trust_options(*cmd, a->trust, a->command == "client" ? "CLIENT" : "SOURCE");
    cmd->callback([a, asked] { ask(*a, asked); });
    return cmd;
}

}  // namespace

void register_plan_commands(CLI::App& app) {
    auto p = std::make_shared<Ask>();
    auto* plan = question(app, "plan", "The files a client must download from a source", p, download);
    plan->add_option("UPDATES", p->updates, "Directory of update files (--source path)");
    plan->add_option("--source", p->source_kind, "Kind of source: internet, update-manager or path")
        ->check(CLI::IsMember({"internet", "update-manager", "path"}))
        ->required();
    plan->add_flag("--keep-window", p->keep_window, "Update manager: the store's keep window (the Ex2 entry points)");
    plan->add_flag("--plain", p->plain, "Product 1 through the plain entry points (plain update lists)");
    plan->add_flag("--explain", p->explain, "Draw the source's version text as a timeline, choices marked (text only)");

    auto d = std::make_shared<Ask>();
    d->oprid = 1;
    auto* del = question(app, "delete", "Stored files an update manager may delete (operation id 1)", d, operation);
    del->add_option("--reference", d->reference, "Reference directory (definition products; default: SOURCE)")
        ->type_name("DIR");

    auto o = std::make_shared<Ask>();
    auto* oprid = question(app, "oprid", "File names of one update-manager operation: 0 none, 1 delete, 2 fetch", o,
                           operation);
    add_number(*oprid, "OPRID", o->oprid, "Operation id")->required();
    oprid->add_option("--reference", o->reference, "Reference directory (definition products; default: SOURCE)")
        ->type_name("DIR");

    auto c = std::make_shared<Ask>();
    auto* cc = question(app, "client", "The client's current version or definition file", c, client);
    cc->add_flag("--plain", c->plain, "Product 1 through the plain entry point (16-bit only)");
}

}  // namespace tool

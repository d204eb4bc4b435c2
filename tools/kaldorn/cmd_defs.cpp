// defs: look up and append, stamp, modify, diff and compare the records of
// definition index DATs (show lists them).
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "kaldorn/lists.h"

namespace tool {

namespace {

unsigned int parse_number(const std::string& text, const char* what) {
    try {
        size_t used = 0;
        unsigned long v = std::stoul(text, &used, 0);
        if (used == text.size() && v <= 0xFFFFFFFFul) return static_cast<unsigned int>(v);
    } catch (const std::exception&) {
    }
    usage(std::string(what) + " '" + text + "' is not a 32-bit number");
}

tagVXDEFDATE parse_date(const std::string& hex) {
    if (hex.size() != 14 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        usage("date '" + hex + "' is not 14 hex digits (the 7 stored bytes)");
    unsigned char d[7];
    for (size_t i = 0; i < 7; ++i) d[i] = static_cast<unsigned char>(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
    tagVXDEFDATE date{};
    static_assert(sizeof date == sizeof d);
    std::memcpy(&date, d, sizeof d);
    return date;
}

void print_records(const Json& records) {
    for (const auto& r : records)
        std::printf("%8u  %s  %s  status %u  data %u  %s\n", r["id"].get<unsigned>(),
                    r["file"].get<std::string>().c_str(), r["date"].get<std::string>().c_str(),
                    r["status"].get<unsigned>(), r["data"].get<unsigned>(), r["name"].get<std::string>().c_str());
}

tagSOLO_DAT_HEADER_INFO read_header(const std::string& path) {
    tagSOLO_DAT_HEADER_INFO h{};
    unsigned int err = 0;
    if (GetSoloIndexDatHeader(path.c_str(), &h, &err) != 1)
        throw Failure{path + ": not a readable definition index DAT (missing, short or wrong solo checksum)"};
    return h;
}

struct Args {
    std::vector<std::string> files;  // two-file commands
    std::string file, name, id, product, date, data = "0", status = "1";
    unsigned int operation = 0;
    bool append = false, by_operation = false, json = false;
};

void run_lookup(const Args& a) {
    unsigned int product = parse_number(a.product, "product");
    char name[KALDORN_MAX_PATH] = {};
    unsigned int id = 0, err = 0;
    if (GetDefEntryFromDatFile(product, a.file.c_str(), a.name.c_str(), a.append ? 1 : 0, name, sizeof name, &id,
                               &err) != 1)
        throw Failure{a.file + ": no definition named '" + a.name + "'" +
                      (a.append ? " and none could be appended (unreadable file or name of 260 characters or more)"
                                : "")};
    Json doc = document("defs lookup");
    doc.update(Json{{"path", a.file}, {"name", a.name}, {"id", id}, {"file", name}});
    if (a.json)
        print_json(doc);
    else
        std::printf("%u  %s\n", id, name);
}

void run_stamp(const Args& a) {
    unsigned int err = 0;
    if (UpdateSoloIndexDatFile(a.file.c_str(), parse_number(a.id, "definition id"), &err) != 1)
        throw Failure{a.file + ": cannot be stamped (missing, short, read-only or wrong solo checksum)"};
}

void run_modify(const Args& a) {
    tagVXDEFDATE date = parse_date(a.date);
    unsigned int err = 0;
    if (ModifyDefEntryFromDatFile(a.file.c_str(), parse_number(a.id, "definition id"), &date,
                                  parse_number(a.data, "data"), parse_number(a.status, "status"), &err) != 1)
        throw Failure{a.file + ": no record " + a.id + " could be modified (absent id or unusable file)"};
}

void run_diff(const Args& a) {
    tagSOLO_DAT_HEADER_INFO h = read_header(a.files[1]);
    DefinitionRecords recs;
    unsigned int err = 0;
    if (GenerateDiffforDatFiles(a.files[0].c_str(), a.files[1].c_str(), &recs.data, &recs.count, &err) != 1)
        throw Failure{a.files[0] + ", " + a.files[1] + ": cannot be compared (unreadable, or one id under two names)"};
    Json doc = document("defs diff");
    doc.update(Json{{"old", a.files[0]}, {"new", a.files[1]}, {"records", definition_records(recs, h.dwProductId)}});
    if (a.json)
        print_json(doc);
    else
        print_records(doc["records"]);
}

std::string compare_failure(const Args& a, unsigned int code) {
    std::string pair = a.files[0] + " against " + a.files[1] + ": ";
    switch (code) {
        case KALDORN_E_CLIENT_NEWER:
        case KALDORN_E_SAME_VERSION:
        case KALDORN_E_NOTHING_TO_DO: return pair + meaning(code) + " (" + std::to_string(code) + ")";
        case KALDORN_E_CONVERSION: return pair + "out of memory (1007)";
        default: return pair + "unreadable files or different products";
    }
}

void run_compare_by_operation(const Args& a, Json doc) {
    unsigned int product = a.product.empty() ? read_header(a.files[1]).dwProductId : parse_number(a.product, "product");
    tagKAL_DORN_FILE_INFO_LISTA* list = nullptr;
    unsigned int err = 0;
    if (CompareSoloDatFilesForOprId(product, a.operation, a.files[1].c_str(), a.files[0].c_str(), &list, &err) != 1)
        throw Failure{compare_failure(a, err)};
    doc["operation"] = a.operation;
    doc["files"] = Json::array();
    for (auto* n = list; n != nullptr; n = n->pNext)
        doc["files"].push_back({{"file", n->szFileName}, {"flag", +n->dwFlag}, {"kind", +n->dwKind}});
    FreeUpdtInfoListEx(list);
    if (a.json) return print_json(doc);
    for (const auto& f : doc["files"])
        std::printf("%s  flag %u  kind %u\n", f["file"].get<std::string>().c_str(), f["flag"].get<unsigned>(),
                    f["kind"].get<unsigned>());
}

void run_compare(const Args& a) {
    Json doc = document("defs compare");
    doc.update(Json{{"client", a.files[0]}, {"source", a.files[1]}});
    if (a.by_operation) return run_compare_by_operation(a, doc);
    DefinitionRecords all, selected;
    tagSOLO_DAT_HEADER_INFO source{}, client{};
    int mode = 0;
    unsigned int err = 0;
    if (CompareSoloDatFiles(0, "", a.files[1].c_str(), a.files[0].c_str(), &all.data, &all.count, &selected.data,
                            &selected.count, &source, &client, &mode, &err) != 1)
        throw Failure{compare_failure(a, err)};
    doc.update(Json{{"client_dat_version", +client.dwDatVersion}, {"source_dat_version", +source.dwDatVersion},
                    {"source_records", all.count}, {"records", definition_records(selected, source.dwProductId)}});
    if (a.json) return print_json(doc);
    std::printf("client DAT version %u, source DAT version %u: %u of %u definitions to fetch\n", client.dwDatVersion,
                source.dwDatVersion, selected.count, all.count);
    print_records(doc["records"]);
}

CLI::App* command(CLI::App& defs, const char* name, const char* help, const std::shared_ptr<Args>& args,
                  void (*run)(const Args&)) {
    auto* cmd = defs.add_subcommand(name, help);
    cmd->callback([args, run] { run(*args); });
    return cmd;
}

}  // namespace

void register_defs_commands(CLI::App& app) {
    auto* defs = app.add_subcommand("defs", "Definition index DATs: lookup, stamp, modify, diff, compare");
    defs->require_subcommand(1);
    auto a = std::make_shared<Args>();

    auto* lookup = command(*defs, "lookup", "Look a definition up by name; --append adds it (creating the file)",
                           a, run_lookup);
    lookup->add_option("file", a->file, "Definition index DAT")->required();
    lookup->add_option("name", a->name, "Definition name (case-insensitive)")->required();
    lookup->add_option("--product", a->product, "Product identifier (0x.. or decimal)")->required();
    lookup->add_flag("--append", a->append, "Append the name when it is absent");
    add_json_flag(*lookup, a->json);

    auto* stamp = command(*defs, "stamp", "Stamp a definition id as the current one", a, run_stamp);
    stamp->add_option("file", a->file, "Definition index DAT")->required();
    stamp->add_option("id", a->id, "Definition id")->required();

    auto* modify = command(*defs, "modify", "Rewrite the date, data and status of one record", a, run_modify);
    modify->add_option("file", a->file, "Definition index DAT")->required();
    modify->add_option("id", a->id, "Definition id of the record")->required();
    modify->add_option("--date", a->date, "New date stamp: the 7 stored bytes as 14 hex digits")->required();
    modify->add_option("--data", a->data, "New data value (default 0)");
    modify->add_option("--status", a->status, "New status, 1 active (default 1)");

    auto* diff = command(*defs, "diff", "Records of NEW that are new or redated against OLD", a, run_diff);
    diff->add_option("files", a->files, "OLD and NEW definition index DATs")->required()->expected(2);
    add_json_flag(*diff, a->json);

    auto* compare = command(*defs, "compare", "Compare a client's and a source's file as the solo updater does",
                            a, run_compare);
    compare->add_option("files", a->files, "CLIENT and SOURCE definition index DATs")->required()->expected(2);
    compare->add_option("--opr-id", a->operation, "Show the operation-id view for this operation id")
        ->each([a](const std::string&) { a->by_operation = true; });
    compare->add_option("--product", a->product, "Product identifier for the names (default: the source's)");
    add_json_flag(*compare, a->json);
}

}  // namespace tool

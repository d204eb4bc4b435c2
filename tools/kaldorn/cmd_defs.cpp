// defs: look up and append, stamp, modify, diff and compare the records of
// definition index DATs (show lists them). The writes go through the
// library's own writers, which replace a file only once complete.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "kaldorn/lists.h"
#include "support/path.h"

namespace tool {

namespace {

std::string hex32(unsigned int v) {
    char out[11];
    std::snprintf(out, sizeof out, "0x%x", v);
    return out;
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
    check_input(path);
    tagSOLO_DAT_HEADER_INFO h{};
    unsigned int err = 0;
    if (GetSoloIndexDatHeader(path.c_str(), &h, &err) != 1)
        throw Failure{escaped(path) + ": not a definition index DAT that reads (short, or a wrong solo checksum)"};
    return h;
}

// A file the library's writers refused although it reads: say why.
[[noreturn]] void fail_write(const std::string& path, const std::string& what) {
    const bool writable = ::access(path.c_str(), W_OK) == 0;
    throw Failure{escaped(path) + ": " + what + (writable ? "" : " (" + std::string(std::strerror(errno)) + ")")};
}

struct Args {
    std::string file, name, date, client, source;
    unsigned int id = 0, product = 0, data = 0, status = 1, oprid = 0;
    bool has_product = false, append = false, by_oprid = false, any_id = false;
    TrustArgs trust;  // compare: the release of SOURCE's directory
};

// --product, when given, must be the file's own.
void check_product(const Args& a, const std::string& path, unsigned int product) {
    if (a.has_product && a.product != product)
        throw Failure{escaped(path) + ": holds product " + hex32(product) + ", not " + hex32(a.product) +
                      " (--product)"};
}

void check_name(const std::string& name) {
    if (name.empty()) throw Failure{"a definition name cannot be empty"};
    if (name.size() >= KALDORN_MAX_PATH)
        throw Failure{"definition name '" + escaped(name) + "' is longer than 259 bytes"};
    if (!kaldorn::detail::is_plain_name(name.c_str(), name.size() + 1))
        throw Failure{"definition name '" + escaped(name) + "' names no single file (a '/', a control byte, . or ..)"};
}

void run_lookup(const Args& a) {
    check_name(a.name);
    unsigned int product = a.product;
    if (check_input(a.file, a.append)) {
        product = read_header(a.file).dwProductId;
        check_product(a, a.file, product);
    } else if (!a.has_product) {
        usage("--product is needed to create " + escaped(a.file));
    }
    char name[KALDORN_MAX_PATH] = {};
    unsigned int id = 0, err = 0;
    const char *path = a.file.c_str(), *wanted = a.name.c_str();
    const bool found = GetDefEntryFromDatFile(product, path, wanted, 0, name, sizeof name, &id, &err) == 1;
    if (!found && !a.append) throw Failure{escaped(a.file) + ": no definition named '" + escaped(a.name) + "'"};
    if (!found && GetDefEntryFromDatFile(product, path, wanted, 1, name, sizeof name, &id, &err) != 1)
        fail_write(a.file, "'" + escaped(a.name) + "' cannot be appended (unwritable, or bytes after the last record)");
    Json doc = document("defs lookup");
    doc.update(Json{{"path", a.file}, {"name", a.name}, {"id", id}, {"file", name}, {"appended", !found}});
    answer(doc);
    if (!run().json) std::printf("%u  %s%s\n", id, name, found ? "" : "  appended");
}

// The file's records: the id must be one of them unless any is allowed.
void check_id(const std::string& path, unsigned int id, bool any) {
    read_header(path);
    DefinitionRecords recs;
    unsigned int err = 0;
    if (GetDefListFromDatFile(path.c_str(), &recs.data, &recs.count, &err) != 1)
        throw Failure{escaped(path) + ": its records do not read"};
    for (const auto& r : recs)
        if (r.dwDefId == id) return;
    if (!any)
        throw Failure{escaped(path) + ": no definition has id " + std::to_string(id) + " (" +
                      std::to_string(recs.count) + " records); --any-id stamps it all the same"};
}

void run_stamp(const Args& a) {
    check_id(a.file, a.id, a.any_id);
    unsigned int err = 0;
    if (UpdateSoloIndexDatFile(a.file.c_str(), a.id, &err) != 1) fail_write(a.file, "cannot be stamped");
    Json doc = document("defs stamp");
    doc.update(Json{{"path", a.file}, {"current_def_id", a.id}, {"dat_version", 1}});
    answer(doc);
    if (!run().json)
        std::cout << escaped(a.file) << ": definition " << a.id << " stamped current; DAT version now 1\n";
}

void run_modify(const Args& a) {
    tagVXDEFDATE date = parse_date(a.date);
    check_id(a.file, a.id, false);
    unsigned int err = 0;
    if (ModifyDefEntryFromDatFile(a.file.c_str(), a.id, &date, a.data, a.status, &err) != 1)
        fail_write(a.file, "record " + std::to_string(a.id) + " cannot be rewritten");
    Json doc = document("defs modify");
    doc.update(Json{{"path", a.file}, {"id", a.id}, {"date", date_hex(date)}, {"data", a.data}, {"status", a.status}});
    answer(doc);
    if (!run().json)
        std::cout << escaped(a.file) << ": record " << a.id << " now date " << date_hex(date) << ", data " << a.data
                  << ", status " << a.status << '\n';
}

void run_diff(const Args& a) {
    read_header(a.client);
    tagSOLO_DAT_HEADER_INFO h = read_header(a.source);
    DefinitionRecords recs;
    unsigned int err = 0;
    if (GenerateDiffforDatFiles(a.client.c_str(), a.source.c_str(), &recs.data, &recs.count, &err) != 1)
        throw Failure{escaped(a.client) + ", " + escaped(a.source) +
                      ": records that do not read, or one id under two names"};
    Json doc = document("defs diff");
    doc.update(Json{{"old", a.client}, {"new", a.source}, {"records", definition_records(recs, h.dwProductId)}});
    answer(doc);
    if (!run().json) print_records(doc["records"]);
}

// The answers 1003, 1004 and 1006 are answers (status 0); a failure without
// a code names the file that does not read, or the products that differ.
void check_compared(const Args& a, unsigned int code, const tagSOLO_DAT_HEADER_INFO& source, bool client_exists) {
    if (code == KALDORN_E_CLIENT_NEWER || code == KALDORN_E_SAME_VERSION || code == KALDORN_E_NOTHING_TO_DO) return;
    if (code != 0) throw Failure{escaped(a.source) + ": " + meaning(code) + " (" + std::to_string(code) + ")", 1, code};
    const unsigned int client = client_exists ? read_header(a.client).dwProductId : source.dwProductId;
    if (client != source.dwProductId)
        throw Failure{escaped(a.client) + ", " + escaped(a.source) + ": files of different products (" + hex32(client) +
                      ", " + hex32(source.dwProductId) + ")"};
    throw Failure{escaped(a.client) + ", " + escaped(a.source) + ": their records do not read"};
}

void run_compare(const Args& a) {
    const bool client_exists = check_input(a.client, true);
    if (!client_exists) warn("no definition index DAT " + escaped(a.client) + ": the client counts as holding none");
    check_release(a.trust, directory_of(a.source));
    const tagSOLO_DAT_HEADER_INFO source = read_header(a.source);
    check_product(a, a.source, source.dwProductId);
    const tagSOLO_DAT_HEADER_INFO client = client_exists ? read_header(a.client) : tagSOLO_DAT_HEADER_INFO{};
    Json doc = document("defs compare");
    doc.update(Json{{"client", a.client}, {"source", a.source}});
    unsigned int err = 0;
    if (a.by_oprid) {
        tagKAL_DORN_FILE_INFO_LISTA* list = nullptr;
        const unsigned int product = a.has_product ? a.product : source.dwProductId;
        if (CompareSoloDatFilesForOprId(product, a.oprid, a.source.c_str(), a.client.c_str(), &list, &err) != 1)
            check_compared(a, err, source, client_exists);
        doc.update(Json{{"oprid", a.oprid}, {"error", err}, {"meaning", meaning(err)}, {"files", Json::array()}});
        for (auto* n = list; n != nullptr; n = n->pNext)
            doc["files"].push_back({{"file", n->szFileName}, {"flag", +n->dwFlag}, {"kind", +n->dwKind}});
        FreeUpdtInfoListEx(list);
        answer(doc);
        if (run().json) return;
        for (const auto& f : doc["files"])
            std::printf("%s  flag %u  kind %u\n", f["file"].get<std::string>().c_str(), f["flag"].get<unsigned>(),
                        f["kind"].get<unsigned>());
        std::printf("%zu file(s) of operation id %u\n", doc["files"].size(), a.oprid);
        return;
    }
    DefinitionRecords all, selected;
    tagSOLO_DAT_HEADER_INFO s{}, c{};
    int mode = 0;
    if (CompareSoloDatFiles(0, "", a.source.c_str(), a.client.c_str(), &all.data, &all.count, &selected.data,
                            &selected.count, &s, &c, &mode, &err) != 1)
        check_compared(a, err, source, client_exists);
    doc.update(Json{{"client_dat_version", +client.dwDatVersion}, {"source_dat_version", +source.dwDatVersion},
                    {"source_record_count", +source.dwRecordCount}, {"error", err}, {"meaning", meaning(err)},
                    {"records", definition_records(selected, source.dwProductId)}});
    answer(doc);
    if (run().json) return;
    std::printf("client DAT version %u, source DAT version %u: %u of %u definitions to fetch%s\n",
                client.dwDatVersion, source.dwDatVersion, selected.count, source.dwRecordCount,
                err == 0 ? "" : (" (" + std::to_string(err) + ": " + meaning(err) + ")").c_str());
    print_records(doc["records"]);
}

void add_product(CLI::App& cmd, Args& a, const char* help) {
    add_number(cmd, "--product", a.product, help)->each([&a](const std::string&) { a.has_product = true; });
}

}  // namespace

void register_defs_commands(CLI::App& app) {
    auto* defs = app.add_subcommand("defs", "Definition index DATs: lookup, stamp, modify, diff, compare");
    defs->require_subcommand(1);
    auto a = std::make_shared<Args>();

    auto* lookup = subcommand(*defs, "lookup", "Look a definition up by name; --append adds it (creating the file)",
                              a, run_lookup);
    lookup->add_option("FILE", a->file, "Definition index DAT")->required();
    lookup->add_option("NAME", a->name, "Definition name (ASCII letters match either case)")->required();
    add_product(*lookup, *a, "Product identifier: the file's own (default), or the one of a file --append creates");
    lookup->add_flag("--append", a->append, "Append the name when it is absent");

    auto* stamp = subcommand(*defs, "stamp", "Stamp a definition id as the current one (the DAT version becomes 1)",
                             a, run_stamp);
    stamp->add_option("FILE", a->file, "Definition index DAT")->required();
    add_number(*stamp, "ID", a->id, "Definition id")->required();
    stamp->add_flag("--any-id", a->any_id, "Stamp an id that no record of FILE has");

    auto* modify = subcommand(*defs, "modify", "Rewrite the date, data and status of one record", a, run_modify);
    modify->add_option("FILE", a->file, "Definition index DAT")->required();
    add_number(*modify, "ID", a->id, "Definition id of the record")->required();
    modify->add_option("--date", a->date, "New date stamp: the 7 stored bytes as 14 hex digits")
        ->required()
        ->type_name("HEX14");
    add_number(*modify, "--data", a->data, "New data value")->default_str("0");
    add_number(*modify, "--status", a->status, "New status, 1 active")->default_str("1");

    auto* diff = subcommand(*defs, "diff", "Records of NEW that are new or redated against OLD", a, run_diff);
    diff->add_option("OLD", a->client, "Older definition index DAT")->required();
    diff->add_option("NEW", a->source, "Newer definition index DAT")->required();

    auto* compare = subcommand(*defs, "compare", "Compare a client's and a source's file as the solo updater does",
                               a, run_compare);
    compare->add_option("CLIENT", a->client, "The client's definition index DAT (may be missing)")->required();
    compare->add_option("SOURCE", a->source, "The source's definition index DAT")->required();
    add_number(*compare, "--oprid", a->oprid, "The file names of this operation id (0 none, 1 delete, 2 fetch)")
        ->each([a](const std::string&) { a->by_oprid = true; });
    add_product(*compare, *a, "Product identifier, checked against SOURCE (default: SOURCE's)");
    add_trust_options(*compare, a->trust, "SOURCE's directory");
}

}  // namespace tool

// show: what an index DAT file holds, with a verdict for each checksum.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>

#include "commands.h"
#include "kaldorn/soloindx.h"

namespace tool {

namespace {

std::string hex32(unsigned int v) {
    char out[11];
    std::snprintf(out, sizeof out, "0x%08x", v);
    return out;
}

std::string version(const tagKAL_DORN_DBVERSION_INFO& v) {
    return std::to_string(v.dwMajorVersion) + "." + std::to_string(v.dwMinorVersion);
}

unsigned int le32(const unsigned char* p) {
    return static_cast<unsigned int>(p[0] | p[1] << 8 | p[2] << 16) | static_cast<unsigned int>(p[3]) << 24;
}

// Lead block, index header and section checksum, read raw so that a damaged
// file still shows what it claims.
nlohmann::json frame_facts(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw Failure{path + ": cannot be opened"};
    std::unique_ptr<int, void (*)(int*)> guard(&fd, [](int* f) { ::close(*f); });
    unsigned char head[28];
    if (::pread(fd, head, sizeof head, 0) != static_cast<ssize_t>(sizeof head))
        throw Failure{path + ": shorter than an index DAT header (28 bytes)"};
    unsigned int entries = le32(head + 16);
    long long section = 28 + 16LL * entries;
    unsigned char stored[4] = {};
    bool has_section = ::pread(fd, stored, 4, section) == 4;
    unsigned int computed = 0;
    CalculateCheckSumFd(fd, static_cast<int>(section + 4), &computed);
    unsigned int sum = CalculateChecksum(fd);
    return {{"magic", hex32(le32(head))},
            {"magic_ok", le32(head) == 0xDBDF},
            {"byte_sum", hex32(le32(head + 4))},
            {"byte_sum_ok", le32(head + 4) == sum},
            {"product", hex32(le32(head + 8))},
            {"revision", le32(head + 12)},
            {"entries", entries},
            {"section_checksum_ok", has_section && le32(stored) == computed}};
}

nlohmann::json definition_facts(const std::string& path) {
    tagSOLO_DAT_HEADER_INFO h{};
    unsigned int err = 0;
    if (GetSoloIndexDatHeader(path.c_str(), &h, &err) != 1) return nullptr;
    nlohmann::json doc = {{"product", hex32(h.dwProductId)},  {"dat_version", +h.dwDatVersion},
                          {"record_count", +h.dwRecordCount},   {"last_def_id", +h.dwLastDefId},
                          {"current_def_id", +h.dwCurrentDefId}, {"file_length", +h.dwFileLength},
                          {"records", nlohmann::json::array()}};
    tagSOLO_DEF_MEM_RECORD_INFO* recs = nullptr;
    unsigned int count = 0;
    if (GetDefListFromDatFile(path.c_str(), &recs, &count, &err) != 1) {
        doc["records_readable"] = false;
        return doc;
    }
    doc["records_readable"] = true;
    for (unsigned int i = 0; i < count; ++i) {
        const auto& r = recs[i];
        char date[15];
        auto* d = reinterpret_cast<const unsigned char*>(&r.stDefDate);
        std::snprintf(date, sizeof date, "%02x%02x%02x%02x%02x%02x%02x", d[0], d[1], d[2], d[3], d[4], d[5], d[6]);
        doc["records"].push_back({{"id", +r.dwDefId},
                                  {"date", date},
                                  {"data", +r.dwDefData},
                                  {"status", +r.dwDefStatus},
                                  {"name", std::string(r.szDefName)}});
    }
    ReleaseDefList(recs, count, &err);
    return doc;
}

nlohmann::json describe(const std::string& path) {
    nlohmann::json doc = {{"file", path}, {"frame", frame_facts(path)}};
    tagUPDT_DAT_VERSION_INFO_MEM info{};
    if (GetUpdateVersionInfo(path.c_str(), &info) == 1) {
        doc["kind"] = "version index DAT";
        doc["version"] = {{"first_version", version(info.stFirstVersion)},
                          {"db_version", version(info.stDbVersion)},
                          {"text", std::string(reinterpret_cast<char*>(info.stBuffer.pData), info.stBuffer.dwSize)}};
        ReleaseUpdateVersionInfo(&info);
        return doc;
    }
    nlohmann::json def = definition_facts(path);
    if (!def.is_null()) {
        doc["kind"] = "definition index DAT";
        doc["definition"] = def;
    } else {
        doc["kind"] = "unreadable index DAT";
    }
    return doc;
}

// Component lists open with the magic "INXF".
bool is_component_list(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char magic[4] = {};
    bool yes = ::pread(fd, magic, 4, 0) == 4 && std::memcmp(magic, "INXF", 4) == 0;
    ::close(fd);
    return yes;
}

const char* verdict(bool ok) { return ok ? "ok" : "MISMATCH"; }

void print_text(const nlohmann::json& doc) {
    const auto& f = doc["frame"];
    std::cout << doc["file"].get<std::string>() << ": " << doc["kind"].get<std::string>() << '\n'
              << "  product " << f["product"].get<std::string>() << ", revision " << f["revision"]
              << ", " << f["entries"] << " table entries\n"
              << "  lead block: magic " << f["magic"].get<std::string>() << " (" << verdict(f["magic_ok"])
              << "), byte sum " << f["byte_sum"].get<std::string>() << " (" << verdict(f["byte_sum_ok"]) << ")\n"
              << "  section checksum: "
              << (doc.contains("definition") ? "not kept in definition files" : verdict(f["section_checksum_ok"]))
              << '\n';
    if (doc.contains("version")) {
        const auto& v = doc["version"];
        std::cout << "  first version " << v["first_version"].get<std::string>() << ", DB version "
                  << v["db_version"].get<std::string>() << '\n'
                  << "  version text (" << v["text"].get<std::string>().size() << " bytes): "
                  << v["text"].get<std::string>() << '\n';
    }
    if (doc.contains("definition")) {
        const auto& d = doc["definition"];
        std::cout << "  solo checksum: ok\n  product " << d["product"].get<std::string>() << ", DAT version "
                  << d["dat_version"] << ", current definition " << d["current_def_id"] << ", last id "
                  << d["last_def_id"] << ", " << d["record_count"] << " records\n";
        if (!d["records_readable"].get<bool>()) std::cout << "  records: UNREADABLE\n";
        for (const auto& r : d["records"]) {
            std::printf("  %8u  %s  status %u  data %u  %s\n", r["id"].get<unsigned>(),
                        r["date"].get<std::string>().c_str(), r["status"].get<unsigned>(),
                        r["data"].get<unsigned>(), r["name"].get<std::string>().c_str());
        }
    }
}

}  // namespace

void register_index_commands(CLI::App& app) {
    struct Args {
        std::vector<std::string> files;
        bool json = false;
    };
    auto args = std::make_shared<Args>();
    auto* show = app.add_subcommand("show", "Show what index DAT files and component lists hold, with checksum verdicts");
    show->add_option("files", args->files, "Index DAT files or component lists (told apart by their contents)")->required()->check(CLI::ExistingFile);
    show->add_flag("--json", args->json, "Print one JSON document per file, in an array");
    show->callback([args] {
        nlohmann::json all = nlohmann::json::array();
        bool readable = true;
        for (const auto& f : args->files) {
            if (is_component_list(f)) {
                nlohmann::json doc = component_list_doc(f);
                if (args->json)
                    all.push_back(doc);
                else
                    print_component_list(doc);
                continue;
            }
            nlohmann::json doc = describe(f);
            readable = readable && doc["kind"] != "unreadable index DAT";
            if (args->json)
                all.push_back(doc);
            else
                print_text(doc);
        }
        if (args->json) print_json(all);
        if (!readable) throw Failure{"some files could not be read as index DATs"};
    });
}

}  // namespace tool

// show: what index DAT files and component lists hold, told apart by their
// contents, with a verdict for each checksum.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>

#include "commands.h"
#include "support/bytes.h"
#include "support/fd_guard.h"

namespace tool {

namespace {

using kaldorn::detail::FdGuard;
using kaldorn::detail::load_le32;

std::string hex32(unsigned int v) {
    char out[11];
    std::snprintf(out, sizeof out, "0x%08x", v);
    return out;
}

// Lead block, index header and section checksum, read raw so that a damaged
// file still shows what it claims.
Json frame_facts(const std::string& path) {
    FdGuard guard(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!guard.valid()) throw Failure{escaped(path) + ": cannot be opened: " + std::strerror(errno)};
    const int fd = guard.get();
    unsigned char head[28];
    if (::pread(fd, head, sizeof head, 0) != static_cast<ssize_t>(sizeof head))
        throw Failure{escaped(path) + ": shorter than an index DAT header (28 bytes)"};
    unsigned int entries = load_le32(head + 16);
    long long section = 28 + 16LL * entries;
    unsigned char stored[4] = {};
    bool has_section = ::pread(fd, stored, 4, section) == 4;
    unsigned int computed = 0;
    CalculateCheckSumFd(fd, static_cast<int>(section + 4), &computed);
    unsigned int sum = CalculateChecksum(fd);
    return {{"magic", hex32(load_le32(head))},
            {"magic_ok", load_le32(head) == 0xDBDF},
            {"byte_sum", hex32(load_le32(head + 4))},
            {"byte_sum_ok", load_le32(head + 4) == sum},
            {"product", load_le32(head + 8)},
            {"revision", load_le32(head + 12)},
            {"entries", entries},
            {"section_checksum_ok", has_section && load_le32(stored) == computed}};
}

Json definition_facts(const std::string& path) {
    tagSOLO_DAT_HEADER_INFO h{};
    unsigned int err = 0;
    if (GetSoloIndexDatHeader(path.c_str(), &h, &err) != 1) return nullptr;
    Json doc = {{"solo_checksum_ok", true},          {"product", +h.dwProductId},     {"dat_version", +h.dwDatVersion},
                {"record_count", +h.dwRecordCount},    {"last_def_id", +h.dwLastDefId},
                {"current_def_id", +h.dwCurrentDefId}, {"file_length", +h.dwFileLength},
                {"records_readable", false},           {"records", Json::array()}};
    DefinitionRecords recs;
    if (GetDefListFromDatFile(path.c_str(), &recs.data, &recs.count, &err) != 1) {
        doc["refused"] = refused_record(path, false);
        return doc;
    }
    doc["records_readable"] = true;
    doc["records"] = definition_records(recs, h.dwProductId);
    return doc;
}

Json describe(const std::string& path) {
    Json doc = {{"path", path}, {"type", "unreadable index DAT"}, {"frame", frame_facts(path)}};
    tagUPDT_DAT_VERSION_INFO_MEM info{};
    if (GetUpdateVersionInfo(path.c_str(), &info) == 1) {
        doc["type"] = "version index DAT";
        doc["version_index"] = {
            {"first_version", version_text(info.stFirstVersion.dwMajorVersion, info.stFirstVersion.dwMinorVersion)},
            {"db_version", version_text(info.stDbVersion.dwMajorVersion, info.stDbVersion.dwMinorVersion)},
            {"text", std::string(reinterpret_cast<char*>(info.stBuffer.pData), info.stBuffer.dwSize)}};
        ReleaseUpdateVersionInfo(&info);
        return doc;
    }
    Json def = definition_facts(path);
    if (!def.is_null()) {
        doc["type"] = "definition index DAT";
        doc["frame"]["section_checksum_ok"] = nullptr;  // not kept in definition files
        doc["definition_index"] = def;
    }
    return doc;
}

const char* verdict(bool ok) { return ok ? "ok" : "MISMATCH"; }

void print_index(const Json& doc) {
    const auto& f = doc["frame"];
    std::cout << doc["path"].get<std::string>() << ": " << doc["type"].get<std::string>() << '\n'
              << "  product " << hex32(f["product"].get<unsigned>()) << ", revision " << f["revision"] << ", "
              << f["entries"] << " table entries\n"
              << "  lead block: magic " << f["magic"].get<std::string>() << " (" << verdict(f["magic_ok"])
              << "), byte sum " << f["byte_sum"].get<std::string>() << " (" << verdict(f["byte_sum_ok"]) << ")\n"
              << "  section checksum: "
              << (doc.contains("definition_index") ? "not kept in definition files" : verdict(f["section_checksum_ok"]))
              << '\n';
    if (doc.contains("version_index")) {
        const auto& v = doc["version_index"];
        std::cout << "  first version " << v["first_version"].get<std::string>() << ", DB version "
                  << v["db_version"].get<std::string>() << '\n'
                  << "  version text (" << v["text"].get<std::string>().size()
                  << " bytes): " << v["text"].get<std::string>() << '\n';
    }
    if (!doc.contains("definition_index")) return;
    const auto& d = doc["definition_index"];
    std::cout << "  solo checksum: ok\n  product " << hex32(d["product"].get<unsigned>()) << ", DAT version "
              << d["dat_version"] << ", current definition " << d["current_def_id"] << ", last id "
              << d["last_def_id"] << ", " << d["record_count"] << " records\n";
    if (!d["records_readable"].get<bool>())
        std::cout << "  records: UNREADABLE" << (d["refused"] == "" ? "" : ": " + d["refused"].get<std::string>())
                  << '\n';
    for (const auto& r : d["records"])
        std::printf("  %8u  %s  %s  status %u  data %u  %s\n", r["id"].get<unsigned>(),
                    r["file"].get<std::string>().c_str(), r["date"].get<std::string>().c_str(),
                    r["status"].get<unsigned>(), r["data"].get<unsigned>(), r["name"].get<std::string>().c_str());
}

}  // namespace

void register_show_command(CLI::App& app) {
    auto paths = std::make_shared<std::vector<std::string>>();
    auto* show = app.add_subcommand("show", "What index DATs and component lists hold, with checksum verdicts");
    show->add_option("FILE", *paths, "Index DAT files or component lists (told apart by their contents)")
        ->required();
    show->callback([paths] {
        Json doc = document("show");
        doc["files"] = Json::array();
        std::string failures;
        for (const auto& p : *paths) {
            Json file;
            try {
                check_input(p);
                file = is_component_list(p) ? component_list(p) : describe(p);
                if (file["type"] == "unreadable index DAT")
                    throw Failure{escaped(p) + ": neither a version nor a definition index DAT that reads"};
                if (file.contains("definition_index") && file["definition_index"].value("refused", "") != "")
                    throw Failure{escaped(p) + ": " + file["definition_index"]["refused"].get<std::string>()};
            } catch (const Failure& f) {
                if (file.is_null()) file = {{"path", p}, {"type", "unreadable"}};
                file["failure"] = failure_json(f);
                failures += (failures.empty() ? "" : "\n") + f.message;
            }
            doc["files"].push_back(file);
            if (run().json) continue;
            if (file["type"] == "component list") print_component_list(file);
            else if (file.contains("frame")) print_index(file);
            std::cout.flush();
        }
        if (!failures.empty()) throw Failure{failures, kExitRefused, nullptr, doc};
        answer(doc);
    });
}

}  // namespace tool

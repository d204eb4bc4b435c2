// index build: the publisher's side, which the library itself does not do.
// A version index DAT is written from a version text by the publisher's
// writer, a definition index DAT from a directory of definition files by
// the library's own appender, so nothing of the layout is repeated here.
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <cstdio>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "commands.h"
#include "kaldorn/nupdtinf.h"
#include "kaldorn/soloindx.h"
#include "publish/publish.h"

namespace tool {

namespace {

struct Build {
    std::string output, text_file, dir;
    unsigned int product = 1;
    std::string version;  // "MAJOR.MINOR" of the DB version
};

std::pair<unsigned int, unsigned int> parse_version(const std::string& v) {
    unsigned int major = 0, minor = 0;
    char dot = 0;
    std::istringstream in(v);
    if (!(in >> major >> dot >> minor) || dot != '.' || !in.eof())
        usage("--version must read MAJOR.MINOR, not '" + v + "'");
    return {major, minor};
}

void build_version(const Build& b) {
    std::string text;
    {
        FILE* in = std::fopen(b.text_file.c_str(), "rb");
        if (in == nullptr) throw Failure{b.text_file + ": cannot be read"};
        char chunk[4096];
        size_t got;
        while ((got = std::fread(chunk, 1, sizeof chunk, in)) > 0) text.append(chunk, got);
        std::fclose(in);
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    auto [major, minor] = parse_version(b.version);
    // Refuse a text the planners would reject, or one without the DB version.
    tagUPDT_BUFFER_DATA data{reinterpret_cast<unsigned char*>(text.data()), static_cast<unsigned int>(text.size())};
    std::vector<tagUPDT_VERSION_BUFFER> entries(text.size());
    unsigned int count = 0, type = 0;
    int at = 0;
    tagKAL_DORN_DBVERSION_INFO db{major, minor};
    if (ConvertDATBufferFormat(&data, entries.data(), static_cast<unsigned int>(entries.size()), &count) != 1)
        throw Failure{b.text_file + ": not a version text (tokens 1, 0001; and 0010;)"};
    if (GetVersionIndex(entries.data(), count, &db, &at, &type) != 1)
        throw Failure{b.text_file + ": version " + b.version + " is not in the text"};
    if (!kaldorn::publish::write_file(b.output, kaldorn::publish::version_index({b.product, 0, 0, {1, 1}, db, text})))
        throw Failure{b.output + ": cannot be written"};
}

// One record per regular file of the directory, in name order, appended by
// the library; each record carries the file's modification time in its date
// stamp and its size as data; the last one is stamped as current.
void build_definitions(const Build& b) {
    std::vector<std::filesystem::directory_entry> files;
    std::error_code ec, status;
    for (const auto& e : std::filesystem::directory_iterator(b.dir, ec))
        if (e.is_regular_file(status) && plain_file_name(e.path())) files.push_back(e);
    if (ec) throw Failure{b.dir + ": cannot be read as a directory"};
    std::sort(files.begin(), files.end());
    std::filesystem::remove(b.output, ec);
    unsigned int id = 0, error = 0;
    Progress progress("adding", files.size());
    for (const auto& f : files) {
        char name[KALDORN_MAX_PATH];
        std::string base = f.path().filename().string();
        if (GetDefEntryFromDatFile(b.product, b.output.c_str(), base.c_str(), 1, name, sizeof name, &id, &error) != 1)
            throw Failure{b.output + ": cannot append '" + base + "'"};
        struct stat st {};
        ::stat(f.path().c_str(), &st);
        tagVXDEFDATE date{static_cast<unsigned int>(st.st_mtime), 0, 0};
        if (ModifyDefEntryFromDatFile(b.output.c_str(), id, &date, static_cast<unsigned int>(st.st_size), 1, &error) != 1)
            throw Failure{b.output + ": cannot date '" + base + "'"};
        progress.step(static_cast<size_t>(&f - files.data()) + 1);
    }
    progress.done();
    if (files.empty()) throw Failure{b.dir + ": holds no definition files"};
    if (UpdateSoloIndexDatFile(b.output.c_str(), id, &error) != 1) throw Failure{b.output + ": cannot be stamped"};
    std::cout << files.size() << " definitions of " << b.dir << " written to " << b.output << ", current " << id
              << '\n';
}

}  // namespace

void register_index_commands(CLI::App& app) {
    auto* index = app.add_subcommand("index", "Publisher side: write index DATs with correct checksums");
    index->require_subcommand(1);
    auto b = std::make_shared<Build>();
    auto* build = index->add_subcommand("build", "Write a version index DAT (--text) or a definition index DAT (--dir)");
    build->add_option("output", b->output, "Index DAT to write (replaced if present)")->required();
    auto* text = build->add_option("--text", b->text_file, "File holding the version text (tokens 1, 0001;, 0010;)");
    auto* dir = build->add_option("--dir", b->dir, "Directory of definition files, one record each");
    text->excludes(dir);
    build->add_option("--product", b->product, "Product identifier")->capture_default_str();
    build->add_option("--version", b->version, "DB version MAJOR.MINOR of a version index DAT")->needs(text);
    build->callback([b] {
        if (!b->text_file.empty()) {
            if (b->version.empty()) usage("--text needs --version MAJOR.MINOR");
            build_version(*b);
            std::cout << "version index DAT written to " << b->output << '\n';
        } else if (!b->dir.empty()) {
            build_definitions(*b);
        } else {
            usage("index build needs --text FILE --version MAJOR.MINOR, or --dir DIR");
        }
    });
}

}  // namespace tool

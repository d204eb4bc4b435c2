// index build: the publisher's side, which the library itself does not do.
// A version index DAT is written from a version text, a definition index DAT
// from a directory of definition files; the checksums come from the
// library's own rules (CalculateCheckSumFd, CalculateChecksum) and the
// definition records from its own appender, so nothing of the layout's
// arithmetic is repeated here.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
#include "support/bytes.h"
#include "support/fd_guard.h"

namespace tool {

namespace {

struct Build {
    std::string output, text_file, dir;
    unsigned int product = 1;
    std::string version;  // "MAJOR.MINOR" of the DB version
};

void put32(std::vector<unsigned char>& b, unsigned int v) {
    b.resize(b.size() + 4);
    kaldorn::detail::store_le32(b.data() + b.size() - 4, v);
}

void patch32(int fd, off_t at, unsigned int v, const std::string& path) {
    unsigned char b[4];
    kaldorn::detail::store_le32(b, v);
    if (::pwrite(fd, b, 4, at) != 4) throw Failure{path + ": cannot be written"};
}

std::pair<unsigned int, unsigned int> parse_version(const std::string& v) {
    unsigned int major = 0, minor = 0;
    char dot = 0;
    std::istringstream in(v);
    if (!(in >> major >> dot >> minor) || dot != '.' || !in.eof())
        usage("--version must read MAJOR.MINOR, not '" + v + "'");
    return {major, minor};
}

// Lead block, index header without entries, section header, the text; then
// the section's block CRC at 28 and the byte sum with the magic at 0.
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
    std::vector<unsigned char> bytes;
    for (unsigned int v : {0u, 0u, b.product, 0u, 0u, 0u, 0u}) put32(bytes, v);  // lead, index header
    for (unsigned int v : {0u, 1u, 1u, major, minor, static_cast<unsigned int>(text.size()), 0u, 0u}) put32(bytes, v);
    bytes.insert(bytes.end(), text.begin(), text.end());
    kaldorn::detail::FdGuard guard(::open(b.output.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (!guard.valid()) throw Failure{b.output + ": cannot be created"};
    const int fd = guard.get();
    if (::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
        throw Failure{b.output + ": cannot be written"};
    unsigned int crc = 0;
    CalculateCheckSumFd(fd, 32, &crc);
    patch32(fd, 28, crc, b.output);
    patch32(fd, 4, CalculateChecksum(fd), b.output);
    patch32(fd, 0, 0xDBDF, b.output);
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

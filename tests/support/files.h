// Scratch directories, files, the process's descriptors, installations written through the publisher's writers, and
// lists rendered as text: what the suites, the example generator and the benchmarks share. No test framework and no
// seam, so that it links with kaldorn.so as well.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "kaldorn.h"
#include "kaldorn/lists.h"
#include "kaldorn/nupdtinf.h"
#include "publish/publish.h"

namespace fx {

namespace fs = std::filesystem;
namespace pub = kaldorn::publish;
using Bytes = pub::Bytes;

// A fresh directory under base (the test temp dir unless given), removed by the destructor.
class TempDir {
public:
    explicit TempDir(const fs::path& base = fs::temp_directory_path());
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& path() const { return path_; }
    std::string str() const { return path_.string(); }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    fs::path path_;
};

Bytes read_file(const fs::path& path);
inline std::string text(const fs::path& path) {  // a file as a string
    const Bytes b = read_file(path);
    return {b.begin(), b.end()};
}
using Contents = std::optional<Bytes>;  // no value: no file
inline Contents contents(const fs::path& p) { return fs::exists(p) ? Contents(read_file(p)) : std::nullopt; }
// Creates the parent directories; throws when the file cannot be written.
void write_file(const fs::path& path, const Bytes& bytes);
inline void write_file(const fs::path& path, const std::string& text) {
    write_file(path, Bytes(text.begin(), text.end()));
}
Bytes random_bytes(size_t n, unsigned seed);

// A little-endian word into bytes; stored: rotated as record areas hold it.
void poke32(Bytes& b, size_t at, uint32_t v, bool stored = false);

// This process's open descriptors: number to what each refers to.
std::map<int, std::string> open_descriptors();
inline size_t descriptor_count() { return open_descriptors().size(); }

// A terminated 16-bit copy of an ASCII string, as the 16-bit entry points take it.
std::vector<unsigned short> wide(const std::string& s);

// Two dailies and a weekly, twice; two dailies and a monthly; the same
// again; then two dailies, a weekly and two dailies: 23 update files.
inline const std::string kExampleText = "110001;110001;110010;110001;110001;110010;110001;11";

// "%08x_index.dat" in dir: a version index DAT of `text` at major.minor.
void write_version_index(const fs::path& dir, uint32_t product, const std::string& text, uint32_t major,
                         uint32_t minor);
// An empty file for each update file of the text, but for the names in absent.
void write_update_files(const fs::path& dir, uint32_t product, const std::string& text,
                        const std::vector<std::string>& absent = {});
// An active definition dated with a fixed stamp whose third byte is day.
pub::Definition def(uint32_t id, uint8_t day, const std::string& name);
// "%08x_index.dat" in dir: a definition index DAT at dat_version naming current.
void write_definitions(const fs::path& dir, uint32_t product, uint32_t dat_version, uint32_t current,
                       const std::vector<pub::Definition>& records);
// Component files and the "%08x_compns.lst" that lists them all with the
// digest of their contents (flag 1); on disk as listed, damaged or absent.
struct Part {
    enum State { Intact, Damaged, Missing };
    std::string name, contents;
    State state = Intact;
};
void write_engine(const fs::path& engine, uint32_t product, const std::vector<Part>& parts);
// Copies a built sibling library into dir as "orlenmap.dll" and, when
// location is not empty, writes "orlenmap.loc" naming the engine directory.
void install_sibling(const fs::path& dir, const std::string& built, const std::string& location = "");

// A list as text: "D1.2 W1.3[1]" (update type letter, version, mark when not
// 0) for plain lists, "name:flag/kind" for the others.
std::string render(const tagKAL_DORN_VERSION_LIST* l);
std::string render(const tagKAL_DORN_VERSION_LISTEXA* l);
std::string render(const tagKAL_DORN_FILE_INFO_LISTA* l);

}  // namespace fx

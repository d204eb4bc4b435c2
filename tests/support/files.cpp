#include "files.h"

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "support/bytes.h"

namespace fx {

TempDir::TempDir(const fs::path& base) {
    std::string tmpl = (base / "kaldorn-test-XXXXXX").string();
    if (::mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

Bytes read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const fs::path& path, const Bytes& bytes) {
    if (path.has_parent_path()) fs::create_directories(path.parent_path());
    if (!pub::write_file(path, bytes)) throw std::runtime_error("cannot write " + path.string());
}

Bytes random_bytes(size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    Bytes b(n);
    for (auto& v : b) v = static_cast<unsigned char>(gen());
    return b;
}

void poke32(Bytes& b, size_t at, uint32_t v, bool stored) {
    kaldorn::detail::store_le32(b.data() + at, v);
    if (stored) kaldorn::detail::encode_rotated(b.data() + at, 4);
}

std::map<int, std::string> open_descriptors() {
    std::map<int, std::string> fds;
    for (const auto& e : fs::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        fds[std::stoi(e.path().filename().string())] = fs::read_symlink(e.path(), ec).string();
    }
    return fds;
}

std::vector<unsigned short> wide(const std::string& s) {
    std::vector<unsigned short> w(s.begin(), s.end());
    w.push_back(0);
    return w;
}

void write_version_index(const fs::path& dir, uint32_t product, const std::string& text, uint32_t major,
                         uint32_t minor) {
    write_file(dir / pub::index_name(product), pub::version_index({product, 0, 0, {1, 1}, {major, minor}, text}));
}

void write_update_files(const fs::path& dir, uint32_t product, const std::string& text,
                        const std::vector<std::string>& absent) {
    fs::create_directories(dir);
    for (const std::string& name : pub::update_files(product, text))
        if (std::find(absent.begin(), absent.end(), name) == absent.end()) write_file(dir / name, name);
}

pub::Definition def(uint32_t id, uint8_t day, const std::string& name) {
    return {id, {0x10, 0x0b, day, 0x07, 0xea, 0x07, 0x01}, 0, 1, name};
}

void write_definitions(const fs::path& dir, uint32_t product, uint32_t dat_version, uint32_t current,
                       const std::vector<pub::Definition>& records) {
    const pub::DefinitionIndex index{.product = product, .dat_version = dat_version, .current = current,
                                     .records = records};
    write_file(dir / pub::index_name(product), pub::definition_index(index));
}

void write_engine(const fs::path& engine, uint32_t product, const std::vector<Part>& parts) {
    std::vector<pub::Component> listed;
    for (const Part& p : parts) {
        listed.push_back(pub::component(p.name, p.contents));
        if (p.state != Part::Missing) write_file(engine / p.name, p.contents + (p.state == Part::Damaged ? "#" : ""));
    }
    write_file(engine / pub::component_list_name(product), pub::component_list(listed));
}

void install_sibling(const fs::path& dir, const std::string& built, const std::string& location) {
    fs::create_directories(dir);
    fs::copy_file(built, dir / "orlenmap.dll", fs::copy_options::overwrite_existing);
    if (!location.empty()) write_file(dir / "orlenmap.loc", location);
}

namespace {
// Items separated by spaces. Built by appending: GCC 12 at -O3 reports a false -Wrestrict on a literal added to a
// temporary string.
template <class L, class F>
std::string joined(const L* l, F item) {
    std::string out;
    for (; l != nullptr; l = l->pNext) out.append(out.empty() ? "" : " ").append(item(*l));
    return out;
}
template <class I>
std::string file(const I& i) {
    return std::string(i.szFileName).append(":").append(std::to_string(i.dwFlag)).append("/").append(
        std::to_string(i.dwKind));
}
}  // namespace

std::string render(const tagKAL_DORN_VERSION_LIST* l) {
    return joined(l, [](const tagKAL_DORN_VERSION_LIST& n) {
        const tagKAL_DORN_TYPE_INFO i = n.stInfo;
        std::string s(1, i.dwUpdateType - 100 < 5 ? "?DW?X"[i.dwUpdateType - 100] : '?');  // 101 D, 102 W, 104 X
        s.append(std::to_string(i.dwMajorVersion)).append(".").append(std::to_string(i.dwMinorVersion));
        if (n.uchFlag != 0) s.append("[").append(std::to_string(n.uchFlag)).append("]");
        return s;
    });
}
std::string render(const tagKAL_DORN_VERSION_LISTEXA* l) {
    return joined(l, [](const auto& n) { return file(n.stInfo); });
}
std::string render(const tagKAL_DORN_FILE_INFO_LISTA* l) { return joined(l, [](const auto& n) { return file(n); }); }

}  // namespace fx

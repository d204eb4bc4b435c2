#include "datwriter.h"

#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace fixtures {

void put32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void set32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.at(at + static_cast<size_t>(i)) = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t get32(const Bytes& b, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | b.at(at + static_cast<size_t>(i));
    return v;
}

uint32_t block_crc(const Bytes& b, size_t start) {
    if (start >= b.size()) return 0;
    size_t len = b.size() - start;
    size_t last = start + ((len - 1) / 1024) * 1024;
    return static_cast<uint32_t>(crc32(0L, b.data() + last, static_cast<uInt>(b.size() - last)));
}

uint32_t byte_sum(const Bytes& b) {
    uint32_t sum = 0;
    for (size_t i = 8; i < b.size(); ++i) sum += static_cast<uint32_t>(static_cast<int8_t>(b[i]));
    return sum;
}

namespace {

void put_frame_start(Bytes& b, uint32_t product, uint32_t revision, uint32_t entries) {
    for (uint32_t v : {0u, 0u, product, revision, entries, 0u, 0u}) put32(b, v);  // lead block filled last
    for (uint32_t e = 0; e < entries; ++e)
        for (int i = 0; i < 16; ++i) b.push_back(static_cast<uint8_t>(0xA0 + e + static_cast<uint32_t>(i)));
}

// Section header: checksum (filled last), first version, DB version, payload size.
void put_section(Bytes& b, uint32_t fmaj, uint32_t fmin, uint32_t dmaj, uint32_t dmin, uint32_t size) {
    for (uint32_t v : {0u, fmaj, fmin, dmaj, dmin, size, 0u, 0u}) put32(b, v);
}

void finish_lead(Bytes& b) {
    set32(b, 0, 0xDBDF);
    set32(b, 4, byte_sum(b));
}

}  // namespace

uint8_t stored_byte(uint8_t plain) { return static_cast<uint8_t>((plain << 3) | (plain >> 5)); }

Bytes build_version_dat(const VersionDat& s) {
    Bytes b;
    put_frame_start(b, s.product, s.revision, s.entries);
    size_t section = b.size();
    uint32_t size = s.override_size ? s.payload_size : static_cast<uint32_t>(s.text.size());
    put_section(b, s.first_major, s.first_minor, s.db_major, s.db_minor, size);
    b.insert(b.end(), s.text.begin(), s.text.end());
    b.insert(b.end(), s.trailing.begin(), s.trailing.end());
    set32(b, section, block_crc(b, section + 4));
    finish_lead(b);
    return b;
}

Bytes build_definition_dat(const DefinitionDat& s) {
    Bytes b;
    put_frame_start(b, s.product, s.revision, s.entries);
    put_section(b, 1, 1, s.db_major, s.db_minor, s.payload_size);
    size_t solo = b.size();  // solo header, its checksum filled below
    for (uint32_t v : {0u, s.file_length, s.product, s.dat_version,
                       s.override_count ? s.record_count : static_cast<uint32_t>(s.records.size()), s.last_def_id,
                       s.current_def_id, 0u, 0u})
        put32(b, v);
    for (const DefRecord& r : s.records) {
        Bytes rec;
        put32(rec, r.id);
        rec.insert(rec.end(), r.date, r.date + 7);
        put32(rec, r.data);
        put32(rec, r.status);
        put32(rec, r.override_length ? r.name_length : static_cast<uint32_t>(r.name.size() + 1));
        rec.insert(rec.end(), 12, 0);
        rec.insert(rec.end(), r.name.begin(), r.name.end());
        rec.push_back(0);
        if (r.override_length) rec.resize(35 + std::min<size_t>(r.name_length, 4096), 0x41);
        for (uint8_t& v : rec) v = stored_byte(v);
        b.insert(b.end(), rec.begin(), rec.end());
    }
    set32(b, solo, block_crc(b, solo + 4));
    finish_lead(b);
    return b;
}

std::string index_name(uint32_t product) {
    char name[32];
    std::snprintf(name, sizeof name, "%08x_index.dat", product);
    return name;
}

Bytes random_bytes(size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    Bytes b(n);
    for (auto& v : b) v = static_cast<uint8_t>(gen());
    return b;
}

void write_file(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

Bytes read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TempDir::TempDir(const std::filesystem::path& base) {
    std::string tmpl = (base / "kaldorn-test-XXXXXX").string();
    if (::mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::map<int, std::string> open_descriptors() {
    std::map<int, std::string> fds;
    for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        fds[std::stoi(e.path().filename().string())] = std::filesystem::read_symlink(e.path(), ec).string();
    }
    return fds;
}

}  // namespace fixtures

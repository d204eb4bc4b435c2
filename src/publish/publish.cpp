// Whole index DATs and component lists assembled field by field, then sealed:
// the checksums are computed over the finished bytes, last, as the
// library's own writers order them.
#include "publish/publish.h"

#include <cstdio>
#include <fstream>

#include "kaldorn/convert.h"
#include "kaldorn/crc32.h"
#include "kaldorn/md5lib.h"
#include "kaldorn/nupdtinf.h"
#include "support/bytes.h"

namespace kaldorn::publish {

namespace {

using detail::load_le32;
using detail::rotate_stored;
using detail::store_le32;

constexpr size_t kIndexHeader = 8, kEntryTable = 28, kSectionHeader = 32, kSoloHeader = 36;
constexpr size_t kListHead = 80, kListSumOffset = 56, kListCountOffset = 76;

void put32(Bytes& b, uint32_t v) {
    b.resize(b.size() + 4);
    store_le32(b.data() + b.size() - 4, v);
}

void put_stored(Bytes& b, const unsigned char* p, size_t n) {
    for (size_t i = 0; i < n; ++i) b.push_back(rotate_stored(p[i]));
}

void put_stored32(Bytes& b, uint32_t v) {
    unsigned char le[4];
    store_le32(le, v);
    put_stored(b, le, sizeof le);
}

// Lead block (filled by the seal), index header, N zero entries, and the
// section header whose checksum the seal fills.
void put_frame(Bytes& b, uint32_t product, uint32_t revision, uint32_t entries, tagKAL_DORN_DBVERSION_INFO first,
               tagKAL_DORN_DBVERSION_INFO db, uint32_t payload_size) {
    for (uint32_t v : {0u, 0u, product, revision, entries, 0u, 0u}) put32(b, v);
    b.resize(b.size() + 16 * size_t{entries}, 0);
    for (uint32_t v : {0u, +first.dwMajorVersion, +first.dwMinorVersion, +db.dwMajorVersion, +db.dwMinorVersion,
                       payload_size, 0u, 0u})
        put32(b, v);
}

// The standard CRC-32 of the last 1024-byte block of b[start, end); 0 for an
// empty region.
uint32_t block_crc(const Bytes& b, size_t start) {
    if (start >= b.size()) return 0;
    const size_t last = start + (b.size() - start - 1) / 1024 * 1024;
    unsigned int reg = 0;
    CVXCrc32().GetBuffCrc32(b.data() + last, static_cast<int>(b.size() - last), &reg);
    return ~reg;
}

// Byte sum from offset 8, signed bytes, then the magic: the last step.
void seal_lead_block(Bytes& b) {
    uint32_t sum = 0;
    for (size_t i = kIndexHeader; i < b.size(); ++i) sum += static_cast<uint32_t>(static_cast<int8_t>(b[i]));
    store_le32(b.data(), 0xDBDF);
    store_le32(b.data() + 4, sum);
}

size_t payload_offset(const Bytes& b) { return kEntryTable + 16 * size_t{load_le32(b.data() + 16)} + kSectionHeader; }

}  // namespace

void seal_version_index(Bytes& b) {
    const size_t section = payload_offset(b) - kSectionHeader;
    store_le32(b.data() + section, block_crc(b, section + 4));
    seal_lead_block(b);
}

void seal_definition_index(Bytes& b) {
    const size_t solo = payload_offset(b);
    store_le32(b.data() + solo, block_crc(b, solo + 4));
    seal_lead_block(b);
}

void seal_component_list(Bytes& b) {
    uint32_t sum = 0;
    for (size_t i = kListHead; i < b.size(); ++i) sum += b[i];
    store_le32(b.data() + kListSumOffset, sum);
}

Bytes version_index(const VersionIndex& v) {
    Bytes b;
    put_frame(b, v.product, v.revision, v.entries, v.first, v.db, static_cast<uint32_t>(v.text.size()));
    b.insert(b.end(), v.text.begin(), v.text.end());
    seal_version_index(b);
    return b;
}

Bytes definition_index(const DefinitionIndex& d) {
    Bytes records;
    uint32_t last_id = d.last_id;
    for (const Definition& r : d.records) {
        if (d.last_id == 0 && r.id > last_id) last_id = r.id;
        put_stored32(records, r.id);
        put_stored(records, r.date.data(), r.date.size());
        for (uint32_t v : {r.data, r.status, static_cast<uint32_t>(r.name.size() + 1)}) put_stored32(records, v);
        const unsigned char zeros[12] = {};
        put_stored(records, zeros, sizeof zeros);
        put_stored(records, reinterpret_cast<const unsigned char*>(r.name.c_str()), r.name.size() + 1);
    }
    const size_t solo = kEntryTable + 16 * size_t{d.entries} + kSectionHeader;
    const auto length = static_cast<uint32_t>(solo + kSoloHeader + records.size());
    Bytes b;
    put_frame(b, d.product, d.revision, d.entries, {1, 1}, d.db, d.stamped ? length - static_cast<uint32_t>(solo) : 0);
    for (uint32_t v : {0u, d.stamped ? length : 0u, d.product, d.dat_version, static_cast<uint32_t>(d.records.size()),
                       last_id, d.current, 0u, 0u})
        put32(b, v);
    b.insert(b.end(), records.begin(), records.end());
    seal_definition_index(b);
    return b;
}

Bytes component_list(const std::vector<Component>& records, const std::array<uint32_t, 3>& platform) {
    static constexpr char kHeader[] = "INXF\x01\x01Tarnwick Fieldworks Systems Ltd.";
    Bytes b(kListHead, 0);
    std::copy(kHeader, kHeader + sizeof kHeader - 1, b.begin());
    for (size_t i = 0; i < platform.size(); ++i) store_le32(b.data() + 60 + 4 * i, platform[i]);
    store_le32(b.data() + kListCountOffset, static_cast<uint32_t>(records.size()));
    for (const Component& r : records) {
        for (uint32_t v : {r.flag, r.size}) put_stored32(b, v);
        put_stored(b, r.digest.data(), r.digest.size());
        for (uint32_t v : {r.tag, static_cast<uint32_t>(r.name.size() + 1)}) put_stored32(b, v);
        put_stored(b, r.reserved.data(), r.reserved.size());
        put_stored(b, reinterpret_cast<const unsigned char*>(r.name.c_str()), r.name.size() + 1);
    }
    seal_component_list(b);
    return b;
}

Component component(const std::string& name, const std::string& contents, uint32_t flag) {
    Component c;
    c.flag = flag;
    c.size = static_cast<uint32_t>(contents.size());
    c.name = name;
    CMd5().CalculateMD5(reinterpret_cast<const unsigned char*>(contents.data()),
                        static_cast<unsigned int>(contents.size()), c.digest.data());
    return c;
}

std::string index_name(uint32_t product) {
    char name[32];
    std::snprintf(name, sizeof name, "%08x_index.dat", product);
    return name;
}

std::string component_list_name(uint32_t product) {
    char name[32];
    std::snprintf(name, sizeof name, "%08x_compns.lst", product);
    return name;
}

std::string definition_file(uint32_t product, uint32_t id) {
    char name[32];
    std::snprintf(name, sizeof name, "%08x_%08x.dat", product, id);
    return name;
}

std::vector<std::string> update_files(uint32_t product, const std::string& text) {
    std::string copy = text;
    tagUPDT_BUFFER_DATA data{reinterpret_cast<unsigned char*>(copy.data()), static_cast<unsigned int>(copy.size())};
    std::vector<tagUPDT_VERSION_BUFFER> entries(copy.size() + 1);
    unsigned int count = 0;
    std::vector<std::string> names;
    if (ConvertDATBufferFormat(&data, entries.data(), static_cast<unsigned int>(entries.size()), &count) != 1)
        return names;
    for (unsigned int i = 0; i < count; ++i) {
        tagKAL_DORN_TYPE_INFOEXA named{};
        if (entries[i].chType != 0 &&
            KalDornConvertVersionRecordToVersionRecordEx(product, &entries[i].stInfo, &named) == 1)
            names.emplace_back(named.szFileName);
    }
    return names;
}

bool write_file(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    std::error_code ec;  // mode 0600, as the library gives the files it creates
    std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write, ec);
    return !out.fail() && !ec;
}

}  // namespace kaldorn::publish

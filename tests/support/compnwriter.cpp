#include "compnwriter.h"

#include <openssl/evp.h>

namespace fixtures {

namespace {

void put_stored32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(stored_byte(static_cast<uint8_t>(v >> (8 * i))));
}

void put_record(Bytes& b, const CompnEntry& e) {
    std::string name = e.name;
    uint32_t length = static_cast<uint32_t>(name.size() + 1);
    if (e.override_length) {
        length = e.name_length;
        name.resize(length, '\0');
    } else {
        name.push_back('\0');
    }
    put_stored32(b, e.flag);
    put_stored32(b, e.size);
    for (uint8_t d : e.digest) b.push_back(stored_byte(d));
    put_stored32(b, e.tag);
    put_stored32(b, length);
    for (uint8_t r : e.reserved) b.push_back(stored_byte(r));
    for (char c : name) b.push_back(stored_byte(static_cast<uint8_t>(c)));
}

}  // namespace

Bytes build_compn_list(const CompnList& spec) {
    Bytes b(kCompnHead, 0);
    for (size_t i = 0; i < 4 && i < spec.magic.size(); ++i) b[i] = static_cast<uint8_t>(spec.magic[i]);
    b[4] = spec.format[0];
    b[5] = spec.format[1];
    for (size_t i = 0; i < 32 && i < spec.maker.size(); ++i) b[6 + i] = static_cast<uint8_t>(spec.maker[i]);
    for (int i = 0; i < 3; ++i) set32(b, 60 + 4 * static_cast<size_t>(i), spec.platform[i]);
    for (const auto& e : spec.records) put_record(b, e);
    b.insert(b.end(), spec.trailing.begin(), spec.trailing.end());
    uint32_t sum = 0;
    for (size_t i = kCompnHead; i < b.size(); ++i) sum += b[i];
    set32(b, 56, spec.override_checksum ? spec.checksum : sum);
    set32(b, 76, spec.override_count ? spec.count : static_cast<uint32_t>(spec.records.size()));
    return b;
}

Bytes list_bytes(const std::vector<CompnEntry>& records) {
    CompnList spec;
    spec.records = records;
    return build_compn_list(spec);
}

Digest md5_of(const std::string& bytes) {
    Digest d{};
    unsigned int len = 0;
    EVP_Digest(bytes.data(), bytes.size(), d.data(), &len, EVP_md5(), nullptr);
    return d;
}

CompnEntry entry_for(const std::string& name, const std::string& contents, uint32_t flag) {
    CompnEntry e;
    e.flag = flag;
    e.size = static_cast<uint32_t>(contents.size());
    e.digest = md5_of(contents);
    e.name = name;
    return e;
}

}  // namespace fixtures

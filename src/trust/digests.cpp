// SHA-256 of files as a consumer of the lane reader that component
// verification uses: each lane's bytes go into a digest context of its own,
// as they arrive. A file is never read far past the size it may have.
#include <fcntl.h>
#include <openssl/evp.h>

#include <cstring>

#include "support/alloc.h"
#include "support/bytes.h"
#include "support/fileio.h"
#include "support/lane_reader.h"
#include "trust/formats.h"

namespace kaldorn::trust {

namespace {

using detail::kMaxLanes;

// The lanes read up to 16 files at once: through the ring, one system call
// opens and reads a round of them.
constexpr unsigned kLanes = kMaxLanes;

// The files of one call: handed out to the lane reader by name (or open),
// their digests taken lane by lane. A result is the SHA-256 followed by the
// length read, 8 bytes little-endian.
class Digester final : public detail::FileJobs, public detail::LaneConsumer {
public:
    Digester(int dir, const char* const* names, const uint64_t* caps, size_t count, FileDigest* out)
        : dir_(dir), names_(names), caps_(caps), count_(count), out_(out) {
        // Fetched once: an init that names the digest anew looks it up again, file after file.
        sha256_ = EVP_MD_fetch(nullptr, "SHA256", nullptr);
        for (auto& ctx : ctx_) ctx = EVP_MD_CTX_new();
    }
    ~Digester() {
        for (auto* ctx : ctx_) EVP_MD_CTX_free(ctx);
        EVP_MD_free(sha256_);
    }
    bool ready() const {
        for (auto* ctx : ctx_)
            if (ctx == nullptr) return false;
        return sha256_ != nullptr;
    }

    bool next(size_t& item, int& dir, char* name) override {
        for (; next_ < count_; ++next_) {
            out_[next_].outcome = FileRead::unreadable;
            const char* given = names_ != nullptr ? names_[next_] : "";
            if (std::strlen(given) >= KALDORN_MAX_PATH) continue;  // no such name in one directory
            std::memcpy(name, given, std::strlen(given) + 1);
            item = next_++;
            dir = dir_;
            return true;
        }
        return false;
    }

    int open_failed(size_t item, int err) override {
        const char* name = names_ != nullptr ? names_[item] : "";
        out_[item].outcome = name[0] != '\0' && detail::open_failed_missing(dir_, name, err) ? FileRead::absent
                                                                                              : FileRead::unreadable;
        return -1;
    }

    void done(size_t item, const unsigned char* result) override {
        if (result == nullptr) return;  // stays unreadable
        std::memcpy(out_[item].sha256, result, 32);
        out_[item].length = uint64_t{detail::load_le32(result + 32)} | uint64_t{detail::load_le32(result + 36)} << 32;
        out_[item].outcome = FileRead::read;
    }

    void start(unsigned lane, size_t item) override {
        item_[lane] = item;
        failed_[lane] = EVP_DigestInit_ex(ctx_[lane], sha256_, nullptr) != 1;
    }

    void take(unsigned char* area, detail::LaneState* lanes, unsigned count, bool* complete) override {
        for (unsigned l = 0; l < count; ++l) {
            detail::LaneState& lane = lanes[l];
            if (!lane.busy) continue;
            const size_t held = lane.end - lane.begin;
            if (held > 0 && !failed_[l]) failed_[l] = EVP_DigestUpdate(ctx_[l], area + lane.begin, held) != 1;
            lane.begin = lane.end;
            length_[l] = lane.length;
            // Past the size it may have, the file is done: its length tells.
            complete[l] = lane.at_end || (caps_ != nullptr && lane.length > caps_[item_[l]]);
        }
    }

    const unsigned char* result(unsigned lane) override {
        unsigned int n = 0;
        if (failed_[lane] || EVP_DigestFinal_ex(ctx_[lane], result_, &n) != 1 || n != 32) return nullptr;
        detail::store_le32(result_ + 32, static_cast<uint32_t>(length_[lane]));
        detail::store_le32(result_ + 36, static_cast<uint32_t>(length_[lane] >> 32));
        return result_;
    }

private:
    int dir_;
    const char* const* names_;
    const uint64_t* caps_;
    size_t count_;
    FileDigest* out_;
    EVP_MD* sha256_ = nullptr;
    size_t next_ = 0;
    EVP_MD_CTX* ctx_[kLanes] = {};
    size_t item_[kLanes] = {};
    uint64_t length_[kLanes] = {};
    bool failed_[kLanes] = {};
    unsigned char result_[40] = {};
};

}  // namespace

bool sha256_files(int dir, const char* const* names, const uint64_t* caps, size_t count, FileDigest* out,
                  detail::FileIo io) {
    Digester digester(dir, names, caps, count, out);
    return digester.ready() && detail::read_files(io, kLanes, count, digester, digester);
}

bool sha256_descriptor(int fd, uint64_t cap, FileDigest& out) {
    Digester digester(fd, nullptr, &cap, 1, &out);
    return digester.ready() && detail::read_files(detail::FileIo::calls, 1, 1, digester, digester);
}

}  // namespace kaldorn::trust

// Writes the seed corpus of the release fuzz targets into DIR/<target>/: a release of a small source written and
// signed by the publisher's writers, its public key, and the state that opening it records.
#include <iostream>

#include "files.h"
#include "trust/writer.h"

namespace tr = kaldorn::trust;
namespace fs = std::filesystem;

int main(int argc, char** argv) {
    if (argc != 2) return std::cerr << "usage: make_trust_corpus DIR\n", 2;
    const fx::TempDir dir;
    const fs::path src = dir.path() / "source", out = argv[1];
    fx::write_version_index(src, 1, fx::kExampleText, 8, 2);
    fx::write_engine(src, 4, {{"patterns.main", "main\n"}, {"back\\slash", "b\n"}});
    tr::SecretKey key{};
    const tr::ReleaseComment comment{"main", 7, 4102444800};
    const tr::State state{"main", 7, {1, 2, 3}};
    if (!tr::generate_keys(dir.file("k.pub").c_str(), dir.file("k.sec").c_str(), nullptr, 0, nullptr) ||
        !tr::load_secret_key(dir.file("k.sec").c_str(), nullptr, 0, key, nullptr) ||
        !tr::write_sums(src.c_str(), nullptr) || !tr::sign_sums(src.c_str(), key, comment, nullptr) ||
        !tr::write_state(dir.str().c_str(), state, nullptr))
        return std::cerr << "make_trust_corpus: the writers failed\n", 1;
    fx::write_file(out / "fuzz_release_sums/sums", fx::read_file(src / "SHA256SUMS"));
    fx::write_file(out / "fuzz_release_signature/signature", fx::read_file(src / "SHA256SUMS.minisig"));
    fx::write_file(out / "fuzz_release_signature/key", fx::read_file(dir.file("k.pub")));
    fx::write_file(out / "fuzz_release_state/state", fx::read_file(dir.file("release-main.state")));
    return 0;
}

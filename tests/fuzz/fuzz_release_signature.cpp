// minisign signature and public key files and the trusted comment of a release: never a crash, and a comment that
// parses is written back byte for byte.
#include <cstdlib>
#include <cstring>

#include "fuzz_input.h"
#include "trust/formats.h"

using namespace kaldorn::trust;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    PublicKey key;
    Signature signature;
    KAL_DORN_TRUST_ERROR error;
    parse_public_key(text, size, key, &error);
    ReleaseComment comment;
    char again[kTrustedCommentMax + 1];
    if (parse_signature(text, size, signature, &error) &&
        parse_release_comment(signature.comment, signature.comment_length, comment) &&
        (!format_release_comment(comment, again, sizeof again) || std::strlen(again) != signature.comment_length ||
         std::memcmp(again, signature.comment, signature.comment_length) != 0))
        std::abort();
    return 0;
}

// Reading a signature file (IMAGE.fw.sig), a public key file and the station
// policy, with arbitrary contents.
//
// Invariants: a signature that parses writes back to exactly the text it was
// read from (the format has one spelling); its key id and SHA-256 are lower-
// case hex of their lengths; a public key that parses has the id of its key.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "image/image_signature.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    ImageSignature signature;
    std::string problem;
    if (ParseSignature(text, signature, problem)) {
        FUZZ_CHECK(SignatureText(signature) == text);
        FUZZ_CHECK(signature.keyId.size() == 16 && signature.sha256.size() == 64);
        FUZZ_CHECK(!signature.signer.empty());
    } else {
        FUZZ_CHECK(!problem.empty());
    }
    PublicKey key;
    problem.clear();
    if (ParsePublicKey(text, key, problem)) {
        FUZZ_CHECK(PublicKeyText(key) == text);
    } else {
        FUZZ_CHECK(!problem.empty());
    }
    return 0;
}

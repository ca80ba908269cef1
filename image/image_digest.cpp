#include "image/image_digest.h"

#include <sodium.h>

std::string ImageSha256(const uint8_t* data, size_t length) {
    // Selects the library's implementations once; safe from any thread and
    // when called again.
    static const int initialized = sodium_init();
    (void)initialized;  // SHA-256 has one portable implementation: it works either way
    unsigned char digest[crypto_hash_sha256_BYTES];
    crypto_hash_sha256(digest, data, length);
    char hex[crypto_hash_sha256_BYTES * 2 + 1];
    sodium_bin2hex(hex, sizeof hex, digest, sizeof digest);
    return hex;
}

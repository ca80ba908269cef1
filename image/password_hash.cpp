#include "image/password_hash.h"

#include <sodium.h>

namespace {
// Interactive limits: the check answers within a second on a line's PC.
constexpr unsigned long long kOpsLimit = crypto_pwhash_OPSLIMIT_INTERACTIVE;
constexpr size_t kMemLimit = crypto_pwhash_MEMLIMIT_INTERACTIVE;
constexpr char kPrefix[] = "$argon2id$";

bool SodiumReady() {
    static const int initialized = sodium_init();
    return initialized >= 0;
}
}  // namespace

bool HashPassword(const std::string& password, std::string& hash) {
    if (!SodiumReady()) return false;
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str_alg(out, password.data(), password.size(), kOpsLimit, kMemLimit,
                              crypto_pwhash_ALG_ARGON2ID13) != 0)
        return false;
    hash = out;
    return true;
}

bool IsPasswordHash(const std::string& text) {
    return text.size() < crypto_pwhash_STRBYTES && text.rfind(kPrefix, 0) == 0;
}

bool PasswordMatches(const std::string& password, const std::string& hash) {
    if (!SodiumReady() || !IsPasswordHash(hash)) return false;
    return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

#pragma once
// Released images: Ed25519 key pairs and the detached signature IMAGE.fw.sig
// that a release writes beside an image (the .fw format stays as it is).
//
// Every file here is a few lines of text, "name value" each, the first naming
// the kind and its format version. A signature signs its own lines up to the
// signature line, so the signer's name, the time and the image's SHA-256 are
// all covered. Plain functions and values; any thread.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

inline constexpr int kSignatureFormatVersion = 1;

struct PublicKey {
    std::string id;      // 16 lower-case hex digits: the start of the key's SHA-256
    std::string signer;  // who holds the private key, as keygen was told
    std::array<uint8_t, 32> key{};
};

struct SecretKey {
    std::string id;
    std::string signer;
    std::array<uint8_t, 64> key{};  // libsodium's form: seed and public key
};

struct ImageSignature {
    std::string keyId;
    std::string signer;
    std::string time;    // UTC, 2026-12-07T22:15:00Z
    std::string sha256;  // of the whole image file, 64 lower-case hex digits
    std::array<uint8_t, 64> signature{};
};

// A new key pair for signer (no line breaks or control characters; at most
// 200 bytes). False with the reason in problem.
[[nodiscard]] bool MakeKeyPair(const std::string& signer, SecretKey& secret, PublicKey& pub, std::string& problem);

std::string PublicKeyText(const PublicKey& key);
std::string SecretKeyText(const SecretKey& key);
[[nodiscard]] bool ParsePublicKey(const std::string& text, PublicKey& key, std::string& problem);
[[nodiscard]] bool ParseSecretKey(const std::string& text, SecretKey& key, std::string& problem);

// The current UTC time as signatures carry it.
std::string SignatureTimeNow();
ImageSignature SignImage(const SecretKey& key, const std::string& sha256, const std::string& time);
std::string SignatureText(const ImageSignature& signature);
// Strict: the lines in their order, nothing more; false with the reason.
[[nodiscard]] bool ParseSignature(const std::string& text, ImageSignature& signature, std::string& problem);

// The signature file of an image.
std::string SignaturePath(const std::string& imagePath);

enum class ReleaseCheck {
    Released,     // the signature verifies against a trusted key and names this image
    Unsigned,     // no signature file (or the built-in image)
    Damaged,      // the signature file cannot be read as one
    NoMatch,      // the image or the signature was changed after signing
    UnknownKey,   // signed with a key that is not among the trusted ones
};

struct ReleaseReport {
    ReleaseCheck result = ReleaseCheck::Unsigned;
    std::string keyId;   // the signature's key, when it could be read
    std::string signer;  // from the trusted key, once released
    std::string problem; // what went wrong, for the person
};

// Checks the signature beside imagePath against the SHA-256 of the whole
// image file and the trusted keys.
ReleaseReport CheckImageRelease(const std::string& imagePath, const std::string& sha256,
                                const std::vector<PublicKey>& trusted);

// The SHA-256 of a whole file (header and data: a signature covers both).
[[nodiscard]] bool FileSha256(const std::string& path, std::string& sha256, std::string& problem);

// Reads a whole small text file (at most 64 KiB). False with the system's reason.
[[nodiscard]] bool ReadSmallTextFile(const std::string& path, std::string& text, std::string& problem);

// The public keys (*.pub) of each folder that exists, then each file named.
// Unreadable or damaged keys end up in problems, one line each.
std::vector<PublicKey> LoadTrustedKeys(const std::vector<std::string>& folders, const std::vector<std::string>& files,
                                       std::vector<std::string>& problems);

// The machine's station policy (station.conf): "name = value" lines, '#'
// starts a comment.
struct StationPolicy {
    bool requireSigned = false;
};
// A missing file is the default policy; a file that cannot be understood is
// false with the reason, so that a broken policy never loosens anything.
[[nodiscard]] bool ReadStationPolicy(const std::string& path, StationPolicy& policy, std::string& problem);

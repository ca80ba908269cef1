#include "image/image_signature.h"

#include <sodium.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "image/image_digest.h"
#include "link/file_path.h"
#include "res/translation.h"

namespace {

constexpr size_t kSignerLimit = 200;
constexpr size_t kTextLimit = 64 * 1024;

bool SodiumReady() {
    static const int initialized = sodium_init();
    return initialized >= 0;
}

template <size_t N>
std::string Hex(const std::array<uint8_t, N>& bytes) {
    char hex[N * 2 + 1];
    sodium_bin2hex(hex, sizeof hex, bytes.data(), N);
    return hex;
}

bool IsLowerHex(const std::string& text, size_t digits) {
    return text.size() == digits &&
           std::all_of(text.begin(), text.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

template <size_t N>
bool FromHex(const std::string& text, std::array<uint8_t, N>& bytes) {
    if (!IsLowerHex(text, N * 2)) return false;
    size_t length = 0;
    return sodium_hex2bin(bytes.data(), N, text.data(), text.size(), nullptr, &length, nullptr) == 0 && length == N;
}

bool SignerAcceptable(const std::string& signer) {
    return !signer.empty() && signer.size() <= kSignerLimit &&
           std::none_of(signer.begin(), signer.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
}

std::string KeyId(const std::array<uint8_t, 32>& key) { return ImageSha256(key.data(), key.size()).substr(0, 16); }

// Splits text into its "name value" lines, each ending in '\n'; false when
// the text is not exactly names in order, each with its value.
bool ReadLines(const std::string& text, const std::vector<const char*>& names, std::vector<std::string>& values,
               std::string& problem) {
    if (text.size() > kTextLimit) {
        problem = Tr("the file is too long");
        return false;
    }
    size_t at = 0;
    values.clear();
    for (const char* name : names) {
        const size_t end = text.find('\n', at);
        if (end == std::string::npos) {
            problem = FormatText(Tr("it ends before its \"%s\" line"), {name});
            return false;
        }
        const std::string line = text.substr(at, end - at);
        const std::string prefix = std::string(name) + " ";
        if (line.compare(0, prefix.size(), prefix) != 0) {
            problem = FormatText(Tr("line %s should be \"%s ...\""), {std::to_string(values.size() + 1), name});
            return false;
        }
        values.push_back(line.substr(prefix.size()));
        at = end + 1;
    }
    if (at != text.size()) {
        problem = Tr("it goes on after its last line");
        return false;
    }
    return true;
}

bool CheckVersion(const std::string& value, std::string& problem) {
    if (value == std::to_string(kSignatureFormatVersion)) return true;
    problem = FormatText(Tr("format version %s is not one this program reads (it reads %s)"),
                         {value.substr(0, 20), std::to_string(kSignatureFormatVersion)});
    return false;
}

bool CheckIdAndSigner(const std::string& id, const std::string& signer, std::string& problem) {
    if (!IsLowerHex(id, 16)) {
        problem = Tr("the key id is not 16 hex digits");
        return false;
    }
    if (!SignerAcceptable(signer)) {
        problem = Tr("the signer's name is empty, too long or holds control characters");
        return false;
    }
    return true;
}

// What the signature covers: every line before the signature line.
std::string SignedPart(const ImageSignature& s) {
    return "kavro-signature " + std::to_string(kSignatureFormatVersion) + "\nkey-id " + s.keyId + "\nsigner " +
           s.signer + "\ntime " + s.time + "\nsha256 " + s.sha256 + "\n";
}

bool TimeAcceptable(const std::string& time) {
    static const std::string kShape = "dddd-dd-ddTdd:dd:ddZ";
    if (time.size() != kShape.size()) return false;
    for (size_t i = 0; i < time.size(); ++i) {
        if (kShape[i] == 'd' ? (time[i] < '0' || time[i] > '9') : time[i] != kShape[i]) return false;
    }
    return true;
}

}  // namespace

bool MakeKeyPair(const std::string& signer, SecretKey& secret, PublicKey& pub, std::string& problem) {
    if (!SignerAcceptable(signer)) {
        problem = Tr("the signer's name is empty, too long or holds control characters");
        return false;
    }
    if (!SodiumReady()) {
        problem = Tr("the cryptographic library cannot start");
        return false;
    }
    crypto_sign_keypair(pub.key.data(), secret.key.data());
    pub.id = secret.id = KeyId(pub.key);
    pub.signer = secret.signer = signer;
    return true;
}

std::string PublicKeyText(const PublicKey& key) {
    return "kavro-public-key " + std::to_string(kSignatureFormatVersion) + "\nkey-id " + key.id + "\nsigner " +
           key.signer + "\npublic " + Hex(key.key) + "\n";
}

std::string SecretKeyText(const SecretKey& key) {
    return "kavro-secret-key " + std::to_string(kSignatureFormatVersion) + "\nkey-id " + key.id + "\nsigner " +
           key.signer + "\nsecret " + Hex(key.key) + "\n";
}

bool ParsePublicKey(const std::string& text, PublicKey& key, std::string& problem) {
    std::vector<std::string> v;
    if (!ReadLines(text, {"kavro-public-key", "key-id", "signer", "public"}, v, problem) ||
        !CheckVersion(v[0], problem) || !CheckIdAndSigner(v[1], v[2], problem))
        return false;
    if (!FromHex(v[3], key.key)) {
        problem = Tr("the public key is not 64 hex digits");
        return false;
    }
    if (KeyId(key.key) != v[1]) {
        problem = Tr("the key id does not belong to the key");
        return false;
    }
    key.id = v[1];
    key.signer = v[2];
    return true;
}

bool ParseSecretKey(const std::string& text, SecretKey& key, std::string& problem) {
    std::vector<std::string> v;
    if (!ReadLines(text, {"kavro-secret-key", "key-id", "signer", "secret"}, v, problem) ||
        !CheckVersion(v[0], problem) || !CheckIdAndSigner(v[1], v[2], problem))
        return false;
    if (!FromHex(v[3], key.key)) {
        problem = Tr("the private key is not 128 hex digits");
        return false;
    }
    std::array<uint8_t, 32> pub{};
    std::copy(key.key.begin() + 32, key.key.end(), pub.begin());
    if (KeyId(pub) != v[1]) {
        problem = Tr("the key id does not belong to the key");
        return false;
    }
    key.id = v[1];
    key.signer = v[2];
    return true;
}

std::string SignatureTimeNow() {
    using namespace std::chrono;
    const auto now = floor<seconds>(system_clock::now());
    const auto day = floor<days>(now);
    const year_month_day date{day};
    const hh_mm_ss<seconds> clock{now - day};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02ld:%02ld:%02lldZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<long>(clock.hours().count()), static_cast<long>(clock.minutes().count()),
                  static_cast<long long>(clock.seconds().count()));
    return text;
}

ImageSignature SignImage(const SecretKey& key, const std::string& sha256, const std::string& time) {
    (void)SodiumReady();  // signing has one portable implementation: it works either way
    ImageSignature s;
    s.keyId = key.id;
    s.signer = key.signer;
    s.time = time;
    s.sha256 = sha256;
    const std::string message = SignedPart(s);
    crypto_sign_detached(s.signature.data(), nullptr, reinterpret_cast<const unsigned char*>(message.data()),
                         message.size(), key.key.data());
    return s;
}

std::string SignatureText(const ImageSignature& signature) {
    return SignedPart(signature) + "signature " + Hex(signature.signature) + "\n";
}

bool ParseSignature(const std::string& text, ImageSignature& signature, std::string& problem) {
    std::vector<std::string> v;
    if (!ReadLines(text, {"kavro-signature", "key-id", "signer", "time", "sha256", "signature"}, v, problem) ||
        !CheckVersion(v[0], problem) || !CheckIdAndSigner(v[1], v[2], problem))
        return false;
    if (!TimeAcceptable(v[3])) {
        problem = Tr("the time is not a UTC time such as 2026-12-07T22:15:00Z");
        return false;
    }
    if (!IsLowerHex(v[4], 64)) {
        problem = Tr("the SHA-256 is not 64 hex digits");
        return false;
    }
    if (!FromHex(v[5], signature.signature)) {
        problem = Tr("the signature is not 128 hex digits");
        return false;
    }
    signature.keyId = v[1];
    signature.signer = v[2];
    signature.time = v[3];
    signature.sha256 = v[4];
    return true;
}

std::string SignaturePath(const std::string& imagePath) { return imagePath + ".sig"; }

ReleaseReport CheckImageRelease(const std::string& imagePath, const std::string& sha256,
                                const std::vector<PublicKey>& trusted) {
    ReleaseReport report;
    const std::string path = SignaturePath(imagePath);
    std::error_code ignored;
    if (imagePath.empty() || !std::filesystem::exists(PathFromUtf8(path), ignored)) {
        report.problem = imagePath.empty() ? std::string(Tr("the built-in image has no signature"))
                                           : FormatText(Tr("%s has no signature (%s is missing)"), {imagePath, path});
        return report;
    }
    std::string text, why;
    ImageSignature signature;
    if (!ReadSmallTextFile(path, text, why) || !ParseSignature(text, signature, why)) {
        report.result = ReleaseCheck::Damaged;
        report.problem = FormatText(Tr("its signature %s is damaged: %s"), {path, why});
        return report;
    }
    report.keyId = signature.keyId;
    const auto key = std::find_if(trusted.begin(), trusted.end(), [&](const PublicKey& k) { return k.id == signature.keyId; });
    if (key == trusted.end()) {
        report.result = ReleaseCheck::UnknownKey;
        report.problem = FormatText(Tr("it is signed with key %s (\"%s\"), which is not trusted here"),
                                    {signature.keyId, signature.signer});
        return report;
    }
    const std::string message = SignedPart(signature);
    (void)SodiumReady();
    if (signature.sha256 != sha256 ||
        crypto_sign_verify_detached(signature.signature.data(), reinterpret_cast<const unsigned char*>(message.data()),
                                    message.size(), key->key.data()) != 0) {
        report.result = ReleaseCheck::NoMatch;
        report.problem = FormatText(Tr("its signature %s does not match it (the image or the signature was changed "
                                       "after signing)"),
                                    {path});
        return report;
    }
    report.result = ReleaseCheck::Released;
    report.signer = key->signer;
    return report;
}

namespace {
struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using ReadFile = std::unique_ptr<std::FILE, FileCloser>;

// The file opened for reading, or null with the system's reason in problem.
ReadFile OpenForReading(const std::string& path, std::string& problem) {
    ReadFile file(OpenFileUtf8(path, "rb"));
    if (!file) problem = std::strerror(errno);
    return file;
}
}  // namespace

bool FileSha256(const std::string& path, std::string& sha256, std::string& problem) {
    const ReadFile file = OpenForReading(path, problem);
    if (!file) return false;
    (void)SodiumReady();
    crypto_hash_sha256_state state;
    crypto_hash_sha256_init(&state);
    unsigned char buffer[16384];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) crypto_hash_sha256_update(&state, buffer, got);
    if (std::ferror(file.get())) {
        problem = Tr("it cannot be read");
        return false;
    }
    std::array<uint8_t, crypto_hash_sha256_BYTES> digest{};
    crypto_hash_sha256_final(&state, digest.data());
    sha256 = Hex(digest);
    return true;
}

bool ReadSmallTextFile(const std::string& path, std::string& text, std::string& problem) {
    const ReadFile file = OpenForReading(path, problem);
    if (!file) return false;
    text.clear();
    char buffer[4096];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
        text.append(buffer, got);
        if (text.size() > kTextLimit) {
            problem = Tr("the file is too long");
            return false;
        }
    }
    if (std::ferror(file.get())) {
        problem = Tr("it cannot be read");
        return false;
    }
    return true;
}

std::vector<PublicKey> LoadTrustedKeys(const std::vector<std::string>& folders, const std::vector<std::string>& files,
                                       std::vector<std::string>& problems) {
    std::vector<std::string> paths;
    for (const std::string& folder : folders) {
        std::error_code error;
        std::vector<std::string> found;
        for (const auto& entry : std::filesystem::directory_iterator(PathFromUtf8(folder), error)) {
            if (entry.path().extension() == ".pub") found.push_back(Utf8FromPath(entry.path()));
        }
        std::sort(found.begin(), found.end());
        paths.insert(paths.end(), found.begin(), found.end());
    }
    paths.insert(paths.end(), files.begin(), files.end());
    std::vector<PublicKey> keys;
    for (const std::string& path : paths) {
        std::string text, why;
        PublicKey key;
        if (ReadSmallTextFile(path, text, why) && ParsePublicKey(text, key, why))
            keys.push_back(std::move(key));
        else
            problems.push_back(FormatText(Tr("Trusted key %s cannot be used: %s"), {path, why}));
    }
    return keys;
}

bool ReadStationPolicy(const std::string& path, StationPolicy& policy, std::string& problem) {
    policy = StationPolicy{};
    std::error_code ignored;
    if (!std::filesystem::exists(PathFromUtf8(path), ignored)) return true;
    std::string text;
    if (!ReadSmallTextFile(path, text, problem)) return false;
    size_t at = 0, number = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        at = end + 1;
        ++number;
        line = line.substr(0, line.find('#'));
        const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
        const auto trim = [&](std::string s) {
            while (!s.empty() && blank(s.back())) s.pop_back();
            while (!s.empty() && blank(s.front())) s.erase(s.begin());
            return s;
        };
        if (trim(line).empty()) continue;
        const size_t equals = line.find('=');
        const std::string name = trim(line.substr(0, equals));
        const std::string value = equals == std::string::npos ? "" : trim(line.substr(equals + 1));
        if (name == "require-signed" && (value == "true" || value == "false")) {
            policy.requireSigned = value == "true";
            continue;
        }
        problem = FormatText(Tr("line %s is not understood (known: require-signed = true or false)"),
                             {std::to_string(number)});
        return false;
    }
    return true;
}

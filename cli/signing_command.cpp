#include "cli/signing_command.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <filesystem>

#include "cli/exit_codes.h"
#include "image/firmware_image.h"
#include "image/image_digest.h"
#include "image/image_signature.h"
#include "image/release_paths.h"
#include "link/file_path.h"
#include "res/translation.h"

namespace {

void PrintError(const std::string& text) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
}

// The SHA-256 of the image file as it is now, "" when it cannot be read or no
// longer ends with the data that was loaded (replaced in between): the
// signature must cover exactly the bytes the bays will send.
std::string ReleasedBytesSha256(const FirmwareImage& image) {
    if (image.BuiltIn()) return {};
    std::ifstream file(PathFromUtf8(image.path), std::ios::binary);
    if (!file) return {};
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (bytes.size() < image.data.size() ||
        !std::equal(image.data.begin(), image.data.end(), bytes.end() - static_cast<std::ptrdiff_t>(image.data.size())))
        return {};
    return ImageSha256(bytes.data(), bytes.size());
}

}  // namespace

int CommandKeygen(const std::string& name, const std::string& signer) {
    const std::string who = signer.empty() ? Utf8FromPath(PathFromUtf8(name).filename()) : signer;
    SecretKey secret;
    PublicKey pub;
    std::string problem;
    if (!MakeKeyPair(who, secret, pub, problem)) {
        PrintError(FormatText(Tr("No key was made: %s"), {problem}));
        return kExitUsage;
    }
    const std::string secretPath = name + ".key";
    const std::string publicPath = name + ".pub";
    if (!WriteOwnerOnlyFile(secretPath, SecretKeyText(secret), problem)) {
        PrintError(FormatText(Tr("cannot write %s: %s"), {secretPath, problem}));
        return kExitUsage;
    }
    if (!WriteNewTextFile(publicPath, PublicKeyText(pub), problem)) {
        std::error_code ignored;
        std::filesystem::remove(PathFromUtf8(secretPath), ignored);  // a private key without its public half is of no use
        PrintError(FormatText(Tr("cannot write %s: %s"), {publicPath, problem}));
        return kExitUsage;
    }
    std::printf("%s\n", FormatText(Tr("Key %s of \"%s\": private key %s (keep it to yourself), public key %s"),
                                   {pub.id, pub.signer, secretPath, publicPath})
                            .c_str());
    return kExitOk;
}

bool SignImageFile(const std::string& image, const std::string& keyPath, bool overwrite) {
    std::string text, problem, sha256;
    SecretKey key;
    if (!ReadSmallTextFile(keyPath, text, problem) || !ParseSecretKey(text, key, problem)) {
        PrintError(FormatText(Tr("Private key %s cannot be used: %s"), {keyPath, problem}));
        return false;
    }
    if (!FileSha256(image, sha256, problem)) {
        PrintError(FormatText(Tr("Image cannot be used: %s"), {problem}));
        return false;
    }
    const std::string path = SignaturePath(image);
    const std::string signature = SignatureText(SignImage(key, sha256, SignatureTimeNow()));
    std::error_code ignored;
    if (overwrite) std::filesystem::remove(PathFromUtf8(path), ignored);
    if (!WriteNewTextFile(path, signature, problem)) {
        PrintError(std::filesystem::exists(PathFromUtf8(path), ignored) ? FormatText(Tr("%s exists; --overwrite replaces it"), {path})
                                                          : FormatText(Tr("cannot write %s: %s"), {path, problem}));
        return false;
    }
    std::printf("%s\n", FormatText(Tr("Signed %s with key %s of \"%s\": %s"), {image, key.id, key.signer, path}).c_str());
    return true;
}

int CommandSign(const std::string& image, const std::string& keyPath, bool overwrite) {
    return SignImageFile(image, keyPath, overwrite) ? kExitOk : kExitImage;
}

bool CheckReleasedImage(const ReleaseOptions& options, FirmwareImage& image) {
    StationPolicy policy;
    std::string problem;
    if (!ReadStationPolicy(StationPolicyPath(), policy, problem)) {
        PrintError(FormatText(Tr("The station policy %s cannot be used: %s"), {StationPolicyPath(), problem}));
        PrintError(Tr("Nothing was sent."));
        return false;
    }
    const bool required = options.requireSigned || policy.requireSigned;
    std::vector<std::string> keyProblems;
    const std::vector<PublicKey> trusted = LoadTrustedKeys(TrustFolders(), options.trust, keyProblems);
    const ReleaseReport report = CheckImageRelease(image.path, ReleasedBytesSha256(image), trusted);
    if (report.result == ReleaseCheck::Released) {
        image.keyId = report.keyId;
        image.signer = report.signer;
        return true;
    }
    if (!required) return true;
    for (const std::string& line : keyProblems) PrintError(line);
    PrintError(FormatText(Tr("Image refused: %s"), {report.problem}));
    PrintError(Tr("Nothing was sent."));
    return false;
}

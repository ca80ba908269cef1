#include "cli/signing_command.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <filesystem>

#include "cli/exit_codes.h"
#include "image/firmware_image.h"
#include "image/image_release.h"
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
    const ReleaseDecision decision = DecideImageRelease(options.requireSigned, options.trust, image);
    if (decision.verdict == ReleaseVerdict::Accepted) return true;
    if (decision.verdict == ReleaseVerdict::PolicyBroken) {
        PrintError(decision.problem);
    } else {
        for (const std::string& line : decision.keyProblems) PrintError(line);
        PrintError(FormatText(Tr("Image refused: %s"), {decision.problem}));
    }
    PrintError(Tr("Nothing was sent."));
    return false;
}

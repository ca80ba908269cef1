#include "image/image_release.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>

#include "image/image_digest.h"
#include "image/image_signature.h"
#include "image/release_paths.h"
#include "link/file_path.h"
#include "res/translation.h"

namespace {
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

ReleaseDecision DecideImageRelease(bool requireSigned, const std::vector<std::string>& trustFiles,
                                   FirmwareImage& image) {
    ReleaseDecision decision;
    StationPolicy policy;
    std::string problem;
    if (!ReadStationPolicy(StationPolicyPath(), policy, problem)) {
        decision.verdict = ReleaseVerdict::PolicyBroken;
        decision.problem = FormatText(Tr("The station policy %s cannot be used: %s"), {StationPolicyPath(), problem});
        return decision;
    }
    const std::vector<PublicKey> trusted = LoadTrustedKeys(TrustFolders(), trustFiles, decision.keyProblems);
    const ReleaseReport report = CheckImageRelease(image.path, ReleasedBytesSha256(image), trusted);
    image.keyId.clear();
    image.signer.clear();
    if (report.result == ReleaseCheck::Released) {
        image.keyId = report.keyId;
        image.signer = report.signer;
        return decision;
    }
    if (!requireSigned && !policy.requireSigned) return decision;
    decision.verdict = ReleaseVerdict::Refused;
    decision.problem = report.problem;
    return decision;
}

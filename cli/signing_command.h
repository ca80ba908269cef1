#pragma once
// `kavro-cli keygen`, `kavro-cli sign` and the check of a released image
// before a station starts. Main thread only; failures on standard error.
#include <string>
#include <vector>

struct FirmwareImage;

// Writes NAME.key (owner only) and NAME.pub; signer "" names the key after NAME.
int CommandKeygen(const std::string& name, const std::string& signer);
// Writes IMAGE.sig beside image, signed with the private key file keyPath.
int CommandSign(const std::string& image, const std::string& keyPath, bool overwrite);
// The signing step of `sign` and `pack --sign`: false after saying why.
[[nodiscard]] bool SignImageFile(const std::string& image, const std::string& keyPath, bool overwrite);

struct ReleaseOptions {
    bool requireSigned = false;       // --require-signed
    std::vector<std::string> trust;   // --trust FILE...
};
// Before any bay starts: whether image may be flashed here (the machine's
// policy may require a signature too). Fills the image's signer when its
// signature verifies; false after saying why.
[[nodiscard]] bool CheckReleasedImage(const ReleaseOptions& options, FirmwareImage& image);

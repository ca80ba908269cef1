#pragma once
// Whether a station may flash an image: its signature checked against the
// trusted keys (the trust folders and the files named), and required when the
// station is set so or the machine's policy says so. The same decision for
// both front ends; nothing printed. Any thread.
#include <string>
#include <vector>

#include "image/firmware_image.h"

enum class ReleaseVerdict {
    Accepted,      // released, or unsigned where no signature is required
    PolicyBroken,  // the machine's policy file cannot be understood (nothing is loosened)
    Refused,       // a signature is required and this image has none that verifies
};

struct ReleaseDecision {
    ReleaseVerdict verdict = ReleaseVerdict::Accepted;
    std::string problem;                   // why not, for the person
    std::vector<std::string> keyProblems;  // trusted keys that could not be read (shown with a refusal)
};

// Checks image (loaded from its path) and, when released, fills its keyId and signer.
ReleaseDecision DecideImageRelease(bool requireSigned, const std::vector<std::string>& trustFiles,
                                   FirmwareImage& image);

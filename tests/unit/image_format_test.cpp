// The image format's pure functions: the checksum, version parsing, the packer
// and the built-in image the build embeds.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <fstream>
#include <string>
#include <vector>

#include "image/firmware_format.h"
#include "image/image_digest.h"
#include "image/image_signature.h"
#include "res/resources.h"
#include "res/translation.h"

namespace {
using Bytes = std::vector<uint8_t>;

uint32_t Le32At(const Bytes& b, size_t at) {
    return uint32_t{b[at]} | uint32_t{b[at + 1]} << 8 | uint32_t{b[at + 2]} << 16 | uint32_t{b[at + 3]} << 24;
}

TEST(ImageChecksum, WorkedExamples) {
    const uint8_t abc[] = {'a', 'b', 'c'};
    EXPECT_EQ(ImageChecksum(abc, 3), 0x0126);
    const Bytes ff257(257, 0xFF), ff258(258, 0xFF);
    EXPECT_EQ(ImageChecksum(ff257.data(), ff257.size()), 0xFFFF);
    EXPECT_EQ(ImageChecksum(ff258.data(), ff258.size()), 0x00FE);
    EXPECT_EQ(ImageChecksum(nullptr, 0), 0);
}

TEST(ParseVersion, AcceptsMajorPointTwoDigitMinor) {
    Version v;
    ASSERT_TRUE(ParseVersion("2.09", v));
    EXPECT_EQ(v, (Version{2, 9}));
    ASSERT_TRUE(ParseVersion("0.00", v));
    EXPECT_EQ(v, (Version{0, 0}));
    ASSERT_TRUE(ParseVersion("4294967295.99", v));
    EXPECT_EQ(v, (Version{4294967295u, 99}));
    ASSERT_TRUE(ParseVersion("007.10", v));
    EXPECT_EQ(v, (Version{7, 10}));
}

TEST(ParseVersion, RefusesMalformedTextAndLeavesTheResultAlone) {
    for (const char* text : {"1.5", "x.00", "1.000", "", "4294967296.00", "1", ".00", "1.", "1.0x", "-1.00",
                             "1 .00", "1.00 ", "99999999999.00", "1,00"}) {
        Version v{77, 7};
        EXPECT_FALSE(ParseVersion(text, v)) << '"' << text << '"';
        EXPECT_EQ(v, (Version{77, 7})) << '"' << text << '"';
    }
}

PackRequest Request(std::string name) {
    PackRequest r;
    r.name = std::move(name);
    r.sw = {1, 2};
    r.hwLowest = {0x01020304u, 5};
    r.hwHighest = {0xA0B0C0D0u, 6};
    return r;
}

TEST(PackImage, WritesTheLittleEndianHeaderAndTheData) {
    const Bytes data = {'a', 'b', 'c'};
    Bytes image;
    std::string error;
    ASSERT_TRUE(PackImage(Request("demo"), data, image, error)) << error;
    ASSERT_EQ(image.size(), IMAGE_HEADER_SIZE + 3);
    EXPECT_EQ(image[0], 'F');
    EXPECT_EQ(image[1], 'W');
    EXPECT_EQ(image[2], 0x26);
    EXPECT_EQ(image[3], 0x01);
    EXPECT_EQ(Le32At(image, 4), 3u);
    EXPECT_EQ(image[8], 1);
    EXPECT_EQ(image[9], 2);
    EXPECT_EQ(Le32At(image, 10), 0x01020304u);
    EXPECT_EQ(image[14], 5);
    EXPECT_EQ(Le32At(image, 15), 0xA0B0C0D0u);
    EXPECT_EQ(image[19], 6);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&image[20])), "demo");
    for (size_t i = 20 + 4; i < IMAGE_HEADER_SIZE; ++i) EXPECT_EQ(image[i], 0) << i;
    EXPECT_EQ(Bytes(image.begin() + IMAGE_HEADER_SIZE, image.end()), data);

    ImageHeader parsed;
    ParseImageHeader(image.data(), parsed);
    EXPECT_EQ(parsed.checksum, 0x0126);
    EXPECT_EQ(parsed.length, 3u);
    EXPECT_EQ(parsed.info.hwLowestMajor, 0x01020304u);
    EXPECT_EQ(parsed.info.hwHighestMajor, 0xA0B0C0D0u);
    EXPECT_STREQ(parsed.info.name.Text(), "demo");
}

TEST(PackImage, TakesTheLimitsThemselves) {
    Bytes image;
    std::string error;
    EXPECT_TRUE(PackImage(Request(std::string(108, 'n')), {}, image, error)) << error;
    EXPECT_EQ(image.size(), IMAGE_HEADER_SIZE);
    EXPECT_TRUE(PackImage(Request("x"), Bytes(65535, 1), image, error)) << error;
    EXPECT_EQ(image.size(), IMAGE_HEADER_SIZE + 65535);
    PackRequest r = Request("x");
    r.sw = {255, 99};
    EXPECT_TRUE(PackImage(r, {}, image, error)) << error;
}

// A stand-in catalogue that swaps the values of the data limit's text.
const char* ReorderedTranslation(const char* english) {
    return std::string(english) == "the data have %s bytes; at most %s can be downloaded" ? "%2$s < %1$s" : english;
}

TEST(PackImage, RefusesWhatTheFormatCannotHold) {
    Bytes image;
    std::string error;
    EXPECT_FALSE(PackImage(Request(std::string(109, 'n')), {}, image, error));
    EXPECT_EQ(error, "the name has 109 characters; at most 108 fit");
    error.clear();
    EXPECT_FALSE(PackImage(Request("x"), Bytes(65536, 1), image, error));
    EXPECT_EQ(error, "the data have 65536 bytes; at most 65535 can be downloaded");
    // In the person's language, the values where the translation puts them.
    SetTextTranslator(&ReorderedTranslation);
    EXPECT_FALSE(PackImage(Request("x"), Bytes(70000, 1), image, error));
    SetTextTranslator(nullptr);
    EXPECT_EQ(error, "65535 < 70000");
    error.clear();
    PackRequest r = Request("x");
    r.sw = {256, 0};
    EXPECT_FALSE(PackImage(r, {}, image, error));
    EXPECT_FALSE(error.empty());
    error.clear();
    EXPECT_FALSE(PackImage(Request(std::string("a\0b", 3)), {}, image, error));
    EXPECT_FALSE(error.empty());
}

TEST(BuiltInImage, EmbeddedResourceIsTheReproduciblePackedImage) {
    Bytes expected;
    std::string error;
    ASSERT_TRUE(PackImage(BuiltInPackRequest(), BuiltInPayload(), expected, error)) << error;
    const unsigned char* data = nullptr;
    size_t size = 0;
    ASSERT_TRUE(FindEmbeddedResource("FWFILE", "FW", data, size));
    ASSERT_EQ(size, expected.size());
    EXPECT_TRUE(Bytes(data, data + size) == expected);
    // Deterministic and of the documented size.
    EXPECT_EQ(BuiltInPayload(), BuiltInPayload());
    EXPECT_EQ(BuiltInPayload().size(), 24u * 1024u);
}

TEST(BuiltInImage, OtherNamesAndTypesAreNotFound) {
    const unsigned char* data = nullptr;
    size_t size = 0;
    EXPECT_FALSE(FindEmbeddedResource("FWFILE", "RT", data, size));
    EXPECT_FALSE(FindEmbeddedResource("FW", "FWFILE", data, size));
    EXPECT_FALSE(FindEmbeddedResource(nullptr, "FW", data, size));
}
// The published SHA-256 test vectors (FIPS 180-2), as 64 lower-case digits.
TEST(ImageDigest, Sha256MatchesTheStandardVectors) {
    const std::string abc = "abc";
    EXPECT_EQ(ImageSha256(reinterpret_cast<const uint8_t*>(abc.data()), abc.size()),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(ImageSha256(nullptr, 0), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    const std::vector<uint8_t> million(1000000, 'a');
    EXPECT_EQ(ImageSha256(million.data(), million.size()),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}
// A folder of its own for one test, on every system; removed afterwards.
class SignatureFolder {
public:
    explicit SignatureFolder(const std::string& name)
        : m_path(std::filesystem::temp_directory_path() / ("kavro-signature-" + name + "-" +
                                                           std::to_string(std::random_device{}()))) {
        std::filesystem::create_directories(m_path);
    }
    ~SignatureFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    std::string File(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

// A signature covers every line before its own: another signer's name or
// time, another image, or another key makes it fail; key files keep their
// id honest.
TEST(ImageSignature, CoversItsLinesTheImageAndTheKey) {
    SecretKey secret, otherSecret;
    PublicKey key, other;
    std::string problem;
    ASSERT_TRUE(MakeKeyPair("Release Office", secret, key, problem)) << problem;
    ASSERT_TRUE(MakeKeyPair("Someone Else", otherSecret, other, problem)) << problem;
    EXPECT_FALSE(MakeKeyPair("two\nlines", otherSecret, other, problem));

    const SignatureFolder dir("cover");
    const std::string image = dir.File("p.fw");
    std::ofstream(image, std::ios::binary) << "image bytes";
    std::string sha256;
    ASSERT_TRUE(FileSha256(image, sha256, problem)) << problem;
    EXPECT_EQ(sha256, ImageSha256(reinterpret_cast<const uint8_t*>("image bytes"), 11));
    const std::string text = SignatureText(SignImage(secret, sha256, "2026-12-07T22:15:00Z"));
    std::ofstream(SignaturePath(image), std::ios::binary) << text;
    ReleaseReport report = CheckImageRelease(image, sha256, {other, key});
    EXPECT_EQ(report.result, ReleaseCheck::Released) << report.problem;
    EXPECT_EQ(report.keyId, key.id);
    EXPECT_EQ(report.signer, "Release Office");
    EXPECT_EQ(CheckImageRelease(image, std::string(64, '0'), {key}).result, ReleaseCheck::NoMatch);
    EXPECT_EQ(CheckImageRelease(image, sha256, {other}).result, ReleaseCheck::UnknownKey);

    std::string forged = text;
    forged.replace(forged.find("Release Office"), 14, "Release Offica");
    std::ofstream(SignaturePath(image), std::ios::binary | std::ios::trunc) << forged;
    EXPECT_EQ(CheckImageRelease(image, sha256, {key}).result, ReleaseCheck::NoMatch) << "the signer's name is signed";

    PublicKey read;
    EXPECT_TRUE(ParsePublicKey(PublicKeyText(key), read, problem)) << problem;
    EXPECT_EQ(read.key, key.key);
    std::string lying = PublicKeyText(other);
    lying.replace(lying.find(other.id), 16, key.id);
    EXPECT_FALSE(ParsePublicKey(lying, read, problem));
    SecretKey readSecret;
    EXPECT_TRUE(ParseSecretKey(SecretKeyText(secret), readSecret, problem)) << problem;
}

// The machine's policy: comments and blanks pass, a missing file is the
// default, anything not understood is refused rather than ignored.
TEST(ImageSignature, StationPolicyIsReadStrictly) {
    const SignatureFolder dir("policy");
    StationPolicy policy;
    std::string problem;
    EXPECT_TRUE(ReadStationPolicy(dir.File("none.conf"), policy, problem));
    EXPECT_FALSE(policy.requireSigned);
    std::ofstream(dir.File("on.conf")) << "# the line\n\n  require-signed = true  # always\n";
    EXPECT_TRUE(ReadStationPolicy(dir.File("on.conf"), policy, problem)) << problem;
    EXPECT_TRUE(policy.requireSigned);
    std::ofstream(dir.File("bad.conf")) << "require-signed = true\nrequire-signd = false\n";
    EXPECT_FALSE(ReadStationPolicy(dir.File("bad.conf"), policy, problem));
    EXPECT_NE(problem.find("line 2"), std::string::npos) << problem;
}
}  // namespace

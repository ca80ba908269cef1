// Loading images into the link: from readers (memory and files) and from the
// built-in resource; checksum verification and the treatment of damaged,
// truncated and oversized inputs.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "image/file_reader.h"
#include "image/firmware_format.h"
#include "image/image_loading.h"
#include "link/device_link.h"
#include "res/resources.h"
#include "tests/support/test_data.h"

namespace {
using Bytes = std::vector<uint8_t>;
// Seed 1 keeps the samples these tests were written against.
Bytes Pattern(size_t n, uint32_t seed = 1) { return testdata::Pattern(n, seed); }
namespace fs = std::filesystem;

// Header fields as they go into a file, so that headers the packer refuses
// (wrong checksums, lengths past the end) can be made too.
struct RawHeader {
    uint8_t magic[2] = {'F', 'W'};
    uint16_t checksum = 0;
    uint32_t length = 0;
    uint8_t swMajor = 0, swMinor = 0;
    uint32_t lowMajor = 0;
    uint8_t lowMinor = 0;
    uint32_t highMajor = 0;
    uint8_t highMinor = 0;
    std::string name;  // copied as it is, zeros included; at most 108 bytes
};

void PutLe(Bytes& b, size_t at, uint32_t v, int n) {
    for (int i = 0; i < n; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// Header followed by data, checksum and length exactly as in h.
Bytes Raw(const RawHeader& h, const Bytes& data = {}) {
    Bytes b(IMAGE_HEADER_SIZE, 0);
    b[0] = h.magic[0];
    b[1] = h.magic[1];
    PutLe(b, 2, h.checksum, 2);
    PutLe(b, 4, h.length, 4);
    b[8] = h.swMajor;
    b[9] = h.swMinor;
    PutLe(b, 10, h.lowMajor, 4);
    b[14] = h.lowMinor;
    PutLe(b, 15, h.highMajor, 4);
    b[19] = h.highMinor;
    std::memcpy(b.data() + 20, h.name.data(), std::min(h.name.size(), IMAGE_NAME_SIZE));
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

// A consistent image: length and checksum computed from the data.
Bytes Valid(RawHeader h, const Bytes& data) {
    h.length = static_cast<uint32_t>(data.size());
    h.checksum = ImageChecksum(data.data(), data.size());
    return Raw(h, data);
}

RawHeader SampleHeader(const std::string& name = "sample") {
    RawHeader h;
    h.swMajor = 3;
    h.swMinor = 7;
    h.lowMajor = 0x01000002u;
    h.lowMinor = 4;
    h.highMajor = 0x80000001u;
    h.highMinor = 250;
    h.name = name;
    return h;
}

Bytes DataOf(const CDeviceLink& link) {
    if (!link.HasImageData()) return {};
    return Bytes(link.m_data.get(), link.m_data.get() + link.m_length);
}

class ImageLoading : public ::testing::Test {
protected:
    bool Load(const Bytes& file, const std::string& path = "/images/test.fw") {
        CMemoryImageReader reader(file.data(), file.size(), path);
        return link.LoadImageFromArchive(reader);
    }
    // Loads a first, good image so a later failure has something to lose.
    void LoadGood() {
        ASSERT_TRUE(Load(Valid(SampleHeader("previous"), Pattern(300, 9)), "/images/previous.fw"));
        ASSERT_TRUE(link.HasImageData());
    }
    CDeviceLink link;
};

TEST_F(ImageLoading, NothingIsLoadedAtFirst) {
    EXPECT_FALSE(link.HasImageData());
    EXPECT_EQ(link.m_length, 0u);
    EXPECT_EQ(link.m_checksum, 0);
    EXPECT_STREQ(link.m_imagePath.Text(), "");
    EXPECT_STREQ(link.m_firmware.name.Text(), "");
    EXPECT_FALSE(link.VerifyChecksum());
}

TEST_F(ImageLoading, ValidFileFillsEveryImageMember) {
    const Bytes data = Pattern(1000);
    ASSERT_TRUE(Load(Valid(SampleHeader("Board X rev. 2"), data), "/images/board.fw"));
    EXPECT_STREQ(link.m_imagePath.Text(), "/images/board.fw");
    EXPECT_EQ(link.m_length, 1000u);
    EXPECT_EQ(link.m_checksum, ImageChecksum(data.data(), data.size()));
    EXPECT_EQ(link.m_firmware.swMajor, 3);
    EXPECT_EQ(link.m_firmware.swMinor, 7);
    EXPECT_EQ(link.m_firmware.hwLowestMajor, 0x01000002u);
    EXPECT_EQ(link.m_firmware.hwLowestMinor, 4);
    EXPECT_EQ(link.m_firmware.hwHighestMajor, 0x80000001u);
    EXPECT_EQ(link.m_firmware.hwHighestMinor, 250);
    EXPECT_STREQ(link.m_firmware.name.Text(), "Board X rev. 2");
    EXPECT_EQ(DataOf(link), data);
    EXPECT_TRUE(link.VerifyChecksum());
}

TEST_F(ImageLoading, ChecksumWorkedExamplesDecideTheLoad) {
    RawHeader h = SampleHeader();
    h.length = 3;
    h.checksum = 0x0126;
    EXPECT_TRUE(Load(Raw(h, {'a', 'b', 'c'})));
    h.checksum = 0x0127;
    EXPECT_FALSE(Load(Raw(h, {'a', 'b', 'c'})));
    EXPECT_FALSE(link.HasImageData());

    h.length = 257;
    h.checksum = 0xFFFF;
    EXPECT_TRUE(Load(Raw(h, Bytes(257, 0xFF))));
    h.length = 258;
    h.checksum = 0x00FE;
    EXPECT_TRUE(Load(Raw(h, Bytes(258, 0xFF))));
    EXPECT_EQ(link.m_length, 258u);
    h.checksum = 0x01FE;
    EXPECT_FALSE(Load(Raw(h, Bytes(258, 0xFF))));
}

TEST_F(ImageLoading, ChangedDataByteFailsButTheHeaderStaysVisible) {
    LoadGood();
    Bytes file = Valid(SampleHeader("new image"), Pattern(500, 3));
    file[IMAGE_HEADER_SIZE + 200] ^= 0x10;
    EXPECT_FALSE(Load(file, "/images/new.fw"));
    EXPECT_FALSE(link.HasImageData());
    EXPECT_FALSE(link.VerifyChecksum());
    EXPECT_STREQ(link.m_firmware.name.Text(), "new image");
    EXPECT_STREQ(link.m_imagePath.Text(), "/images/new.fw");
    EXPECT_EQ(link.m_firmware.swMajor, 3);
    EXPECT_EQ(link.m_firmware.hwHighestMinor, 250);
    EXPECT_EQ(link.m_length, 500u);
    EXPECT_NE(DownloadRefusal(link), nullptr);
}

TEST_F(ImageLoading, MagicIsNotExamined) {
    RawHeader h = SampleHeader();
    h.magic[0] = 0;
    h.magic[1] = 0xEE;
    EXPECT_TRUE(Load(Valid(h, Pattern(10))));
    EXPECT_EQ(link.m_length, 10u);
}

TEST_F(ImageLoading, BytesAfterTheDataAreIgnored) {
    const Bytes data = Pattern(64);
    Bytes file = Valid(SampleHeader(), data);
    const Bytes tail = Pattern(1000, 77);
    file.insert(file.end(), tail.begin(), tail.end());
    EXPECT_TRUE(Load(file));
    EXPECT_EQ(link.m_length, 64u);
    EXPECT_EQ(DataOf(link), data);
}

TEST_F(ImageLoading, ZeroLengthLoadsOnlyWithChecksumZero) {
    RawHeader h = SampleHeader();
    h.length = 0;
    h.checksum = 0;
    EXPECT_TRUE(Load(Raw(h)));
    EXPECT_TRUE(link.HasImageData());
    EXPECT_EQ(link.m_length, 0u);
    EXPECT_EQ(DownloadRefusal(link), nullptr);

    h.checksum = 1;
    EXPECT_FALSE(Load(Raw(h)));
    EXPECT_FALSE(link.HasImageData());
}

TEST_F(ImageLoading, NameOf108CharactersHasNoTerminatorInTheFile) {
    std::string name(IMAGE_NAME_SIZE, ' ');
    for (size_t i = 0; i < name.size(); ++i) name[i] = static_cast<char>('A' + i % 26);
    ASSERT_TRUE(Load(Valid(SampleHeader(name), Pattern(4))));
    EXPECT_EQ(std::string(link.m_firmware.name.Text()), name);
    // The 20 positions past the name stay zero.
    CFixedString128& stored = link.m_firmware.name;
    for (int i = static_cast<int>(IMAGE_NAME_SIZE); i < stored.Capacity(); ++i) EXPECT_EQ(stored.Buffer()[i], 0);
}

TEST_F(ImageLoading, ShorterNameEndsAtItsFirstZeroByte) {
    ASSERT_TRUE(Load(Valid(SampleHeader(std::string(IMAGE_NAME_SIZE, 'L')), Pattern(4))));
    ASSERT_TRUE(Load(Valid(SampleHeader(std::string("short\0garbage", 13)), Pattern(4))));
    EXPECT_STREQ(link.m_firmware.name.Text(), "short");
    // Nothing of the longer name before it survives behind the terminator.
    EXPECT_EQ(link.m_firmware.name.Buffer()[6], 0);
    EXPECT_EQ(link.m_firmware.name.Buffer()[100], 0);
}

TEST_F(ImageLoading, FileShorterThanItsHeaderFails) {
    LoadGood();
    const Bytes full = Valid(SampleHeader("truncated"), Pattern(20));
    // Cut inside the hardware lowest major: the fields before it are the new
    // file's, the fields after it keep the earlier image's values.
    const Bytes file(full.begin(), full.begin() + 12);
    EXPECT_FALSE(Load(file, "/images/short.fw"));
    EXPECT_FALSE(link.HasImageData());
    EXPECT_STREQ(link.m_imagePath.Text(), "/images/short.fw");
    EXPECT_EQ(link.m_length, 20u);
    EXPECT_EQ(link.m_firmware.swMinor, 7);
    EXPECT_STREQ(link.m_firmware.name.Text(), "previous");

    for (size_t cut : {size_t{0}, size_t{1}, size_t{2}, size_t{5}, size_t{20}, size_t{127}}) {
        LoadGood();
        EXPECT_FALSE(Load(Bytes(full.begin(), full.begin() + cut))) << cut;
        EXPECT_FALSE(link.HasImageData()) << cut;
    }
}

// The same damaged input through a reader that knows its size and one that
// does not (a pipe), so both reading strategies are covered.
class DamagedImage : public ImageLoading, public ::testing::WithParamInterface<bool> {
protected:
    bool LoadWith(CMemoryImageReader& reader) {
        reader.SetSizeKnown(GetParam());
        return link.LoadImageFromArchive(reader);
    }
    // The read alone (no checksum test after it) must refuse the input, so the
    // outcome never depends on what an unfilled block happens to sum to.
    void ExpectReadRefused(const Bytes& file, size_t failAfter = SIZE_MAX) {
        LoadGood();
        CMemoryImageReader reader(file.data(), file.size());
        reader.SetSizeKnown(GetParam());
        if (failAfter != SIZE_MAX) reader.FailAfter(failAfter);
        EXPECT_FALSE(link.ReadImageFromArchive(reader)) << failAfter;
        EXPECT_FALSE(link.HasImageData()) << failAfter;
    }
};

TEST_P(DamagedImage, FileShorterThanItsDeclaredLengthFails) {
    LoadGood();
    RawHeader h = SampleHeader("cut");
    const Bytes data = Pattern(100);
    h.length = 100;
    h.checksum = ImageChecksum(data.data(), 60);  // would match the part that is there
    const Bytes file = Raw(h, Bytes(data.begin(), data.begin() + 60));
    CMemoryImageReader reader(file.data(), file.size(), "/cut.fw");
    EXPECT_FALSE(LoadWith(reader));
    EXPECT_FALSE(link.HasImageData());
    EXPECT_STREQ(link.m_firmware.name.Text(), "cut");
    EXPECT_EQ(link.m_length, 100u);
    ExpectReadRefused(file);
}

TEST_P(DamagedImage, HugeDeclaredLengthFailsQuicklyWithoutTheBlock) {
    LoadGood();
    RawHeader h = SampleHeader("huge");
    h.length = 0xFFFFFFFFu;
    const Bytes file = Raw(h, Pattern(1000));
    CMemoryImageReader reader(file.data(), file.size());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(LoadWith(reader));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_FALSE(link.HasImageData());
    EXPECT_EQ(link.m_length, 0xFFFFFFFFu);
    if (GetParam()) {
        // Refused from the header alone: not one data byte was read.
        EXPECT_EQ(reader.Position(), IMAGE_HEADER_SIZE);
    }
    ExpectReadRefused(file);
}

TEST_P(DamagedImage, ReadErrorInTheMiddleOfTheDataFails) {
    LoadGood();
    const Bytes file = Valid(SampleHeader("bad sector"), Pattern(200 * 1024, 5));
    for (size_t failAt : {IMAGE_HEADER_SIZE, IMAGE_HEADER_SIZE + 100, IMAGE_HEADER_SIZE + 100 * 1024,
                          file.size() - 1}) {
        LoadGood();
        CMemoryImageReader reader(file.data(), file.size(), "/bad.fw");
        reader.FailAfter(failAt);
        EXPECT_FALSE(LoadWith(reader)) << failAt;
        EXPECT_TRUE(reader.Failed());
        EXPECT_FALSE(link.HasImageData()) << failAt;
        EXPECT_STREQ(link.m_firmware.name.Text(), "bad sector");
        ExpectReadRefused(file, failAt);
    }
}

TEST_P(DamagedImage, ReadErrorInsideTheHeaderFails) {
    LoadGood();
    const Bytes file = Valid(SampleHeader("header error"), Pattern(50));
    CMemoryImageReader reader(file.data(), file.size());
    reader.FailAfter(40);
    EXPECT_FALSE(LoadWith(reader));
    EXPECT_FALSE(link.HasImageData());
    EXPECT_STREQ(link.m_firmware.name.Text(), "previous");
}

TEST_P(DamagedImage, LargeIntactImageLoadsWhole) {
    // Larger than one read chunk and not a multiple of it.
    const Bytes data = Pattern(300 * 1024 + 17, 11);
    const Bytes file = Valid(SampleHeader("large"), data);
    CMemoryImageReader reader(file.data(), file.size());
    ASSERT_TRUE(LoadWith(reader));
    EXPECT_EQ(link.m_length, data.size());
    EXPECT_TRUE(DataOf(link) == data);
    EXPECT_STREQ(DownloadRefusal(link), "the image is longer than 65,535 bytes");
}

INSTANTIATE_TEST_SUITE_P(SizeKnownOrNot, DamagedImage, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? std::string("SizeKnown") : std::string("SizeUnknown");
                         });

TEST_F(ImageLoading, PathIsCutTo255Characters) {
    std::string path = "/";
    while (path.size() < 300) path += "abcdefghij/";
    path += "image.fw";
    ASSERT_TRUE(Load(Valid(SampleHeader(), Pattern(8)), path));
    EXPECT_EQ(std::string(link.m_imagePath.Text()), path.substr(0, 255));
    ASSERT_TRUE(Load(Valid(SampleHeader(), Pattern(8)), "/x.fw"));
    EXPECT_STREQ(link.m_imagePath.Text(), "/x.fw");
}

TEST_F(ImageLoading, BuiltInImageLoadsWithAnEmptyPath) {
    LoadGood();
    ASSERT_TRUE(link.LoadBuiltInImage());
    const PackRequest r = BuiltInPackRequest();
    const Bytes payload = BuiltInPayload();
    EXPECT_STREQ(link.m_imagePath.Text(), "");
    EXPECT_STREQ(link.m_firmware.name.Text(), r.name.c_str());
    EXPECT_EQ(link.m_firmware.swMajor, r.sw.major);
    EXPECT_EQ(link.m_firmware.swMinor, r.sw.minor);
    EXPECT_EQ(link.m_firmware.hwLowestMajor, r.hwLowest.major);
    EXPECT_EQ(link.m_firmware.hwLowestMinor, r.hwLowest.minor);
    EXPECT_EQ(link.m_firmware.hwHighestMajor, r.hwHighest.major);
    EXPECT_EQ(link.m_firmware.hwHighestMinor, r.hwHighest.minor);
    EXPECT_EQ(link.m_length, payload.size());
    EXPECT_TRUE(DataOf(link) == payload);
    EXPECT_EQ(DownloadRefusal(link), nullptr);
    // Reloading gives the same image again.
    ASSERT_TRUE(link.LoadBuiltInImage());
    EXPECT_TRUE(DataOf(link) == payload);
}

TEST_F(ImageLoading, ResourceWhoseLengthRunsPastItsEndIsRefused) {
    LoadGood();
    RawHeader h = SampleHeader("overlong resource");
    const Bytes data = Pattern(100);
    h.length = 101;
    h.checksum = ImageChecksum(data.data(), data.size());
    const Bytes resource = Raw(h, data);
    EXPECT_FALSE(ReadResourceImage(link, resource.data(), resource.size()));
    EXPECT_FALSE(link.HasImageData());
    EXPECT_STREQ(link.m_imagePath.Text(), "");
    EXPECT_STREQ(link.m_firmware.name.Text(), "overlong resource");

    h.length = 0xFFFFFFFFu;
    const Bytes huge = Raw(h, data);
    LoadGood();
    EXPECT_FALSE(ReadResourceImage(link, huge.data(), huge.size()));
    EXPECT_FALSE(link.HasImageData());

    // Exactly as long as declared, with a spare byte after it: accepted.
    h.length = 100;
    Bytes exact = Raw(h, data);
    ASSERT_TRUE(ReadResourceImage(link, exact.data(), exact.size()));
    EXPECT_TRUE(link.VerifyChecksum());
    exact.push_back(0x55);
    ASSERT_TRUE(ReadResourceImage(link, exact.data(), exact.size()));
    EXPECT_EQ(DataOf(link), data);
}

TEST_F(ImageLoading, MissingOrHeaderOnlyResourceKeepsTheFields) {
    LoadGood();
    EXPECT_FALSE(ReadResourceImage(link, nullptr, 0));
    EXPECT_FALSE(link.HasImageData());
    EXPECT_STREQ(link.m_imagePath.Text(), "");
    EXPECT_STREQ(link.m_firmware.name.Text(), "previous");
    EXPECT_EQ(link.m_length, 300u);

    LoadGood();
    const Bytes headerOnly = Raw(SampleHeader("header only"));
    EXPECT_FALSE(ReadResourceImage(link, headerOnly.data(), headerOnly.size()));
    EXPECT_FALSE(link.HasImageData());
    EXPECT_STREQ(link.m_firmware.name.Text(), "previous");
}

TEST_F(ImageLoading, DiscardFreesOnlyTheData) {
    LoadGood();
    link.DiscardImageData();
    EXPECT_FALSE(link.HasImageData());
    EXPECT_EQ(link.m_length, 300u);
    EXPECT_STREQ(link.m_firmware.name.Text(), "previous");
    link.DiscardImageData();  // twice is harmless
    EXPECT_FALSE(link.VerifyChecksum());
    EXPECT_STREQ(DownloadRefusal(link), "no image data is loaded");
}

// --- image files on disk ---

class ImageFiles : public ImageLoading {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = fs::temp_directory_path() / (std::string("kavro_image_") + info->name() + "_" +
                                           std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
        fs::create_directories(dir);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    fs::path Write(const fs::path& name, const Bytes& bytes) {
        const fs::path p = name.is_absolute() ? name : dir / name;
        std::ofstream out(p, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return p;
    }
    bool LoadFile(const fs::path& p) {
        CFileImageReader reader;
        std::string error;
        if (!reader.Open(p.string(), error)) {
            ADD_FAILURE() << "cannot open " << p << ": " << error;
            return false;
        }
        return link.LoadImageFromArchive(reader);
    }
    fs::path dir;
};

TEST_F(ImageFiles, FileLoadsWithItsAbsolutePath) {
    const Bytes data = Pattern(5000);
    const fs::path p = Write("good.fw", Valid(SampleHeader("from disk"), data));
    ASSERT_TRUE(LoadFile(p));
    EXPECT_EQ(fs::path(link.m_imagePath.Text()), fs::absolute(p));
    EXPECT_EQ(DataOf(link), data);

    // A relative path is reported in its absolute form.
    std::error_code ec;
    const fs::path relative = fs::relative(p, fs::current_path(), ec);
    if (!ec && !relative.empty() && relative.is_relative()) {
        CFileImageReader reader;
        std::string error;
        ASSERT_TRUE(reader.Open(relative.string(), error)) << error;
        EXPECT_TRUE(fs::path(reader.FilePath()).is_absolute());
        EXPECT_TRUE(fs::equivalent(fs::path(reader.FilePath()), p));
    }
}

TEST_F(ImageFiles, RemainingFollowsTheReads) {
    const fs::path p = Write("ten.bin", Pattern(10));
    CFileImageReader reader;
    std::string error;
    ASSERT_TRUE(reader.Open(p.string(), error)) << error;
    uint64_t left = 0;
    ASSERT_TRUE(reader.Remaining(left));
    EXPECT_EQ(left, 10u);
    uint8_t buffer[16];
    EXPECT_EQ(reader.Read(buffer, 4), 4u);
    ASSERT_TRUE(reader.Remaining(left));
    EXPECT_EQ(left, 6u);
    EXPECT_EQ(reader.Read(buffer, 16), 6u);
    EXPECT_EQ(reader.Read(buffer, 16), 0u);
    EXPECT_FALSE(reader.Failed());
    ASSERT_TRUE(reader.Remaining(left));
    EXPECT_EQ(left, 0u);
}

TEST_F(ImageFiles, OpenFailuresKeepTheSystemErrorText) {
    CFileImageReader reader;
    std::string error;
    EXPECT_FALSE(reader.Open((dir / "missing.fw").string(), error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(error, std::strerror(reader.LastError()));
    EXPECT_FALSE(reader.IsOpen());

    error.clear();
    EXPECT_FALSE(reader.Open(dir.string(), error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(reader.IsOpen());
}

TEST_F(ImageFiles, TruncatedAndOversizedFilesFail) {
    LoadGood();
    const Bytes full = Valid(SampleHeader("on disk"), Pattern(400));
    ASSERT_FALSE(LoadFile(Write("header.fw", Bytes(full.begin(), full.begin() + 100))));
    EXPECT_FALSE(link.HasImageData());

    LoadGood();
    ASSERT_FALSE(LoadFile(Write("data.fw", Bytes(full.begin(), full.end() - 1))));
    EXPECT_FALSE(link.HasImageData());
    EXPECT_STREQ(link.m_firmware.name.Text(), "on disk");

    LoadGood();
    RawHeader h = SampleHeader("huge");
    h.length = 0xFFFFFFFFu;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_FALSE(LoadFile(Write("huge.fw", Raw(h, Pattern(64)))));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_FALSE(link.HasImageData());
}

TEST_F(ImageFiles, LongPathIsCutTo255Characters) {
    fs::path deep = dir;
    while (deep.string().size() < 320) deep /= std::string(40, 'd');
    std::error_code ec;
    fs::create_directories(deep, ec);
    if (ec) GTEST_SKIP() << "cannot create a deep folder: " << ec.message();
    const fs::path p = Write(deep / "image.fw", Valid(SampleHeader(), Pattern(16)));
    ASSERT_GT(fs::absolute(p).string().size(), 255u);
    ASSERT_TRUE(LoadFile(p));
    EXPECT_EQ(std::string(link.m_imagePath.Text()), fs::absolute(p).string().substr(0, 255));
}
}  // namespace

// The settings file beside the program: never created, exactly 32 bytes,
// written only when the port name changed, through a temporary file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "link/device_link.h"

namespace {
namespace fs = std::filesystem;

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("kavro-settings-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        program = (dir / "kavro").string();
        cfg = program + ".cfg";
        link.SetProgramPath(program);
    }
    void TearDown() override { fs::remove_all(dir); }

    void WriteFile(const std::string& bytes) {
        std::ofstream(cfg, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    std::string ReadFile() const {
        std::ifstream in(cfg, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    fs::path dir;
    std::string program, cfg;
    CDeviceLink link;
};
}  // namespace

TEST_F(SettingsFile, AbsentFileLeavesTheNameEmptyAndIsNeverCreated) {
    link.LoadSettings();
    EXPECT_STREQ(link.m_portName.Text(), "");
    link.SetPortName("COM3");
    EXPECT_EQ(link.m_settingsDirty, 1);
    link.SaveSettings();
    EXPECT_FALSE(fs::exists(cfg));
    EXPECT_EQ(link.m_settingsDirty, 0);
}

TEST_F(SettingsFile, LoadReadsTheName) {
    WriteFile(std::string("/dev/ttyUSB0") + std::string(20, '\0'));
    link.LoadSettings();
    EXPECT_STREQ(link.m_portName.Text(), "/dev/ttyUSB0");
    EXPECT_EQ(link.m_settingsDirty, 0);
}

TEST_F(SettingsFile, ChangedNameIsWrittenAsExactly32Bytes) {
    WriteFile(std::string("COM1") + std::string(60, 'x'));  // longer than 32: cut at save
    link.LoadSettings();
    link.SetPortName("COM7");
    link.SaveSettings();
    EXPECT_EQ(ReadFile(), std::string("COM7") + std::string(28, '\0'));
}

TEST_F(SettingsFile, UnchangedNameLeavesTheFileUntouched) {
    const std::string original = std::string("COM2") + std::string(28, '\0') + "tail";
    WriteFile(original);
    link.LoadSettings();
    link.SetPortName("COM2");
    EXPECT_EQ(link.m_settingsDirty, 0);
    link.SaveSettings();
    EXPECT_EQ(ReadFile(), original);
}

TEST_F(SettingsFile, FortyCharacterNameIsStoredAs31) {
    WriteFile(std::string(32, '\0'));
    const std::string longName(40, 'p');
    link.SetPortName(longName.c_str());
    EXPECT_EQ(std::string(link.m_portName.Text()), std::string(31, 'p'));
    link.SaveSettings();
    EXPECT_EQ(ReadFile(), std::string(31, 'p') + '\0');
    // A longer name whose first 31 characters equal the stored one still differs.
    link.SetPortName((std::string(31, 'p') + "q").c_str());
    EXPECT_EQ(link.m_settingsDirty, 1);
}

TEST_F(SettingsFile, ThirtyTwoBytesWithoutAZeroStillEndTheName) {
    WriteFile(std::string(32, 'Z'));
    link.LoadSettings();
    EXPECT_EQ(std::string(link.m_portName.Text()), std::string(31, 'Z'));
}

TEST_F(SettingsFile, ShortFileFillsOnlyTheFirstBytes) {
    WriteFile("AB");
    link.m_portName.Assign("xyz");
    link.LoadSettings();
    EXPECT_STREQ(link.m_portName.Text(), "ABz");
}

TEST_F(SettingsFile, OverlongProgramPathOpensNoFile) {
    // A path whose ".cfg" would not fit: a cut path could name another file.
    std::string base = (dir / std::string(251 - dir.string().size(), 'k')).string();
    ASSERT_EQ(base.size(), 252u);
    const std::string cutCfg = (base + ".cfg").substr(0, 255);  // what a cut path would name
    std::ofstream(cutCfg, std::ios::binary) << std::string(32, 'V');
    link.SetProgramPath(base);
    EXPECT_EQ(link.SettingsPath(), "");
    link.LoadSettings();
    EXPECT_STREQ(link.m_portName.Text(), "");
    link.SetPortName("COM9");
    link.SaveSettings();
    std::ifstream in(cutCfg, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), std::string(32, 'V'));
}

TEST_F(SettingsFile, SaveReplacesWhatAnEarlierFailedSaveLeftAndLeavesNoTemporary) {
    WriteFile(std::string(32, '\0'));
    std::ofstream(cfg + ".new", std::ios::binary) << std::string(64, 'x');
    link.SetPortName("COM5");
    link.SaveSettings();
    EXPECT_EQ(ReadFile(), std::string("COM5") + std::string(28, '\0'));
    EXPECT_FALSE(fs::exists(cfg + ".new"));
}

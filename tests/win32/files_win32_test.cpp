// Files under names the ANSI code page cannot spell (German and Chinese in one
// folder name), reached through the UTF-8 paths the program holds; the
// private key's access list.
#include <gtest/gtest.h>

#include <aclapi.h>

#include <filesystem>
#include <string>

#include "image/file_reader.h"
#include "image/release_paths.h"
#include "image/win32/owner_only_security.h"
#include "link/file_path.h"
#include "link/fixed_string.h"
#include "link/settings_file.h"

namespace {

class Win32Files : public ::testing::Test {
protected:
    void SetUp() override {
        m_folder = std::filesystem::temp_directory_path() /
                   (L"Firmware w\u00f6rk " + std::to_wstring(::GetCurrentProcessId())) / L"\u56fa\u4ef6";
        ASSERT_TRUE(std::filesystem::create_directories(m_folder));
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(m_folder.parent_path(), ignored);
    }
    std::string Utf8(const char* name) const { return Utf8FromPath(m_folder / name); }

    std::filesystem::path m_folder;
};

TEST_F(Win32Files, ImagesAndTheSettingsFileAreReachedByTheirUtf8Paths) {
    const std::string image = Utf8("pump.fw");
    ASSERT_NE(image.find("w\xc3\xb6rk"), std::string::npos) << image;
    std::FILE* file = OpenFileUtf8(image, "wb");
    ASSERT_NE(file, nullptr) << image;
    std::fclose(file);
    EXPECT_TRUE(std::filesystem::exists(m_folder / L"pump.fw"));
    CFileImageReader reader;
    std::string error;
    ASSERT_TRUE(reader.Open(image, error)) << error;
    EXPECT_EQ(std::string(reader.FilePath()), image);
    // A relative name, as typed after kavro --station, is made absolute
    // without passing through the code page.
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(m_folder.parent_path());
    EXPECT_EQ(AbsoluteUtf8Path(".\\\xe5\x9b\xba\xe4\xbb\xb6\\pump.fw"), image);
    std::filesystem::current_path(before);

    const std::string settings = SettingsFilePath(Utf8("kavro.exe"));
    CFixedString32 name;
    file = OpenFileUtf8(settings, "wb");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(std::fwrite(name.Buffer(), 1, 32, file), 32u);
    std::fclose(file);
    name.Assign("COM12");
    ASSERT_TRUE(WriteSettingsFile(settings, name));
    CFixedString32 again;
    ASSERT_TRUE(ReadSettingsFile(settings, again));
    EXPECT_STREQ(again.Text(), "COM12");
}

// The descriptor a private key file is created with: one entry, the current
// user's, nothing inherited from the folder. (Wine keeps no access lists of
// files, so the descriptor is checked, not the file's.)
TEST_F(Win32Files, PrivateKeysAreCreatedWithOnlyTheirOwnerInTheAccessList) {
    COwnerOnlySecurity security;
    ASSERT_TRUE(security.Build());
    auto* descriptor = static_cast<PSECURITY_DESCRIPTOR>(security.Attributes()->lpSecurityDescriptor);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(::GetSecurityDescriptorControl(descriptor, &control, &revision));
    EXPECT_NE(control & SE_DACL_PROTECTED, 0) << "the folder's entries may be inherited";
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    ASSERT_TRUE(::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted));
    ASSERT_TRUE(present && dacl != nullptr) << "no access list: everyone may read the key";
    ASSERT_EQ(dacl->AceCount, 1);
    void* ace = nullptr;
    ASSERT_TRUE(::GetAce(dacl, 0, &ace));
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    EXPECT_EQ(allowed->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_TRUE(::EqualSid(&allowed->SidStart, security.User()));

    const std::string path = Utf8("line.key");
    std::string problem;
    ASSERT_TRUE(WriteOwnerOnlyFile(path, "secret\n", problem)) << problem;
    EXPECT_FALSE(WriteOwnerOnlyFile(path, "other\n", problem)) << "an existing key was replaced";
}

}  // namespace

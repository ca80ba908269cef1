// Files under names the ANSI code page cannot spell (German and Chinese in one
// folder name), reached through the UTF-8 paths the program holds; the
// private key's access list.
#include <gtest/gtest.h>

#include <aclapi.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "image/file_reader.h"
#include "image/release_paths.h"
#include "image/win32/owner_only_security.h"
#include "link/file_path.h"
#include "link/fixed_string.h"
#include "link/settings_file.h"
#include "link/win32/wide_text.h"

namespace {

class Win32Files : public ::testing::Test {
protected:
    void SetUp() override {
        std::error_code ignored;
        m_folder = std::filesystem::temp_directory_path() / (L"Firmware w\u00f6rk " + std::to_wstring(::GetCurrentProcessId())) /
                   L"\u56fa\u4ef6";
        std::filesystem::remove_all(m_folder.parent_path(), ignored);
        ASSERT_TRUE(std::filesystem::create_directories(m_folder));
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(m_folder.parent_path(), ignored);
    }
    // The UTF-8 path of a file in the folder.
    std::string Utf8(const char* name) const { return Utf8FromPath(m_folder / name); }

    std::filesystem::path m_folder;
};

TEST_F(Win32Files, Utf8PathsReachWideNames) {
    const std::string path = Utf8("pump.fw");
    EXPECT_NE(path.find("w\xc3\xb6rk"), std::string::npos) << path;
    EXPECT_EQ(WideFromUtf8(path), (m_folder / L"pump.fw").wstring());
    EXPECT_EQ(Utf8FromWide(WideFromUtf8(path)), path);

    std::FILE* file = OpenFileUtf8(path, "wb");
    ASSERT_NE(file, nullptr) << path;
    ASSERT_EQ(std::fwrite("KAVRO", 1, 5, file), 5u);
    std::fclose(file);
    EXPECT_EQ(std::filesystem::file_size(m_folder / L"pump.fw"), 5u);

    CFileImageReader reader;
    std::string error;
    ASSERT_TRUE(reader.Open(path, error)) << error;
    char bytes[8] = {};
    EXPECT_EQ(reader.Read(bytes, sizeof bytes), 5u);
    EXPECT_EQ(std::string(bytes), "KAVRO");
    EXPECT_EQ(std::string(reader.FilePath()), path);
}

TEST_F(Win32Files, SettingsFileInAWideFolderIsReadAndRewritten) {
    const std::string path = SettingsFilePath(Utf8("kavro.exe"));
    std::FILE* file = OpenFileUtf8(path, "wb");
    ASSERT_NE(file, nullptr);
    const char stored[32] = "COM7";
    ASSERT_EQ(std::fwrite(stored, 1, sizeof stored, file), sizeof stored);
    std::fclose(file);

    CFixedString32 name;
    ASSERT_TRUE(ReadSettingsFile(path, name));
    EXPECT_STREQ(name.Text(), "COM7");
    name.Assign("COM12");
    ASSERT_TRUE(WriteSettingsFile(path, name));
    CFixedString32 again;
    ASSERT_TRUE(ReadSettingsFile(path, again));
    EXPECT_STREQ(again.Text(), "COM12");
    EXPECT_FALSE(std::filesystem::exists(PathFromUtf8(path + ".new")));
}

// The access list a private key file is created with: one entry, the current
// user's, nothing inherited from the folder. (Wine keeps no access lists of
// files, so the descriptor is checked, not the file's.)
TEST_F(Win32Files, PrivateKeysAreCreatedWithOnlyTheirOwnerInTheAccessList) {
    COwnerOnlySecurity security;
    ASSERT_TRUE(security.Build());
    auto* descriptor = static_cast<PSECURITY_DESCRIPTOR>(security.Attributes()->lpSecurityDescriptor);
    ASSERT_NE(descriptor, nullptr);
    EXPECT_TRUE(::IsValidSecurityDescriptor(descriptor));
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
    EXPECT_EQ(allowed->Header.AceFlags & INHERITED_ACE, 0);
    EXPECT_TRUE(::EqualSid(&allowed->SidStart, security.User()));
    wchar_t name[256], domain[256];
    DWORD nameSize = 256, domainSize = 256;
    SID_NAME_USE use;
    ASSERT_TRUE(::LookupAccountSidW(nullptr, security.User(), name, &nameSize, domain, &domainSize, &use));
    wchar_t user[256];
    DWORD userSize = 256;
    ASSERT_TRUE(::GetUserNameW(user, &userSize));
    EXPECT_EQ(std::wstring(name), std::wstring(user));

    const std::string path = Utf8("line.key");
    std::string problem;
    ASSERT_TRUE(WriteOwnerOnlyFile(path, "secret\n", problem)) << problem;
    EXPECT_FALSE(WriteOwnerOnlyFile(path, "other\n", problem)) << "an existing key was replaced";
    EXPECT_EQ(std::filesystem::file_size(PathFromUtf8(path)), 7u);
}

}  // namespace

// kavro.exe's resources as Windows itself reads them: the version information,
// the manifest (common controls 6, per-monitor DPI awareness, the caller's
// rights) and the icon Explorer shows. The program is loaded as data only.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "native_types.h"

#include <winver.h>

#ifndef KAVRO_APP_PATH
#error "KAVRO_APP_PATH must name kavro.exe"
#endif

namespace {

// Owns a module loaded as data: its resources can be read, none of its code runs.
class CDataModule {
public:
    explicit CDataModule(const char* path)
        : m_module(::LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}
    ~CDataModule() {
        if (m_module != nullptr) ::FreeLibrary(m_module);
    }
    CDataModule(const CDataModule&) = delete;
    CDataModule& operator=(const CDataModule&) = delete;
    HMODULE Get() const { return m_module; }

private:
    HMODULE m_module;
};

std::string ResourceText(HMODULE module, LPCSTR name, LPCSTR type) {
    HRSRC found = ::FindResourceA(module, name, type);
    if (found == nullptr) return {};
    HGLOBAL loaded = ::LoadResource(module, found);
    const auto* data = static_cast<const char*>(::LockResource(loaded));
    return data != nullptr ? std::string(data, ::SizeofResource(module, found)) : std::string();
}

std::string VersionString(const std::vector<char>& info, const char* name) {
    void* value = nullptr;
    UINT length = 0;
    const std::string key = std::string("\\StringFileInfo\\040904B0\\") + name;
    if (!::VerQueryValueA(info.data(), key.c_str(), &value, &length) || length == 0) return {};
    return std::string(static_cast<const char*>(value));
}

BOOL CALLBACK TakeFirstName(HMODULE, LPCSTR, LPSTR name, LONG_PTR param) {
    auto* first = reinterpret_cast<std::string*>(param);
    *first = IS_INTRESOURCE(name) ? "#" + std::to_string(reinterpret_cast<uintptr_t>(name)) : std::string(name);
    return FALSE;
}

}  // namespace

TEST(ApplicationResources, VersionInformationNamesTheRelease) {
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(KAVRO_APP_PATH, &ignored);
    ASSERT_GT(size, 0u) << KAVRO_APP_PATH << ": error " << ::GetLastError();
    std::vector<char> info(size);
    ASSERT_TRUE(::GetFileVersionInfoA(KAVRO_APP_PATH, 0, size, info.data()));

    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueA(info.data(), "\\", &value, &length));
    ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    const std::string numbers = std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
                                std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
                                std::to_string(HIWORD(fixed->dwFileVersionLS)) + "." +
                                std::to_string(LOWORD(fixed->dwFileVersionLS));
    EXPECT_EQ(numbers, KAVRO_VERSION);
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

    EXPECT_EQ(VersionString(info, "ProductName"), "KAVRO");
    EXPECT_EQ(VersionString(info, "ProductVersion"), KAVRO_VERSION);
    EXPECT_EQ(VersionString(info, "FileVersion"), KAVRO_VERSION);
    EXPECT_EQ(VersionString(info, "OriginalFilename"), "kavro.exe");
}

TEST(ApplicationResources, ManifestAsksForCommonControls6PerMonitorDpiAndTheCallersRights) {
    const CDataModule program(KAVRO_APP_PATH);
    ASSERT_NE(program.Get(), nullptr) << KAVRO_APP_PATH << ": error " << ::GetLastError();
    const std::string manifest =
        ResourceText(program.Get(), MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));  // RT_MANIFEST
    ASSERT_FALSE(manifest.empty());
    EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
    EXPECT_NE(manifest.find("<dpiAwareness xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">"
                            "PerMonitorV2"),
              std::string::npos);
    EXPECT_NE(manifest.find(">true/pm</dpiAware>"), std::string::npos);
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
    // Exactly one manifest: the toolkit's default one would make a second.
    EXPECT_EQ(::FindResourceA(program.Get(), MAKEINTRESOURCEA(2), MAKEINTRESOURCEA(24)), nullptr);
}

TEST(ApplicationResources, ExplorerShowsTheApplicationIcon) {
    const CDataModule program(KAVRO_APP_PATH);
    ASSERT_NE(program.Get(), nullptr);
    std::string first;
    ::EnumResourceNamesA(program.Get(), MAKEINTRESOURCEA(14), TakeFirstName,  // RT_GROUP_ICON
                         reinterpret_cast<LONG_PTR>(&first));
    EXPECT_EQ(first, "APPICON");
    // The group holds the small, normal and large sizes.
    HICON small = static_cast<HICON>(::LoadImageA(program.Get(), "APPICON", IMAGE_ICON, 16, 16, 0));
    HICON large = static_cast<HICON>(::LoadImageA(program.Get(), "APPICON", IMAGE_ICON, 48, 48, 0));
    EXPECT_NE(small, nullptr);
    EXPECT_NE(large, nullptr);
    if (small != nullptr) ::DestroyIcon(small);
    if (large != nullptr) ::DestroyIcon(large);
}

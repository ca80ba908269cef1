// Reading and writing the settings file, with arbitrary file contents.
//
// Input: one control byte, then the file's contents. Control bit 0: the
// program path is too long for ".cfg" to fit in 255 characters; bit 1: a name
// is saved after the load (the input's first bytes, cut to the buffer).
//
// Invariants: the port name always ends within its 32-character buffer; a load
// takes the file's first bytes up to 31 of them and keeps the rest of the
// buffer; a save leaves exactly the 32 bytes of the buffer in the file; with a
// program path that cannot name the settings file, no file is read, created
// or cut.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "link/settings_file.h"

namespace {
const std::filesystem::path& Folder() {
    static const std::filesystem::path folder = [] {
        std::random_device random;
        std::filesystem::path path;
        for (;;) {
            path = std::filesystem::temp_directory_path() / ("kavro-fuzz-settings-" + std::to_string(random()));
            std::error_code ec;
            if (std::filesystem::create_directory(path, ec)) break;
            FUZZ_CHECK(!ec);  // only "already exists" tries another name
        }
        return path;
    }();
    // Registered once the folder exists, so the removal runs before the
    // folder's path object is destroyed at exit.
    static const bool removal = std::atexit([] {
        std::error_code ec;
        std::filesystem::remove_all(Folder(), ec);
    }) == 0;
    (void)removal;
    return folder;
}

void WriteFile(const std::filesystem::path& path, const uint8_t* data, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    FUZZ_CHECK(out.good());
}

std::vector<uint8_t> ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void CheckTerminated(CFixedString32& name) {
    FUZZ_CHECK(name.Buffer()[name.Capacity() - 1] == '\0');
    FUZZ_CHECK(std::strlen(name.Text()) < 32);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t control = data[0];
    const uint8_t* contents = data + 1;
    const size_t length = size - 1;

    const std::filesystem::path program =
        (control & 1) ? Folder() / std::string(300, 'p') / "kavro" : Folder() / "kavro";
    const std::filesystem::path settings = Folder() / "kavro.cfg";
    WriteFile(settings, contents, length);

    const std::string path = SettingsFilePath(program.string());
    CFixedString32 name;
    name.Assign("/dev/previous-name");
    char before[32];
    std::memcpy(before, name.Buffer(), sizeof before);

    const bool read = ReadSettingsFile(path, name);
    CheckTerminated(name);
    if (control & 1) {
        FUZZ_CHECK(path.empty() && !read);
        FUZZ_CHECK(std::memcmp(name.Buffer(), before, sizeof before) == 0);
    } else {
        FUZZ_CHECK(path == settings.string() && read);
        const size_t taken = length < 31 ? length : 31;
        FUZZ_CHECK(std::memcmp(name.Buffer(), contents, taken) == 0);
        FUZZ_CHECK(std::memcmp(name.Buffer() + taken, before + taken, 31 - taken) == 0);
    }

    if (control & 2) {
        std::string text(reinterpret_cast<const char*>(contents), length);
        name.Assign(text.c_str());  // up to the first zero byte
        CheckTerminated(name);
        const bool written = WriteSettingsFile(path, name);
        const std::vector<uint8_t> stored = ReadFile(settings);
        if (control & 1) {
            FUZZ_CHECK(!written);
            FUZZ_CHECK(stored.size() == length && (length == 0 || std::memcmp(stored.data(), contents, length) == 0));
        } else {
            FUZZ_CHECK(written);
            FUZZ_CHECK(stored.size() == 32);
            FUZZ_CHECK(std::memcmp(stored.data(), name.Buffer(), 32) == 0);
        }
    }
    return 0;
}

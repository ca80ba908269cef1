// Replays fuzz inputs without libFuzzer: every file named on the command line,
// and every regular file inside every folder named, goes through
// LLVMFuzzerTestOneInput once. A finding shows as a failed check (abort) or a
// sanitizer report; an empty corpus fails too, so a lost folder is noticed.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {
bool ReadFile(const std::filesystem::path& path, std::vector<uint8_t>& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}
}  // namespace

int main(int argc, char** argv) {
    std::vector<std::filesystem::path> files;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path arg(argv[i]);
        std::error_code ec;
        if (std::filesystem::is_directory(arg, ec)) {
            for (const auto& entry : std::filesystem::recursive_directory_iterator(arg, ec))
                if (entry.is_regular_file()) files.push_back(entry.path());
            if (ec) {
                std::fprintf(stderr, "cannot list %s: %s\n", argv[i], ec.message().c_str());
                return 2;
            }
        } else if (std::filesystem::is_regular_file(arg, ec)) {
            files.push_back(arg);
        } else {
            std::fprintf(stderr, "no such file or folder: %s\n", argv[i]);
            return 2;
        }
    }
    if (files.empty()) {
        std::fprintf(stderr, "no inputs to replay\n");
        return 2;
    }
    std::sort(files.begin(), files.end());
    std::vector<uint8_t> data;
    for (const auto& file : files) {
        if (!ReadFile(file, data)) {
            std::fprintf(stderr, "cannot read %s\n", file.string().c_str());
            return 2;
        }
        // A copy of exactly the input's size, so reading past it is caught by
        // ASan; an empty input gets a valid pointer, as libFuzzer gives it.
        static uint8_t none = 0;
        std::vector<uint8_t> exact(data);
        LLVMFuzzerTestOneInput(exact.empty() ? &none : exact.data(), exact.size());
    }
    std::printf("replayed %zu inputs\n", files.size());
    return 0;
}

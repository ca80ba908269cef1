#include "link/file_path.h"

#include <cstdio>

#include "link/win32/wide_text.h"

std::FILE* OpenFileUtf8(const std::string& path, const char* mode) {
    return ::_wfopen(WideFromUtf8(path).c_str(), WideFromUtf8(mode).c_str());
}

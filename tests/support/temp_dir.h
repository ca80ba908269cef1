#pragma once
// A fresh folder for the files of one test, removed with everything in it at the end.
#include <stdlib.h>

#include <filesystem>
#include <string>

namespace testdata {

class TempDir {
public:
    // /tmp/PREFIX-XXXXXX
    explicit TempDir(const std::string& prefix = "kavro-test") {
        std::string pattern = "/tmp/" + prefix + "-XXXXXX";
        if (::mkdtemp(pattern.data()) != nullptr) m_path = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        if (!m_path.empty()) std::filesystem::remove_all(m_path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

}  // namespace testdata

#pragma once
// Paths are UTF-8 text everywhere in the program, whatever the system. These
// turn one into what the system's file calls take: on Windows the wide forms,
// which reach every name Windows can show (the narrow ones go through the
// ANSI code page and lose what it cannot spell). Any thread.
#include <cstdio>
#include <filesystem>
#include <string>

// The path the UTF-8 text names.
std::filesystem::path PathFromUtf8(const std::string& utf8);
// The path as UTF-8 text.
std::string Utf8FromPath(const std::filesystem::path& path);

// The absolute, lexically normal form of a UTF-8 path, as UTF-8; the text as
// given when the system cannot make it absolute or the path cannot be spelt.
std::string AbsoluteUtf8Path(const std::string& utf8);

// std::fopen of a UTF-8 path. Null with errno set.
std::FILE* OpenFileUtf8(const std::string& path, const char* mode);

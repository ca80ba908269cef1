#pragma once
// UTF-8 and the UTF-16 of the system's wide calls (Windows only). Any thread.
#include <string>

// Text that is not valid UTF-8 (or UTF-16) gives what the system's converter
// makes of it (replacement characters), never a cut string.
std::wstring WideFromUtf8(const std::string& utf8);
std::string Utf8FromWide(const std::wstring& wide);

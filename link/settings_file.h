#pragma once
// The settings file: the program's own path with ".cfg" appended, 32 bytes
// holding the remembered port name. It is never created here, only read and
// rewritten where it exists. Any thread, one caller per file at a time.
#include <string>

#include "link/fixed_string.h"

// programPath + ".cfg", or "" when that would not fit in 255 characters (a
// cut path would name some other file).
std::string SettingsFilePath(const std::string& programPath);
// Reads the file's first 32 bytes into name (always ended within it); false,
// name untouched, when there is no such file or it cannot be opened.
[[nodiscard]] bool ReadSettingsFile(const std::string& path, CFixedString& name);
// Writes name's whole buffer through a temporary file renamed over the old
// one, so a save that fails half-way leaves the old file whole. False, and
// nothing changed, when there is no such file or the save fails.
[[nodiscard]] bool WriteSettingsFile(const std::string& path, CFixedString& name);

#pragma once
// Where the machine and the user keep the trusted keys and the station policy,
// and how private keys are written; one implementation per system
// (image/posix, image/win32), chosen by CMake. Any thread.
//
// KAVRO_MACHINE_CONFIG_DIR, when set, replaces the machine's folder
// (/etc/kavro, or the program's folder on Windows): the tests use it.
#include <string>
#include <vector>

// /etc/kavro; Windows: the folder of the program.
std::string MachineConfigFolder();
// The machine's trusted-keys folder, then the user's ($XDG_CONFIG_HOME/kavro or
// ~/.config/kavro; Windows: %APPDATA%\kavro).
std::vector<std::string> TrustFolders();
// The machine's station.conf.
std::string StationPolicyPath();

// Creates path (never replacing a file that exists) readable and writable
// only by its owner (POSIX: mode 0600; Windows: created with a protected DACL
// whose one entry is the current user), and writes text.
[[nodiscard]] bool WriteOwnerOnlyFile(const std::string& path, const std::string& text, std::string& problem);
// Creates path (never replacing a file that exists) and writes text.
[[nodiscard]] bool WriteNewTextFile(const std::string& path, const std::string& text, std::string& problem);

#pragma once
// Where the desktop application remembers the port name. A settings file
// beside the program (a portable copy) holds it whenever that file exists;
// an installed program has none (/usr/bin is not the user's to write), so
// its port name lives in the user's configuration instead, next to the
// recent-file list. Window thread.
//
// The settings file holds at most 31 characters. A longer name (the stable
// /dev/serial/by-path/... names) is kept whole in the user's configuration
// together with the short name that stood for it in the file; the file itself
// gets that short name (the device the long name led to) or stays as it was,
// never a name cut short.
#include <string>

class CDeviceLink;
class wxConfigBase;

// Start-up: the link reads its settings file; without one, the name comes from
// config (when it holds one). The name is not marked changed. Returns the
// whole name to show (which may be longer than the link keeps).
[[nodiscard]] std::string LoadRememberedPort(CDeviceLink& link, wxConfigBase* config);
// Exit: chosen is the whole name last connected to ("" when none was this run).
// A changed name goes to the settings file when it exists, else to config.
void SaveRememberedPort(CDeviceLink& link, wxConfigBase* config, const std::string& chosen);

#pragma once
// Where the desktop application remembers the port name. A settings file
// beside the program (a portable copy) holds it whenever that file exists;
// an installed program has none (/usr/bin is not the user's to write), so
// its port name lives in the user's configuration instead, next to the
// recent-file list. Window thread.
class CDeviceLink;
class wxConfigBase;

// Start-up: the link reads its settings file; without one, the name comes from
// config (when it holds one). The name is not marked changed.
void LoadRememberedPort(CDeviceLink& link, wxConfigBase* config);
// Exit: a changed name goes to the settings file when it exists, else to config.
void SaveRememberedPort(CDeviceLink& link, wxConfigBase* config);

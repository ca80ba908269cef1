#pragma once
// The user's configuration ("KAVRO"): a file only its owner can read on POSIX
// ($XDG_CONFIG_HOME/KAVRO.conf, mode 0600, however it was left before), the
// user's own registry key on Windows. One implementation per system
// (ui/posix, ui/win32). Window thread.
class wxConfigBase;
class wxString;

wxConfigBase* CreateUserConfig(const wxString& name);

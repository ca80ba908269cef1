#include "ui/user_config.h"

#include <sys/stat.h>

#include <wx/fileconf.h>

wxConfigBase* CreateUserConfig(const wxString& name) {
    auto* config = new wxFileConfig(name);
    // New files are written for their owner only; an older file readable by
    // others is closed to them now (wx keeps a file's mode when it rewrites it).
    config->SetUmask(0077);
    const wxString path = wxFileConfig::GetLocalFileName(name);
    struct stat status {};
    if (::stat(path.fn_str(), &status) == 0 && (status.st_mode & 0077) != 0) ::chmod(path.fn_str(), 0600);
    return config;
}

#include "ui/user_config.h"

#include <wx/config.h>

// The registry's per-user key (HKEY_CURRENT_USER) is the user's own already.
wxConfigBase* CreateUserConfig(const wxString& name) { return new wxConfig(name); }

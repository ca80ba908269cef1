#include "ui/port_memory.h"

#include <filesystem>
#include <system_error>

#include <wx/config.h>

#include "link/device_link.h"
#include "link/file_path.h"

namespace {
const char* const kPortKey = "/Settings/PortName";

bool HasSettingsFile(const CDeviceLink& link) {
    const std::string path = link.SettingsPath();
    std::error_code error;
    return !path.empty() && std::filesystem::is_regular_file(PathFromUtf8(path), error);
}
}  // namespace

void LoadRememberedPort(CDeviceLink& link, wxConfigBase* config) {
    link.LoadSettings();
    if (config == nullptr || HasSettingsFile(link)) return;
    wxString name;
    if (config->Read(kPortKey, &name)) link.m_portName.Assign(name.utf8_str());
}

void SaveRememberedPort(CDeviceLink& link, wxConfigBase* config) {
    if (config != nullptr && link.m_settingsDirty && !HasSettingsFile(link)) {
        config->Write(kPortKey, wxString::FromUTF8(link.m_portName.Text()));
        config->Flush();
    }
    link.SaveSettings();
}

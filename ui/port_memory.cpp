#include "ui/port_memory.h"

#include <filesystem>
#include <system_error>

#include <wx/config.h>

#include "link/device_link.h"
#include "link/file_path.h"

namespace {
const char* const kPortKey = "/Settings/PortName";
// A name too long for the settings file, and the name the file held for it then.
const char* const kLongPortKey = "/Settings/LongPortName";
const char* const kStandInKey = "/Settings/LongPortStandIn";

bool HasSettingsFile(const CDeviceLink& link) {
    const std::string path = link.SettingsPath();
    std::error_code error;
    return !path.empty() && std::filesystem::is_regular_file(PathFromUtf8(path), error);
}

bool FitsTheLink(const CDeviceLink& link, const std::string& name) {
    return name.size() < static_cast<size_t>(link.m_portName.Capacity());
}

std::string ReadText(wxConfigBase& config, const char* key) {
    wxString text;
    return config.Read(key, &text) ? std::string(text.utf8_str()) : std::string();
}

void SaveBesideTheProgram(CDeviceLink& link, wxConfigBase* config, const std::string& chosen) {
    if (FitsTheLink(link, chosen)) {
        if (config != nullptr) {
            config->DeleteEntry(kLongPortKey);
            config->DeleteEntry(kStandInKey);
        }
        link.SaveSettings();
        return;
    }
    const std::string standIn = link.m_portName.Text();
    // A stand-in that is the long name's beginning is the name cut short: the
    // file keeps what it holds.
    if (standIn.empty() || chosen.compare(0, standIn.size(), standIn) == 0)
        link.m_settingsDirty = 0;
    else
        link.SaveSettings();
    if (config == nullptr) return;
    config->Write(kLongPortKey, wxString::FromUTF8(chosen));
    // Read back only while the file holds this stand-in (never, when it was left as it was).
    config->Write(kStandInKey, wxString::FromUTF8(standIn));
}
}  // namespace

std::string LoadRememberedPort(CDeviceLink& link, wxConfigBase* config) {
    link.LoadSettings();
    if (HasSettingsFile(link)) {
        const std::string inFile = link.m_portName.Text();
        // The long name comes back only while the file still holds its stand-in.
        if (config != nullptr && !inFile.empty() && ReadText(*config, kStandInKey) == inFile) {
            const std::string whole = ReadText(*config, kLongPortKey);
            if (!whole.empty()) return whole;
        }
        return inFile;
    }
    if (config == nullptr) return link.m_portName.Text();
    const std::string name = ReadText(*config, kPortKey);
    if (FitsTheLink(link, name)) link.m_portName.Assign(name.c_str());
    return name;
}

void SaveRememberedPort(CDeviceLink& link, wxConfigBase* config, const std::string& chosen) {
    if (chosen.empty() || !HasSettingsFile(link)) {
        if (config != nullptr && !chosen.empty()) {
            config->Write(kPortKey, wxString::FromUTF8(chosen));
            config->Flush();
        }
        link.SaveSettings();
        return;
    }
    SaveBesideTheProgram(link, config, chosen);
    if (config != nullptr) config->Flush();
}

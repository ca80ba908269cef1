#include "ui/station_settings.h"

#include <algorithm>

#include <wx/arrstr.h>
#include <wx/config.h>

namespace {
const char* const kGroup = "/Station";
const char* const kBayCount = "/Station/BayCount";
const char* const kImage = "/Station/Image";
const char* const kRecords = "/Station/Records";
// Text: a long is 32 bits on Windows, too short for milliseconds since 1970.
const char* const kShiftStart = "/Station/ShiftStart";
const char* const kBuiltIn = "/Station/BuiltInImage";
const char* const kLocked = "/Station/Locked";
const char* const kSupervisor = "/Station/Supervisor";
const char* const kRequireSigned = "/Station/RequireSigned";
const char* const kTrust = "/Station/Trust";  // key files, one per line
const char* const kOrder = "/Station/Order";
const char* const kQuantity = "/Station/Quantity";  // text, as the shift start
const char* const kWebConsole = "/Station/WebConsole";
const char* const kWebAddress = "/Station/WebAddress";

wxString BayKey(long index, const char* field) { return wxString::Format("/Station/Bay%ld/%s", index, field); }

std::string ReadText(wxConfigBase* config, const wxString& key) {
    wxString value;
    return config->Read(key, &value) ? std::string(value.utf8_str()) : std::string();
}
}  // namespace

namespace {
void LoadOperatorSettings(wxConfigBase* config, StationSettings& settings) {
    settings.builtInImage = config->ReadBool(kBuiltIn, false);
    settings.locked = config->ReadBool(kLocked, false);
    settings.supervisorHash = ReadText(config, kSupervisor);
    settings.requireSigned = config->ReadBool(kRequireSigned, false);
    const wxArrayString trust = wxSplit(wxString::FromUTF8(ReadText(config, kTrust)), '\n', '\0');
    for (const wxString& file : trust)
        if (!file.empty()) settings.trustFiles.emplace_back(file.utf8_str());
    settings.orderId = ReadText(config, kOrder);
    unsigned long long quantity = 0;
    if (wxString::FromUTF8(ReadText(config, kQuantity)).ToULongLong(&quantity)) settings.orderQuantity = quantity;
    settings.webConsole = config->ReadBool(kWebConsole, false);
    const std::string address = ReadText(config, kWebAddress);
    if (!address.empty()) settings.webAddress = address;
}

void SaveOperatorSettings(wxConfigBase* config, const StationSettings& settings) {
    config->Write(kBuiltIn, settings.builtInImage);
    config->Write(kLocked, settings.locked);
    config->Write(kSupervisor, wxString::FromUTF8(settings.supervisorHash));
    config->Write(kRequireSigned, settings.requireSigned);
    wxString trust;
    for (const std::string& file : settings.trustFiles) trust += wxString::FromUTF8(file) + '\n';
    config->Write(kTrust, trust);
    config->Write(kOrder, wxString::FromUTF8(settings.orderId));
    config->Write(kQuantity, wxString::Format("%llu", static_cast<unsigned long long>(settings.orderQuantity)));
    config->Write(kWebConsole, settings.webConsole);
    config->Write(kWebAddress, wxString::FromUTF8(settings.webAddress));
}
}  // namespace

StationSettings LoadStationSettings(wxConfigBase* config) {
    StationSettings settings;
    if (config == nullptr) return settings;
    const long count = config->ReadLong(kBayCount, 0);
    for (long i = 0; i < count; ++i) {
        BayConfig bay;
        bay.port = ReadText(config, BayKey(i, "Port"));
        bay.secondCpu = config->ReadBool(BayKey(i, "SecondCpu"), false);
        if (bay.port.empty()) continue;
        settings.bays.push_back(bay);
        settings.bayNumbers.push_back(static_cast<size_t>(std::max(0L, config->ReadLong(BayKey(i, "Number"), 0))));
    }
    settings.imagePath = ReadText(config, kImage);
    settings.records = ReadText(config, kRecords);
    long long shiftStart = 0;
    if (wxString::FromUTF8(ReadText(config, kShiftStart)).ToLongLong(&shiftStart) && shiftStart > 0)
        settings.shiftStartUtcMs = shiftStart;
    LoadOperatorSettings(config, settings);
    return settings;
}

void SaveStationSettings(wxConfigBase* config, const StationSettings& settings) {
    if (config == nullptr) return;
    // The old list goes first, so a shorter list leaves no bays behind.
    config->DeleteGroup(kGroup);
    config->Write(kBayCount, static_cast<long>(settings.bays.size()));
    for (size_t i = 0; i < settings.bays.size(); ++i) {
        config->Write(BayKey(static_cast<long>(i), "Port"), wxString::FromUTF8(settings.bays[i].port));
        config->Write(BayKey(static_cast<long>(i), "SecondCpu"), settings.bays[i].secondCpu);
        if (i < settings.bayNumbers.size())
            config->Write(BayKey(static_cast<long>(i), "Number"), static_cast<long>(settings.bayNumbers[i]));
    }
    config->Write(kImage, wxString::FromUTF8(settings.imagePath));
    config->Write(kRecords, wxString::FromUTF8(settings.records));
    config->Write(kShiftStart, wxString::Format("%lld", static_cast<long long>(settings.shiftStartUtcMs)));
    SaveOperatorSettings(config, settings);
    config->Flush();
}

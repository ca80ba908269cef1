#include "ui/station_settings.h"

#include <wx/config.h>

namespace {
const char* const kGroup = "/Station";
const char* const kBayCount = "/Station/BayCount";
const char* const kImage = "/Station/Image";
const char* const kRecords = "/Station/Records";

wxString BayKey(long index, const char* field) { return wxString::Format("/Station/Bay%ld/%s", index, field); }

std::string ReadText(wxConfigBase* config, const wxString& key) {
    wxString value;
    return config->Read(key, &value) ? std::string(value.utf8_str()) : std::string();
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
        if (!bay.port.empty()) settings.bays.push_back(bay);
    }
    settings.imagePath = ReadText(config, kImage);
    settings.records = ReadText(config, kRecords);
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
    }
    config->Write(kImage, wxString::FromUTF8(settings.imagePath));
    config->Write(kRecords, wxString::FromUTF8(settings.records));
    config->Flush();
}

#include "ui/station_settings.h"

#include <algorithm>

#include <wx/config.h>

namespace {
const char* const kGroup = "/Station";
const char* const kBayCount = "/Station/BayCount";
const char* const kImage = "/Station/Image";
const char* const kRecords = "/Station/Records";
// Text: a long is 32 bits on Windows, too short for milliseconds since 1970.
const char* const kShiftStart = "/Station/ShiftStart";

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
        if (bay.port.empty()) continue;
        settings.bays.push_back(bay);
        settings.bayNumbers.push_back(static_cast<size_t>(std::max(0L, config->ReadLong(BayKey(i, "Number"), 0))));
    }
    settings.imagePath = ReadText(config, kImage);
    settings.records = ReadText(config, kRecords);
    long long shiftStart = 0;
    if (wxString::FromUTF8(ReadText(config, kShiftStart)).ToLongLong(&shiftStart) && shiftStart > 0)
        settings.shiftStartUtcMs = shiftStart;
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
    config->Flush();
}

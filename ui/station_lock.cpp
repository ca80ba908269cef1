#include "ui/station_lock.h"

#include <wx/textdlg.h>
#include <wx/utils.h>

#include "image/password_hash.h"
#include "ui/message_boxes.h"
#include "ui/station_setting_texts.h"
#include "ui/station_texts.h"

namespace {
wxString T(const char* english) { return wxString::FromUTF8(Tr(english)); }

bool AskMasked(wxWindow* parent, const wxString& message, std::string& password) {
    wxPasswordEntryDialog dialog(parent, message, T(stationtext::kPasswordTitle));
    if (dialog.ShowModal() != wxID_OK) return false;
    password = std::string(dialog.GetValue().utf8_str());
    return true;
}
}  // namespace

CStationLock::CStationLock(bool locked, std::string hash)
    // A lock without a valid hash could never be opened: it is no lock.
    : m_locked(locked && IsPasswordHash(hash)), m_hash(std::move(hash)), m_prompt(AskMasked) {}

bool CStationLock::Ask(wxWindow* parent, const char* message, std::string& password) {
    return m_prompt(parent, T(message), password);
}

void CStationLock::Say(wxWindow* parent, const char* text) {
    ShowMessageBox(T(text), T(stationtext::kWindowTitle), wxOK | wxICON_WARNING | wxCENTRE, parent);
}

bool CStationLock::Allow(wxWindow* parent) {
    if (!m_locked) return true;
    std::string password;
    if (!Ask(parent, stationtext::kSupervisorPrompt, password)) return false;
    bool matches = false;
    {
        wxBusyCursor busy;  // the hash is slow on purpose
        matches = PasswordMatches(password, m_hash);
    }
    if (!matches) Say(parent, stationtext::kWrongPassword);
    return matches;
}

bool CStationLock::Lock(wxWindow* parent) {
    if (m_locked) return true;
    if (!IsPasswordHash(m_hash)) {
        std::string first, second;
        if (!Ask(parent, stationtext::kNewPasswordPrompt, first) || first.empty()) {
            Say(parent, stationtext::kNoPasswordSet);
            return false;
        }
        if (!Ask(parent, stationtext::kRepeatPasswordPrompt, second) || second != first) {
            Say(parent, stationtext::kPasswordsDiffer);
            return false;
        }
        wxBusyCursor busy;
        std::string hash;
        if (!HashPassword(first, hash)) {
            Say(parent, stationtext::kNoPasswordSet);
            return false;
        }
        m_hash = hash;
    }
    m_locked = true;
    return true;
}

bool CStationLock::Unlock(wxWindow* parent) {
    if (!Allow(parent)) return false;
    m_locked = false;
    return true;
}

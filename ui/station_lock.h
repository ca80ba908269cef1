#pragma once
// Operator mode: while the station window is locked, its settings (the
// image, the bays, the records, the release settings, the work order) change
// only after the supervisor's password; Start, Stop, Pause and Resume stay
// free. The password is kept only as its salted Argon2id hash
// (image/password_hash.h); the first lock asks for a new one.
// Window thread.
#include <functional>
#include <string>

#include <wx/string.h>

class wxWindow;

// Asks for a password (shown masked); false when the person cancelled.
using PasswordPrompt = std::function<bool(wxWindow* parent, const wxString& message, std::string& password)>;

class CStationLock {
public:
    CStationLock(bool locked, std::string hash);

    bool Locked() const { return m_locked; }
    const std::string& Hash() const { return m_hash; }
    // True when a change may go ahead: unlocked, or the supervisor's
    // password given. A wrong one says so and changes nothing.
    [[nodiscard]] bool Allow(wxWindow* parent);
    // Locks; the first time a new password is asked for, twice. False (after
    // saying why) when none was set.
    [[nodiscard]] bool Lock(wxWindow* parent);
    // Unlocks once the password is given.
    [[nodiscard]] bool Unlock(wxWindow* parent);
    // Who answers the prompts (the GUI tests); the masked dialog by default.
    void SetPrompt(PasswordPrompt prompt) { m_prompt = std::move(prompt); }

private:
    [[nodiscard]] bool Ask(wxWindow* parent, const char* message, std::string& password);
    void Say(wxWindow* parent, const char* text);

    bool m_locked;
    std::string m_hash;
    PasswordPrompt m_prompt;
};

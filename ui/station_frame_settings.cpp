// The station window's settings side: the chosen image and its release, the
// records' password, operator mode, the work order and the web console.
#include <functional>

#include <wx/filedlg.h>
#include <wx/menu.h>
#include <wx/stattext.h>
#include <wx/textdlg.h>
#include <wx/timer.h>

#include "image/image_release.h"
#include "image/image_source.h"
#include "link/file_path.h"
#include "records/connection_text.h"
#include "records/pgpass.h"
#include "records/record_store.h"
#include "station/work_order.h"
#include "ui/message_boxes.h"
#include "ui/station_dialogs.h"
#include "ui/station_frame.h"
#include "ui/station_model.h"
#include "ui/station_setting_texts.h"
#include "ui/station_texts.h"

namespace {
enum : int {
    CMD_SETTINGS_LOCK = wxID_HIGHEST + 260,
    CMD_SETTINGS_UNLOCK,
    CMD_SETTINGS_REQUIRE_SIGNED,
    CMD_SETTINGS_TRUST,
    CMD_SETTINGS_ORDER,
    CMD_SETTINGS_WEB,
    CMD_SETTINGS_WEB_ADDRESS,
};

wxString Utf8(const std::string& text) { return wxString::FromUTF8(text); }
wxString T(const char* english) { return wxString::FromUTF8(Tr(english)); }
std::string Text(const char* format, const std::vector<std::string>& values) { return FormatText(Tr(format), values); }

class CCallbackTimer final : public wxTimer {
public:
    explicit CCallbackTimer(std::function<void()> tick) : m_tick(std::move(tick)) {}
    void Notify() override { m_tick(); }

private:
    std::function<void()> m_tick;
};
}  // namespace

// --- menu ---

void CStationFrame::BindSettingsCommands(wxMenu* station) {
    station->AppendCheckItem(CMD_SETTINGS_REQUIRE_SIGNED, T(stationtext::kRequireSigned));
    station->Append(CMD_SETTINGS_TRUST, T(stationtext::kTrustedKeys));
    station->Append(CMD_SETTINGS_ORDER, T(stationtext::kWorkOrder));
    station->AppendSeparator();
    station->AppendCheckItem(CMD_SETTINGS_WEB, T(stationtext::kWebConsole));
    station->Append(CMD_SETTINGS_WEB_ADDRESS, T(stationtext::kWebAddress));
    station->AppendSeparator();
    station->Append(CMD_SETTINGS_LOCK, T(stationtext::kLockSettings));
    station->Append(CMD_SETTINGS_UNLOCK, T(stationtext::kUnlockSettings));
    station->AppendSeparator();
    auto on = [this](int id, std::function<void()> handler) {
        Bind(wxEVT_MENU, [handler](wxCommandEvent&) { handler(); }, id);
    };
    on(CMD_SETTINGS_LOCK, [this] { (void)LockSettings(); });
    on(CMD_SETTINGS_UNLOCK, [this] { (void)UnlockSettings(); });
    on(CMD_SETTINGS_REQUIRE_SIGNED,
       [this] { (void)SetReleaseSettings(!m_settings.requireSigned, m_settings.trustFiles); });
    on(CMD_SETTINGS_TRUST, [this] { OnTrustCommand(); });
    on(CMD_SETTINGS_ORDER, [this] { OnOrderCommand(); });
    on(CMD_SETTINGS_WEB, [this] { (void)SetWebConsole(!m_web.Serving(), m_settings.webAddress); });
    on(CMD_SETTINGS_WEB_ADDRESS, [this] { OnWebAddressCommand(); });
    Bind(wxEVT_UPDATE_UI, [this](wxUpdateUIEvent& e) { e.Enable(!m_lock.Locked()); }, CMD_SETTINGS_LOCK);
    Bind(wxEVT_UPDATE_UI, [this](wxUpdateUIEvent& e) { e.Enable(m_lock.Locked()); }, CMD_SETTINGS_UNLOCK);
    Bind(wxEVT_UPDATE_UI, [this](wxUpdateUIEvent& e) { e.Check(m_web.Serving()); }, CMD_SETTINGS_WEB);
    Bind(wxEVT_UPDATE_UI,
         [this](wxUpdateUIEvent& e) {
             e.Check(m_settings.requireSigned);
             e.Enable(!Running());
         },
         CMD_SETTINGS_REQUIRE_SIGNED);
    for (int id : {CMD_SETTINGS_TRUST, CMD_SETTINGS_ORDER})
        Bind(wxEVT_UPDATE_UI, [this](wxUpdateUIEvent& e) { e.Enable(!Running()); }, id);
}

// --- the image ---

bool CStationFrame::ReadImage(const std::string& path, FirmwareImage& image, std::string& problem) const {
    // Remembered by its absolute path: the window may be opened from anywhere next time.
    const std::string file = AbsoluteUtf8Path(path);
    const ImageLoadReport report = LoadFirmwareImage(file, image);
    if (!report.Usable()) {
        problem = report.shownProblem.empty() ? report.problem : report.shownProblem;
        return false;
    }
    const ReleaseDecision release = DecideImageRelease(m_settings.requireSigned, m_settings.trustFiles, image);
    if (release.verdict != ReleaseVerdict::Accepted) {
        problem = release.problem;
        return false;
    }
    return true;
}

void CStationFrame::KeepImage(FirmwareImage image, const std::string& problem) {
    m_image = std::move(image);
    m_imageProblem = problem;
    if (!problem.empty()) SetStatusText(Utf8(problem));
    // The console shows the image the next run flashes.
    if (m_web.Serving() && !Running()) ServeWebConsole();
    UpdateHeader();
}

void CStationFrame::ReloadChosenImage() {
    FirmwareImage image;
    std::string problem;
    // The built-in image only when someone chose it; a chosen file that cannot
    // be used leaves the station without an image, and the choice as it was.
    if (!m_settings.builtInImage && m_settings.imagePath.empty())
        problem = Tr(stationtext::kNoImageChosen);
    else if (!ReadImage(m_settings.builtInImage ? std::string() : m_settings.imagePath, image, problem))
        image = FirmwareImage();
    KeepImage(std::move(image), problem);
}

void CStationFrame::RestoreSettings(const StationWindowRequest& request) {
    // An older version kept a server's password in the settings: it moves
    // to the password file, and the settings keep the rest.
    if (!ConnectionPasswordSpans(m_settings.records).empty()) {
        PgpassEntry entry;
        std::string problem;
        if (ParseConnectionPlace(m_settings.records, entry) && StorePgpassEntry(entry, problem)) {
            m_settings.records = ConnectionWithoutPassword(m_settings.records);
            SaveSettings();
        }
    }
    if (request.imageGiven && m_lock.Allow(this)) {
        FirmwareImage image;
        std::string problem;
        if (ReadImage(request.imagePath, image, problem)) {
            m_settings.imagePath = image.path;
            m_settings.builtInImage = image.BuiltIn();
            SaveSettings();
            KeepImage(std::move(image), std::string());
        } else {
            KeepImage(FirmwareImage(), problem);  // the remembered image stays remembered
        }
    } else {
        ReloadChosenImage();
    }
    ServeWebConsole();
}

std::string CStationFrame::ImageHeader() const {
    if (m_image.data.empty() && !m_imageProblem.empty()) return Text(stationtext::kNoImageBecause, {m_imageProblem});
    std::string line = ImageLine(m_image);
    if (!m_image.signer.empty()) line += Text(", released by \"%s\" (key %s)", {m_image.signer, m_image.keyId});
    return line;
}

bool CStationFrame::ReadyToStart() {
    // The image may have changed on disk, or its key left the trust folder.
    if (!m_image.data.empty()) {
        FirmwareImage image = m_image;
        const ReleaseDecision release = DecideImageRelease(m_settings.requireSigned, m_settings.trustFiles, image);
        if (release.verdict == ReleaseVerdict::Accepted)
            m_image = std::move(image);
        else
            KeepImage(FirmwareImage(), release.problem);
    }
    if (!m_image.data.empty()) return true;
    const std::string why = m_imageProblem.empty() ? Tr(stationtext::kNoImageChosen) : m_imageProblem;
    SetStatusText(Utf8(Text(stationtext::kNothingStarted, {why})));
    Box(Utf8(Text(stationtext::kNothingStarted, {why})), wxOK | wxICON_ERROR);
    return false;
}

// --- records ---

wxString CStationFrame::RecordsText() const {
    return Utf8(Text(stationtext::kRecordsLine, {ShownConnection(RecordsLocator())}));
}

bool CStationFrame::SetRecordsLocator(const std::string& locator, const std::string& password) {
    if (Running()) {
        Box(T(stationtext::kStopWhileRunning), wxOK | wxICON_INFORMATION);
        return false;
    }
    if (!m_lock.Allow(this)) return false;
    std::string kept = locator;
    if (!password.empty() || !ConnectionPasswordSpans(locator).empty()) {
        PgpassEntry entry;
        if (!IsServerLocator(locator) || !ParseConnectionPlace(locator, entry)) {
            Box(T(stationtext::kPasswordWithoutServer), wxOK | wxICON_ERROR);
            return false;
        }
        if (!password.empty()) entry.password = password;
        std::string problem;
        if (!StorePgpassEntry(entry, problem)) {
            Box(Utf8(Text(stationtext::kPasswordNotKept, {problem})), wxOK | wxICON_ERROR);
            return false;
        }
        kept = ConnectionWithoutPassword(locator);
    }
    m_settings.records = kept;
    SaveSettings();
    RefreshRecords();
    UpdateHeader();
    return true;
}

void CStationFrame::OnRecordsCommand() {
    CRecordsDialog dialog(this, RecordsLocator());
    if (dialog.ShowModal() != wxID_OK) return;
    const std::string value = dialog.Locator();
    (void)SetRecordsLocator(value == DefaultRecordsPath() ? std::string() : value, dialog.Password());
}

// --- operator mode and released images ---

bool CStationFrame::LockSettings() {
    if (!m_lock.Lock(this)) return false;
    m_settings.locked = true;
    m_settings.supervisorHash = m_lock.Hash();
    SaveSettings();
    UpdateHeader();
    return true;
}

bool CStationFrame::UnlockSettings() {
    if (!m_lock.Unlock(this)) return false;
    m_settings.locked = false;
    SaveSettings();
    UpdateHeader();
    return true;
}

bool CStationFrame::SetReleaseSettings(bool requireSigned, const std::vector<std::string>& trustFiles) {
    if (Running()) {
        Box(T(stationtext::kStopWhileRunning), wxOK | wxICON_INFORMATION);
        return false;
    }
    if (!m_lock.Allow(this)) return false;
    m_settings.requireSigned = requireSigned;
    m_settings.trustFiles = trustFiles;
    SaveSettings();
    ReloadChosenImage();
    return true;
}

void CStationFrame::OnTrustCommand() {
    wxFileDialog dialog(this, T(stationtext::kTrustTitle), wxString(), wxString(), T(stationtext::kKeyWildcard),
                        wxFD_OPEN | wxFD_FILE_MUST_EXIST | wxFD_MULTIPLE);
    if (dialog.ShowModal() != wxID_OK) return;
    wxArrayString paths;
    dialog.GetPaths(paths);
    std::vector<std::string> files;
    for (const wxString& path : paths) files.emplace_back(path.utf8_str());
    (void)SetReleaseSettings(m_settings.requireSigned, files);
}

// --- the work order ---

bool CStationFrame::SetWorkOrder(const std::string& orderId, uint64_t quantity) {
    if (Running()) {
        Box(T(stationtext::kStopWhileRunning), wxOK | wxICON_INFORMATION);
        return false;
    }
    if (!m_lock.Allow(this)) return false;
    m_settings.orderId = orderId;
    m_settings.orderQuantity = orderId.empty() ? 0 : std::max<uint64_t>(1, quantity);
    m_order.reset();
    m_orderPassedBefore = 0;
    SaveSettings();
    UpdateHeader();
    return true;
}

void CStationFrame::OnOrderCommand() {
    COrderDialog dialog(this, m_settings.orderId, m_settings.orderQuantity);
    if (dialog.ShowModal() == wxID_OK) (void)SetWorkOrder(dialog.OrderId(), dialog.Quantity());
}

bool CStationFrame::OpenOrder() {
    m_order.reset();
    m_orderPassedBefore = 0;
    if (m_settings.orderId.empty()) return true;
    std::string error;
    bool serverFailed = false;
    std::unique_ptr<IRecordStore> store = OpenRecordStoreForReading(RecordsLocator(), error);
    if (store) {
        const std::string station = m_base.stationName.empty() ? DefaultStationName() : m_base.stationName;
        // A bay's thread: the status bar hears it on the window's.
        auto trouble = [this](const std::string& text) { CallAfter([this, text] { SetStatusText(Utf8(text)); }); };
        m_order = OpenWorkOrder(RecordsLocator(), *store, m_settings.orderId, m_settings.orderQuantity, station, error,
                                serverFailed, trouble);
    }
    if (!m_order) {
        Box(Utf8(Text(stationtext::kOrderUnusable, {error})), wxOK | wxICON_ERROR);
        return false;
    }
    m_orderPassedBefore = m_order->PassedCount();
    UpdateHeader();
    if (!m_order->Complete()) return true;
    Box(Utf8(OrderText()), wxOK | wxICON_INFORMATION);
    return false;
}

void CStationFrame::AttachOrder(StationConfig& config) const {
    if (!m_order) return;
    IWorkOrder* order = m_order.get();
    config.orderId = m_settings.orderId;
    config.claimUnit = [order](size_t bay) { return order->Claim(bay); };
    config.settleUnit = [order](size_t bay, bool passed) { order->Settle(bay, passed); };
}

std::string CStationFrame::OrderText() const {
    if (m_settings.orderId.empty()) return {};
    const std::string quantity = std::to_string(m_settings.orderQuantity);
    // The passed units of this run are the bays' (settled a moment before a bay counts its unit).
    uint64_t passed = m_orderPassedBefore;
    for (size_t i = 0; m_order && m_station && i < m_station->BayCount(); ++i) passed += m_station->Bay(i).passed;
    if (m_order && m_order->Complete())
        return Text(stationtext::kOrderCompleteLine, {m_settings.orderId, std::to_string(passed), quantity});
    return Text(stationtext::kOrderLine, {m_settings.orderId, m_order ? std::to_string(passed) : "-", quantity});
}

wxString CStationFrame::SettingsText() const {
    std::vector<std::string> parts;
    if (!m_settings.orderId.empty()) parts.push_back(OrderText());
    if (m_settings.requireSigned) parts.push_back(Tr(stationtext::kSignedRequiredLine));
    if (m_lock.Locked()) parts.push_back(Tr(stationtext::kLockedLine));
    if (m_web.Serving())
        parts.push_back(Text(stationtext::kWebLine, {m_web.ShownHost(), std::to_string(m_web.Port()), m_web.TokenPath()}));
    std::string line;
    for (const std::string& part : parts) line += (line.empty() ? "" : "   ") + part;
    return Utf8(line);
}

// --- the web console ---

bool CStationFrame::StartWebConsole(std::string& error) {
    if (!m_station) m_station = std::make_unique<CStation>(static_cast<IStationEvents*>(this));
    const std::string station = m_base.stationName.empty() ? DefaultStationName() : m_base.stationName;
    if (!m_web.Serve(*m_station, m_image, station, RecordsLocator(), m_settings.webAddress, error)) return false;
    if (!m_webClock) m_webClock = std::make_unique<CCallbackTimer>([this] {
        if (m_station) m_web.RunControls(*m_station);
    });
    m_webClock->Start(100);
    return true;
}

void CStationFrame::ServeWebConsole() {
    std::string error;
    if (m_settings.webConsole && !StartWebConsole(error)) SetStatusText(Utf8(Text(stationtext::kWebFailed, {error})));
    UpdateHeader();
}

bool CStationFrame::SetWebConsole(bool on, const std::string& address) {
    if (!m_lock.Allow(this)) return false;
    m_web.Stop();
    if (m_webClock) m_webClock->Stop();
    m_settings.webConsole = on;
    m_settings.webAddress = address;
    std::string error;
    const bool served = !on || StartWebConsole(error);
    if (!served) {
        m_settings.webConsole = false;
        Box(Utf8(Text(stationtext::kWebFailed, {error})), wxOK | wxICON_ERROR);
    }
    SaveSettings();
    UpdateHeader();
    return served;
}

void CStationFrame::OnWebAddressCommand() {
    wxTextEntryDialog dialog(this, T(stationtext::kWebAddressPrompt), T(stationtext::kWebConsole),
                             Utf8(m_settings.webAddress));
    if (dialog.ShowModal() != wxID_OK) return;
    wxString address = dialog.GetValue();
    (void)SetWebConsole(m_settings.webConsole, std::string(address.Trim().Trim(false).utf8_str()));
}

#include "ui/station_frame.h"

#include <algorithm>
#include <fstream>

#include <wx/button.h>
#include <wx/config.h>
#include <wx/dcclient.h>
#include <wx/dialog.h>
#include <wx/filedlg.h>
#include <wx/listctrl.h>
#include <wx/menu.h>
#include <wx/panel.h>
#include <wx/scrolwin.h>
#include <wx/settings.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/statusbr.h>
#include <wx/textdlg.h>
#include <wx/timer.h>
#include <wx/wrapsizer.h>

#include "image/image_source.h"
#include "link/adapter_latency.h"
#include "link/device_link.h"
#include "link/file_path.h"
#include "records/record_reader.h"
#include "records/record_time.h"
#include "records/record_writer.h"
#include "ui/add_bay_dialog.h"
#include "ui/icons.h"
#include "ui/message_boxes.h"
#include "ui/station_model.h"
#include "ui/station_texts.h"
#include "ui/station_tile.h"
#include "ui/ui_texts.h"
#include "ui/window_place.h"

namespace {
CStationFrame* g_stationFrame = nullptr;

wxDEFINE_EVENT(EVT_STATION_BAY, wxThreadEvent);
wxDEFINE_EVENT(EVT_STATION_RECORD, wxThreadEvent);
wxDEFINE_EVENT(EVT_RECORDS_READ, wxThreadEvent);
wxDEFINE_EVENT(EVT_SHIFT_READ, wxThreadEvent);

// The window's commands; their keys are on the menu items.
enum : int {
    CMD_STATION_START = wxID_HIGHEST + 200,
    CMD_STATION_STOP,
    CMD_STATION_OPEN_IMAGE,
    CMD_STATION_BUILT_IN,
    CMD_STATION_RECORDS,
    CMD_STATION_CLOSE,
    CMD_STATION_NEW_SHIFT,
    CMD_BAY_ADD,
    CMD_BAY_REMOVE,
    CMD_BAY_PAUSE,
    CMD_BAY_RESUME,
    CMD_BAY_NEXT,
    CMD_BAY_PREVIOUS,
    CMD_RECORDS_REFRESH,
    CMD_RECORDS_EXPORT,
};

constexpr size_t kShownRecords = 200;
// Where the window was last, in the user's configuration.
const char* const kPlaceGroup = "/StationWindow";

wxString Utf8(const std::string& text) { return wxString::FromUTF8(text); }
// A station text in the person's language.
wxString T(const char* english) { return wxString::FromUTF8(Tr(english)); }
wxString Printf(const char* format, const std::string& value) { return wxString::Format(T(format), Utf8(value)); }

}  // namespace

CStationFrame* CStationFrame::Get() { return g_stationFrame; }

CStationFrame::CStationFrame(const StationFrameOptions& options)
    : wxFrame(nullptr, wxID_ANY, T(stationtext::kWindowTitle), wxDefaultPosition, wxSize(1100, 820)),
      m_base(options.station),
      m_settings(options.settingsGiven ? options.settings : LoadStationSettings(wxConfigBase::Get(false))),
      m_lock(m_settings.locked, m_settings.supervisorHash) {
    g_stationFrame = this;
    SetIcon(AppIcon());
    CreateMenus();
    CreateStatusBar(1);

    auto* root = new wxPanel(this);
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    CreateHeader(root, sizer);
    m_tilePanel = new wxScrolledWindow(root, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxVSCROLL | wxTAB_TRAVERSAL);
    // The tiles fit the room left, never the other way round: the records
    // table keeps its place however many bays there are. Tiles that cannot
    // be shown whole scroll.
    m_tilePanel->SetScrollRate(0, FromDIP(12));
    m_tilePanel->SetMinSize(CBayTile::SmallestSize(this) + wxSize(wxSystemSettings::GetMetric(wxSYS_VSCROLL_X, this), 0));
    m_grid = new wxGridSizer(1, FromDIP(6), FromDIP(6));  // rows follow the columns
    m_tilePanel->SetSizer(m_grid);
    m_noBays = new wxStaticText(root, wxID_ANY, T(stationtext::kNoBays), wxDefaultPosition, wxDefaultSize,
                                wxST_ELLIPSIZE_END);
    m_noBays->SetToolTip(T(stationtext::kNoBays));
    m_noBays->SetMinSize(wxSize(FromDIP(80), -1));
    sizer->Add(m_noBays, 0, wxALL | wxEXPAND, FromDIP(8));
    sizer->Add(m_tilePanel, 3, wxEXPAND | wxLEFT | wxRIGHT, FromDIP(6));
    CreateRecordsTable(root);
    sizer->Add(m_records, 1, wxEXPAND | wxALL, FromDIP(6));
    root->SetSizer(sizer);

    for (size_t i = 0; i < m_settings.bays.size(); ++i) {
        Slot slot{m_settings.bays[i]};
        const size_t number = i < m_settings.bayNumbers.size() ? m_settings.bayNumbers[i] : 0;
        const bool taken = std::any_of(m_slots.begin(), m_slots.end(), [&](const Slot& s) { return s.number == number; });
        slot.number = number == 0 || taken ? FreeNumber() : number;
        m_slots.push_back(slot);
    }
    RebuildTiles();
    BindCommands();
    UpdateHeader();
    SetSmallestSize();
    RestoreWindowPlace(this, wxConfigBase::Get(false), kPlaceGroup);

    RestoreSettings(options.request);
    // The table is read on a thread of its own: a line's server that is slow
    // to answer never holds up the window.
    auto reader = [this](wxEventType type) {
        return std::make_unique<CRecordReader>([this, type](RecordReadResult result) {
            auto* posted = new wxThreadEvent(type);
            posted->SetPayload(std::move(result));
            wxQueueEvent(this, posted);
        });
    };
    m_reader = reader(EVT_RECORDS_READ);
    m_shiftReader = reader(EVT_SHIFT_READ);
    // The first opening begins the first shift.
    if (m_settings.shiftStartUtcMs == 0) NewShift(false);
    RefreshRecords();
    m_clock = std::make_unique<wxTimer>(this);
    Bind(wxEVT_TIMER, [this](wxTimerEvent&) {
        // The pace looks back from now: it moves on while nothing else does.
        m_shift = SummarizeShift(m_shiftRecords, UtcNowMs());
        UpdateHeader();
        // A download that stood still since says so without an event.
        UpdateTiles();
    });
    m_clock->Start(1000);
}

CStationFrame::~CStationFrame() {
    if (m_clock) m_clock->Stop();
    // The bays and the readers post to this window: joined before it goes, then the records flushed.
    m_web.Stop();
    m_station.reset();
    m_writer.reset();
    m_reader.reset();
    m_shiftReader.reset();
    if (g_stationFrame == this) g_stationFrame = nullptr;
}

void CStationFrame::CreateMenus() {
    auto* station = new wxMenu;
    station->Append(CMD_STATION_START, T(stationtext::kStartAll), T(stationtext::kStartStopHelp));
    station->Append(CMD_STATION_STOP, T(stationtext::kStopAll), T(stationtext::kStartStopHelp));
    station->AppendSeparator();
    station->Append(CMD_STATION_OPEN_IMAGE, T(stationtext::kOpenImage));
    station->Append(CMD_STATION_BUILT_IN, T(stationtext::kBuiltInImage));
    station->Append(CMD_STATION_RECORDS, T(stationtext::kRecordsSetting));
    BindSettingsCommands(station);
    station->Append(CMD_STATION_NEW_SHIFT, T(stationtext::kNewShift));
    station->AppendSeparator();
    station->Append(CMD_STATION_CLOSE, T(stationtext::kCloseWindow));
    auto* bays = new wxMenu;
    bays->Append(CMD_BAY_ADD, T(stationtext::kAddBay));
    bays->Append(CMD_BAY_REMOVE, T(stationtext::kRemoveBay));
    bays->AppendSeparator();
    bays->Append(CMD_BAY_PAUSE, T(stationtext::kPauseBay));
    bays->Append(CMD_BAY_RESUME, T(stationtext::kResumeBay));
    bays->AppendSeparator();
    bays->Append(CMD_BAY_NEXT, T(stationtext::kNextBay));
    bays->Append(CMD_BAY_PREVIOUS, T(stationtext::kPreviousBay));
    auto* records = new wxMenu;
    records->Append(CMD_RECORDS_REFRESH, T(stationtext::kRefreshRecords));
    records->Append(CMD_RECORDS_EXPORT, T(stationtext::kExportCsv));
    auto* bar = new wxMenuBar;
    bar->Append(station, T(stationtext::kMenuStation));
    bar->Append(bays, T(stationtext::kMenuBays));
    bar->Append(records, T(stationtext::kMenuRecords));
    SetMenuBar(bar);
}

void CStationFrame::CreateHeader(wxPanel* parent, wxBoxSizer* sizer) {
    auto* header = new wxBoxSizer(wxHORIZONTAL);
    auto* lines = new wxBoxSizer(wxVERTICAL);
    // A long image path or records locator is cut in the window and shown
    // whole in the tool tip.
    m_imageText = new wxStaticText(parent, wxID_ANY, wxString(), wxDefaultPosition, wxDefaultSize, wxST_ELLIPSIZE_MIDDLE);
    m_imageText->SetFont(m_imageText->GetFont().Bold());
    m_imageText->SetMinSize(wxSize(FromDIP(160), -1));
    m_recordsText = new wxStaticText(parent, wxID_ANY, wxString(), wxDefaultPosition, wxDefaultSize, wxST_ELLIPSIZE_MIDDLE);
    m_recordsText->SetMinSize(wxSize(FromDIP(160), -1));
    m_settingsText = new wxStaticText(parent, wxID_ANY, wxString(), wxDefaultPosition, wxDefaultSize, wxST_ELLIPSIZE_MIDDLE);
    m_settingsText->SetMinSize(wxSize(FromDIP(160), -1));
    lines->Add(m_imageText, 0, wxBOTTOM | wxEXPAND, FromDIP(4));
    lines->Add(m_recordsText, 0, wxEXPAND);
    lines->Add(m_settingsText, 0, wxTOP | wxEXPAND, FromDIP(4));
    m_startStop = new wxButton(parent, wxID_ANY, T(stationtext::kStartButton));
    m_startStop->SetFont(m_startStop->GetFont().Bold().Scaled(1.3f));
    m_startStop->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { StartOrStopAll(); });
    header->Add(lines, 1, wxALIGN_CENTER_VERTICAL);
    header->Add(m_startStop, 0, wxALIGN_CENTER_VERTICAL | wxLEFT, FromDIP(8));
    sizer->Add(header, 0, wxEXPAND | wxLEFT | wxRIGHT | wxTOP, FromDIP(8));
    // The totals below, the whole width theirs: their parts wrap, never cut.
    // (Only a sizer the window's own sizer holds learns its width in time.)
    m_totals = new wxWrapSizer(wxHORIZONTAL);
    sizer->Add(m_totals, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, FromDIP(8));
}

void CStationFrame::CreateRecordsTable(wxPanel* parent) {
    m_records = new wxListCtrl(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxLC_REPORT | wxLC_SINGLE_SEL);
    // At least the heading and three rows; more as the window grows.
    m_records->SetMinSize(wxSize(FromDIP(200), 4 * (m_records->GetCharHeight() + FromDIP(8))));
    const wxString columns[] = {T(stationtext::kColumnTime),   T(stationtext::kColumnBay),
                                T(stationtext::kColumnProduct), T(stationtext::kColumnResult),
                                T(stationtext::kColumnDuration), T(stationtext::kColumnReason)};
    for (const wxString& column : columns) m_records->AppendColumn(column);
    // A reason too long for its column is whole in the row's tool tip.
    m_records->Bind(wxEVT_MOTION, [this](wxMouseEvent& event) {
        event.Skip();
        int flags = 0;
        const long row = m_records->HitTest(event.GetPosition(), flags);
        const wxString tip = row == wxNOT_FOUND ? wxString() : m_records->GetItemText(row, 5);
        if (tip != m_records->GetToolTipText()) m_records->SetToolTip(tip);
    });
    m_records->Bind(wxEVT_SIZE, [this](wxSizeEvent& event) {
        event.Skip();
        CallAfter([this] { FitRecordsColumns(); });
    });
}

void CStationFrame::FitRecordsColumns() {
    if (m_records == nullptr) return;
    // Shares of the room left once every column shows its heading and rows whole.
    constexpr int kShares[] = {20, 14, 12, 14, 10, 30};
    constexpr int kReason = 5;
    const int columns = std::min(m_records->GetColumnCount(), 6);
    int least[6] = {};
    int heading[6] = {};
    int leastSum = 0;
    wxClientDC dc(m_records);
    dc.SetFont(m_records->GetFont());
    for (int i = 0; i < columns; ++i) {
        wxListItem item;
        item.SetMask(wxLIST_MASK_TEXT);
        m_records->GetColumn(i, item);
        heading[i] = least[i] = dc.GetTextExtent(item.GetText()).x + FromDIP(24);
        for (long row = 0; row < m_records->GetItemCount(); ++row)
            least[i] = std::max(least[i], dc.GetTextExtent(m_records->GetItemText(row, i)).x + FromDIP(16));
        leastSum += least[i];
    }
    const int room = m_records->GetClientSize().x - FromDIP(4);
    const int spare = room - leastSum;
    for (int i = 0; i < columns; ++i) {
        int width = least[i] + std::max(0, spare) * kShares[i] / 100;
        // Too narrow for every reason: the reason column takes what is left
        // (the row's tool tip holds it whole); narrower still, the table scrolls.
        if (i == kReason && spare < 0) width = std::max(heading[i], least[i] + spare);
        m_records->SetColumnWidth(i, width);
    }
}

int CStationFrame::LeastTileWidth() const {
    return m_tiles.empty() ? 0 : m_tiles.front()->GetMinSize().x + m_grid->GetHGap();
}

void CStationFrame::SetSmallestSize() {
    // The button holds either label without moving the totals, measured in
    // its font (the toolkit may apply it to the control only once shown).
    wxClientDC dc(m_startStop);
    dc.SetFont(m_startStop->GetFont());
    int label = 0;
    for (const char* text : {stationtext::kStartButton, stationtext::kStopButton})
        label = std::max(label, dc.GetTextExtent(T(text)).x);
    m_startStop->SetMinSize(wxSize(label + FromDIP(32), -1));
    // Laid out at its least width, the window needs the height its sizers ask.
    wxWindow* root = m_tilePanel->GetParent();
    const int width = root->GetSizer()->CalcMin().x;
    SetMinClientSize(wxSize(width, -1));
    SetClientSize(wxSize(width, GetClientSize().y));
    root->SetSize(GetClientSize());
    root->Layout();
    wxSize least = root->GetSizer()->CalcMin();
    // Wrapped, the totals ask less width than they need unwrapped per part.
    least.x = std::max(least.x, width);
    SetMinClientSize(least);
    SetClientSize(FromDIP(wxSize(1100, 760)));
}

void CStationFrame::BindCommands() {
    auto on = [this](int id, auto handler) { Bind(wxEVT_MENU, [handler](wxCommandEvent&) { handler(); }, id); };
    on(CMD_STATION_START, [this] { (void)StartAll(); });
    on(CMD_STATION_STOP, [this] { StopAllAsked(); });
    on(CMD_STATION_OPEN_IMAGE, [this] { OnOpenImageCommand(); });
    on(CMD_STATION_BUILT_IN, [this] { (void)LoadImage(std::string()); });
    on(CMD_STATION_RECORDS, [this] { OnRecordsCommand(); });
    on(CMD_STATION_CLOSE, [this] { Close(); });
    on(CMD_STATION_NEW_SHIFT, [this] { NewShift(true); });
    on(CMD_BAY_ADD, [this] { OnAddBayCommand(); });
    on(CMD_BAY_REMOVE, [this] { RemoveSelectedBay(); });
    on(CMD_BAY_PAUSE, [this] { PauseSelectedBay(); });
    on(CMD_BAY_RESUME, [this] { ResumeSelectedBay(); });
    on(CMD_BAY_NEXT, [this] { SelectBay(m_tiles.empty() ? 0 : (m_selected + 1) % m_tiles.size()); });
    on(CMD_BAY_PREVIOUS, [this] {
        SelectBay(m_tiles.empty() ? 0 : (m_selected + m_tiles.size() - 1) % m_tiles.size());
    });
    on(CMD_RECORDS_REFRESH, [this] { RefreshRecords(); });
    on(CMD_RECORDS_EXPORT, [this] { OnExportCommand(); });
    Bind(wxEVT_UPDATE_UI, [this](wxUpdateUIEvent& e) { e.Enable(!Running()); }, CMD_STATION_START);
    Bind(wxEVT_UPDATE_UI, [this](wxUpdateUIEvent& e) { e.Enable(Running()); }, CMD_STATION_STOP);
    for (int id : {CMD_STATION_OPEN_IMAGE, CMD_STATION_BUILT_IN, CMD_STATION_RECORDS})
        Bind(wxEVT_UPDATE_UI, [this](wxUpdateUIEvent& e) { e.Enable(!Running()); }, id);
    for (int id : {CMD_BAY_PAUSE, CMD_BAY_RESUME})
        Bind(wxEVT_UPDATE_UI, [this](wxUpdateUIEvent& e) { e.Enable(Running() && !m_tiles.empty()); }, id);
    Bind(wxEVT_UPDATE_UI, [this](wxUpdateUIEvent& e) { e.Enable(!m_tiles.empty()); }, CMD_BAY_REMOVE);
    Bind(wxEVT_CLOSE_WINDOW, &CStationFrame::OnClose, this);
    Bind(wxEVT_CHAR_HOOK, &CStationFrame::OnCharHook, this);
    Bind(EVT_STATION_BAY, &CStationFrame::OnBayEvent, this);
    Bind(EVT_STATION_RECORD, &CStationFrame::OnRecordEvent, this);
    Bind(EVT_RECORDS_READ, &CStationFrame::OnRecordsRead, this);
    Bind(EVT_SHIFT_READ, &CStationFrame::OnShiftRead, this);
    m_tilePanel->Bind(wxEVT_SIZE, &CStationFrame::OnTilesSize, this);
}

// --- the bays' threads and the writer's thread: post, never wait ---

void CStationFrame::OnStationEvent(const StationEvent& event) {
    m_web.OnStationEvent(event);
    auto* posted = new wxThreadEvent(EVT_STATION_BAY);
    posted->SetExtraLong(static_cast<long>(event.bay));
    posted->SetInt(static_cast<int>(event.kind));
    wxQueueEvent(this, posted);
}

bool CStationFrame::OpenWriter() {
    const std::string locator = RecordsLocator();
    if (m_writer && m_writerLocator == locator) return true;
    m_writer.reset();
    std::string error;
    std::unique_ptr<IRecordStore> store = OpenRecordStore(locator, error);
    if (!store) {
        Box(Printf(stationtext::kRecordsUnusable, error), wxOK | wxICON_ERROR);
        return false;
    }
    // A unit whose chip passed with this image before is shown as passed, not flashed again.
    m_passed = std::make_unique<CPassedLookup>(store->LocalPath(), IsServerLocator(locator) ? locator : std::string());
    m_writer = std::make_unique<CRecordWriter>(std::move(store), [this](const RecordWriterEvent& event) {
        auto* posted = new wxThreadEvent(EVT_STATION_RECORD);
        posted->SetInt(static_cast<int>(event.kind));
        posted->SetString(Utf8(event.recordId) + '\n' + Utf8(event.message));
        wxQueueEvent(this, posted);
    });
    m_writerLocator = locator;
    return true;
}

// --- commands ---

StationConfig CStationFrame::MakeConfig() const {
    StationConfig config = m_base;
    config.once = false;
    config.bays.clear();
    for (const Slot& slot : m_slots) config.bays.push_back(slot.config);
    if (m_writer) RecordThrough(config, *m_writer);
    if (m_passed) SkipPassedUnits(config, *m_passed);
    AttachOrder(config);
    return config;
}

bool CStationFrame::Running() const { return m_station && m_station->Running(); }

bool CStationFrame::StartAll() {
    if (Running()) return true;
    if (!ReadyToStart() || !OpenWriter()) return false;
    // The last run's station is stopped already; a new one starts from the list.
    m_web.Stop();
    m_station.reset();
    if (!OpenOrder()) {
        ServeWebConsole();
        return false;
    }
    auto station = std::make_unique<CStation>(static_cast<IStationEvents*>(this));
    std::string error;
    if (!station->Start(MakeConfig(), m_image, error)) {
        Box(Printf(stationtext::kStartFailed, error), wxOK | wxICON_ERROR);
        ServeWebConsole();
        return false;
    }
    m_station = std::move(station);
    ServeWebConsole();
    for (size_t i = 0; i < m_slots.size(); ++i) {
        m_slots[i].stationBay = i;
        m_slots[i].latencyMs = ReadAdapterLatencyMs(m_slots[i].config.port.c_str());
    }
    UpdateTiles();
    UpdateHeader();
    return true;
}

void CStationFrame::StopAll() {
    if (!m_station) return;
    m_station->Stop();  // every bay joined; a unit mid-download is recorded as stopped
    if (m_writer) m_writer->Flush();
    UpdateTiles();
    UpdateHeader();
    RefreshRecords();
}

void CStationFrame::StopAllAsked() {
    if (Flashing() && !Ask(T(stationtext::kAskStop))) return;
    StopAll();
}

void CStationFrame::StartOrStopAll() {
    if (Running())
        StopAllAsked();
    else
        (void)StartAll();
}

bool CStationFrame::AddBay(const BayConfig& bay) {
    if (bay.port.empty() || !m_lock.Allow(this)) return false;
    const bool taken = std::any_of(m_slots.begin(), m_slots.end(), [&](const Slot& s) { return s.config.port == bay.port; });
    Slot slot{bay};
    slot.number = FreeNumber();
    if (!taken && Running()) slot.stationBay = m_station->AddBay(bay);
    if (taken || (Running() && slot.stationBay == CStation::npos)) {
        Box(Printf(stationtext::kBayTaken, bay.port), wxOK | wxICON_ERROR);
        return false;
    }
    m_slots.push_back(slot);
    RebuildTiles();
    SelectBay(m_tiles.size() - 1);
    SaveSettings();
    return true;
}

void CStationFrame::RemoveSelectedBay() {
    if (m_selected >= m_slots.size() || !m_lock.Allow(this)) return;
    if (Flashing(m_selected) && !Ask(Utf8(RemoveFlashingBayQuestion(m_slots[m_selected].number)))) return;
    const Slot slot = m_slots[m_selected];
    if (Running() && slot.stationBay != CStation::npos) m_station->RemoveBay(slot.stationBay);
    m_slots.erase(m_slots.begin() + static_cast<std::ptrdiff_t>(m_selected));
    RebuildTiles();
    SaveSettings();
}

size_t CStationFrame::FreeNumber() const {
    size_t number = 1;
    while (std::any_of(m_slots.begin(), m_slots.end(), [&](const Slot& s) { return s.number == number; })) ++number;
    return number;
}

void CStationFrame::PauseSelectedBay() {
    if (Running() && m_selected < m_slots.size() && m_slots[m_selected].stationBay != CStation::npos)
        m_station->PauseBay(m_slots[m_selected].stationBay);
}

void CStationFrame::ResumeSelectedBay() {
    if (Running() && m_selected < m_slots.size() && m_slots[m_selected].stationBay != CStation::npos)
        m_station->ResumeBay(m_slots[m_selected].stationBay);
}

void CStationFrame::SelectBay(size_t tile) {
    if (tile >= m_tiles.size()) return;
    m_selected = tile;
    for (size_t i = 0; i < m_tiles.size(); ++i) m_tiles[i]->SetSelected(i == tile);
}

bool CStationFrame::LoadImage(const std::string& path) {
    if (Running() || !m_lock.Allow(this)) return false;
    FirmwareImage image;
    std::string problem;
    if (!ReadImage(path, image, problem)) {
        Box(Printf(stationtext::kImageUnusable, problem), wxOK | wxICON_ERROR);
        return false;
    }
    m_settings.imagePath = image.path;
    m_settings.builtInImage = image.BuiltIn();
    KeepImage(std::move(image), std::string());
    SaveSettings();
    return true;
}

void CStationFrame::RefreshRecords() {
    if (!m_reader || !m_shiftReader) return;  // closing
    RecordQuery query;
    query.limit = kShownRecords;
    query.newestFirst = true;
    m_reader->Request(RecordsLocator(), query);
    RecordQuery shift;
    shift.sinceUtcMs = m_settings.shiftStartUtcMs;
    m_shiftReader->Request(RecordsLocator(), shift);
}

void CStationFrame::NewShift(bool ask) {
    if (ask && !Ask(T(stationtext::kAskNewShift))) return;
    m_settings.shiftStartUtcMs = UtcNowMs();
    m_shiftRecords.clear();
    m_shift = ShiftSummary();
    SaveSettings();
    UpdateTiles();
    UpdateHeader();
    RefreshRecords();
}

void CStationFrame::OnShiftRead(wxThreadEvent& event) {
    const auto result = event.GetPayload<RecordReadResult>();
    if (result.locator != RecordsLocator() || !result.ok) return;  // the table's read says why
    m_shiftRecords.clear();
    // A read that began before a new shift may still hold the old one's units.
    for (const UnitRecord& record : result.records)
        if (record.startedUtcMs >= m_settings.shiftStartUtcMs) m_shiftRecords.push_back(record);
    m_shift = SummarizeShift(m_shiftRecords, UtcNowMs());
    UpdateTiles();
    UpdateHeader();
}

std::string CStationFrame::RecordsLocator() const {
    return m_settings.records.empty() ? DefaultRecordsPath() : m_settings.records;
}

void CStationFrame::OnRecordsRead(wxThreadEvent& event) {
    const auto result = event.GetPayload<RecordReadResult>();
    if (result.locator != RecordsLocator()) return;  // read before the setting changed
    if (!result.ok) {
        SetStatusText(Printf(stationtext::kRecordsUnreadable, result.error));
        return;
    }
    m_shownRecords = result.records;
    m_records->Freeze();
    m_records->DeleteAllItems();
    for (size_t i = 0; i < m_shownRecords.size(); ++i) {
        const auto bay = std::find_if(m_slots.begin(), m_slots.end(),
                                      [&](const Slot& slot) { return slot.config.port == m_shownRecords[i].port; });
        const RecordRow row = DescribeRecord(m_shownRecords[i], bay == m_slots.end() ? 0 : bay->number);
        const long item = m_records->InsertItem(static_cast<long>(i), Utf8(row.time));
        m_records->SetItem(item, 1, Utf8(row.bay));
        m_records->SetItem(item, 2, Utf8(row.product));
        m_records->SetItem(item, 3, Utf8(row.result));
        m_records->SetItem(item, 4, Utf8(row.duration));
        m_records->SetItem(item, 5, Utf8(row.reason));
    }
    FitRecordsColumns();
    m_records->Thaw();
}

bool CStationFrame::ExportCsv(const std::string& path) {
    std::ofstream out(PathFromUtf8(path), std::ios::binary | std::ios::trunc);
    const std::string csv = RecordsCsv(m_shownRecords);
    out.write(csv.data(), static_cast<std::streamsize>(csv.size()));
    out.close();
    if (!out) {
        Box(Printf(stationtext::kExportFailed, path), wxOK | wxICON_ERROR);
        return false;
    }
    return true;
}

// --- what is shown ---

wxString CStationFrame::ImageText() const { return m_imageText->GetLabel(); }
wxString CStationFrame::TotalsText() const { return m_totalsLine; }

void CStationFrame::RebuildTiles() {
    m_grid->Clear(true);
    m_tiles.clear();
    m_grid->SetCols(std::max<int>(1, static_cast<int>(m_slots.size())));
    for (size_t i = 0; i < m_slots.size(); ++i) {
        auto* tile = new CBayTile(m_tilePanel, i);
        m_slots[i].latencyMs = ReadAdapterLatencyMs(m_slots[i].config.port.c_str());
        tile->OnClicked([this](size_t bay) { SelectBay(bay); });
        m_grid->Add(tile, 1, wxEXPAND);
        m_tiles.push_back(tile);
    }
    m_noBays->Show(m_tiles.empty());
    if (m_selected >= m_tiles.size()) m_selected = m_tiles.empty() ? 0 : m_tiles.size() - 1;
    SelectBay(m_selected);
    UpdateTiles();
    if (wxWindow* root = m_tilePanel->GetParent()) root->Layout();
    LayoutTiles();
}

void CStationFrame::LayoutTiles() {
    const wxSize area = m_tilePanel->GetClientSize();
    m_grid->SetCols(GridColumns(m_tiles.size(), area.x, area.y, LeastTileWidth()));
    m_tilePanel->FitInside();
    m_tilePanel->Layout();
}

void CStationFrame::OnTilesSize(wxSizeEvent& event) {
    // Only the columns change here: laying out the whole window from a size
    // event would send another.
    event.Skip();
    const wxSize area = event.GetSize();
    const int columns = GridColumns(m_tiles.size(), area.x, area.y, LeastTileWidth());
    if (columns != m_grid->GetCols()) CallAfter([this] { LayoutTiles(); });
}

void CStationFrame::UpdateTile(size_t tile) {
    if (tile >= m_tiles.size()) return;
    Slot& slot = m_slots[tile];
    BayStatus status;
    if (m_station && slot.stationBay != CStation::npos && slot.stationBay < m_station->BayCount())
        status = m_station->Bay(slot.stationBay);
    status.config = slot.config;
    const auto counts = m_shift.ports.find(slot.config.port);
    const bool stalled = slot.progress.Stalled(status, std::chrono::steady_clock::now());
    TileContent content =
        DescribeBay(slot.number - 1, status, counts == m_shift.ports.end() ? UnitCounts() : counts->second, stalled);
    content.tooltip = BayTooltip(slot.config.port, slot.latencyMs);
    m_tiles[tile]->SetContent(content);
}

void CStationFrame::UpdateTiles() {
    for (size_t i = 0; i < m_tiles.size(); ++i) UpdateTile(i);
}

void CStationFrame::UpdateHeader() {
    const wxString image = Utf8(ImageHeader());
    const wxString records = RecordsText();
    const wxString settings = SettingsText();
    bool moved = false;
    for (auto [text, label] : {std::pair{m_imageText, image}, std::pair{m_recordsText, records}, std::pair{m_settingsText, settings}}) {
        if (text->GetLabel() == label) continue;
        text->SetLabel(label);
        text->SetToolTip(label);
        moved = true;
    }
    const wxString totals = Utf8(TotalsLine(m_shift));
    if (totals != m_totalsLine) {
        ShowTotals(totals);
        moved = true;
    }
    const wxString button = Running() ? T(stationtext::kStopButton) : T(stationtext::kStartButton);
    if (m_startStop->GetLabel() != button) {
        m_startStop->SetLabel(button);
        moved = true;
    }
    // A longer text takes its room from the others, never from behind them.
    if (moved) m_tilePanel->GetParent()->Layout();
}

void CStationFrame::ShowTotals(const wxString& line) {
    m_totalsLine = line;
    // Each part (passed, failed, yield, pace) whole; parts that do not fit
    // beside the button go to the next line.
    wxArrayString pieces;
    wxString rest = line;
    while (!rest.empty()) {
        const int gap = rest.Find("   ");
        pieces.push_back(gap == wxNOT_FOUND ? rest : rest.Left(static_cast<size_t>(gap)));
        rest = gap == wxNOT_FOUND ? wxString() : rest.Mid(static_cast<size_t>(gap)).Trim(false);
    }
    wxWindow* parent = m_startStop->GetParent();
    while (m_totalsParts.size() < pieces.size()) {
        auto* part = new wxStaticText(parent, wxID_ANY, wxString());
        part->SetFont(part->GetFont().Bold().Scaled(static_cast<float>(kTotalsScale)));
        m_totals->Add(part, 0, wxRIGHT, FromDIP(24));
        m_totalsParts.push_back(part);
    }
    // Measured in the parts' font (the toolkit may apply it to the control later).
    wxClientDC dc(parent);
    dc.SetFont(m_totalsParts.front()->GetFont());
    // Room for the widest part with a few more digits: the window's least
    // width never has to follow the counts.
    int widest = dc.GetTextExtent("000").x;
    for (size_t i = 0; i < m_totalsParts.size(); ++i) {
        m_totalsParts[i]->SetLabel(i < pieces.size() ? pieces[i] : wxString());
        m_totalsParts[i]->Show(i < pieces.size());
        widest = std::max(widest, dc.GetTextExtent(m_totalsParts[i]->GetLabel()).x + dc.GetTextExtent("000").x);
    }
    m_totals->SetMinSize(wxSize(widest + FromDIP(24), -1));
}

void CStationFrame::OnBayEvent(wxThreadEvent& event) {
    const auto bay = static_cast<size_t>(event.GetExtraLong());
    for (size_t i = 0; i < m_slots.size(); ++i)
        if (m_slots[i].stationBay == bay) UpdateTile(i);
    UpdateHeader();
}

void CStationFrame::OnRecordEvent(wxThreadEvent& event) {
    const wxString id = event.GetString().BeforeFirst('\n');
    const wxString message = event.GetString().AfterFirst('\n');
    switch (static_cast<RecordWriterEvent::Kind>(event.GetInt())) {
        case RecordWriterEvent::Kind::Stored:
            m_web.OnRecordStored(std::string(id.utf8_str()));
            RefreshRecords();
            break;
        case RecordWriterEvent::Kind::StoreFailed:
            SetStatusText(wxString::Format(T(stationtext::kRecordNotStored), id, message));
            break;
        case RecordWriterEvent::Kind::ServerAway:
            SetStatusText(wxString::Format(T(stationtext::kRecordsAway), message));
            break;
        case RecordWriterEvent::Kind::StoreBack:
        case RecordWriterEvent::Kind::ServerBack: SetStatusText(wxString()); break;
    }
}

// --- keys, dialogs, closing ---

void CStationFrame::OnCharHook(wxKeyEvent& event) {
    const int key = event.GetKeyCode();
    if (key == WXK_SPACE && event.GetModifiers() == wxMOD_NONE) {
        StartOrStopAll();
        return;
    }
    // 1 to 9 pick the bay of that number for the bay commands.
    if (key >= '1' && key <= '9' && event.GetModifiers() == wxMOD_NONE) {
        for (size_t i = 0; i < m_slots.size(); ++i)
            if (m_slots[i].number == static_cast<size_t>(key - '0')) SelectBay(i);
        return;
    }
    event.Skip();
}

void CStationFrame::OnAddBayCommand() {
    CAddBayDialog dialog(this);
    if (dialog.ShowModal() == wxID_OK) (void)AddBay(dialog.Bay());
}

void CStationFrame::OnOpenImageCommand() {
    wxFileDialog dialog(this, T(stationtext::kOpenImageTitle), wxString(), wxString(), T(stationtext::kImageWildcard),
                        wxFD_OPEN | wxFD_FILE_MUST_EXIST);
    if (dialog.ShowModal() == wxID_OK) (void)LoadImage(std::string(dialog.GetPath().utf8_str()));
}

void CStationFrame::OnExportCommand() {
    wxFileDialog dialog(this, T(stationtext::kExportTitle), wxString(), "records.csv", T(stationtext::kCsvWildcard),
                        wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
    if (dialog.ShowModal() == wxID_OK) (void)ExportCsv(std::string(dialog.GetPath().utf8_str()));
}

void CStationFrame::SaveSettings() {
    m_settings.bays.clear();
    m_settings.bayNumbers.clear();
    for (const Slot& slot : m_slots) {
        m_settings.bays.push_back(slot.config);
        m_settings.bayNumbers.push_back(slot.number);
    }
    SaveStationSettings(wxConfigBase::Get(false), m_settings);
}

int CStationFrame::Box(const wxString& text, long style) {
    return ShowMessageBox(text, T(stationtext::kWindowTitle), style | wxCENTRE, this);
}

bool CStationFrame::Flashing(size_t tile) const {
    if (!Running()) return false;
    for (size_t i = 0; i < m_slots.size(); ++i) {
        if (tile != CStation::npos && i != tile) continue;
        const size_t bay = m_slots[i].stationBay;
        if (bay != CStation::npos && bay < m_station->BayCount() && m_station->Bay(bay).state == BayState::Flashing)
            return true;
    }
    return false;
}

bool CStationFrame::Ask(const wxString& question) {
    return Box(question, wxYES_NO | wxNO_DEFAULT | wxICON_QUESTION) == wxYES;
}

void CStationFrame::OnClose(wxCloseEvent& event) {
    // Ctrl+W or the window's close button never cost a unit by accident.
    if (event.CanVeto() && Flashing() && !Ask(T(stationtext::kAskClose))) {
        event.Veto();
        return;
    }
    // Every bay stopped and joined, the records committed, before the window goes.
    StopAll();
    m_web.Stop();
    m_station.reset();
    m_writer.reset();
    m_reader.reset();
    m_shiftReader.reset();
    SaveSettings();
    if (!IsIconized() && !IsMaximized()) SaveWindowPlace(wxConfigBase::Get(false), kPlaceGroup, GetScreenRect());
    if (g_stationFrame == this) g_stationFrame = nullptr;
    Destroy();
}

void OpenStationWindow(const StationWindowRequest& request) {
    if (CStationFrame* frame = CStationFrame::Get()) {
        if (request.imageGiven) (void)frame->LoadImage(request.imagePath);
        frame->Raise();
        return;
    }
    StationFrameOptions options;
    options.request = request;
    auto* frame = new CStationFrame(options);
    frame->Show(true);
    frame->Raise();
}

bool StartEveryStationBay(wxRect& place) {
    CStationFrame* frame = CStationFrame::Get();
    if (frame == nullptr) return false;
    const bool started = frame->StartAll();
    place = frame->GetScreenRect();
    return started;
}

bool ReadStationWindow(std::vector<std::string>& tileStates, std::vector<std::string>& recordRows) {
    const CStationFrame* frame = CStationFrame::Get();
    if (frame == nullptr) return false;
    tileStates.clear();
    for (size_t i = 0; i < frame->TileCount(); ++i) tileStates.push_back(frame->Tile(i)->Content().state);
    recordRows.clear();
    const wxListCtrl* table = frame->RecordsTable();
    for (long row = 0; row < table->GetItemCount(); ++row) {
        wxString cells;
        for (int column = 0; column < table->GetColumnCount(); ++column)
            cells += (column == 0 ? "" : " | ") + table->GetItemText(row, column);
        recordRows.emplace_back(cells.utf8_str());
    }
    return true;
}

void CloseStationWindow() {
    if (CStationFrame* frame = CStationFrame::Get()) frame->Close(true);
}

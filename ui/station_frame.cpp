#include "ui/station_frame.h"

#include <algorithm>
#include <fstream>

#include <wx/button.h>
#include <wx/config.h>
#include <wx/dialog.h>
#include <wx/filedlg.h>
#include <wx/listctrl.h>
#include <wx/menu.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/statusbr.h>
#include <wx/textdlg.h>
#include <wx/timer.h>

#include "image/image_source.h"
#include "link/adapter_latency.h"
#include "link/device_link.h"
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
    m_tilePanel = new wxPanel(root);
    // The tiles fit the room left, never the other way round: the records
    // table keeps its place however many bays there are.
    m_tilePanel->SetMinSize(FromDIP(wxSize(200, 120)));
    m_grid = new wxGridSizer(1, FromDIP(6), FromDIP(6));  // rows follow the columns
    m_tilePanel->SetSizer(m_grid);
    m_noBays = new wxStaticText(root, wxID_ANY, T(stationtext::kNoBays));
    sizer->Add(m_noBays, 0, wxALL, FromDIP(8));
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
    m_imageText = new wxStaticText(parent, wxID_ANY, wxString());
    m_imageText->SetFont(m_imageText->GetFont().Bold());
    m_totalsText = new wxStaticText(parent, wxID_ANY, wxString());
    m_totalsText->SetFont(m_totalsText->GetFont().Bold().Scaled(1.6f));
    m_recordsText = new wxStaticText(parent, wxID_ANY, wxString());
    lines->Add(m_imageText, 0, wxBOTTOM, FromDIP(4));
    lines->Add(m_totalsText, 0, wxBOTTOM, FromDIP(4));
    lines->Add(m_recordsText, 0);
    m_settingsText = new wxStaticText(parent, wxID_ANY, wxString());
    lines->Add(m_settingsText, 0, wxTOP, FromDIP(4));
    m_startStop = new wxButton(parent, wxID_ANY, T(stationtext::kStartButton));
    m_startStop->SetFont(m_startStop->GetFont().Bold().Scaled(1.3f));
    m_startStop->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { StartOrStopAll(); });
    header->Add(lines, 1, wxEXPAND);
    header->Add(m_startStop, 0, wxALIGN_CENTER_VERTICAL | wxLEFT, FromDIP(8));
    sizer->Add(header, 0, wxEXPAND | wxALL, FromDIP(8));
}

void CStationFrame::CreateRecordsTable(wxPanel* parent) {
    m_records = new wxListCtrl(parent, wxID_ANY, wxDefaultPosition, FromDIP(wxSize(-1, 160)),
                               wxLC_REPORT | wxLC_SINGLE_SEL);
    const wxString columns[] = {T(stationtext::kColumnTime), T(stationtext::kColumnBay), T(stationtext::kColumnProduct),
                             T(stationtext::kColumnResult), T(stationtext::kColumnDuration)};
    const int widths[] = {200, 330, 130, 150, 90};
    for (int i = 0; i < 5; ++i) m_records->AppendColumn(columns[i], wxLIST_FORMAT_LEFT, FromDIP(widths[i]));
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
        const RecordRow row = DescribeRecord(m_shownRecords[i]);
        const long item = m_records->InsertItem(static_cast<long>(i), Utf8(row.time));
        m_records->SetItem(item, 1, Utf8(row.bay));
        m_records->SetItem(item, 2, Utf8(row.product));
        m_records->SetItem(item, 3, Utf8(row.result));
        m_records->SetItem(item, 4, Utf8(row.duration));
    }
    m_records->Thaw();
}

bool CStationFrame::ExportCsv(const std::string& path) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
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
wxString CStationFrame::TotalsText() const { return m_totalsText->GetLabel(); }

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
    m_grid->SetCols(GridColumns(m_tiles.size(), area.x, area.y));
    m_tilePanel->Layout();
}

void CStationFrame::OnTilesSize(wxSizeEvent& event) {
    // Only the columns change here: laying out the whole window from a size
    // event would send another.
    event.Skip();
    const wxSize area = event.GetSize();
    const int columns = GridColumns(m_tiles.size(), area.x, area.y);
    if (columns != m_grid->GetCols()) CallAfter([this] { LayoutTiles(); });
}

void CStationFrame::UpdateTile(size_t tile) {
    if (tile >= m_tiles.size()) return;
    const Slot& slot = m_slots[tile];
    BayStatus status;
    if (m_station && slot.stationBay != CStation::npos && slot.stationBay < m_station->BayCount())
        status = m_station->Bay(slot.stationBay);
    status.config = slot.config;
    const auto counts = m_shift.ports.find(slot.config.port);
    TileContent content = DescribeBay(slot.number - 1, status, counts == m_shift.ports.end() ? UnitCounts() : counts->second);
    content.tooltip = BayTooltip(slot.config.port, slot.latencyMs);
    m_tiles[tile]->SetContent(content);
}

void CStationFrame::UpdateTiles() {
    for (size_t i = 0; i < m_tiles.size(); ++i) UpdateTile(i);
}

void CStationFrame::UpdateHeader() {
    m_imageText->SetLabel(Utf8(ImageHeader()));
    m_totalsText->SetLabel(Utf8(TotalsLine(m_shift)));
    m_recordsText->SetLabel(RecordsText());
    m_settingsText->SetLabel(SettingsText());
    m_startStop->SetLabel(Running() ? T(stationtext::kStopButton) : T(stationtext::kStartButton));
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

void CloseStationWindow() {
    if (CStationFrame* frame = CStationFrame::Get()) frame->Close(true);
}

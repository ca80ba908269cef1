#pragma once
// The production station's window: a header with the image and the totals,
// one tile per bay in a grid that fits the window, and the latest units from
// the records database. It presents and commands a CStation; the bays'
// events arrive on their threads and are posted to the window thread.
//
// Threads: everything here runs on the window thread, except
// OnStationEvent (the bays' threads) and the record writer's events (its
// thread), which only post. Closing the window stops and joins every bay
// (a unit mid-download is recorded as stopped) and flushes the records
// before the window goes.
#include <memory>
#include <string>
#include <vector>

#include <wx/frame.h>

#include "records/passed_lookup.h"
#include "records/record_store.h"
#include "station/station.h"
#include "station/work_order.h"
#include "ui/station_model.h"
#include "ui/station_lock.h"
#include "ui/station_settings.h"
#include "ui/station_web.h"
#include "ui/station_window.h"

class wxBoxSizer;
class wxButton;
class wxGridSizer;
class wxListCtrl;
class wxMenu;
class wxPanel;
class wxScrolledWindow;
class wxStaticText;
class wxWrapSizer;
class wxTimer;
class CBayTile;
class CRecordReader;
class CRecordWriter;

struct StationFrameOptions {
    StationWindowRequest request;
    // The bays' timing and behaviour (bays and record sink are the window's own).
    StationConfig station;
    // Settings to start from instead of the user's configuration (tests).
    bool settingsGiven = false;
    StationSettings settings;
};

class CStationFrame : public wxFrame, private IStationEvents {
public:
    explicit CStationFrame(const StationFrameOptions& options);
    ~CStationFrame() override;

    // The one station window while it exists, else nullptr.
    static CStationFrame* Get();

    // --- commands (each also on a menu item and a key) ---
    [[nodiscard]] bool StartAll();
    void StopAll();
    // Space, the button and the menu: asks first while a unit is flashing.
    void StartOrStopAll();
    // A new bay, started at once while the station runs; false (with a box)
    // when the port is already a bay.
    [[nodiscard]] bool AddBay(const BayConfig& bay);
    // Asks first while the bay flashes a unit.
    void RemoveSelectedBay();
    void PauseSelectedBay();
    void ResumeSelectedBay();
    void SelectBay(size_t tile);
    // The tile's bay number (from 1).
    size_t BayNumber(size_t tile) const { return m_slots.at(tile).number; }
    // path "" chooses the built-in image; a file is remembered by its absolute
    // path. False (with a box) when it cannot be used: the image before stays.
    [[nodiscard]] bool LoadImage(const std::string& path);
    // Where records go from the next start; refused while bays run. A
    // server's password (in locator, or given apart) goes to the user's
    // password file, never into the settings.
    [[nodiscard]] bool SetRecordsLocator(const std::string& locator, const std::string& password = {});

    // --- settings (each asks for the supervisor's password while locked) ---
    [[nodiscard]] bool LockSettings();
    [[nodiscard]] bool UnlockSettings();
    CStationLock& OperatorLock() { return m_lock; }
    // Flash only images whose signature verifies (against the trust folders'
    // keys and trustFiles); the image loaded now is checked again.
    [[nodiscard]] bool SetReleaseSettings(bool requireSigned, const std::vector<std::string>& trustFiles);
    // The work order of the next start (orderId "": none); refused while bays run.
    [[nodiscard]] bool SetWorkOrder(const std::string& orderId, uint64_t quantity);
    // Serves the web console at address ([ADDRESS:]PORT) while on.
    [[nodiscard]] bool SetWebConsole(bool on, const std::string& address);
    const CStationWebConsole& WebConsole() const { return m_web; }
    // Reads the latest records and the shift's again; the table and the
    // counts follow when they arrive.
    void RefreshRecords();
    // The totals and the bays' counts begin again from now (asks first when ask).
    void NewShift(bool ask);
    [[nodiscard]] bool ExportCsv(const std::string& path);

    // --- what is shown ---
    bool Running() const;
    size_t TileCount() const { return m_tiles.size(); }
    CBayTile* Tile(size_t index) const { return m_tiles.at(index); }
    size_t SelectedTile() const { return m_selected; }
    const FirmwareImage& Image() const { return m_image; }
    wxString ImageText() const;
    wxString TotalsText() const;
    wxString RecordsText() const;
    // The work order's progress, the lock, the release setting, the web console.
    wxString SettingsText() const;
    // Why the station has no image ("" when it has one).
    const std::string& ImageProblem() const { return m_imageProblem; }
    wxListCtrl* RecordsTable() const { return m_records; }
    const std::vector<UnitRecord>& ShownRecords() const { return m_shownRecords; }
    const StationSettings& Settings() const { return m_settings; }
    CStation* Station() const { return m_station.get(); }

private:
    struct Slot {
        BayConfig config;
        size_t number = 0;  // the bay's number (from 1), kept when others are removed
        size_t stationBay = CStation::npos;  // the station's index while it runs (or ran)
        int latencyMs = -1;  // the port's adapter latency when the tiles were built or the station started
        CProgressWatch progress = CProgressWatch();  // whether its download stands still
    };

    void OnStationEvent(const StationEvent& event) override;
    void CreateMenus();
    void CreateHeader(wxPanel* parent, wxBoxSizer* sizer);
    void CreateRecordsTable(wxPanel* parent);
    // The columns share the table's width, none narrower than its heading.
    void FitRecordsColumns();
    // The smallest window that shows the header, one tile and a few rows whole.
    void SetSmallestSize();
    // A tile's least width with the gap beside it (0 without tiles).
    int LeastTileWidth() const;
    void ShowTotals(const wxString& line);
    void BindCommands();
    void OnClose(wxCloseEvent& event);
    void OnCharHook(wxKeyEvent& event);
    void OnBayEvent(wxThreadEvent& event);
    void OnRecordEvent(wxThreadEvent& event);
    void OnRecordsRead(wxThreadEvent& event);
    void OnShiftRead(wxThreadEvent& event);
    void OnTilesSize(wxSizeEvent& event);
    void OnAddBayCommand();
    void OnOpenImageCommand();
    void OnRecordsCommand();
    void OnTrustCommand();
    void OnOrderCommand();
    void OnWebAddressCommand();
    void BindSettingsCommands(wxMenu* station);
    // At opening: the chosen image (or none, saying why), and a server
    // password the settings still hold moved to the password file.
    void RestoreSettings(const StationWindowRequest& request);
    // Loads path ("" the built-in image) and checks its release; false with problem.
    [[nodiscard]] bool ReadImage(const std::string& path, FirmwareImage& image, std::string& problem) const;
    void KeepImage(FirmwareImage image, const std::string& problem);
    [[nodiscard]] bool ReadyToStart();
    [[nodiscard]] bool OpenOrder();
    void AttachOrder(StationConfig& config) const;
    // The chosen image again (after the release settings changed), or none.
    void ReloadChosenImage();
    // Serves the console (when on) for the station of now, an idle one if
    // none; a failure is said on the status bar.
    void ServeWebConsole();
    [[nodiscard]] bool StartWebConsole(std::string& error);
    std::string ImageHeader() const;
    // The work order's progress ("" without an order).
    std::string OrderText() const;
    void OnExportCommand();

    [[nodiscard]] bool OpenWriter();
    StationConfig MakeConfig() const;
    // The lowest number no bay has.
    size_t FreeNumber() const;
    void RebuildTiles();
    void LayoutTiles();
    void UpdateTile(size_t tile);
    void UpdateTiles();
    void UpdateHeader();
    void SaveSettings();
    // Where records go and are read from: the setting, else the default file.
    std::string RecordsLocator() const;
    int Box(const wxString& text, long style);
    // A unit is being flashed on the tile's bay (on any bay for npos).
    bool Flashing(size_t tile = CStation::npos) const;
    // Yes/No; true for Yes.
    [[nodiscard]] bool Ask(const wxString& question);
    // Stops every bay once the operator agreed while a unit flashes.
    void StopAllAsked();

    StationConfig m_base;
    StationSettings m_settings;
    FirmwareImage m_image;
    std::string m_imageProblem;  // why there is no image
    CStationLock m_lock;
    std::vector<Slot> m_slots;
    std::vector<CBayTile*> m_tiles;
    size_t m_selected = 0;

    wxStaticText* m_imageText = nullptr;
    wxString m_totalsLine;
    wxWrapSizer* m_totals = nullptr;  // the totals' parts, wrapped beside the button
    std::vector<wxStaticText*> m_totalsParts;
    wxStaticText* m_recordsText = nullptr;
    wxStaticText* m_settingsText = nullptr;
    wxButton* m_startStop = nullptr;
    wxScrolledWindow* m_tilePanel = nullptr;  // scrolls when the tiles cannot fit whole
    wxGridSizer* m_grid = nullptr;
    wxStaticText* m_noBays = nullptr;
    wxListCtrl* m_records = nullptr;
    std::vector<UnitRecord> m_shownRecords;
    std::vector<UnitRecord> m_shiftRecords;  // every unit since the shift began, as last read
    ShiftSummary m_shift;                    // what they sum up to (the pace as of the last second)
    std::unique_ptr<wxTimer> m_clock;
    std::unique_ptr<wxTimer> m_webClock;  // the web console's control requests

    std::unique_ptr<CRecordReader> m_reader;  // the table's reads, off the window thread
    std::unique_ptr<CRecordReader> m_shiftReader;  // the shift's, for the totals and counts
    // Stopped before the station it serves goes.
    CStationWebConsole m_web;
    // Declared last: destroyed first (the station before the order and the writer it feeds).
    std::unique_ptr<IWorkOrder> m_order;
    uint64_t m_orderPassedBefore = 0;  // the order's passed units when the run began
    std::unique_ptr<CRecordWriter> m_writer;
    std::unique_ptr<CPassedLookup> m_passed;  // outlives the station, whose bays ask it
    std::string m_writerLocator;
    std::unique_ptr<CStation> m_station;
};

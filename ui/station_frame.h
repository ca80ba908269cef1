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

#include "records/record_store.h"
#include "station/station.h"
#include "ui/station_model.h"
#include "ui/station_settings.h"
#include "ui/station_window.h"

class wxBoxSizer;
class wxButton;
class wxGridSizer;
class wxListCtrl;
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
    // path "" loads the built-in image; false (with a box) when it cannot be used.
    [[nodiscard]] bool LoadImage(const std::string& path);
    // Where records go from the next start; refused while bays run.
    [[nodiscard]] bool SetRecordsLocator(const std::string& locator);
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
    std::vector<Slot> m_slots;
    std::vector<CBayTile*> m_tiles;
    size_t m_selected = 0;

    wxStaticText* m_imageText = nullptr;
    wxString m_totalsLine;
    wxWrapSizer* m_totals = nullptr;  // the totals' parts, wrapped beside the button
    std::vector<wxStaticText*> m_totalsParts;
    wxStaticText* m_recordsText = nullptr;
    wxButton* m_startStop = nullptr;
    wxScrolledWindow* m_tilePanel = nullptr;  // scrolls when the tiles cannot fit whole
    wxGridSizer* m_grid = nullptr;
    wxStaticText* m_noBays = nullptr;
    wxListCtrl* m_records = nullptr;
    std::vector<UnitRecord> m_shownRecords;
    std::vector<UnitRecord> m_shiftRecords;  // every unit since the shift began, as last read
    ShiftSummary m_shift;                    // what they sum up to (the pace as of the last second)
    std::unique_ptr<wxTimer> m_clock;

    std::unique_ptr<CRecordReader> m_reader;  // the table's reads, off the window thread
    std::unique_ptr<CRecordReader> m_shiftReader;  // the shift's, for the totals and counts
    // Declared last: destroyed first (the station before the writer it feeds).
    std::unique_ptr<CRecordWriter> m_writer;
    std::string m_writerLocator;
    std::unique_ptr<CStation> m_station;
};

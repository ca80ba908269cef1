#pragma once
// Every text the station window shows a person, in one place (translations
// start here). printf-style placeholders where a value goes in. Constants;
// any thread.

namespace stationtext {

inline constexpr const char* kWindowTitle = "KAVRO Station";
inline constexpr const char* kMenuItem = "&Station...";
inline constexpr const char* kMenuItemHelp = "Open the production station: many bays flashed at once";
inline constexpr const char* kUnavailable = "This build of KAVRO has no production station (it needs the unit records).";

// Menus and their commands.
inline constexpr const char* kMenuStation = "&Station";
inline constexpr const char* kMenuBays = "&Bays";
inline constexpr const char* kMenuRecords = "&Records";
inline constexpr const char* kStartAll = "&Start all\tF5";
inline constexpr const char* kStopAll = "S&top all\tShift+F5";
inline constexpr const char* kStartStopHelp = "Space starts or stops every bay";
inline constexpr const char* kOpenImage = "&Open image...\tCtrl+O";
inline constexpr const char* kBuiltInImage = "&Built-in image\tCtrl+N";
inline constexpr const char* kRecordsSetting = "Records &database...\tCtrl+D";
inline constexpr const char* kCloseWindow = "&Close\tCtrl+W";
inline constexpr const char* kAddBay = "&Add bay...\tCtrl+B";
inline constexpr const char* kRemoveBay = "&Remove bay\tDel";
inline constexpr const char* kPauseBay = "&Pause bay\tCtrl+P";
inline constexpr const char* kResumeBay = "Res&ume bay\tCtrl+U";
inline constexpr const char* kNextBay = "&Next bay\tCtrl+Right";
inline constexpr const char* kPreviousBay = "Pre&vious bay\tCtrl+Left";
inline constexpr const char* kRefreshRecords = "&Refresh\tCtrl+L";
inline constexpr const char* kExportCsv = "&Export CSV...\tCtrl+E";
inline constexpr const char* kStartButton = "Start all (Space)";
inline constexpr const char* kStopButton = "Stop all (Space)";

// The tiles: state words (large, bold) and their lines.
inline constexpr const char* kStateIdle = "READY";
inline constexpr const char* kStateWaiting = "WAITING";
inline constexpr const char* kStateFlashing = "FLASHING %u %%";
inline constexpr const char* kStateRemoval = "PASSED";
inline constexpr const char* kStatePassed = "PASSED";
inline constexpr const char* kStateFailed = "FAILED";
inline constexpr const char* kStatePaused = "PAUSED";
inline constexpr const char* kStateOutOfService = "OUT OF SERVICE";
inline constexpr const char* kStateStopped = "STOPPED";
inline constexpr const char* kBayTitle = "Bay %zu";
inline constexpr const char* kPlace = "USB socket %s";
inline constexpr const char* kPlacePort = "USB socket %s, port %s";
inline constexpr const char* kUnitLine = "%s  No. %u";
inline constexpr const char* kNoUnit = "no unit";
inline constexpr const char* kWaitingHint = "Put a unit on the bay";
inline constexpr const char* kRemoveHint = "Take the unit off";
inline constexpr const char* kCountLine = "Units: %u passed, %u failed, %u stopped";
inline constexpr const char* kNoBays = "No bays yet: add one with Bays > Add bay (Ctrl+B).";

// The header.
inline constexpr const char* kImageLine = "Image: %s   software %s   hardware %s to %s   checksum 0x%04X   %s";
inline constexpr const char* kBuiltIn = "built-in";
inline constexpr const char* kNoImage = "Image: none (Station > Open image)";
inline constexpr const char* kTotalsLine = "Passed %u   Failed %u   Yield %.1f %%   Units per hour %.0f";
inline constexpr const char* kRecordsLine = "Records: %s";

// The records table.
inline constexpr const char* kColumnTime = "Time";
inline constexpr const char* kColumnBay = "Bay";
inline constexpr const char* kColumnProduct = "Product number";
inline constexpr const char* kColumnResult = "Result";
inline constexpr const char* kColumnDuration = "Duration";
inline constexpr const char* kDuration = "%.1f s";
inline constexpr const char* kResultPassed = "passed";
inline constexpr const char* kResultRefused = "refused (hardware)";
inline constexpr const char* kResultNoResponse = "no response";
inline constexpr const char* kResultPortFailed = "port failed";
inline constexpr const char* kResultStopped = "stopped";

// Dialogs and messages.
inline constexpr const char* kAddBayTitle = "Add bay";
inline constexpr const char* kAddBayPrompt = "Pick a port or type its path:";
inline constexpr const char* kSecondCpu = "Second CPU";
inline constexpr const char* kRecordsTitle = "Records database";
inline constexpr const char* kRecordsPrompt = "SQLite file, or postgresql://... for the line's server:";
inline constexpr const char* kOpenImageTitle = "Open firmware image";
inline constexpr const char* kImageWildcard = "Firmware images (*.fw)|*.fw|All files (*)|*";
inline constexpr const char* kExportTitle = "Export records";
inline constexpr const char* kCsvWildcard = "CSV files (*.csv)|*.csv";
inline constexpr const char* kImageUnusable = "The image cannot be used: %s";
inline constexpr const char* kRecordsUnusable = "Records cannot be kept: %s\nNothing was started.";
inline constexpr const char* kRecordsUnreadable = "Records cannot be read: %s";
inline constexpr const char* kRecordNotStored = "Record %s not stored: %s";
inline constexpr const char* kRecordsAway = "Records wait locally: %s";
inline constexpr const char* kBayTaken = "The port %s is already a bay.";
inline constexpr const char* kStartFailed = "The station cannot start: %s";
inline constexpr const char* kExportFailed = "The records cannot be written to %s.";
inline constexpr const char* kStopWhileRunning = "Stop every bay first (Space).";

}  // namespace stationtext

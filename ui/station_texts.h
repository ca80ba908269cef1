#pragma once
// Every text the station window shows a person, in one place, marked for the
// catalogues and translated where it is shown (Tr). printf-style placeholders
// where a value goes in. Constants; any thread.
#include "res/translation.h"

namespace stationtext {

inline constexpr const char* kWindowTitle = KTEXT("KAVRO Station");
inline constexpr const char* kMenuItem = KTEXT("&Station...");
inline constexpr const char* kMenuItemHelp = KTEXT("Open the production station: many bays flashed at once");
inline constexpr const char* kUnavailable = KTEXT("This build of KAVRO has no production station (it needs the unit records).");

// Menus and their commands.
inline constexpr const char* kMenuStation = KTEXT("&Station");
inline constexpr const char* kMenuBays = KTEXT("&Bays");
inline constexpr const char* kMenuRecords = KTEXT("&Records");
inline constexpr const char* kStartAll = KTEXT("&Start all\tF5");
inline constexpr const char* kStopAll = KTEXT("S&top all\tShift+F5");
inline constexpr const char* kStartStopHelp = KTEXT("Space starts or stops every bay");
inline constexpr const char* kOpenImage = KTEXT("&Open image...\tCtrl+O");
inline constexpr const char* kBuiltInImage = KTEXT("&Built-in image\tCtrl+N");
inline constexpr const char* kRecordsSetting = KTEXT("Records &database...\tCtrl+D");
inline constexpr const char* kCloseWindow = KTEXT("&Close\tCtrl+W");
inline constexpr const char* kAddBay = KTEXT("&Add bay...\tCtrl+B");
inline constexpr const char* kRemoveBay = KTEXT("&Remove bay\tDel");
inline constexpr const char* kPauseBay = KTEXT("&Pause bay\tCtrl+P");
inline constexpr const char* kResumeBay = KTEXT("Res&ume bay\tCtrl+U");
inline constexpr const char* kNextBay = KTEXT("&Next bay\tCtrl+Right");
inline constexpr const char* kPreviousBay = KTEXT("Pre&vious bay\tCtrl+Left");
inline constexpr const char* kRefreshRecords = KTEXT("&Refresh\tCtrl+L");
inline constexpr const char* kExportCsv = KTEXT("&Export CSV...\tCtrl+E");
inline constexpr const char* kStartButton = KTEXT("Start all (Space)");
inline constexpr const char* kStopButton = KTEXT("Stop all (Space)");

// The tiles: state words (large, bold) and their lines.
inline constexpr const char* kStateIdle = KTEXT("READY");
inline constexpr const char* kStateWaiting = KTEXT("WAITING");
inline constexpr const char* kStateFlashing = KTEXT("FLASHING %u %%");
inline constexpr const char* kStateRemoval = KTEXT("PASSED");
inline constexpr const char* kStatePassed = KTEXT("PASSED");
inline constexpr const char* kStateFailed = KTEXT("FAILED");
inline constexpr const char* kStatePaused = KTEXT("PAUSED");
inline constexpr const char* kStateOutOfService = KTEXT("OUT OF SERVICE");
inline constexpr const char* kStateStopped = KTEXT("STOPPED");
// A unit that stopped answering mid-download, until the link gives it up.
inline constexpr const char* kStateNoReply = KTEXT("NO REPLY");
inline constexpr const char* kNoReplyReason = KTEXT("The unit stopped answering at %u %%; it fails when the link gives up.");
inline constexpr const char* kBayTitle = KTEXT("Bay %zu");
inline constexpr const char* kPlace = KTEXT("USB socket %s");
inline constexpr const char* kPlacePort = KTEXT("USB socket %s, port %s");
inline constexpr const char* kUnitLine = KTEXT("%s  No. %u");
inline constexpr const char* kNoUnit = KTEXT("no unit");
inline constexpr const char* kWaitingHint = KTEXT("Put a unit on the bay");
inline constexpr const char* kRemoveHint = KTEXT("Take the unit off");
inline constexpr const char* kCountLine = KTEXT("Units: %u passed, %u failed, %u stopped");
inline constexpr const char* kNoBays = KTEXT("No bays yet: add one with Bays > Add bay (Ctrl+B).");

// The header.
inline constexpr const char* kImageLine = KTEXT("Image: %s   software %s   hardware %s to %s   checksum 0x%04X   %s");
inline constexpr const char* kBuiltIn = KTEXT("built-in");
inline constexpr const char* kNoImage = KTEXT("Image: none (Station > Open image)");
inline constexpr const char* kTotalsLine = KTEXT("Passed %u   Failed %u   Yield %s   Units per hour %s");
inline constexpr const char* kRecordsLine = KTEXT("Records: %s");

// The records table.
inline constexpr const char* kColumnTime = KTEXT("Time");
inline constexpr const char* kColumnBay = KTEXT("Bay");
inline constexpr const char* kColumnProduct = KTEXT("Product number");
inline constexpr const char* kColumnResult = KTEXT("Result");
inline constexpr const char* kColumnDuration = KTEXT("Duration");
inline constexpr const char* kColumnReason = KTEXT("Reason");
inline constexpr const char* kDuration = KTEXT("%.1f s");
inline constexpr const char* kResultPassed = KTEXT("passed");
inline constexpr const char* kResultRefused = KTEXT("refused (hardware)");
inline constexpr const char* kResultNoResponse = KTEXT("no response");
inline constexpr const char* kResultPortFailed = KTEXT("port failed");
inline constexpr const char* kResultStopped = KTEXT("stopped");

// Dialogs and messages.
inline constexpr const char* kAddBayTitle = KTEXT("Add bay");
inline constexpr const char* kAddBayPrompt = KTEXT("Pick a port or type its path:");
inline constexpr const char* kSecondCpu = KTEXT("Second CPU");
inline constexpr const char* kRecordsTitle = KTEXT("Records database");
inline constexpr const char* kRecordsPrompt = KTEXT("SQLite file, or postgresql://... for the line's server:");
inline constexpr const char* kOpenImageTitle = KTEXT("Open firmware image");
inline constexpr const char* kImageWildcard = KTEXT("Firmware images (*.fw)|*.fw|All files (*)|*");
inline constexpr const char* kExportTitle = KTEXT("Export records");
inline constexpr const char* kCsvWildcard = KTEXT("CSV files (*.csv)|*.csv");
inline constexpr const char* kImageUnusable = KTEXT("The image cannot be used: %s");
inline constexpr const char* kRecordsUnusable = KTEXT("Records cannot be kept: %s\nNothing was started.");
inline constexpr const char* kRecordsUnreadable = KTEXT("Records cannot be read: %s");
inline constexpr const char* kRecordNotStored = KTEXT("Record %s not stored: %s");
inline constexpr const char* kRecordsAway = KTEXT("Records wait locally: %s");
inline constexpr const char* kBayTaken = KTEXT("The port %s is already a bay.");
inline constexpr const char* kStartFailed = KTEXT("The station cannot start: %s");
inline constexpr const char* kExportFailed = KTEXT("The records cannot be written to %s.");
inline constexpr const char* kNewShift = KTEXT("&New shift\tCtrl+Shift+N");
inline constexpr const char* kAskNewShift = KTEXT("Start a new shift? The totals and every bay's counts begin again from zero.");
inline constexpr const char* kStopWhileRunning = KTEXT("Stop every bay first (Space).");
inline constexpr const char* kAskRemove = KTEXT("Bay %zu is flashing a unit. Remove the bay and stop that unit?");
inline constexpr const char* kAskClose = KTEXT("A unit is being flashed. Close the window and stop every bay?");
inline constexpr const char* kAskStop = KTEXT("A unit is being flashed. Stop every bay?");

}  // namespace stationtext

#pragma once
// The user interface's decisions that need no window system: which commands
// are enabled, whether a download may be requested and which box answers it,
// which lines fit into the view, and what the port box lists. Pure functions;
// any thread. No wx here, so tests call them without a display.
#include <cstdint>
#include <string>
#include <vector>

#include "link/device_info.h"

// The link's state flags as the commands see them.
struct LinkFlags {
    bool running = false;
    bool downloadRequested = false;
    bool resetIssued = false;
    bool deviceAnswered = true;  // the device has answered a poll since the link started
};

// What each device command's enabling handler answers.
struct CommandEnabling {
    bool connect = false;
    bool download = false;  // also Reset
    bool disconnect = false;
};

CommandEnabling EnabledCommands(const LinkFlags& flags);

// What the Download command does.
enum class DownloadDecision {
    Ignore,         // not running, or a download is pending: nothing happens
    Refuse,         // the image cannot be sent (no data, too long): the refusal box
    Request,        // request the download
    RefuseHardware, // incompatible, force mode off: the stop box (string 143)
    AskHardware,    // incompatible, force mode on: the Yes/No question (string 142)
    NoDevice,       // no device has answered yet: there is no hardware version to check
};

// refusal: DownloadRefusal()'s answer for the link (nullptr when the image may be sent).
DownloadDecision DecideDownload(const LinkFlags& flags, const char* refusal, bool compatible, bool forceMode);

// A rectangle as the view paints with it: right and bottom are exclusive.
struct LineRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// A line is painted unless its top lies below the client area's bottom.
bool IsLineVisible(const LineRect& line, const LineRect& client);
// Moves the line down by its own height.
void AdvanceLine(LineRect& line);
// The first line's rectangle: the client's full width, one line height from its top.
LineRect FirstLine(const LineRect& client, int lineHeight);
// The 1-based numbers of the lines (of count) a client area paints.
std::vector<int> PaintedLines(const LineRect& client, int lineHeight, int count);

// The port box's list: the standard names the system reports first, then each
// other reported port, in the order given; a standard name not reported is left out.
std::vector<std::string> PortBoxEntries(const std::vector<std::string>& standard,
                                        const std::vector<std::string>& reported);

// The standard port names of this system (COM1 to COM4 on Windows, the first
// four serial devices elsewhere).
std::vector<std::string> StandardPortNames();

// The seven fields of a document string ("a\nb\n..."): missing fields are empty.
std::vector<std::string> DocumentStringFields(const char* text);

// The Open dialog's type list: the image files under the document string's
// filter name, matched in any case (GTK's patterns are case-sensitive), then
// every file. extension is ".fw"-style.
std::string OpenDialogFilter(const std::string& filterName, const std::string& extension);
inline constexpr int DOCSTRING_WINDOW_TITLE = 0;
inline constexpr int DOCSTRING_DOC_NAME = 1;
inline constexpr int DOCSTRING_FILE_NEW_NAME = 2;
inline constexpr int DOCSTRING_FILTER_NAME = 3;
inline constexpr int DOCSTRING_FILTER_EXT = 4;
inline constexpr int DOCSTRING_REG_FILE_TYPE_ID = 5;
inline constexpr int DOCSTRING_REG_FILE_TYPE_NAME = 6;

// The refusal box's text for a reason from DownloadRefusal().
std::string DownloadRefusalText(const char* reason);

// The port failure box's text: string 137 first and unchanged, then the port
// and the system's reason when there are any.
std::string PortFailedText(const char* base, const std::string& port, const std::string& reason);

#pragma once
// Command ids of the window: the framework's file commands use the toolkit's
// own ids (its document manager handles them); every other command uses the
// program's number. Constants; any thread.
#include <wx/defs.h>

#include "ui/ui_resource_ids.h"

inline constexpr int CMD_FILE_NEW = wxID_NEW;
inline constexpr int CMD_FILE_OPEN = wxID_OPEN;
inline constexpr int CMD_FILE_SAVE = wxID_SAVE;
inline constexpr int CMD_MRU_FIRST = wxID_FILE1;
// The toolkit takes ids below 0x7FFF only, so the program's commands get ids
// of their own; PromptStringId() leads back to their numbers.
inline constexpr int CMD_APP_ABOUT = wxID_HIGHEST + 1;
inline constexpr int CMD_DEVICE_CONNECT = wxID_HIGHEST + 2;
inline constexpr int CMD_DEVICE_DOWNLOAD = wxID_HIGHEST + 3;
inline constexpr int CMD_DEVICE_RESET = wxID_HIGHEST + 4;
inline constexpr int CMD_DEVICE_DISCONNECT = wxID_HIGHEST + 5;
inline constexpr int CMD_FORCE_MODE = wxID_HIGHEST + 6;
inline constexpr int CMD_VIEW_TOOLBAR = wxID_HIGHEST + 7;
inline constexpr int CMD_VIEW_STATUS_BAR = wxID_HIGHEST + 8;
// The File menu's greyed "Recent File" item while the list is empty.
inline constexpr int CMD_RECENT_PLACEHOLDER = wxID_HIGHEST + 9;
// Not the stock ids: wxGTK would give those keys of their own (Ctrl+Q for
// Exit, Shift+Ctrl+S for Save As) beyond the application's key table.
inline constexpr int CMD_FILE_SAVE_AS = wxID_HIGHEST + 10;
inline constexpr int CMD_APP_EXIT = wxID_HIGHEST + 11;
// View > Station: the production station's window.
inline constexpr int CMD_VIEW_STATION = wxID_HIGHEST + 12;

// The number of the command (and of its "prompt\ntip" string); 0 for none.
inline unsigned CommandNumber(int command) {
    switch (command) {
        case wxID_NEW: return ID_FILE_NEW;
        case wxID_OPEN: return ID_FILE_OPEN;
        case wxID_SAVE: return ID_FILE_SAVE;
        case CMD_FILE_SAVE_AS: return ID_FILE_SAVE_AS;
        case CMD_APP_EXIT: return ID_APP_EXIT;
        case CMD_APP_ABOUT: return ID_APP_ABOUT;
        case CMD_DEVICE_CONNECT: return ID_DEVICE_CONNECT;
        case CMD_DEVICE_DOWNLOAD: return ID_DEVICE_DOWNLOAD;
        case CMD_DEVICE_RESET: return ID_DEVICE_RESET;
        case CMD_DEVICE_DISCONNECT: return ID_DEVICE_DISCONNECT;
        case CMD_FORCE_MODE: return ID_FORCE_MODE;
        case CMD_VIEW_TOOLBAR: return ID_VIEW_TOOLBAR;
        case CMD_VIEW_STATUS_BAR: return ID_VIEW_STATUS_BAR;
        case CMD_RECENT_PLACEHOLDER: return ID_FILE_MRU_FILE1;
        default: break;
    }
    if (command >= wxID_FILE1 && command <= wxID_FILE9) return ID_FILE_MRU_FILE1 + (command - wxID_FILE1);
    return 0;
}

// The string of a command's prompt: the recent files share the first one's.
inline unsigned PromptStringId(int command) {
    if (command >= wxID_FILE1 && command <= wxID_FILE9) return ID_FILE_MRU_FILE1;
    return CommandNumber(command);
}

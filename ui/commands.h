#pragma once
// Command ids of the window: the framework's file commands use the toolkit's
// own ids (its document manager handles them); every other command uses the
// program's number. Constants; any thread.
#include <wx/defs.h>

#include "res/resource_ids.h"

inline constexpr int CMD_FILE_NEW = wxID_NEW;
inline constexpr int CMD_FILE_OPEN = wxID_OPEN;
inline constexpr int CMD_FILE_SAVE = wxID_SAVE;
inline constexpr int CMD_FILE_SAVE_AS = wxID_SAVEAS;
inline constexpr int CMD_APP_EXIT = wxID_EXIT;
inline constexpr int CMD_APP_ABOUT = static_cast<int>(ID_APP_ABOUT);
inline constexpr int CMD_DEVICE_CONNECT = static_cast<int>(ID_DEVICE_CONNECT);
inline constexpr int CMD_DEVICE_DOWNLOAD = static_cast<int>(ID_DEVICE_DOWNLOAD);
inline constexpr int CMD_DEVICE_RESET = static_cast<int>(ID_DEVICE_RESET);
inline constexpr int CMD_DEVICE_DISCONNECT = static_cast<int>(ID_DEVICE_DISCONNECT);
inline constexpr int CMD_FORCE_MODE = static_cast<int>(ID_FORCE_MODE);
inline constexpr int CMD_VIEW_TOOLBAR = static_cast<int>(ID_VIEW_TOOLBAR);
inline constexpr int CMD_VIEW_STATUS_BAR = static_cast<int>(ID_VIEW_STATUS_BAR);
inline constexpr int CMD_MRU_FIRST = wxID_FILE1;

// The number of the string that holds a command's "prompt\ntip"; 0 for none.
inline unsigned PromptStringId(int command) {
    switch (command) {
        case wxID_NEW: return ID_FILE_NEW;
        case wxID_OPEN: return ID_FILE_OPEN;
        case wxID_SAVE: return ID_FILE_SAVE;
        case wxID_SAVEAS: return ID_FILE_SAVE_AS;
        case wxID_EXIT: return ID_APP_EXIT;
        default: break;
    }
    if (command >= wxID_FILE1 && command <= wxID_FILE9) return ID_FILE_MRU_FILE1;
    if (command == CMD_FORCE_MODE) return 0;
    return static_cast<unsigned>(command);
}

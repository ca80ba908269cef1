#include "ui/ui_strings.h"

#include "res/strings.h"
#include "res/translation.h"
#include "ui/ui_resource_ids.h"

namespace {
struct StringEntry {
    unsigned id;
    const char* text;
};

// A command's text is "status bar prompt\ntool tip", split at the line end.
const StringEntry kUiStrings[] = {
    {IDR_MAINFRAME,
     // TRANSLATORS: one field a line: the window title, (empty), the document's
     // name, the file filter (keep " (*.fw)"), ".fw" and "KAVRO.Document" (both
     // read by programs, never translated there), the type's name.
     KTEXT("Firmware Downloader\n\nKAVRO\nKAVRO Files (*.fw)\n.fw\nKAVRO.Document\nKAVRO Document")},
    {IDS_LINK_CAPTION, KTEXT("Firmware Downloader")},
    {IDS_HW_INCORRECT_ASK,
     KTEXT("HW version of a connected unit is incorrect for this FW. Do you  make download anyway ?")},

    {AFX_IDS_APP_TITLE, KTEXT("KAVRO")},
    {AFX_IDS_IDLEMESSAGE, KTEXT("Ready")},
    {AFX_IDS_UNTITLED, KTEXT("Untitled")},

    {ID_FILE_NEW, KTEXT("Create a new document\nNew")},
    {ID_FILE_OPEN, KTEXT("Open an existing document\nOpen")},
    {ID_FILE_SAVE, KTEXT("Save the active document\nSave")},
    {ID_FILE_SAVE_AS, KTEXT("Save the active document with a new name\nSave As")},
    {ID_FILE_MRU_FILE1, KTEXT("Open this document")},
    {ID_APP_EXIT, KTEXT("Quit the application; prompts to save documents\nExit")},
    {ID_APP_ABOUT, KTEXT("Display program information, version number and copyright\nAbout")},
    {ID_DEVICE_CONNECT, KTEXT("Connect to device and read its ID\nConnect to device")},
    {ID_DEVICE_DOWNLOAD, KTEXT("Download firmware to equpment\nDownload")},
    {ID_DEVICE_RESET, KTEXT("Reset device and run firmware\nReset device")},
    {ID_DEVICE_DISCONNECT, KTEXT("Disconnect device from using\nDisconnect")},
    {ID_VIEW_TOOLBAR, KTEXT("Show or hide the toolbar\nToggle ToolBar")},
    {ID_VIEW_STATUS_BAR, KTEXT("Show or hide the status bar\nToggle StatusBar")},

    {ID_INDICATOR_CAPS, KTEXT("CAP")},
    {ID_INDICATOR_NUM, KTEXT("NUM")},
    {ID_INDICATOR_SCRL, KTEXT("SCRL")},
};
}  // namespace

const char* LoadUiStringSource(unsigned id) {
    for (const StringEntry& entry : kUiStrings)
        if (entry.id == id) return entry.text;
    return LoadStringSource(id);
}

const char* LoadUiStringText(unsigned id) { return Tr(LoadUiStringSource(id)); }

std::string PromptOf(unsigned id) {
    const char* text = LoadUiStringText(id);
    if (text == nullptr) return std::string();
    const std::string all(text);
    return all.substr(0, all.find('\n'));
}

std::string TipOf(unsigned id) {
    const char* text = LoadUiStringText(id);
    if (text == nullptr) return std::string();
    const std::string all(text);
    const size_t newline = all.find('\n');
    return newline == std::string::npos ? std::string() : all.substr(newline + 1);
}

#include "res/strings.h"

#include "res/resource_ids.h"

namespace {
struct StringEntry {
    unsigned id;
    const char* text;
};

const StringEntry kStrings[] = {
    {IDR_MAINFRAME,
     "Firmware Downloader\n\nKAVRO\nKAVRO Files (*.fw)\n.fw\nKAVRO.Document\nKAVRO Document"},
    {IDS_CHIP_ID, "Chip ID"},
    {IDS_NAME, "Name"},
    {IDS_FILE_PATH, "File path"},
    {IDS_SW_VERSION, "SW current version"},
    {IDS_HW_CURRENT, "HW current version"},
    {IDS_HW_LOWEST, "HW version lowest"},
    {IDS_HW_HIGHEST, "HW version highest"},
    {IDS_PRODUCT_NUMBER, "Product number"},
    {IDS_PORT_FAILED, "COM port can not be open"},
    {IDS_NO_RESPONSE, "Equipment do not respond properly"},
    {IDS_DOWNLOAD_DONE, "Firmware was downloaded successfuly"},
    {IDS_LINK_CAPTION, "Firmware Downloader"},
    {IDS_DEVICE_RESET, "Device was reset."},
    {IDS_HW_INCORRECT_ASK,
     "HW version of a connected unit is incorrect for this FW. Do you  make download anyway ?"},
    {IDS_HW_INCORRECT, "HW version of a connected unit is incorrect for this FW."},

    {AFX_IDS_APP_TITLE, "KAVRO"},
    {AFX_IDS_IDLEMESSAGE, "Ready"},
    {AFX_IDS_UNTITLED, "Untitled"},

    {ID_FILE_NEW, "Create a new document\nNew"},
    {ID_FILE_OPEN, "Open an existing document\nOpen"},
    {ID_FILE_SAVE, "Save the active document\nSave"},
    {ID_FILE_SAVE_AS, "Save the active document with a new name\nSave As"},
    {ID_FILE_MRU_FILE1, "Open this document"},
    {ID_APP_EXIT, "Quit the application; prompts to save documents\nExit"},
    {ID_APP_ABOUT, "Display program information, version number and copyright\nAbout"},
    {ID_DEVICE_CONNECT, "Connect to device and read its ID\nConnect to device"},
    {ID_DEVICE_DOWNLOAD, "Download firmware to equpment\nDownload"},
    {ID_DEVICE_RESET, "Reset device and run firmware\nReset device"},
    {ID_DEVICE_DISCONNECT, "Disconnect device from using\nDisconnect"},
    {ID_VIEW_TOOLBAR, "Show or hide the toolbar\nToggle ToolBar"},
    {ID_VIEW_STATUS_BAR, "Show or hide the status bar\nToggle StatusBar"},

    {ID_INDICATOR_CAPS, "CAP"},
    {ID_INDICATOR_NUM, "NUM"},
    {ID_INDICATOR_SCRL, "SCRL"},
};
}  // namespace

const char* LoadStringText(unsigned id) {
    for (const StringEntry& entry : kStrings)
        if (entry.id == id) return entry.text;
    return nullptr;
}

std::string PromptOf(unsigned id) {
    const char* text = LoadStringText(id);
    if (text == nullptr) return std::string();
    const std::string all(text);
    return all.substr(0, all.find('\n'));
}

std::string TipOf(unsigned id) {
    const char* text = LoadStringText(id);
    if (text == nullptr) return std::string();
    const std::string all(text);
    const size_t newline = all.find('\n');
    return newline == std::string::npos ? std::string() : all.substr(newline + 1);
}

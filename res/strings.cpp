#include "res/strings.h"

#include "res/resource_ids.h"
#include "res/translation.h"

namespace {
struct StringEntry {
    unsigned id;
    const char* text;
};

const StringEntry kStrings[] = {
    {IDS_CHIP_ID, KTEXT("Chip ID")},
    {IDS_NAME, KTEXT("Name")},
    {IDS_FILE_PATH, KTEXT("File path")},
    {IDS_SW_VERSION, KTEXT("SW current version")},
    {IDS_HW_CURRENT, KTEXT("HW current version")},
    {IDS_HW_LOWEST, KTEXT("HW version lowest")},
    {IDS_HW_HIGHEST, KTEXT("HW version highest")},
    {IDS_PRODUCT_NUMBER, KTEXT("Product number")},
    {IDS_PORT_FAILED, KTEXT("COM port can not be open")},
    {IDS_NO_RESPONSE, KTEXT("Equipment do not respond properly")},
    {IDS_DOWNLOAD_DONE, KTEXT("Firmware was downloaded successfuly")},
    {IDS_DEVICE_RESET, KTEXT("Device was reset.")},
    {IDS_HW_INCORRECT, KTEXT("HW version of a connected unit is incorrect for this FW.")},
};
}  // namespace

const char* LoadStringSource(unsigned id) {
    for (const StringEntry& entry : kStrings)
        if (entry.id == id) return entry.text;
    return nullptr;
}

const char* LoadStringText(unsigned id) { return Tr(LoadStringSource(id)); }

#pragma once
// Numbers of the string table's texts that the core, the command line, the
// station and the desktop application all show (res/strings.h). The desktop
// application's own numbers (commands, controls, its framework strings) are in
// ui/ui_resource_ids.h; the numbers of both come from one scheme and never
// overlap. Constants only; any thread.

// View labels.
inline constexpr unsigned IDS_CHIP_ID = 129;
inline constexpr unsigned IDS_NAME = 130;
inline constexpr unsigned IDS_FILE_PATH = 131;
inline constexpr unsigned IDS_SW_VERSION = 132;
inline constexpr unsigned IDS_HW_CURRENT = 133;
inline constexpr unsigned IDS_HW_LOWEST = 134;
inline constexpr unsigned IDS_HW_HIGHEST = 135;
inline constexpr unsigned IDS_PRODUCT_NUMBER = 136;
// Link notifications.
inline constexpr unsigned IDS_PORT_FAILED = 137;
inline constexpr unsigned IDS_NO_RESPONSE = 138;
inline constexpr unsigned IDS_DOWNLOAD_DONE = 139;
inline constexpr unsigned IDS_DEVICE_RESET = 141;
// The download's hardware check.
inline constexpr unsigned IDS_HW_INCORRECT = 143;

#pragma once
// Numbers of the program's resources: strings, commands, controls, templates.
// Constants only; any thread.

// Resource 128: menu, accelerators, tool bar, icon, dialog bar and the document string.
inline constexpr unsigned IDR_MAINFRAME = 128;
inline constexpr unsigned IDD_ABOUTBOX = 100;

// Dialog bar controls.
inline constexpr unsigned IDC_PORT = 1000;
inline constexpr unsigned IDC_DOWNLOAD_LABEL = 1002;
inline constexpr unsigned IDC_PROGRESS = 1003;
inline constexpr unsigned IDC_SECOND_CPU = 1004;

// View labels.
inline constexpr unsigned IDS_CHIP_ID = 129;
inline constexpr unsigned IDS_NAME = 130;
inline constexpr unsigned IDS_FILE_PATH = 131;
inline constexpr unsigned IDS_SW_VERSION = 132;
inline constexpr unsigned IDS_HW_CURRENT = 133;
inline constexpr unsigned IDS_HW_LOWEST = 134;
inline constexpr unsigned IDS_HW_HIGHEST = 135;
inline constexpr unsigned IDS_PRODUCT_NUMBER = 136;
// Link notifications and their caption.
inline constexpr unsigned IDS_PORT_FAILED = 137;
inline constexpr unsigned IDS_NO_RESPONSE = 138;
inline constexpr unsigned IDS_DOWNLOAD_DONE = 139;
inline constexpr unsigned IDS_LINK_CAPTION = 140;
inline constexpr unsigned IDS_DEVICE_RESET = 141;
// The download's hardware check.
inline constexpr unsigned IDS_HW_INCORRECT_ASK = 142;
inline constexpr unsigned IDS_HW_INCORRECT = 143;

// Framework strings.
inline constexpr unsigned AFX_IDS_APP_TITLE = 57344;   // 0xE000
inline constexpr unsigned AFX_IDS_IDLEMESSAGE = 57345; // 0xE001
inline constexpr unsigned AFX_IDS_UNTITLED = 61443;    // 0xF003

// Commands; a command's prompt string has the command's number.
inline constexpr unsigned ID_FILE_NEW = 0xE100;
inline constexpr unsigned ID_FILE_OPEN = 0xE101;
inline constexpr unsigned ID_FILE_SAVE = 0xE103;
inline constexpr unsigned ID_FILE_SAVE_AS = 0xE104;
inline constexpr unsigned ID_FILE_MRU_FILE1 = 0xE110;
inline constexpr unsigned ID_APP_ABOUT = 0xE140;
inline constexpr unsigned ID_APP_EXIT = 0xE141;
inline constexpr unsigned ID_VIEW_TOOLBAR = 0xE800;
inline constexpr unsigned ID_VIEW_STATUS_BAR = 0xE801;
inline constexpr unsigned ID_DEVICE_DOWNLOAD = 0x8003;
inline constexpr unsigned ID_DEVICE_CONNECT = 0x8005;
inline constexpr unsigned ID_DEVICE_DISCONNECT = 0x8006;
inline constexpr unsigned ID_DEVICE_RESET = 0x800A;
inline constexpr unsigned ID_FORCE_MODE = 0x800B;

// Status bar indicators; each one's text has its number.
inline constexpr unsigned ID_INDICATOR_CAPS = 0xE700;
inline constexpr unsigned ID_INDICATOR_NUM = 0xE701;
inline constexpr unsigned ID_INDICATOR_SCRL = 0xE702;

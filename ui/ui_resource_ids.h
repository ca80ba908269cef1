#pragma once
// Numbers of the desktop application's own resources: its strings (ui/ui_strings.h),
// commands, controls and templates, beside the shared texts' numbers
// (res/resource_ids.h). Constants only; any thread.
#include "res/resource_ids.h"

// Resource 128: menu, accelerators, tool bar, icon, dialog bar and the document string.
inline constexpr unsigned IDR_MAINFRAME = 128;
inline constexpr unsigned IDD_ABOUTBOX = 100;

// Dialog bar controls.
inline constexpr unsigned IDC_PORT = 1000;
inline constexpr unsigned IDC_DOWNLOAD_LABEL = 1002;
inline constexpr unsigned IDC_PROGRESS = 1003;
inline constexpr unsigned IDC_SECOND_CPU = 1004;

// The link notifications' box caption; the download's hardware question.
inline constexpr unsigned IDS_LINK_CAPTION = 140;
inline constexpr unsigned IDS_HW_INCORRECT_ASK = 142;

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

#pragma once

// Shared by the code, the .rc file and the tests that find the window and
// its controls from another process.

// The application icon has the lowest id, so that Explorer shows it.
#define IDI_TALLOWICK 1
#define IDI_CHEVRON 2
#define IDR_LISTMENU 100
#define IDR_ACCELERATORS 101
#define IDM_REMOVENAME 1001
#define IDM_UNDOREMOVE 1002
// Also an item of the window menu, whose ids leave the low four bits to the system.
#define IDM_RESTOREFILE 0x0110
#define IDM_HELP 0x0120
#define IDM_REFRESH 1003
#define IDM_REMOVELEFTOVER 1004

#define IDC_NAMES 100
#define IDC_STATUS 101
#define TALLOWICK_WINDOW_CLASS L"TallowickMainWindow"

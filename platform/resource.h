#pragma once

// The application icon has the lowest id, so that Explorer shows it.
#define IDI_TALLOWICK 1
#define IDI_CHEVRON 2
#define IDR_LISTMENU 100
#define IDM_REMOVENAME 1001

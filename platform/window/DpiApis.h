#pragma once

#include <windows.h>

#include "platform/common/NewerApis.h"

// Constants of the newer calls, which the XP headers leave out.
#ifndef USER_DEFAULT_SCREEN_DPI
#define USER_DEFAULT_SCREEN_DPI 96
#endif
#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

// The per-monitor DPI calls (Windows 10 1607), looked up at run time as the
// other newer calls are (NewerApis), with the system DPI standing in on
// older systems. Only the window sizes anything, so only it links this.
class DpiApis {
public:
    explicit DpiApis(NewerApis::Resolver resolve);
    // Resolved through NewerApis' resolver, once per process.
    static const DpiApis& Get();

    // Without per-monitor DPI, every window has the system DPI.
    UINT DpiForWindow(HWND hwnd) const;
    BOOL AdjustWindowRectEx(RECT* rect, DWORD style, DWORD exStyle, UINT dpi) const;
    int SystemMetrics(int index, UINT dpi) const;

private:
    UINT(WINAPI* getDpiForWindow_)(HWND) = nullptr;
    BOOL(WINAPI* adjustWindowRectExForDpi_)(RECT*, DWORD, BOOL, DWORD, UINT) = nullptr;
    int(WINAPI* getSystemMetricsForDpi_)(int, UINT) = nullptr;
};

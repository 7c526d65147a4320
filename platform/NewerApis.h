#pragma once

#include <windows.h>

#include <string_view>

// Constants of the newer calls, which the XP headers leave out.
#ifndef USER_DEFAULT_SCREEN_DPI
#define USER_DEFAULT_SCREEN_DPI 96
#endif
#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

// Calls that Windows XP lacks (the oldest system Tallowick starts on), looked
// up at run time; where one is missing, what XP has stands in.
class NewerApis {
public:
    // Finds an export of an already loaded system DLL, or nullptr.
    using Resolver = FARPROC (*)(const wchar_t* module, const char* name);
    explicit NewerApis(Resolver resolve);
    // Resolved through GetProcAddress, once per process.
    static const NewerApis& Get();
    // Makes Get() resolve through `resolve` instead; only before its first call.
    static void ResolveWith(Resolver resolve);

    // Without per-monitor DPI, every window has the system DPI.
    UINT DpiForWindow(HWND hwnd) const;
    BOOL AdjustWindowRectEx(RECT* rect, DWORD style, DWORD exStyle, UINT dpi) const;
    int SystemMetrics(int index, UINT dpi) const;
    // DLLs come from System32 only; without KB2533623, the closest XP and
    // Windows 7 get: no current directory in the DLL or SearchPath order.
    void RestrictDllSearch() const;
    // Whether two registry names are the same name: equal after the system's
    // upper-case table (no locale), as the registry compares them.
    bool SameNameNoCase(std::wstring_view a, std::wstring_view b) const;

private:
    UINT(WINAPI* getDpiForWindow_)(HWND) = nullptr;
    BOOL(WINAPI* adjustWindowRectExForDpi_)(RECT*, DWORD, BOOL, DWORD, UINT) = nullptr;
    int(WINAPI* getSystemMetricsForDpi_)(int, UINT) = nullptr;
    BOOL(WINAPI* setDefaultDllDirectories_)(DWORD) = nullptr;
    BOOL(WINAPI* setSearchPathMode_)(DWORD) = nullptr;
    int(WINAPI* compareStringOrdinal_)(LPCWCH, int, LPCWCH, int, BOOL) = nullptr;
};

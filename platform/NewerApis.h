#pragma once

#include <windows.h>

// Calls that Windows 7 SP1 lacks (the oldest system Tallowick starts on),
// looked up at run time; where one is missing, what Windows 7 has stands in.
class NewerApis {
public:
    // Finds an export of an already loaded system DLL, or nullptr.
    using Resolver = FARPROC (*)(const wchar_t* module, const char* name);
    explicit NewerApis(Resolver resolve);
    // Resolved through GetProcAddress, once per process.
    static const NewerApis& Get();

    // Without per-monitor DPI, every window has the system DPI.
    UINT DpiForWindow(HWND hwnd) const;
    BOOL AdjustWindowRectEx(RECT* rect, DWORD style, DWORD exStyle, UINT dpi) const;
    int SystemMetrics(int index, UINT dpi) const;
    // DLLs come from System32 only; without KB2533623, the closest Windows 7
    // gets: no current directory in the DLL or SearchPath order.
    void RestrictDllSearch() const;

private:
    UINT(WINAPI* getDpiForWindow_)(HWND) = nullptr;
    BOOL(WINAPI* adjustWindowRectExForDpi_)(RECT*, DWORD, BOOL, DWORD, UINT) = nullptr;
    int(WINAPI* getSystemMetricsForDpi_)(int, UINT) = nullptr;
    BOOL(WINAPI* setDefaultDllDirectories_)(DWORD) = nullptr;
    BOOL(WINAPI* setSearchPathMode_)(DWORD) = nullptr;
};

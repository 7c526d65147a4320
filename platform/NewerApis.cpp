#include "platform/NewerApis.h"

namespace {

template <typename Function>
void Resolve(NewerApis::Resolver resolve, const wchar_t* module, const char* name, Function& out) {
    // GetProcAddress hands back every export as one generic type.
    out = reinterpret_cast<Function>(reinterpret_cast<void*>(resolve(module, name)));
}

FARPROC FromLoadedModule(const wchar_t* module, const char* name) {
    const HMODULE loaded = GetModuleHandleW(module);
    return loaded != nullptr ? GetProcAddress(loaded, name) : nullptr;
}

UINT SystemDpi() {
    static const UINT dpi = [] {
        HDC screen = GetDC(nullptr);
        const int logical = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
        if (screen != nullptr) ReleaseDC(nullptr, screen);
        return logical > 0 ? static_cast<UINT>(logical) : USER_DEFAULT_SCREEN_DPI;
    }();
    return dpi;
}

}  // namespace

NewerApis::NewerApis(Resolver resolve) {
    Resolve(resolve, L"user32.dll", "GetDpiForWindow", getDpiForWindow_);
    Resolve(resolve, L"user32.dll", "AdjustWindowRectExForDpi", adjustWindowRectExForDpi_);
    Resolve(resolve, L"user32.dll", "GetSystemMetricsForDpi", getSystemMetricsForDpi_);
    Resolve(resolve, L"kernel32.dll", "SetDefaultDllDirectories", setDefaultDllDirectories_);
    Resolve(resolve, L"kernel32.dll", "SetSearchPathMode", setSearchPathMode_);
}

const NewerApis& NewerApis::Get() {
    static const NewerApis apis(FromLoadedModule);
    return apis;
}

UINT NewerApis::DpiForWindow(HWND hwnd) const {
    const UINT dpi = getDpiForWindow_ != nullptr ? getDpiForWindow_(hwnd) : 0;
    return dpi != 0 ? dpi : SystemDpi();
}

BOOL NewerApis::AdjustWindowRectEx(RECT* rect, DWORD style, DWORD exStyle, UINT dpi) const {
    if (adjustWindowRectExForDpi_ != nullptr) return adjustWindowRectExForDpi_(rect, style, FALSE, exStyle, dpi);
    return ::AdjustWindowRectEx(rect, style, FALSE, exStyle);
}

int NewerApis::SystemMetrics(int index, UINT dpi) const {
    if (getSystemMetricsForDpi_ != nullptr) return getSystemMetricsForDpi_(index, dpi);
    // Sizes at the system DPI, scaled for a monitor (Windows 8.1) of another.
    return MulDiv(GetSystemMetrics(index), static_cast<int>(dpi), static_cast<int>(SystemDpi()));
}

void NewerApis::RestrictDllSearch() const {
    if (setDefaultDllDirectories_ != nullptr && setDefaultDllDirectories_(LOAD_LIBRARY_SEARCH_SYSTEM32)) return;
    SetDllDirectoryW(L"");
    if (setSearchPathMode_ != nullptr)
        setSearchPathMode_(BASE_SEARCH_PATH_ENABLE_SAFE_SEARCHMODE | BASE_SEARCH_PATH_PERMANENT);
}

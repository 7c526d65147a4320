#include "platform/window/DpiApis.h"

namespace {

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

DpiApis::DpiApis(NewerApis::Resolver resolve)
    : getDpiForWindow_(ExportAs<decltype(getDpiForWindow_)>(resolve(L"user32.dll", "GetDpiForWindow"))),
      adjustWindowRectExForDpi_(
          ExportAs<decltype(adjustWindowRectExForDpi_)>(resolve(L"user32.dll", "AdjustWindowRectExForDpi"))),
      getSystemMetricsForDpi_(
          ExportAs<decltype(getSystemMetricsForDpi_)>(resolve(L"user32.dll", "GetSystemMetricsForDpi"))) {}

const DpiApis& DpiApis::Get() {
    static const DpiApis apis(NewerApis::CurrentResolver());
    return apis;
}

UINT DpiApis::DpiForWindow(HWND hwnd) const {
    const UINT dpi = getDpiForWindow_ != nullptr ? getDpiForWindow_(hwnd) : 0;
    return dpi != 0 ? dpi : SystemDpi();
}

BOOL DpiApis::AdjustWindowRectEx(RECT* rect, DWORD style, DWORD exStyle, UINT dpi) const {
    if (adjustWindowRectExForDpi_ != nullptr) return adjustWindowRectExForDpi_(rect, style, FALSE, exStyle, dpi);
    return ::AdjustWindowRectEx(rect, style, FALSE, exStyle);
}

int DpiApis::SystemMetrics(int index, UINT dpi) const {
    if (getSystemMetricsForDpi_ != nullptr) return getSystemMetricsForDpi_(index, dpi);
    // Sizes at the system DPI, scaled for a monitor (Windows 8.1) of another.
    return MulDiv(GetSystemMetrics(index), static_cast<int>(dpi), static_cast<int>(SystemDpi()));
}

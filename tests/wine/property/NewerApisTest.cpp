#include <gtest/gtest.h>

#include "platform/NewerApis.h"

// Windows 7 as the program sees it: none of the newer calls resolve, and each
// answer comes from the system DPI and the plain calls.
TEST(NewerApis, WithoutTheNewerCallsTheSystemDpiHolds) {
    const NewerApis windows7([](const wchar_t*, const char*) -> FARPROC { return nullptr; });
    const HDC screen = GetDC(nullptr);
    const UINT dpi = static_cast<UINT>(GetDeviceCaps(screen, LOGPIXELSY));
    ReleaseDC(nullptr, screen);

    EXPECT_EQ(windows7.DpiForWindow(GetDesktopWindow()), dpi);
    EXPECT_EQ(windows7.SystemMetrics(SM_CXICON, dpi), GetSystemMetrics(SM_CXICON));
    EXPECT_EQ(windows7.SystemMetrics(SM_CXICON, 2 * dpi), 2 * GetSystemMetrics(SM_CXICON));
    RECT plain{0, 0, 300, 200}, fallback = plain;
    AdjustWindowRectEx(&plain, WS_OVERLAPPEDWINDOW, FALSE, 0);
    EXPECT_TRUE(windows7.AdjustWindowRectEx(&fallback, WS_OVERLAPPEDWINDOW, 0, dpi));
    EXPECT_TRUE(EqualRect(&plain, &fallback));
    windows7.RestrictDllSearch();
}

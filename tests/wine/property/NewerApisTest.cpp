#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>

#include "platform/NewerApis.h"

namespace {
FARPROC Nothing(const wchar_t*, const char*) { return nullptr; }
// TALLOWICK_NO_NEWER_APIS: the whole run as on Windows XP, every newer call by its fallback.
[[maybe_unused]] const bool kNoNewerApis =
    std::getenv("TALLOWICK_NO_NEWER_APIS") != nullptr && (NewerApis::ResolveWith(Nothing), true);
}  // namespace

// Windows XP as the program sees it: none of the newer calls resolve, and each
// answer comes from the system DPI, the plain calls and the registry's own
// name comparison.
TEST(NewerApis, WithoutTheNewerCallsTheSystemDpiHolds) {
    const NewerApis xp(Nothing);
    const HDC screen = GetDC(nullptr);
    const UINT dpi = static_cast<UINT>(GetDeviceCaps(screen, LOGPIXELSY));
    ReleaseDC(nullptr, screen);

    EXPECT_EQ(xp.DpiForWindow(GetDesktopWindow()), dpi);
    EXPECT_EQ(xp.SystemMetrics(SM_CXICON, dpi), GetSystemMetrics(SM_CXICON));
    EXPECT_EQ(xp.SystemMetrics(SM_CXICON, 2 * dpi), 2 * GetSystemMetrics(SM_CXICON));
    RECT plain{0, 0, 300, 200}, fallback = plain;
    AdjustWindowRectEx(&plain, WS_OVERLAPPEDWINDOW, FALSE, 0);
    EXPECT_TRUE(xp.AdjustWindowRectEx(&fallback, WS_OVERLAPPEDWINDOW, 0, dpi));
    EXPECT_TRUE(EqualRect(&plain, &fallback));
    xp.RestrictDllSearch();
    const std::wstring lower(40000, L'\u00e9'), upper(40000, L'\u00c9');
    for (const auto& [a, b] : {std::pair<std::wstring, std::wstring>{L"\u03a9mega", L"\u03c9MEGA"}, {L"stra\u00dfe", L"STRASSE"},
                               {L"\u0131", L"I"}, {L"\U00010400", L"\U00010428"}, {L"a", L"ab"}, {lower + L"x", upper + L"X"},
                               {lower + L"x", upper + L"Y"}})
        EXPECT_EQ(xp.SameNameNoCase(a, b), CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL)
            << a.substr(0, 8);
}

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "Driver.h"

// tallowick.exe started at 96, 144 and 192 DPI: the window, the list, its
// rows and its pictures grow with the DPI and keep the layout rule.

namespace {

constexpr wchar_t kDesktopKey[] = L"Control Panel\\Desktop";

// Wine gives a process the DPI of this setting as it stands when the process
// starts. The setting the prefix had is put back however the test ends.
class LogPixels {
public:
    explicit LogPixels(DWORD dpi) {
        DWORD value = 0, size = sizeof value;
        if (RegGetValueW(HKEY_CURRENT_USER, kDesktopKey, L"LogPixels", RRF_RT_REG_DWORD, nullptr, &value, &size) ==
            ERROR_SUCCESS)
            previous_ = value;
        EXPECT_EQ(Set(dpi), ERROR_SUCCESS) << "cannot set LogPixels";
    }
    ~LogPixels() {
        if (previous_)
            Set(*previous_);
        else
            RegDeleteKeyValueW(HKEY_CURRENT_USER, kDesktopKey, L"LogPixels");
    }
    LogPixels(const LogPixels&) = delete;
    LogPixels& operator=(const LogPixels&) = delete;

private:
    static LSTATUS Set(DWORD dpi) {
        return RegSetKeyValueW(HKEY_CURRENT_USER, kDesktopKey, L"LogPixels", REG_DWORD, &dpi, sizeof dpi);
    }
    std::optional<DWORD> previous_;
};

// The height of a line of the window's font (Trebuchet MS 8.25 pt, or what
// the font mapper puts in its place) at `dpi`.
int LineHeight(UINT dpi) {
    LOGFONTW font{};
    font.lfHeight = -MulDiv(825, static_cast<int>(dpi), 7200);
    font.lfCharSet = ANSI_CHARSET;
    wcscpy_s(font.lfFaceName, L"Trebuchet MS");
    const HFONT handle = CreateFontIndirectW(&font);
    const HDC screen = GetDC(nullptr);
    const HGDIOBJ old = SelectObject(screen, handle);
    TEXTMETRICW metrics{};
    GetTextMetricsW(screen, &metrics);
    SelectObject(screen, old);
    ReleaseDC(nullptr, screen);
    DeleteObject(handle);
    return metrics.tmHeight;
}

int Height(const RECT& rect) { return rect.bottom - rect.top; }
int Width(const RECT& rect) { return rect.right - rect.left; }

class Dpi : public E2e {};

TEST_F(Dpi, WindowListRowsAndPicturesScaleWithTheDpi) {
    if (!UnderWine()) GTEST_SKIP() << "Windows sets the DPI per monitor and session, not per process";
    ResetUsersKey({{L"", {Sz(L"alpha"), Sz(L"Bravo"), Sz(L"charlie")}}, {L"Bravo\\Settings", {}}});
    int lastRowHeight = 0;
    for (const UINT dpi : {96u, 144u, 192u}) {
        SCOPED_TRACE(testing::Message() << dpi << " DPI");
        const LogPixels setting(dpi);
        App app;
        ASSERT_TRUE(app.Ready());
        const Probe& probe = app.probe();

        // The design-time client area at this DPI, with the list and the status bar laid out in it.
        const RECT client = probe.ClientRect();
        EXPECT_NEAR(Width(client), 4680.0 * dpi / kTwipsPerInch, 1) << ToString(client);
        EXPECT_NEAR(Height(client), 6285.0 * dpi / kTwipsPerInch, 1) << ToString(client);
        EXPECT_EQ(LayoutFault(probe, dpi), L"");
        // The header holds nothing but text, so its height follows the list's font.
        EXPECT_GE(Height(probe.HeaderRect()), LineHeight(dpi)) << ToString(probe.HeaderRect());
        EXPECT_GE(Height(probe.StatusRect()), LineHeight(dpi)) << ToString(probe.StatusRect());

        // Each name beside its picture at this DPI's small-icon size, in a row the text fits.
        ASSERT_EQ(Texts(probe), (std::vector<std::wstring>{L"alpha", L"Bravo", L"charlie"}));
        EXPECT_EQ(probe.Items()[0].image, 0);
        const RECT icon = probe.ItemRect(0, LVIR_ICON), label = probe.ItemRect(0, LVIR_LABEL);
        const RECT row = probe.ItemRect(0);
        EXPECT_EQ(Width(icon), GetSystemMetricsForDpi(SM_CXSMICON, dpi)) << ToString(icon);
        EXPECT_GE(Height(row), GetSystemMetricsForDpi(SM_CYSMICON, dpi)) << ToString(row);
        EXPECT_GE(Height(label), LineHeight(dpi)) << ToString(label);
        EXPECT_GT(Height(row), lastRowHeight);
        lastRowHeight = Height(row);

        const auto painted = [](HWND hwnd) { return !GetUpdateRect(hwnd, nullptr, FALSE); };
        EXPECT_TRUE(WaitFor([&] { return painted(probe.Window()) && painted(GetDlgItem(probe.Window(), 100)); }));
        const std::wstring png = L"" TALLOWICK_BUILD_DIR L"/e2e-dpi-" + std::to_wstring(dpi) + L".png";
        EXPECT_EQ(SaveScreenPng(probe.WindowRect(), WindowsPath(png)), S_OK);
        EXPECT_EQ(app.Close(), 0u);
    }
}

}  // namespace

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Driver.h"
#include "TestRegistry.h"

// tallowick.exe as a person meets it: started as its own process, driven by
// mouse and keyboard input through the window system, read back through its
// window and the registry. Each row starts the program, checks what a person
// sees first, does one thing, and checks the list, the status bar and the
// registry afterwards.

namespace {

constexpr int kTwipsPerInch = 1440;
constexpr wchar_t kDesktopKey[] = L"Control Panel\\Desktop";
// Wine's own setting for one program: without a window manager, closing a
// managed window waits two seconds for one to withdraw it. Unmanaged, the
// window is placed, sized and minimised by Wine alone.
constexpr wchar_t kWineX11Key[] = L"Software\\Wine\\AppDefaults\\tallowick.exe\\X11 Driver";

bool UnderWine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

TestValue Sz(const std::wstring& name, const std::wstring& data = L"1") { return {name, REG_SZ, SzData(data)}; }

// Three names in the order the registry lists them, two with settings below.
const std::vector<TestKey> kThreeNames = {
    {L"", {Sz(L"alpha"), Sz(L"Bravo"), Sz(L"charlie")}},
    {L"alpha", {Sz(L"Password", L"a")}},
    {L"Bravo\\Settings\\Sounds", {Sz(L"Arrive", L"ding.wav"), {L"Flags", REG_DWORD, {1, 0, 0, 0}}}},
    {L"charlie\\Settings", {}},
};

// Wine gives a process the DPI that this setting has when the process
// starts; the prefix's own is put back however the row ends.
struct LogPixels {
    explicit LogPixels(DWORD dpi) {
        DWORD size = sizeof old;
        had = RegGetValueW(HKEY_CURRENT_USER, kDesktopKey, L"LogPixels", RRF_RT_REG_DWORD, nullptr, &old, &size) ==
              ERROR_SUCCESS;
        Set(dpi);
    }
    ~LogPixels() {
        if (had)
            Set(old);
        else
            RegDeleteKeyValueW(HKEY_CURRENT_USER, kDesktopKey, L"LogPixels");
    }
    static void Set(DWORD dpi) {
        EXPECT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kDesktopKey, L"LogPixels", REG_DWORD, &dpi, sizeof dpi), 0);
    }
    DWORD old = 0;
    bool had = false;
};

// Empty when the list fills the client area above the status bar and its
// column is the list's width less 95 twips; else where everything is.
std::wstring LayoutFault(const Probe& probe, double dpi) {
    const RECT client = probe.ClientRect(), list = probe.ListRect(), status = probe.StatusRect();
    const bool fits = list.left == client.left && list.top == client.top && list.right == client.right &&
                      status.left == client.left && status.right == client.right && status.bottom == client.bottom &&
                      list.bottom <= status.top && status.top - list.bottom <= 2 &&
                      std::abs(probe.ColumnWidth() - (list.right - list.left - 95 * dpi / kTwipsPerInch)) <= 1;
    if (fits) return L"";
    return L"client " + ToString(client) + L" list " + ToString(list) + L" status " + ToString(status) +
           L" column " + std::to_wstring(probe.ColumnWidth());
}

void Screenshot(App& app) {
    const HWND window = app.probe().Window();
    // Taken once nothing in the window waits to be painted.
    const auto painted = [](HWND hwnd) { return !GetUpdateRect(hwnd, nullptr, FALSE); };
    EXPECT_TRUE(WaitFor([&] { return painted(window) && painted(GetDlgItem(window, IDC_NAMES)); }));
    const std::wstring path = WindowsPath(L"" TALLOWICK_BUILD_DIR L"/e2e-screenshot.png");
    EXPECT_EQ(SaveScreenPng(app.probe().WindowRect(), path), S_OK);
}

void ResizeMaximiseMinimiseRestore(App& app) {
    const HWND window = app.probe().Window();
    for (const int show : {-1, SW_MAXIMIZE, SW_MINIMIZE, SW_RESTORE, SW_RESTORE}) {
        SCOPED_TRACE(show);
        if (show < 0)
            SetWindowPos(window, nullptr, 40, 30, 520, 640, SWP_NOZORDER | SWP_NOACTIVATE);
        else
            ShowWindow(window, show);
        if (IsIconic(window)) continue;
        const UINT dpi = GetDpiForWindow(window);
        EXPECT_TRUE(WaitFor([&] { return LayoutFault(app.probe(), dpi).empty(); })) << LayoutFault(app.probe(), dpi);
    }
}

// A real right click at `at` opens a menu there, its top left corner at the pointer.
void RightClickMenu(App& app, POINT at) {
    Click(at, MOUSEEVENTF_RIGHTDOWN);
    ASSERT_TRUE(WaitFor([&] { return app.Menu().has_value(); }));
    EXPECT_EQ(app.Menu()->left, at.x);
    EXPECT_EQ(app.Menu()->top, at.y);
}

// A right click where `where` points, then a click on the menu's one command, Remove ScreenName.
std::function<void(App&)> RemoveWithMouse(std::function<POINT(const Probe&)> where, std::vector<WORD> then = {}) {
    return [=](App& app) {
        RightClickMenu(app, where(app.probe()));
        if (app.Menu()) Click(Centre(*app.Menu()), MOUSEEVENTF_LEFTDOWN);
        if (!then.empty()) Type(then);
    };
}

std::function<void(App&)> NoMenuAfter(DWORD button, std::function<POINT(const Probe&)> where) {
    return [=](App& app) {
        Click(where(app.probe()), button);
        EXPECT_FALSE(WaitFor([&] { return app.Menu().has_value(); }, kNoMenuMs));
    };
}

// Clicks a name, moves with the arrows, opens the menu with `menuKey` and removes the name chosen.
std::function<void(App&)> RemoveWithKeys(int clicked, std::vector<WORD> arrows, std::vector<WORD> menuKey, int chosen) {
    return [=](App& app) {
        Click(Centre(app.probe().ItemRect(clicked)), MOUSEEVENTF_LEFTDOWN);
        for (const WORD arrow : arrows) Type({arrow});
        ASSERT_TRUE(WaitFor([&] { return app.probe().Selected() == chosen; }));
        Type(menuKey);
        ASSERT_TRUE(WaitFor([&] { return app.Menu().has_value(); }));
        // Below the chosen name, not wherever the pointer happens to be.
        EXPECT_LE(std::abs(app.Menu()->top - app.probe().ItemRect(chosen).bottom), 2);
        // Wine's menu opens from the keyboard with no command highlighted; Down reaches the only one.
        Type({VK_DOWN});
        Type({VK_RETURN});
    };
}

struct Row {
    const char* name;
    std::vector<TestKey> seed;
    std::function<void(App&)> act;
    const wchar_t* removed = nullptr;  // the name that leaves the list and the registry
    std::wstring status;               // after the act; empty when it stays as it was
    UINT dpi = 0;                      // Wine's LogPixels for the row; 0 leaves the prefix's own
};

void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

const auto kOnSecond = [](const Probe& probe) { return Centre(probe.ItemRect(1)); };
const auto kTwoLeft = L"2 ScreeNames(s) found.";

// name, seed, act, removed, status, dpi
const Row kRows[] = {
    {"StartsAt96Dpi", kThreeNames, Screenshot, nullptr, L"", 96},
    {"StartsAt144Dpi", kThreeNames, nullptr, nullptr, L"", 144},
    {"StartsAt192Dpi", kThreeNames, nullptr, nullptr, L"", 192},
    {"LayoutFollowsResizeMaximiseMinimiseRestore", kThreeNames, ResizeMaximiseMinimiseRestore, nullptr, L"", 0},
    {"LeftClickOnNameOpensNoMenu", kThreeNames, NoMenuAfter(MOUSEEVENTF_LEFTDOWN, kOnSecond), nullptr, L"", 0},
    {"MiddleClickOnNameOpensNoMenu", kThreeNames, NoMenuAfter(MOUSEEVENTF_MIDDLEDOWN, kOnSecond), nullptr, L"", 0},
    {"RightClickOnEmptyListOpensNoMenu", {},
     NoMenuAfter(MOUSEEVENTF_RIGHTDOWN, [](const Probe& probe) { return Centre(probe.ListRect()); }), nullptr, L"", 0},
    {"RightClickRemovesTheSecondOfThree", kThreeNames, RemoveWithMouse(kOnSecond), L"Bravo", kTwoLeft, 0},
    {"ShiftF10RemovesTheSelectedName", kThreeNames, RemoveWithKeys(2, {}, {VK_SHIFT, VK_F10}, 2), L"charlie",
     kTwoLeft, 0},
    {"MenuKeyRemovesTheNameChosenWithDownAndUp", kThreeNames,
     RemoveWithKeys(0, {VK_DOWN, VK_DOWN, VK_UP}, {VK_APPS}, 1), L"Bravo", kTwoLeft, 0},
    {"DefaultValueIsRefused", {{L"", {Sz(L""), Sz(L"alpha")}}},
     RemoveWithMouse([](const Probe& probe) { return Centre(probe.ItemRect(0)); }), nullptr,
     L"Could not remove \"\".", 0},
    // Below the last name nothing is selected: the command is greyed, and
    // clicking it leaves the menu open.
    {"RightClickBelowTheNamesChangesNothing", kThreeNames,
     RemoveWithMouse([](const Probe& probe) { return POINT{Centre(probe.ListRect()).x, probe.ListRect().bottom - 20}; },
                     {VK_ESCAPE}),
     nullptr, L"", 0},
    {"RightClickOnCaptionOpensTheSystemMenu", kThreeNames,
     [](App& app) {
         const RECT window = app.probe().WindowRect(), client = app.probe().ClientRect();
         RightClickMenu(app, {Centre(window).x, (window.top + client.top) / 2});
         Type({VK_ESCAPE});
     },
     nullptr, L"", 0},
};

class E2e : public testing::TestWithParam<Row> {
protected:
    static void SetUpTestSuite() {
        // Coordinates of the other process's window in pixels, whatever it scales.
        SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
        if (UnderWine()) RegSetKeyValueW(HKEY_CURRENT_USER, kWineX11Key, L"Managed", REG_SZ, L"N", 2 * sizeof(wchar_t));
    }
    static void TearDownTestSuite() {
        if (UnderWine()) RegDeleteKeyValueW(HKEY_CURRENT_USER, kWineX11Key, L"Managed");
    }
    void TearDown() override { DeleteMessengerTree(); }
};

TEST_P(E2e, Person) {
    const Row& row = GetParam();
    if (row.dpi != 0 && !UnderWine()) GTEST_SKIP() << "Windows sets the DPI per monitor and session, not per process";
    std::optional<LogPixels> setting;
    if (row.dpi != 0) setting.emplace(row.dpi);
    ResetUsersKey(row.seed);
    const std::wstring registry = DumpMessengerTree();
    std::vector<ListItem> items;
    for (const TestValue& value : row.seed.empty() ? std::vector<TestValue>{} : row.seed[0].values)
        items.push_back({value.name, 0});
    std::wstring status = items.empty() ? L"" : std::to_wstring(items.size()) + L" ScreeNames(s) found.";

    App app;
    ASSERT_TRUE(app.Ready());
    const Probe& probe = app.probe();
    EXPECT_EQ(probe.Caption(), L"Tallowick");
    EXPECT_EQ(probe.HeaderText(), L"ScreenName(s)");
    EXPECT_EQ(probe.Items(), items);
    EXPECT_EQ(probe.StatusText(), status);
    // The design-time client area at the window's DPI, centred where it fits.
    // This process was started at another DPI than a row's own: it cannot ask the window for the row's.
    const int dpi = static_cast<int>(row.dpi != 0 ? row.dpi : GetDpiForWindow(probe.Window()));
    const RECT client = probe.ClientRect(), window = probe.WindowRect();
    EXPECT_NEAR(client.right - client.left, MulDiv(4680, dpi, kTwipsPerInch), 1) << ToString(client);
    EXPECT_NEAR(client.bottom - client.top, MulDiv(6285, dpi, kTwipsPerInch), 1) << ToString(client);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(probe.Window(), MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& work = monitor.rcWork;
    EXPECT_NEAR(window.left - work.left, std::max(0L, (work.right - work.left) - (window.right - window.left)) / 2, 1);
    EXPECT_NEAR(window.top - work.top, std::max(0L, (work.bottom - work.top) - (window.bottom - window.top)) / 2, 1);
    EXPECT_EQ(LayoutFault(probe, dpi), L"");

    if (row.act) row.act(app);
    if (row.removed) std::erase(items, ListItem{row.removed, 0});
    if (!row.status.empty()) status = row.status;
    EXPECT_TRUE(WaitFor([&] { return !app.Menu() && probe.Items() == items && probe.StatusText() == status; }));
    EXPECT_EQ(probe.Items(), items);
    EXPECT_EQ(probe.StatusText(), status);
    EXPECT_EQ(DumpMessengerTree(), row.removed ? DumpWithout(registry, row.removed) : registry);
    EXPECT_EQ(app.Close(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Rows, E2e, testing::ValuesIn(kRows), [](const auto& row) { return std::string(row.param.name); });

}  // namespace

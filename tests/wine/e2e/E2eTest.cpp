#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "Driver.h"

// tallowick.exe as a person meets it: started as its own process, driven by
// mouse and keyboard input through the window system, read back through its
// window and the registry.

namespace {

// Until the window's place and state have held still for a moment, as they
// have before a person acts again: under Wine the X server's answer to an
// earlier move can otherwise arrive late and undo a later one.
bool WaitSettled(HWND window) {
    const auto snapshot = [window] {
        RECT rect{};
        GetWindowRect(window, &rect);
        return std::tuple(rect.left, rect.top, rect.right, rect.bottom, IsZoomed(window), IsIconic(window));
    };
    auto last = snapshot();
    ULONGLONG since = GetTickCount64();
    return WaitFor([&] {
        if (const auto now = snapshot(); now != last) {
            last = now;
            since = GetTickCount64();
        }
        return GetTickCount64() - since >= 200;
    });
}

// Three names, in the order the registry lists them, two with settings below.
const std::vector<TestKey> kThreeNames = {
    {L"", {Sz(L"alpha"), Sz(L"Bravo"), Sz(L"charlie")}},
    {L"alpha", {Sz(L"Password", L"a")}},
    {L"Bravo", {Sz(L"Password", L"b"), {L"Flags", REG_DWORD, {1, 0, 0, 0}}}},
    {L"Bravo\\Settings\\Sounds", {Sz(L"Arrive", L"ding.wav")}},
    {L"charlie\\Settings", {}},
};

TEST_F(E2e, StartsWithTheSeededNamesInACentredWindowOfTheDesignSize) {
    ResetUsersKey({{L"", {Sz(L""), Sz(L"alpha"), Sz(L"Bravo"), Sz(L"charlie")}}});
    App app;
    ASSERT_TRUE(app.Ready());
    const Probe& probe = app.probe();
    EXPECT_EQ(probe.Caption(), L"Tallowick");
    EXPECT_EQ(probe.HeaderText(), L"ScreenName(s)");
    EXPECT_EQ(probe.Items(), (std::vector<ListItem>{{L"", 0}, {L"alpha", 0}, {L"Bravo", 0}, {L"charlie", 0}}));
    EXPECT_EQ(probe.StatusText(), L"4 ScreeNames(s) found.");
    EXPECT_EQ(LayoutFault(probe, GetDpiForWindow(probe.Window())), L"");

    const int dpi = static_cast<int>(GetDpiForWindow(probe.Window()));
    const RECT client = probe.ClientRect(), window = probe.WindowRect();
    EXPECT_EQ(client.right - client.left, MulDiv(4680, dpi, kTwipsPerInch));
    EXPECT_EQ(client.bottom - client.top, MulDiv(6285, dpi, kTwipsPerInch));
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(probe.Window(), MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& work = monitor.rcWork;
    EXPECT_LE(std::abs((window.left - work.left) - (work.right - window.right)), 1) << ToString(window);
    EXPECT_LE(std::abs((window.top - work.top) - (work.bottom - window.bottom)), 1) << ToString(window);

    // The picture is taken once nothing in the window waits to be painted.
    const auto painted = [](HWND hwnd) { return !GetUpdateRect(hwnd, nullptr, FALSE); };
    EXPECT_TRUE(WaitFor([&] { return painted(probe.Window()) && painted(GetDlgItem(probe.Window(), 100)); }));
    EXPECT_EQ(SaveScreenPng(window, WindowsPath(L"" TALLOWICK_BUILD_DIR L"/e2e-screenshot.png")), S_OK);
    EXPECT_EQ(app.Close(), 0u);
}

TEST_F(E2e, ListFillsTheClientAreaThroughResizeMaximiseMinimiseAndRestore) {
    ResetUsersKey(kThreeNames);
    App app;
    ASSERT_TRUE(app.Ready());
    const HWND window = app.probe().Window();
    const auto size = [](const RECT& rect) { return SIZE{rect.right - rect.left, rect.bottom - rect.top}; };
    SIZE listBeforeMinimise{};
    struct Step {
        const char* name;
        std::function<void()> act;
        std::function<bool()> done;
    };
    const Step steps[] = {
        {"resize", [&] { SetWindowPos(window, nullptr, 40, 30, 520, 640, SWP_NOZORDER | SWP_NOACTIVATE); },
         [&] { return size(app.probe().WindowRect()).cx == 520; }},
        {"shrink", [&] { SetWindowPos(window, nullptr, 40, 30, 200, 150, SWP_NOZORDER | SWP_NOACTIVATE); },
         [&] { return size(app.probe().WindowRect()).cx == 200; }},
        {"maximise", [&] { ShowWindow(window, SW_MAXIMIZE); }, [&] { return IsZoomed(window) != FALSE; }},
        {"minimise",
         [&] {
             listBeforeMinimise = size(app.probe().ListRect());
             ShowWindow(window, SW_MINIMIZE);
         },
         [&] { return IsIconic(window) != FALSE; }},
        // The first restore returns to the maximised window, the second to the shrunk one.
        {"restore", [&] { ShowWindow(window, SW_RESTORE); }, [&] { return IsZoomed(window) != FALSE; }},
        {"restore again", [&] { ShowWindow(window, SW_RESTORE); },
         [&] { return !IsZoomed(window) && size(app.probe().WindowRect()).cx == 200; }},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        step.act();
        ASSERT_TRUE(WaitFor(step.done));
        ASSERT_TRUE(WaitSettled(window));
        if (IsIconic(window)) {
            const SIZE list = size(app.probe().ListRect());
            EXPECT_EQ(list.cx, listBeforeMinimise.cx);
            EXPECT_EQ(list.cy, listBeforeMinimise.cy);
        } else {
            const UINT dpi = GetDpiForWindow(window);
            WaitFor([&] { return LayoutFault(app.probe(), dpi).empty(); });
            EXPECT_EQ(LayoutFault(app.probe(), dpi), L"");
        }
    }
    EXPECT_EQ(app.Close(), 0u);
}

template <typename Row>
std::string RowName(const testing::TestParamInfo<Row>& row) {
    return row.param.name;
}

// Presses that must not open the menu, and the one that must, as its control.
struct PressCase {
    const char* name;
    bool emptyList;
    DWORD down, up;
    bool opensMenu;
};

void PrintTo(const PressCase& row, std::ostream* out) { *out << row.name; }

class Press : public E2e, public testing::WithParamInterface<PressCase> {};

TEST_P(Press, OpensTheMenuOnlyForARightClickOnAName) {
    const PressCase& c = GetParam();
    ResetUsersKey(c.emptyList ? std::vector<TestKey>{} : kThreeNames);
    App app;
    ASSERT_TRUE(app.Ready());
    const std::vector<std::wstring> before = Texts(app.probe());
    const POINT at = c.emptyList ? Centre(app.probe().ListRect()) : Centre(app.probe().ItemRect(1));
    Click(at, c.down, c.up);
    if (c.down == MOUSEEVENTF_LEFTDOWN) {
        EXPECT_TRUE(WaitFor([&] { return app.probe().Selected() == 1; }));
    }
    EXPECT_EQ(WaitFor([&] { return app.Menu().has_value(); }, c.opensMenu ? kTimeoutMs : kNoMenuMs), c.opensMenu);
    if (app.Menu()) {
        // At the pointer, as the menu's top left corner.
        EXPECT_EQ(app.Menu()->left, at.x);
        EXPECT_EQ(app.Menu()->top, at.y);
        Type({VK_ESCAPE});
        EXPECT_TRUE(WaitFor([&] { return !app.Menu(); }));
    }
    EXPECT_EQ(Texts(app.probe()), before);
    EXPECT_EQ(app.Close(), 0u);
}

INSTANTIATE_TEST_SUITE_P(E2e, Press,
                         testing::Values(PressCase{"LeftOnName", false, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, false},
                                         PressCase{"MiddleOnName", false, MOUSEEVENTF_MIDDLEDOWN, MOUSEEVENTF_MIDDLEUP,
                                                   false},
                                         PressCase{"RightOnEmptyList", true, MOUSEEVENTF_RIGHTDOWN,
                                                   MOUSEEVENTF_RIGHTUP, false},
                                         PressCase{"RightOnName", false, MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP,
                                                   true}),
                         RowName<PressCase>);

enum class Via { RightClick, ShiftF10, MenuKey };

struct RemovalCase {
    const char* name;
    std::vector<TestKey> seed;
    int item;
    Via via;
    std::vector<std::wstring> left;
    std::wstring status;
    std::optional<std::wstring> removed;
};

void PrintTo(const RemovalCase& row, std::ostream* out) { *out << row.name; }

class Removal : public E2e, public testing::WithParamInterface<RemovalCase> {};

TEST_P(Removal, RemovesTheChosenNameFromListAndRegistry) {
    const RemovalCase& c = GetParam();
    ResetUsersKey(c.seed);
    const std::wstring before = DumpMessengerTree();
    App app;
    ASSERT_TRUE(app.Ready());
    const RECT item = app.probe().ItemRect(c.item);
    if (c.via == Via::RightClick) {
        Click(Centre(item), MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP);
        ASSERT_TRUE(WaitFor([&] { return app.Menu().has_value(); }));
        Click(Centre(*app.Menu()), MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
    } else {
        // A click selects the name and brings the window to the keyboard.
        Click(Centre(item), MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
        ASSERT_TRUE(WaitFor([&] { return app.probe().Selected() == c.item; }));
        if (c.via == Via::ShiftF10)
            Type({VK_SHIFT, VK_F10});
        else
            Type({VK_APPS});
        ASSERT_TRUE(WaitFor([&] { return app.Menu().has_value(); }));
        // Below the selected name, not wherever the pointer happens to be.
        EXPECT_LE(std::abs(app.Menu()->top - item.bottom), 2) << ToString(*app.Menu()) << " " << ToString(item);
        Type({VK_DOWN});
        Type({VK_RETURN});
    }
    EXPECT_TRUE(WaitFor([&] { return !app.Menu() && Texts(app.probe()) == c.left && app.probe().StatusText() == c.status; }));
    EXPECT_EQ(Texts(app.probe()), c.left);
    EXPECT_EQ(app.probe().StatusText(), c.status);
    EXPECT_EQ(DumpMessengerTree(), c.removed ? DumpWithout(before, *c.removed) : before);
    EXPECT_EQ(app.Close(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    E2e, Removal,
    testing::Values(RemovalCase{"RightClickOnSecondOfThree", kThreeNames, 1, Via::RightClick, {L"alpha", L"charlie"},
                                L"3 ScreeNames(s) found.", L"Bravo"},
                    RemovalCase{"ShiftF10OnThird", kThreeNames, 2, Via::ShiftF10, {L"alpha", L"Bravo"},
                                L"3 ScreeNames(s) found.", L"charlie"},
                    RemovalCase{"MenuKeyOnFirst", kThreeNames, 0, Via::MenuKey, {L"Bravo", L"charlie"},
                                L"3 ScreeNames(s) found.", L"alpha"},
                    RemovalCase{"DefaultValueIsRefused", {{L"", {Sz(L""), Sz(L"alpha")}}}, 0, Via::RightClick,
                                {L"", L"alpha"}, L"Could not remove \"\".", std::nullopt}),
    RowName<RemovalCase>);

}  // namespace

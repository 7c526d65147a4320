// The test drives the program from outside with Windows 10's per-monitor DPI
// calls; only the program itself keeps to what Windows XP has.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0A00
#undef WINVER
#define WINVER 0x0A00

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/common/Win32Archive.h"
#include "platform/window/resource.h"
#include "platform/common/Win32Handles.h"
#include "Deadline.h"
#include "OtherProcess.h"
#include "TestRegistry.h"

// tallowick.exe as a person meets it: started as its own process, driven by
// mouse and keyboard input through the window system, read back through its
// window and the registry. Each row starts the program, checks what a person
// sees first, does one thing, and checks the list, the status bar and the
// registry afterwards.

namespace {

// The machine may be busy: everything waits for what it expects, never a fixed time.
constexpr DWORD kTimeoutMs = 20000;
constexpr int kTwipsPerInch = 1440;
constexpr int kChars = 256;  // the tests' names and texts are short
// Wine's own setting for one program: without a window manager, closing a
// managed window waits two seconds for one to withdraw it. Unmanaged, the
// window is placed, sized and minimised by Wine alone.
constexpr wchar_t kWineX11Key[] = L"Software\\Wine\\AppDefaults\\tallowick.exe\\X11 Driver";
constexpr wchar_t kDesktopKey[] = L"Control Panel\\Desktop";

// A row's whole run, below ctest's limit of 90 s: for what cannot time out
// by itself, such as a message sent to the program's window.
constexpr DWORD kRowSeconds = 75;

// False, and a failure that says what it waited for, when `condition` has not
// come true in time.
bool WaitFor(const char* what, const std::function<bool()>& condition, DWORD timeoutMs = kTimeoutMs) {
    for (const ULONGLONG deadline = GetTickCount64() + timeoutMs; !condition(); Sleep(10)) {
        if (GetTickCount64() < deadline) continue;
        ADD_FAILURE() << "gave up after " << timeoutMs / 1000 << " s waiting for " << what;
        return false;
    }
    return true;
}

void Mouse(DWORD flags, LONG dx = 0, LONG dy = 0) {
    INPUT input{INPUT_MOUSE, {}};
    input.mi = {dx, dy, 0, flags, 0, 0};
    SendInput(1, &input, sizeof input);
}

// Moves the pointer as a mouse would, then presses and releases a button.
void Click(POINT at, DWORD down) {
    // Absolute positions are in 1/65536 of the screen; rounding up lands on the pixel itself.
    // A move made while a pop-up menu takes hold of the pointer can be lost
    // under Wine: it is made again until the pointer is there.
    const LONG width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    POINT cursor{};
    ULONGLONG tries = 0;
    ASSERT_TRUE(WaitFor("the pointer to reach its place", [&] {
        if (tries++ % 25 == 0)
            Mouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, (at.x * 65536 + width - 1) / width, (at.y * 65536 + height - 1) / height);
        return GetCursorPos(&cursor) && cursor.x == at.x && cursor.y == at.y;
    }))
        << cursor.x << "," << cursor.y << " for " << at.x << "," << at.y;
    Mouse(down);
    Mouse(down * 2);  // each button's up flag is twice its down flag
}

// Holds the keys down in order, then lets them go in reverse, as a chord is typed.
void Type(std::vector<WORD> keys) {
    std::vector<INPUT> inputs(keys.size() * 2, INPUT{INPUT_KEYBOARD, {}});
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const bool up = i >= keys.size();
        const WORD key = up ? keys[inputs.size() - 1 - i] : keys[i];
        inputs[i].ki = {key, static_cast<WORD>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC)),
                        up ? KEYEVENTF_KEYUP : 0u, 0, 0};
    }
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

// Types the text character by character, as a keyboard that has them would.
void TypeText(const std::wstring& text) {
    for (const wchar_t ch : text) {
        INPUT inputs[2] = {{INPUT_KEYBOARD, {}}, {INPUT_KEYBOARD, {}}};
        inputs[0].ki = {0, ch, KEYEVENTF_UNICODE, 0, 0};
        inputs[1].ki = {0, ch, KEYEVENTF_UNICODE | KEYEVENTF_KEYUP, 0, 0};
        SendInput(2, inputs, sizeof(INPUT));
    }
}

POINT Centre(const RECT& rect) { return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2}; }

// In screen coordinates, borders included.
RECT ScreenRect(HWND window) { RECT rect{}; GetWindowRect(window, &rect); return rect; }
RECT ClientRect(HWND window) {
    RECT rect{};
    GetClientRect(window, &rect);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// Wine runs the test with a Unix path; Z: is its root.
std::wstring WindowsPath(const std::wstring& path) { return path.starts_with(L'/') ? L"Z:" + path : path; }

// One running tallowick.exe, started at `dpi` (Wine gives a process the DPI
// of this setting as it starts) and unmanaged, read as a person sees it;
// ended by force only if a test left it running, and Wine's settings put
// back as the prefix had them. The common controls read and write their
// answers through pointers into their own address space, so each request
// that carries a buffer is staged in a page allocated inside the process.
class App {
public:
    const UINT dpi;
    HWND window = nullptr, list = nullptr, status = nullptr;

    explicit App(DWORD startDpi) : dpi(startDpi) {
        DWORD size = sizeof savedDpi_;
        hadDpi_ = !RegGetValueW(HKEY_CURRENT_USER, kDesktopKey, L"LogPixels", RRF_RT_REG_DWORD, nullptr, &savedDpi_, &size);
        RegSetKeyValueW(HKEY_CURRENT_USER, kDesktopKey, L"LogPixels", REG_DWORD, &startDpi, sizeof startDpi);
        RegSetKeyValueW(HKEY_CURRENT_USER, kWineX11Key, L"Managed", REG_SZ, L"N", 2 * sizeof(wchar_t));
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        CreateProcessW(WindowsPath(L"" TALLOWICK_EXE).c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &info);
        process_.reset(info.hProcess);
        CloseHandle(info.hThread);
        WaitFor("tallowick.exe's window to show", [&] { return (window = FindVisible(TALLOWICK_WINDOW_CLASS)) != nullptr; });
        list = GetDlgItem(window, IDC_NAMES);
        status = GetDlgItem(window, IDC_STATUS);
        memory_ = static_cast<BYTE*>(VirtualAllocEx(process_.get(), nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    }
    ~App() {
        if (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) TerminateProcess(process_.get(), 1);
        RegDeleteKeyValueW(HKEY_CURRENT_USER, kWineX11Key, L"Managed");
        if (hadDpi_) RegSetKeyValueW(HKEY_CURRENT_USER, kDesktopKey, L"LogPixels", REG_DWORD, &savedDpi_, sizeof savedDpi_);
        if (!hadDpi_) RegDeleteKeyValueW(HKEY_CURRENT_USER, kDesktopKey, L"LogPixels");
    }

    // A visible top-level window of the class that the process owns, or null.
    HWND FindVisible(const wchar_t* className) const {
        for (HWND found = nullptr; (found = FindWindowExW(nullptr, found, className, nullptr)) != nullptr;) {
            DWORD owner = 0;
            GetWindowThreadProcessId(found, &owner);
            if (owner == GetProcessId(process_.get()) && IsWindowVisible(found)) return found;
        }
        return nullptr;
    }
    // The screen rectangle of the process's open pop-up menu, if one is open.
    std::optional<RECT> Menu() const {
        const HWND menu = FindVisible(L"#32768");
        return menu == nullptr ? std::nullopt : std::optional(ScreenRect(menu));
    }
    // As the close box does; the exit code, or STILL_ACTIVE when it does not end.
    DWORD Close() const {
        PostMessageW(window, WM_CLOSE, 0, 0);
        DWORD code = STILL_ACTIVE;
        if (WaitForSingleObject(process_.get(), kTimeoutMs) == WAIT_OBJECT_0) GetExitCodeProcess(process_.get(), &code);
        return code;
    }

    // Sends `message` with `request` staged at the start of the page, and
    // reads back what the control left there.
    template <typename T>
    LRESULT Call(HWND control, UINT message, WPARAM wParam, T& request) const {
        WriteProcessMemory(process_.get(), memory_, &request, sizeof request, nullptr);
        const LRESULT result = SendMessageW(control, message, wParam, reinterpret_cast<LPARAM>(memory_));
        ReadProcessMemory(process_.get(), memory_, &request, sizeof request, nullptr);
        return result;
    }
    // The names as the list shows them; a read may meet the window's own
    // changes, so callers wait for the list they expect.
    std::vector<std::wstring> Items() const {
        std::vector<std::wstring> items;
        for (int index = 0; index < ListView_GetItemCount(list); ++index) {
            struct {
                LVITEMW item;
                std::array<wchar_t, kChars> text;
            } request{};
            request.item.pszText = reinterpret_cast<wchar_t*>(memory_ + offsetof(decltype(request), text));
            request.item.cchTextMax = kChars - 1;
            Call(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(index), request);
            items.emplace_back(request.text.data());
        }
        return items;
    }
    RECT ItemRect(int index) const {
        RECT rect{LVIR_BOUNDS, 0, 0, 0};
        Call(list, LVM_GETITEMRECT, static_cast<WPARAM>(index), rect);
        MapWindowPoints(list, nullptr, reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    }
    std::wstring StatusText() const {
        // Staged zeroed: an empty bar writes nothing.
        std::array<wchar_t, kChars> text{};
        Call(status, SB_GETTEXTW, 0, text);
        return text.data();
    }

private:
    UniqueHandleObject process_;
    BYTE* memory_ = nullptr;
    DWORD savedDpi_ = 0;
    bool hadDpi_ = false;
};

TestValue Sz(const std::wstring& name, const std::wstring& data = L"1") { return {name, REG_SZ, SzData(data)}; }

// Three names in the order the registry lists them, two with settings below.
const std::vector<TestKey> kThree = {
    {L"", {Sz(L"alpha"), Sz(L"Bravo"), Sz(L"charlie")}},
    {L"alpha", {Sz(L"Password", L"a")}},
    {L"Bravo\\Settings\\Sounds", {Sz(L"Arrive", L"ding.wav"), {L"Flags", REG_DWORD, {1, 0, 0, 0}}}},
    {L"charlie\\Settings", {}},
};

// How far, in pixels, the list and the status bar stand from where the
// layout rule puts them: the list across the client area down to the status
// bar (2 pixels of rounding between them), the bar along its bottom, and the
// column the list's width less 95 twips (1 pixel of rounding). All zero when it holds.
std::vector<long> Misfit(const App& app) {
    const RECT client = ClientRect(app.window), list = ScreenRect(app.list), status = ScreenRect(app.status);
    const double column = ListView_GetColumnWidth(app.list, 0) - (list.right - list.left - 95.0 * app.dpi / kTwipsPerInch);
    return {list.left - client.left, list.top - client.top, list.right - client.right,
            status.left - client.left, status.right - client.right, status.bottom - client.bottom,
            std::clamp(status.top - list.bottom, 0L, 2L) - (status.top - list.bottom), std::lround(std::trunc(column))};
}
const std::vector<long> kFits(8);

void ResizeMaximiseMinimiseRestore(App& app) {
    for (const int show : {-1, SW_MAXIMIZE, SW_MINIMIZE, SW_RESTORE, SW_RESTORE}) {
        SCOPED_TRACE(show < 0 ? "resized" : show == SW_MAXIMIZE ? "maximised" : show == SW_MINIMIZE ? "minimised" : "restored");
        show < 0 ? SetWindowPos(app.window, nullptr, 40, 30, 520, 640, SWP_NOZORDER | SWP_NOACTIVATE)
                 : ShowWindow(app.window, show);
        if (IsIconic(app.window)) continue;
        WaitFor("the layout to fit the window", [&] { return Misfit(app) == kFits; });
        EXPECT_EQ(Misfit(app), kFits);
    }
}

using Act = std::function<void(App&)>;
using Where = std::function<POINT(const App&)>;

// A real click of `button` where `where` points, then the chords typed. A
// menu opens at the pointer, or from the keyboard below the selected name;
// `choose` picks its command (1 Remove, 2 Undo, 0 none) as the click or keys
// did.
Act Press(DWORD button, Where where, std::vector<std::vector<WORD>> chords, int choose) {
    return [=](App& app) {
        const POINT at = where(app);
        Click(at, button);
        for (const auto& chord : chords) Type(chord);
        ASSERT_TRUE(WaitFor("a pop-up menu to open", [&] { return app.Menu().has_value(); }));
        const RECT m = *app.Menu();
        const bool keys = !chords.empty();
        EXPECT_TRUE(keys || m.left == at.x) << "the menu's left edge " << m.left << ", the click's " << at.x;
        EXPECT_NEAR(m.top, keys ? app.ItemRect(ListView_GetNextItem(app.list, -1, LVNI_SELECTED)).bottom : at.y, keys ? 2 : 0);
        // The middle of the chosen one of the menu's three commands.
        if (choose && !keys) Click({(m.left + m.right) / 2, m.top + (m.bottom - m.top) * (2 * choose - 1) / 6}, MOUSEEVENTF_LEFTDOWN);
        // Wine's menu opens from the keyboard with no command highlighted.
        for (int down = 0; down < choose && keys; ++down) Type({VK_DOWN});
        if (choose && keys) Type({VK_RETURN});
        // A greyed command leaves the menu open, and the system menu has not been chosen from.
        Type({VK_ESCAPE});
    };
}

Where OnName(int item) {
    return [item](const App& app) { return Centre(app.ItemRect(item)); };
}
const Where kOnCaption = [](const App& app) {
    return POINT{Centre(ScreenRect(app.window)).x, (ScreenRect(app.window).top + ClientRect(app.window).top) / 2};
};
constexpr DWORD kLeft = MOUSEEVENTF_LEFTDOWN, kRight = MOUSEEVENTF_RIGHTDOWN;

// Bravo removed with a real right click, then brought back by `undo`.
Act RemoveThenUndo(Act undo) {
    return [undo](App& app) {
        Press(kRight, OnName(1), {}, 1)(app);
        ASSERT_TRUE(WaitFor("the removed name to leave the list", [&] { return app.Items().size() == 2; }));
        undo(app);
    };
}

// Ctrl+O, then the newest backup's path typed into the Open dialog.
void RestoreThroughTheOpenDialog(App& app) {
    const std::wstring newest = Win32Archive().Backups().at(0).path;
    Type({VK_CONTROL, 'O'});
    ASSERT_TRUE(WaitFor("the Open dialog to show", [&] { return app.FindVisible(L"#32770") != nullptr; }));
    TypeText(newest);
    Type({VK_RETURN});
}

// Other programs' bursts, which the list follows by its watch alone, each
// within a second: ten names imported at once, one added two seconds later,
// then every name removed and the three brought back from their backups,
// three times over.
void FollowsBursts(App& app) {
    const auto follows = [&](const char* what) {
        const ULONGLONG start = GetTickCount64();
        if (WaitFor(what, [&] { return app.Items() == UsersValueNames(); }, 1000))
            std::printf("burst: %s: %llu ms after the other program ended\n", what, GetTickCount64() - start);
    };
    std::wstring text = L"\xFEFFWindows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\" + kUsersKey + L"]\r\n";
    for (int n = 1; n <= 10; ++n) text += L"\"burst" + std::to_wstring(n) + L"\"=\"x\"\r\n";
    const std::wstring file = L"burst.reg";  // in the current folder, which regedit inherits
    const UniqueHandleObject out(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    WriteFile(out.get(), text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written, nullptr);
    const std::wstring cli = L"\"" + WindowsPath(L"" TALLOWICK_CLI) + L"\" ";
    RunOtherProcess(L"regedit.exe /s \"" + file + L'"');
    follows("the list to show ten names imported at once");
    Sleep(2000);
    RunOtherProcess(L"reg.exe add \"HKCU\\" + kUsersKey + L"\" /v zzprobe /d x /f");
    follows("the list to show a name added two seconds after the burst");
    // Each round a new chance for a change to fall while the watch is set up again.
    for (int round = 0; round < 3; ++round) {
        RunOtherProcess(cli + L"remove /all");
        follows("the list to empty after another program's remove /all");
        RunOtherProcess(cli + L"restore alpha Bravo charlie");
        follows("the list to show the three names restored by another program");
    }
    DeleteFileW(file.c_str());
    Win32Archive archive;
    for (const reg::BackupFile& backup : archive.Backups()) archive.DeleteBackup(backup.path);
}

// The Open dialog's lists of what was opened lately, and the shell's recent
// documents: a program that clears traces leaves none there. Each row starts
// with one entry of another program's.
constexpr wchar_t kDialogLists[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32";
std::vector<std::wstring> RecentLists(bool reset = false) {
    const std::wstring lastVisited = std::wstring(kDialogLists) + L"\\LastVisitedMRU", other(L"notepad.exe\0C:\\\0", 16);
    if (reset) {
        RegDeleteTreeW(HKEY_CURRENT_USER, kDialogLists);
        RegSetKeyValueW(HKEY_CURRENT_USER, lastVisited.c_str(), L"a", REG_BINARY, other.data(), 32);
        RegSetKeyValueW(HKEY_CURRENT_USER, lastVisited.c_str(), L"MRUList", REG_SZ, L"a", 4);
    }
    std::vector<std::wstring> lines;
    for (const std::wstring& key : {std::wstring(kDialogLists), std::wstring(L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RecentDocs")})
        test_registry::DumpKey(key, {}, lines);
    return lines;
}

struct Row {
    const char* name;
    Act act = nullptr;
    const wchar_t* removed = nullptr;  // the name that leaves the list and the registry
    UINT dpi = 96;
};

void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

const Row kRows[] = {
    {"LayoutFollowsResizeMaximiseMinimiseRestore", ResizeMaximiseMinimiseRestore},
    {"RightClickRemovesTheSecondOfThreeAt144Dpi", Press(kRight, OnName(1), {}, 1), L"Bravo", 144},
    {"ShiftF10RemovesTheNameChosenWithDownAndUpAt192Dpi",
     Press(kLeft, OnName(0), {{VK_DOWN}, {VK_DOWN}, {VK_UP}, {VK_SHIFT, VK_F10}}, 1), L"Bravo", 192},
    {"CtrlZBringsBackTheRemovedName", RemoveThenUndo([](App&) { Type({VK_CONTROL, 'Z'}); })},
    {"UndoFromTheMenuBringsBackTheRemovedName", RemoveThenUndo(Press(kRight, OnName(0), {}, 2))},
    {"RestoreFromTheOpenDialogBringsBackTheRemovedName", RemoveThenUndo(RestoreThroughTheOpenDialog)},
    {"RightClickOnCaptionOpensTheSystemMenu", Press(kRight, kOnCaption, {}, 0)},
    {"ListFollowsOtherProgramsBurstsByItsWatchAlone", FollowsBursts},
};

class E2e : public testing::TestWithParam<Row> {
    void TearDown() override { DeleteMessengerTree(); }
};

TEST_P(E2e, Person) {
    const Row& row = GetParam();
    const Deadline deadline(std::string("row ") + row.name + " to end (tallowick.exe to answer the mouse, the keys and messages)",
                            kRowSeconds);
    ResetUsersKey(kThree);
    const std::wstring expected = row.removed ? DumpMessengerTree({row.removed}) : DumpMessengerTree();
    std::vector<std::wstring> items;
    for (const TestValue& value : kThree[0].values) items.push_back(value.name);
    const auto count = [&] { return items.empty() ? L"" : std::to_wstring(items.size()) + L" ScreeNames(s) found."; };

    // Coordinates of the other process's window in pixels, whatever it scales.
    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    const std::vector<std::wstring> recent = RecentLists(true);
    App app(row.dpi);
    ASSERT_TRUE(app.window);
    EXPECT_EQ(app.Items(), items);
    EXPECT_EQ(app.StatusText(), count());
    // The design-time client area at the row's DPI.
    const RECT client = ClientRect(app.window);
    EXPECT_NEAR(client.right - client.left, MulDiv(4680, row.dpi, kTwipsPerInch), 1);
    EXPECT_NEAR(client.bottom - client.top, MulDiv(6285, row.dpi, kTwipsPerInch), 1);
    EXPECT_EQ(Misfit(app), kFits);

    if (row.act) row.act(app);
    if (row.removed) std::erase(items, row.removed);
    const std::wstring status = count();
    WaitFor("the menu to close and the list and status bar to show the outcome",
            [&] { return !app.Menu() && app.Items() == items && app.StatusText() == status; });
    EXPECT_EQ(app.Items(), items);
    EXPECT_EQ(app.StatusText(), status);
    EXPECT_EQ(DumpMessengerTree(), expected);
    EXPECT_EQ(app.Close(), 0u);
    EXPECT_EQ(RecentLists(), recent);
}

INSTANTIATE_TEST_SUITE_P(Rows, E2e, testing::ValuesIn(kRows), [](const auto& row) { return std::string(row.param.name); });

}  // namespace

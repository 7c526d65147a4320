// The test drives the program from outside with Windows 10's per-monitor DPI
// calls; only the program itself keeps to what Windows 7 has.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0A00
#undef WINVER
#define WINVER 0x0A00

#include <windows.h>
#include <wincodec.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Probe.h"
#include "platform/Win32Handles.h"
#include "TestRegistry.h"

// tallowick.exe as a person meets it: started as its own process, driven by
// mouse and keyboard input through the window system, read back through its
// window and the registry. Each row starts the program, checks what a person
// sees first, does one thing, and checks the list, the status bar and the
// registry afterwards.

namespace {

// Starts tallowick.exe and drives it with input, as a person would. The
// machine may be busy: everything waits for what it expects, never a fixed time.

constexpr DWORD kTimeoutMs = 20000;

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs = kTimeoutMs) {
    for (const ULONGLONG deadline = GetTickCount64() + timeoutMs; !condition(); Sleep(10))
        if (GetTickCount64() >= deadline) return false;
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
    const LONG width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    Mouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, (at.x * 65536 + width - 1) / width, (at.y * 65536 + height - 1) / height);
    POINT cursor{};
    ASSERT_TRUE(WaitFor([&] { return GetCursorPos(&cursor) && cursor.x == at.x && cursor.y == at.y; }))
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
                        (up ? KEYEVENTF_KEYUP : 0u) | (key == VK_APPS ? KEYEVENTF_EXTENDEDKEY : 0u), 0, 0};
    }
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

POINT Centre(const RECT& rect) { return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2}; }

// Wine runs the test with a Unix path; Z: is its root.
std::wstring WindowsPath(const std::wstring& path) { return path.starts_with(L'/') ? L"Z:" + path : path; }

// One running tallowick.exe, started at `dpi` (Wine gives a process the DPI
// of this setting as it starts); ended by force only if a test left it running.
class App {
public:
    const UINT dpi;
    std::optional<Probe> probe;  // once the window shows

    explicit App(DWORD startDpi) : dpi(startDpi) {
        RegSetKeyValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels", REG_DWORD, &startDpi, sizeof startDpi);
        const std::wstring exe = WindowsPath(L"" TALLOWICK_EXE);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        CreateProcessW(exe.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info);
        process_.reset(info.hProcess);
        CloseHandle(info.hThread);
        HWND window = nullptr;
        if (WaitFor([&] { return (window = FindVisible(info.dwProcessId, TALLOWICK_WINDOW_CLASS)) != nullptr; }))
            probe.emplace(window, process_.get());
    }
    ~App() {
        if (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) TerminateProcess(process_.get(), 1);
    }

    // The screen rectangle of the process's open pop-up menu, if one is open.
    std::optional<RECT> Menu() const {
        const HWND menu = FindVisible(GetProcessId(process_.get()), L"#32768");
        return menu == nullptr ? std::nullopt : std::optional(ScreenRect(menu));
    }
    // As the close box does; the exit code, or STILL_ACTIVE when it does not end.
    DWORD Close() {
        PostMessageW(probe->window, WM_CLOSE, 0, 0);
        DWORD code = STILL_ACTIVE;
        if (WaitForSingleObject(process_.get(), kTimeoutMs) == WAIT_OBJECT_0) GetExitCodeProcess(process_.get(), &code);
        return code;
    }

private:
    UniqueHandleObject process_;
};

// What the screen shows inside `rect`, written as a PNG by WIC's encoder.
HRESULT SaveScreenPng(const RECT& rect, const std::wstring& path) {
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    const HDC screen = GetDC(nullptr);
    const UniqueHandle<HBITMAP, NullInvalidTraits<HBITMAP, DeleteObject>> bitmap(
        CreateCompatibleBitmap(screen, width, height));
    const UniqueHandle<HDC, NullInvalidTraits<HDC, DeleteDC>> memory(CreateCompatibleDC(screen));
    const HGDIOBJ old = SelectObject(memory.get(), bitmap.get());
    const BOOL copied = BitBlt(memory.get(), 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory.get(), old);
    ReleaseDC(nullptr, screen);

    ComPtr<IWICImagingFactory> factory;
    ComPtr<IWICBitmap> source;
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    HRESULT hr = copied ? CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                           IID_IWICImagingFactory, factory.put_void())
                        : E_FAIL;
    if (SUCCEEDED(hr)) hr = factory->CreateBitmapFromHBITMAP(bitmap.get(), nullptr, WICBitmapIgnoreAlpha, source.put());
    if (SUCCEEDED(hr)) hr = factory->CreateStream(stream.put());
    if (SUCCEEDED(hr)) hr = stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE);
    if (SUCCEEDED(hr)) hr = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.put());
    if (SUCCEEDED(hr)) hr = encoder->Initialize(stream.get(), WICBitmapEncoderNoCache);
    if (SUCCEEDED(hr)) hr = encoder->CreateNewFrame(frame.put(), nullptr);
    if (SUCCEEDED(hr)) hr = frame->Initialize(nullptr);
    if (SUCCEEDED(hr)) hr = frame->WriteSource(source.get(), nullptr);
    if (SUCCEEDED(hr)) hr = frame->Commit();
    if (SUCCEEDED(hr)) hr = encoder->Commit();
    return hr;
}

constexpr int kTwipsPerInch = 1440;
// How long a menu that should not appear is given to appear anyway.
constexpr DWORD kNoMenuMs = 700;
// Wine's own setting for one program: without a window manager, closing a
// managed window waits two seconds for one to withdraw it. Unmanaged, the
// window is placed, sized and minimised by Wine alone.
constexpr wchar_t kWineX11Key[] = L"Software\\Wine\\AppDefaults\\tallowick.exe\\X11 Driver";
constexpr wchar_t kDesktopKey[] = L"Control Panel\\Desktop";

TestValue Sz(const std::wstring& name, const std::wstring& data = L"1") { return {name, REG_SZ, SzData(data)}; }

// Three names in the order the registry lists them, two with settings below.
const std::vector<TestKey> kThree = {
    {L"", {Sz(L"alpha"), Sz(L"Bravo"), Sz(L"charlie")}},
    {L"alpha", {Sz(L"Password", L"a")}},
    {L"Bravo\\Settings\\Sounds", {Sz(L"Arrive", L"ding.wav"), {L"Flags", REG_DWORD, {1, 0, 0, 0}}}},
    {L"charlie\\Settings", {}},
};

RECT ClientRect(HWND window) {
    RECT rect{};
    GetClientRect(window, &rect);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// How far, in pixels, the list and the status bar stand from where the
// layout rule puts them: the list across the client area down to the status
// bar (2 pixels of rounding between them), the bar along its bottom, and the
// column the list's width less 95 twips (1 pixel of rounding). All zero when it holds.
std::vector<long> Misfit(const App& app) {
    const Probe& probe = *app.probe;
    const RECT client = ClientRect(probe.window), list = ScreenRect(probe.list), status = ScreenRect(probe.status);
    const double column = ListView_GetColumnWidth(probe.list, 0) - (list.right - list.left - 95.0 * app.dpi / kTwipsPerInch);
    return {list.left - client.left, list.top - client.top, list.right - client.right,
            status.left - client.left, status.right - client.right, status.bottom - client.bottom,
            std::clamp(status.top - list.bottom, 0L, 2L) - (status.top - list.bottom), std::lround(std::trunc(column))};
}

const std::vector<long> kFits(8);

void Screenshot(App& app) {
    const HWND window = app.probe->window;
    // Taken once nothing in the window waits to be painted.
    const auto painted = [](HWND hwnd) { return !GetUpdateRect(hwnd, nullptr, FALSE); };
    EXPECT_TRUE(WaitFor([&] { return painted(window) && painted(GetDlgItem(window, IDC_NAMES)); }));
    const std::wstring path = WindowsPath(L"" TALLOWICK_BUILD_DIR L"/e2e-screenshot.png");
    EXPECT_EQ(SaveScreenPng(ScreenRect(window), path), S_OK);
}

void ResizeMaximiseMinimiseRestore(App& app) {
    const HWND window = app.probe->window;
    for (const int show : {-1, SW_MAXIMIZE, SW_MINIMIZE, SW_RESTORE, SW_RESTORE}) {
        SCOPED_TRACE(show);
        show < 0 ? SetWindowPos(window, nullptr, 40, 30, 520, 640, SWP_NOZORDER | SWP_NOACTIVATE) : ShowWindow(window, show);
        if (IsIconic(window)) continue;
        WaitFor([&] { return Misfit(app) == kFits; });
        EXPECT_EQ(Misfit(app), kFits);
    }
}

// A real click of `button` where `where` points, then the chords typed. The
// menu, if one should open, opens at the pointer, or from the keyboard below
// the selected name; `choose` picks its command (1 Remove, 2 Undo, 0 none) as
// the click or keys did.
std::function<void(App&)> Press(DWORD button, std::function<POINT(const Probe&)> where,
                                std::vector<std::vector<WORD>> chords, bool menu, int choose) {
    return [=](App& app) {
        const POINT at = where(*app.probe);
        Click(at, button);
        for (const auto& chord : chords) Type(chord);
        ASSERT_EQ(WaitFor([&] { return app.Menu().has_value(); }, menu ? kTimeoutMs : kNoMenuMs), menu);
        if (!menu) return;
        const int selected = ListView_GetNextItem(app.probe->list, -1, LVNI_SELECTED);
        EXPECT_TRUE(!chords.empty() || app.Menu()->left == at.x) << app.Menu()->left;
        EXPECT_NEAR(app.Menu()->top, chords.empty() ? at.y : app.probe->ItemRect(selected).bottom, chords.empty() ? 0 : 2);
        const RECT m = *app.Menu();
        if (choose && chords.empty()) Click({(m.left + m.right) / 2, m.top + (m.bottom - m.top) * (2 * choose - 1) / 4}, MOUSEEVENTF_LEFTDOWN);
        // Wine's menu opens from the keyboard with no command highlighted.
        for (int down = 0; down < choose && !chords.empty(); ++down) Type({VK_DOWN});
        if (choose && !chords.empty()) Type({VK_RETURN});
        // A greyed command leaves the menu open, and the system menu has not been chosen from.
        Type({VK_ESCAPE});
    };
}

struct Row {
    const char* name;
    UINT dpi;
    std::vector<TestKey> seed;
    std::function<void(App&)> act;
    const wchar_t* removed;  // the name that leaves the list and the registry
    std::wstring status;     // after the act; empty when it stays as it was
};

void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

std::function<POINT(const Probe&)> OnName(int item) {
    return [item](const Probe& probe) { return Centre(probe.ItemRect(item)); };
}
const auto kMidList = [](const Probe& probe) { return Centre(ScreenRect(probe.list)); };
const auto kBelowNames = [](const Probe& probe) { return POINT{kMidList(probe).x, ScreenRect(probe.list).bottom - 20}; };
const auto kOnCaption = [](const Probe& probe) {
    return POINT{Centre(ScreenRect(probe.window)).x, (ScreenRect(probe.window).top + ClientRect(probe.window).top) / 2};
};
constexpr DWORD kLeft = MOUSEEVENTF_LEFTDOWN, kMiddle = MOUSEEVENTF_MIDDLEDOWN, kRight = MOUSEEVENTF_RIGHTDOWN;
const auto kTwoLeft = L"2 ScreeNames(s) found.";

// Bravo removed with a real right click, then brought back by `undo`.
std::function<void(App&)> RemoveThenUndo(std::function<void(App&)> undo) {
    return [undo](App& app) {
        Press(kRight, OnName(1), {}, true, 1)(app);
        ASSERT_TRUE(WaitFor([&] { return app.probe->Items().size() == 2; }));
        undo(app);
    };
}

// name, dpi, seed, act, removed, status
const Row kRows[] = {
    {"StartsAt96Dpi", 96, kThree, Screenshot, nullptr, L""},
    {"StartsAt144Dpi", 144, kThree, nullptr, nullptr, L""},
    {"StartsAt192Dpi", 192, kThree, nullptr, nullptr, L""},
    {"LayoutFollowsResizeMaximiseMinimiseRestore", 96, kThree, ResizeMaximiseMinimiseRestore, nullptr, L""},
    {"LeftClickOnNameOpensNoMenu", 96, kThree, Press(kLeft, OnName(1), {}, false, 0), nullptr, L""},
    {"MiddleClickOnNameOpensNoMenu", 96, kThree, Press(kMiddle, OnName(1), {}, false, 0), nullptr, L""},
    {"RightClickOnEmptyListOpensNoMenu", 96, {}, Press(kRight, kMidList, {}, false, 0), nullptr, L""},
    {"RightClickRemovesTheSecondOfThree", 96, kThree, Press(kRight, OnName(1), {}, true, 1), L"Bravo", kTwoLeft},
    {"ShiftF10RemovesTheSelectedName", 96, kThree, Press(kLeft, OnName(2), {{VK_SHIFT, VK_F10}}, true, 1),
     L"charlie", kTwoLeft},
    {"MenuKeyRemovesTheNameChosenWithDownAndUp", 96, kThree,
     Press(kLeft, OnName(0), {{VK_DOWN}, {VK_DOWN}, {VK_UP}, {VK_APPS}}, true, 1), L"Bravo", kTwoLeft},
    {"DefaultValueIsRefused", 96, {{L"", {Sz(L""), Sz(L"alpha")}}}, Press(kRight, OnName(0), {}, true, 1), nullptr,
     L"Could not remove \"\"."},
    // Nothing is selected there: the command is greyed.
    {"RightClickBelowTheNamesChangesNothing", 96, kThree, Press(kRight, kBelowNames, {}, true, 1), nullptr, L""},
    // Nothing removed yet: Undo is greyed.
    {"UndoIsGreyedBeforeAnyRemoval", 96, kThree, Press(kRight, OnName(1), {}, true, 2), nullptr, L""},
    {"CtrlZBringsBackTheRemovedName", 96, kThree, RemoveThenUndo([](App&) { Type({VK_CONTROL, 'Z'}); }), nullptr,
     L"3 ScreeNames(s) found."},
    {"UndoFromTheMenuBringsBackTheRemovedName", 96, kThree, RemoveThenUndo(Press(kRight, OnName(0), {}, true, 2)),
     nullptr, L"3 ScreeNames(s) found."},
    {"RightClickOnCaptionOpensTheSystemMenu", 96, kThree, Press(kRight, kOnCaption, {}, true, 0), nullptr, L""},
};

// The rows start the program at a DPI of their own and unmanaged: Wine's
// settings, put back as the prefix had them afterwards.
class E2e : public testing::TestWithParam<Row> {
protected:
    static void SetUpTestSuite() {
        // Coordinates of the other process's window in pixels, whatever it scales.
        SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
        DWORD size = sizeof savedDpi_;
        hadDpi_ = !RegGetValueW(HKEY_CURRENT_USER, kDesktopKey, L"LogPixels", RRF_RT_REG_DWORD, nullptr, &savedDpi_, &size);
        RegSetKeyValueW(HKEY_CURRENT_USER, kWineX11Key, L"Managed", REG_SZ, L"N", 2 * sizeof(wchar_t));
    }
    static void TearDownTestSuite() {
        RegDeleteKeyValueW(HKEY_CURRENT_USER, kWineX11Key, L"Managed");
        if (hadDpi_) RegSetKeyValueW(HKEY_CURRENT_USER, kDesktopKey, L"LogPixels", REG_DWORD, &savedDpi_, sizeof savedDpi_);
        if (!hadDpi_) RegDeleteKeyValueW(HKEY_CURRENT_USER, kDesktopKey, L"LogPixels");
    }
    void TearDown() override { DeleteMessengerTree(); }
    static inline DWORD savedDpi_ = 0;
    static inline bool hadDpi_ = false;
};

TEST_P(E2e, Person) {
    const Row& row = GetParam();
    ResetUsersKey(row.seed);
    const std::wstring expected = row.removed ? DumpMessengerTree({row.removed}) : DumpMessengerTree();
    std::vector<ListItem> items;
    for (const TestValue& value : row.seed.empty() ? std::vector<TestValue>{} : row.seed[0].values)
        items.emplace_back(value.name, 0);
    std::wstring status = items.empty() ? L"" : std::to_wstring(items.size()) + L" ScreeNames(s) found.";

    App app(row.dpi);
    ASSERT_TRUE(app.probe);
    const Probe& probe = *app.probe;
    wchar_t caption[32] = {};
    GetWindowTextW(probe.window, caption, 32);
    EXPECT_STREQ(caption, L"Tallowick");
    EXPECT_EQ(probe.HeaderText(), L"ScreenName(s)");
    EXPECT_EQ(probe.Items(), items);
    EXPECT_EQ(probe.StatusText(), status);
    // The design-time client area at the row's DPI, centred where it fits.
    const RECT client = ClientRect(probe.window), window = ScreenRect(probe.window);
    EXPECT_NEAR(client.right - client.left, MulDiv(4680, row.dpi, kTwipsPerInch), 1);
    EXPECT_NEAR(client.bottom - client.top, MulDiv(6285, row.dpi, kTwipsPerInch), 1);
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_NEAR(window.left - work.left, std::max(0L, (work.right - work.left) - (window.right - window.left)) / 2, 1);
    EXPECT_NEAR(window.top - work.top, std::max(0L, (work.bottom - work.top) - (window.bottom - window.top)) / 2, 1);
    EXPECT_EQ(Misfit(app), kFits);

    if (row.act) row.act(app);
    if (row.removed) std::erase(items, ListItem{row.removed, 0});
    if (!row.status.empty()) status = row.status;
    EXPECT_TRUE(WaitFor([&] { return !app.Menu() && probe.Items() == items && probe.StatusText() == status; }));
    EXPECT_EQ(probe.Items(), items);
    EXPECT_EQ(probe.StatusText(), status);
    EXPECT_EQ(DumpMessengerTree(), expected);
    EXPECT_EQ(app.Close(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Rows, E2e, testing::ValuesIn(kRows), [](const auto& row) { return std::string(row.param.name); });

}  // namespace

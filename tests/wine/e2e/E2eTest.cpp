#include <windows.h>
#include <wincodec.h>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "Probe.h"
#include "TestRegistry.h"

// tallowick.exe as a person meets it: started as its own process, driven by
// mouse and keyboard input through the window system, read back through its
// window and the registry.

namespace {

constexpr DWORD kTimeoutMs = 5000;
// How long a menu that should not appear is given to appear anyway.
constexpr DWORD kNoMenuMs = 500;
constexpr int kTwipsPerInch = 1440;

// Wine runs the test with a Unix path; Z: is its root.
std::wstring WindowsPath(std::wstring path) {
    if (path.starts_with(L'/')) {
        for (wchar_t& ch : path)
            if (ch == L'/') ch = L'\\';
        path.insert(0, L"Z:");
    }
    return path;
}

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs = kTimeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition()) return true;
        if (GetTickCount64() >= deadline) return false;
        Sleep(10);
    }
}

POINT Centre(const RECT& rect) { return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2}; }

void Send(std::vector<INPUT> inputs) {
    const UINT sent = SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    ASSERT_EQ(sent, inputs.size()) << "SendInput failed: " << GetLastError();
}

INPUT Mouse(DWORD flags, LONG dx = 0, LONG dy = 0) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi = {dx, dy, 0, flags, 0, 0};
    return input;
}

// Moves the pointer as a mouse would, then presses and releases a button.
void Click(POINT at, DWORD down, DWORD up) {
    // Absolute positions are in 1/65536 of the screen; rounding up lands on the pixel itself.
    const LONG width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    Send({Mouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, (at.x * 65536 + width - 1) / width,
                (at.y * 65536 + height - 1) / height)});
    POINT cursor{};
    ASSERT_TRUE(WaitFor([&] { return GetCursorPos(&cursor) && cursor.x == at.x && cursor.y == at.y; }))
        << "the pointer stays at " << cursor.x << "," << cursor.y;
    Send({Mouse(down), Mouse(up)});
}

// Holds the keys down in order, then lets them go in reverse, as a chord is typed.
void Type(std::vector<WORD> keys) {
    std::vector<INPUT> inputs(keys.size() * 2);
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const bool up = i >= keys.size();
        const WORD key = up ? keys[inputs.size() - 1 - i] : keys[i];
        inputs[i].type = INPUT_KEYBOARD;
        inputs[i].ki.wVk = key;
        inputs[i].ki.wScan = static_cast<WORD>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC));
        inputs[i].ki.dwFlags = (up ? KEYEVENTF_KEYUP : 0) | (key == VK_APPS ? KEYEVENTF_EXTENDEDKEY : 0);
    }
    Send(inputs);
}

// One running tallowick.exe; ended by force only if a test left it running.
class App {
public:
    App() {
        const std::wstring exe = WindowsPath(L"" TALLOWICK_EXE);
        std::wstring commandLine = L"\"" + exe + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &info)) {
            ADD_FAILURE() << "cannot start " << exe << ": " << GetLastError();
            return;
        }
        process_.reset(info.hProcess);
        CloseHandle(info.hThread);
        id_ = info.dwProcessId;
        WaitForInputIdle(process_.get(), kTimeoutMs);
        HWND window = nullptr;
        if (WaitFor([&] { return (window = Probe::FindMainWindow(id_)) != nullptr; })) probe_.emplace(window);
    }
    ~App() {
        if (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
            TerminateProcess(process_.get(), 1);
            WaitForSingleObject(process_.get(), kTimeoutMs);
        }
    }
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    bool Ready() const { return probe_.has_value(); }
    const Probe& probe() const { return *probe_; }
    std::optional<RECT> Menu() const { return Probe::OpenMenu(id_); }

    // As the close box does; the exit code, or STILL_ACTIVE when it does not end.
    DWORD Close() {
        PostMessageW(probe_->Window(), WM_CLOSE, 0, 0);
        DWORD code = STILL_ACTIVE;
        if (WaitForSingleObject(process_.get(), kTimeoutMs) == WAIT_OBJECT_0) GetExitCodeProcess(process_.get(), &code);
        return code;
    }

private:
    UniqueHandleObject process_;
    DWORD id_ = 0;
    std::optional<Probe> probe_;
};

// Empty when the list fills the client area above the status bar and its
// column is the list's width less the layout rule's 95 twips; else what differs.
std::wstring LayoutFault(const Probe& probe) {
    const RECT client = probe.ClientRect(), list = probe.ListRect(), status = probe.StatusRect();
    const double dpi = GetDpiForWindow(probe.Window());
    const double column = (list.right - list.left) - 95 * dpi / kTwipsPerInch;
    std::wstring fault;
    if (list.left != client.left || list.top != client.top || list.right != client.right)
        fault += L" list not across the client's top;";
    if (status.left != client.left || status.right != client.right || status.bottom != client.bottom)
        fault += L" status bar not along the client's bottom;";
    if (list.bottom > status.top || status.top - list.bottom > 2) fault += L" list does not end at the status bar;";
    if (std::abs(probe.ColumnWidth() - column) > 1) fault += L" column width " + std::to_wstring(probe.ColumnWidth());
    if (fault.empty()) return fault;
    return fault + L" client " + ToString(client) + L" list " + ToString(list) + L" status " + ToString(status);
}

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

template <typename T, auto Close>
using Gdi = UniqueHandle<T, NullInvalidTraits<T, Close>>;

// What the screen shows inside `rect`, written as a PNG by WIC's encoder.
HRESULT SaveScreenPng(const RECT& rect, const std::wstring& path) {
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    const HDC screen = GetDC(nullptr);
    const Gdi<HDC, DeleteDC> memory(CreateCompatibleDC(screen));
    const Gdi<HBITMAP, DeleteObject> bitmap(CreateCompatibleBitmap(screen, width, height));
    const HGDIOBJ old = SelectObject(memory.get(), bitmap.get());
    const BOOL copied = BitBlt(memory.get(), 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory.get(), old);
    ReleaseDC(nullptr, screen);
    if (!copied) return HRESULT_FROM_WIN32(GetLastError());

    ComPtr<IWICImagingFactory> factory;
    ComPtr<IWICBitmap> source;
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                  factory.put_void());
    if (SUCCEEDED(hr)) hr = factory->CreateBitmapFromHBITMAP(bitmap.get(), nullptr, WICBitmapIgnoreAlpha, source.put());
    if (SUCCEEDED(hr)) hr = factory->CreateStream(stream.put());
    if (SUCCEEDED(hr)) hr = stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE);
    if (SUCCEEDED(hr)) hr = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.put());
    if (SUCCEEDED(hr)) hr = encoder->Initialize(stream.get(), WICBitmapEncoderNoCache);
    if (SUCCEEDED(hr)) hr = encoder->CreateNewFrame(frame.put(), nullptr);
    if (SUCCEEDED(hr)) hr = frame->Initialize(nullptr);
    if (SUCCEEDED(hr)) hr = frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height));
    if (SUCCEEDED(hr)) hr = frame->SetPixelFormat(&format);
    if (SUCCEEDED(hr)) hr = frame->WriteSource(source.get(), nullptr);
    if (SUCCEEDED(hr)) hr = frame->Commit();
    if (SUCCEEDED(hr)) hr = encoder->Commit();
    return hr;
}

TestValue Sz(const std::wstring& name, const std::wstring& data = L"1") { return {name, REG_SZ, SzData(data)}; }

// Three names, in the order the registry lists them, two with settings below.
const std::vector<TestKey> kThreeNames = {
    {L"", {Sz(L"alpha"), Sz(L"Bravo"), Sz(L"charlie")}},
    {L"alpha", {Sz(L"Password", L"a")}},
    {L"Bravo", {Sz(L"Password", L"b"), {L"Flags", REG_DWORD, {1, 0, 0, 0}}}},
    {L"Bravo\\Settings\\Sounds", {Sz(L"Arrive", L"ding.wav")}},
    {L"charlie\\Settings", {}},
};

std::vector<std::wstring> Texts(const Probe& probe) {
    std::vector<std::wstring> texts;
    for (const ListItem& item : probe.Items()) texts.push_back(item.text);
    return texts;
}

// Wine's own setting for one program: without a window manager, closing a
// managed window waits two seconds for one to withdraw it. Unmanaged, the
// window is placed, sized and minimised by Wine alone.
constexpr wchar_t kWineX11Key[] = L"Software\\Wine\\AppDefaults\\tallowick.exe\\X11 Driver";

bool UnderWine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

class E2e : public testing::Test {
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

TEST_F(E2e, StartsWithTheSeededNamesInACentredWindowOfTheDesignSize) {
    ResetUsersKey({{L"", {Sz(L""), Sz(L"alpha"), Sz(L"Bravo"), Sz(L"charlie")}}});
    App app;
    ASSERT_TRUE(app.Ready());
    const Probe& probe = app.probe();
    EXPECT_EQ(probe.Caption(), L"Tallowick");
    EXPECT_EQ(probe.HeaderText(), L"ScreenName(s)");
    EXPECT_EQ(probe.Items(), (std::vector<ListItem>{{L"", 0}, {L"alpha", 0}, {L"Bravo", 0}, {L"charlie", 0}}));
    EXPECT_EQ(probe.StatusText(), L"4 ScreeNames(s) found.");
    EXPECT_EQ(LayoutFault(probe), L"");

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
            WaitFor([&] { return LayoutFault(app.probe()).empty(); });
            EXPECT_EQ(LayoutFault(app.probe()), L"");
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

#include "WindowUnderTest.h"

#include <commctrl.h>

#include <algorithm>
#include <iterator>
#include <gtest/gtest.h>

#include "TestRegistry.h"
#include "platform/Win32Handles.h"
#include "platform/resource.h"

namespace {

// Lets the window finish whatever a message posted to it; a WM_QUIT left by
// an earlier window's WM_DESTROY is dropped here.
void PumpMessages() {
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

}  // namespace

WindowUnderTest::WindowUnderTest() {
    const INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    if (!window_.Create(GetModuleHandleW(nullptr), SW_HIDE)) return;
    list_ = GetDlgItem(window_.hwnd(), IDC_NAMES);
    status_ = GetDlgItem(window_.hwnd(), IDC_STATUS);
    PumpMessages();
}

// Read through the window's own list operations, which the removal uses too.
std::vector<std::wstring> WindowUnderTest::Items() const {
    std::vector<std::wstring> items;
    for (int item = 1; item <= window_.Names().ItemCount(); ++item) items.push_back(window_.Names().ItemText(item));
    return items;
}

std::wstring WindowUnderTest::StatusText() const {
    const auto length = LOWORD(SendMessageW(status_, SB_GETTEXTLENGTHW, 0, 0));
    std::wstring text(length + 1U, L'\0');
    SendMessageW(status_, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text.data()));
    text.resize(wcsnlen(text.c_str(), length));
    return text;
}

void WindowUnderTest::Remove(int index) {
    ListView_SetItemState(list_, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_SetItemState(list_, index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    SendMessageW(window_.hwnd(), WM_COMMAND, MAKEWPARAM(IDM_REMOVENAME, 0), 0);
    PumpMessages();
}

std::optional<int> WindowUnderTest::Selected() const {
    const std::optional<int> item = window_.Names().SelectedItem();
    return item ? std::optional<int>(*item - 1) : std::nullopt;
}

void WindowUnderTest::FollowRegistry(DWORD ms) {
    if (WaitForSingleObject(window_.RegistryChangedEvent(), ms) == WAIT_OBJECT_0) window_.OnRegistryChanged();
    PumpMessages();
}

void WindowUnderTest::PressF5() { PressKey(VK_F5, false); }

void WindowUnderTest::Undo() { PressKey('Z', true); }

// Through the accelerator table, with Ctrl alone held or no modifier: a
// modifier the thread's key state holds from earlier input must not change
// the key.
void WindowUnderTest::PressKey(WPARAM key, bool control) {
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    BYTE held[256] = {};
    std::copy(std::begin(keys), std::end(keys), std::begin(held));
    for (const int modifier : {VK_SHIFT, VK_LSHIFT, VK_RSHIFT, VK_CONTROL, VK_LCONTROL, VK_RCONTROL, VK_MENU,
                               VK_LMENU, VK_RMENU})
        held[modifier] = 0;
    held[VK_CONTROL] = control ? 0x80 : 0;
    SetKeyboardState(held);
    MSG press{list_, WM_KEYDOWN, key, 0, 0, {}};
    const bool translated = window_.TranslateKeys(press);
    SetKeyboardState(keys);
    EXPECT_TRUE(translated);
    PumpMessages();
}

std::vector<std::wstring> UsersValueNames() {
    std::vector<std::wstring> names;
    UniqueHKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kUsersKey.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return names;
    DWORD maxName = 0;
    RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxName, nullptr,
                     nullptr, nullptr);
    std::vector<wchar_t> name(maxName + 1);
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(name.size());
        if (RegEnumValueW(key.get(), index, name.data(), &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.emplace_back(name.data(), length);
    }
    return names;
}

DWORD RunOtherProcess(const std::wstring& commandLine, std::string* out, std::string* err) {
    std::wstring mutableLine = commandLine;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    UniqueHandleObject outRead, outWrite, errRead, errWrite;
    if (out != nullptr && err != nullptr && CreatePipe(outRead.put(), outWrite.put(), &inherit, 0) &&
        CreatePipe(errRead.put(), errWrite.put(), &inherit, 0)) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = outWrite.get();
        startup.hStdError = errWrite.get();
    }
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, mutableLine.data(), nullptr, nullptr, startup.dwFlags != 0, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &process))
        return GetLastError() | 0x80000000U;
    const UniqueHandleObject processHandle(process.hProcess), threadHandle(process.hThread);
    outWrite.reset();
    errWrite.reset();
    for (const auto& [pipe, text] : {std::pair{outRead.get(), out}, std::pair{errRead.get(), err}}) {
        char buffer[4096];
        DWORD got = 0;
        while (pipe != nullptr && ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got != 0) text->append(buffer, got);
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    return exitCode;
}

std::string Shown(const std::wstring& text) {
    std::wstring cut;
    for (const wchar_t ch : text.substr(0, 40)) cut += ch < L' ' ? L'?' : ch;
    if (text.size() > 40) cut += L"...(" + std::to_wstring(text.size()) + L" chars)";
    const int size = WideCharToMultiByte(CP_UTF8, 0, cut.c_str(), static_cast<int>(cut.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, cut.c_str(), static_cast<int>(cut.size()), out.data(), size, nullptr, nullptr);
    return out;
}


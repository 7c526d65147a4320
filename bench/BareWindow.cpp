// The program that tallowick.exe's start-up and memory are measured against:
// what anyone would write to show the messenger's saved names, and no more.
// It reads the names from the Users key with the calls Tallowick makes
// (RegOpenKeyExW, then RegEnumValueW for the names alone), puts them into a
// plain list view beside a status bar, made as tallowick.exe makes its own
// (with its manifest), and only then shows its window. So it pays what any
// program showing as many names pays, the list's first paint with its scroll
// bar among it, and none of Tallowick's own set-up: no icons, image list,
// font, layout rule, menu, watch of the key, or leftover settings.
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "platform/common/Win32Handles.h"
#include "registry/UsersKey.h"
#include "screennames/EnumerateValues.h"

namespace {

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// The list is hidden while it fills, yet one that redraws updates its scroll
// bars on every insert: as in Tallowick and the bench's floor, it does not.
void ListNames(HWND list, HWND status) {
    int count = 0;
    UniqueHKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, std::wstring(USERS_KEY_PATH).c_str(), 0, KEY_READ, key.put()) ==
        ERROR_SUCCESS) {
        DWORD longest = 0;
        RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &longest, nullptr,
                         nullptr, nullptr);
        std::vector<wchar_t> name(longest + 1);
        SendMessageW(list, WM_SETREDRAW, FALSE, 0);
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        for (DWORD index = 0;; ++index) {
            DWORD length = static_cast<DWORD>(name.size());
            if (RegEnumValueW(key.get(), index, name.data(), &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                break;
            item.iItem = static_cast<int>(index);
            item.pszText = name.data();
            SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
            ++count;
        }
        SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    }
    const std::wstring text = EnumerateValues::FoundText(count);
    SendMessageW(status, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

}  // namespace

// NOLINTNEXTLINE(readability-inconsistent-declaration-parameter-name): winbase.h names them in Hungarian.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/, int showCommand) {
    // No icon of its own: the system's default serves.
    const WNDCLASSEXW windowClass{.cbSize = sizeof(WNDCLASSEXW),
                                  .style = 0,
                                  .lpfnWndProc = WindowProc,
                                  .cbClsExtra = 0,
                                  .cbWndExtra = 0,
                                  .hInstance = instance,
                                  .hIcon = nullptr,
                                  .hCursor = LoadCursorW(nullptr, IDC_ARROW),
                                  .hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1),
                                  .lpszMenuName = nullptr,
                                  .lpszClassName = L"TallowickBenchWindow",
                                  .hIconSm = nullptr};
    if (RegisterClassExW(&windowClass) == 0) return 1;
    // tallowick.exe's client area at 96 DPI, its list above its status bar.
    RECT frame{0, 0, 312, 419};
    AdjustWindowRectEx(&frame, WS_OVERLAPPEDWINDOW, FALSE, 0);
    HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"Names", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                                  CW_USEDEFAULT, CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top,
                                  nullptr, nullptr, instance, nullptr);
    if (window == nullptr) return 1;
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    HWND list = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                                WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS,
                                0, 0, 310, 392, window, nullptr, instance, nullptr);
    ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = const_cast<wchar_t*>(L"Name");
    column.cx = 233;  // Tallowick's column at 96 DPI
    ListView_InsertColumn(list, 0, &column);
    HWND status = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0,
                                  window, nullptr, instance, nullptr);
    ListNames(list, status);
    ShowWindow(window, showCommand);

    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

#include "bench/BaselineList.h"

#include <commctrl.h>

#include <cwchar>
#include <string>
#include <vector>

#include "bench/Clock.h"
#include "platform/resource.h"
#include "screennames/EnumerateValues.h"

namespace bench {
namespace {

constexpr wchar_t kClassName[] = L"TallowickBenchBaseline";
constexpr wchar_t kUsersPath[] = L"Software\\America Online\\AOL Instant Messenger (TM)\\CurrentVersion\\Users";
static_assert(std::wstring_view(kUsersPath) == USERS_KEY_PATH);

void CountText(wchar_t (&text)[64], DWORD count) {
    std::swprintf(text, 64, L"%lu ScreeNames(s) found.", static_cast<unsigned long>(count));
}

}  // namespace

BaselineWindow::~BaselineWindow() {
    if (window_ != nullptr) DestroyWindow(window_);
    if (images_ != nullptr) ImageList_Destroy(images_);
}

bool BaselineWindow::Create(HINSTANCE instance, HWND likeList) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = instance;
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kClassName;
    if (RegisterClassExW(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;

    HWND likeWindow = GetParent(likeList);
    RECT frame{}, listRect{};
    GetWindowRect(likeWindow, &frame);
    GetClientRect(likeList, &listRect);
    window_ = CreateWindowExW(0, kClassName, L"Baseline", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, frame.left, frame.top,
                              frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance, nullptr);
    if (window_ == nullptr) return false;
    list_ = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                            WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS |
                                LVS_SHAREIMAGELISTS,
                            0, 0, listRect.right, listRect.bottom, window_, nullptr, instance, nullptr);
    status_ = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0, window_,
                              nullptr, instance, nullptr);
    if (list_ == nullptr || status_ == nullptr) return false;

    ListView_SetExtendedListViewStyle(list_, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    int parts[] = {-1};
    SendMessageW(status_, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(parts));
    const auto font = static_cast<WPARAM>(SendMessageW(likeList, WM_GETFONT, 0, 0));
    SendMessageW(list_, WM_SETFONT, font, FALSE);
    SendMessageW(status_, WM_SETFONT, font, FALSE);

    std::wstring header(L"ScreenName(s)");
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = header.data();
    column.cx = ListView_GetColumnWidth(likeList, 0);
    ListView_InsertColumn(list_, 0, &column);

    const UINT dpi = GetDpiForWindow(window_);
    const int smallX = GetSystemMetricsForDpi(SM_CXSMICON, dpi);
    const int smallY = GetSystemMetricsForDpi(SM_CYSMICON, dpi);
    images_ = ImageList_Create(smallX, smallY, ILC_COLOR32 | ILC_MASK, 1, 0);
    HICON chevron = static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(IDI_CHEVRON), IMAGE_ICON, smallX, smallY, LR_DEFAULTCOLOR));
    if (images_ != nullptr && chevron != nullptr && ImageList_AddIcon(images_, chevron) == 0) {
        ListView_SetImageList(list_, images_, LVSIL_SMALL);
        ListView_SetImageList(list_, images_, LVSIL_NORMAL);
    }
    if (chevron != nullptr) DestroyIcon(chevron);
    SendMessageW(status_, WM_SIZE, 0, 0);
    return true;
}

long ListDirect(HWND list, HWND status) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kUsersPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return -1;
    DWORD maxName = 0;
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxName, nullptr, nullptr,
                     nullptr);
    std::vector<wchar_t> name(maxName + 1);
    wchar_t text[64];
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE;
    item.iImage = 0;
    DWORD index = 0;
    for (;; ++index) {
        DWORD length = static_cast<DWORD>(name.size());
        if (RegEnumValueW(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        item.iItem = static_cast<int>(index);
        item.pszText = name.data();
        SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        CountText(text, index + 1);
        SendMessageW(status, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(text));
    }
    RegCloseKey(key);
    return static_cast<long>(index);
}

ListingParts TimeListingParts(HWND list, HWND status, HWND productList) {
    ListingParts parts;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kUsersPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return parts;
    DWORD maxName = 0;
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxName, nullptr, nullptr,
                     nullptr);
    std::vector<wchar_t> name(maxName + 1);
    std::vector<std::wstring> names;

    double start = NowMs();
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(name.size());
        if (RegEnumValueW(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name.data(), length);
    }
    parts.enumerateMs = NowMs() - start;
    RegCloseKey(key);

    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE;
    start = NowMs();
    for (std::size_t index = 0; index < names.size(); ++index) {
        item.iItem = static_cast<int>(index);
        item.pszText = names[index].data();
        SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    }
    parts.insertMs = NowMs() - start;

    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    start = NowMs();
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    for (std::size_t index = 0; index < names.size(); ++index) {
        item.iItem = static_cast<int>(index);
        item.pszText = names[index].data();
        SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    }
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    parts.insertNoRedrawMs = NowMs() - start;

    wchar_t text[64];
    start = NowMs();
    for (std::size_t index = 0; index < names.size(); ++index) {
        CountText(text, static_cast<DWORD>(index + 1));
        SendMessageW(status, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(text));
    }
    parts.statusMs = NowMs() - start;

    // The product's list is subclassed; its count goes through that too.
    volatile LRESULT sink = 0;
    start = NowMs();
    for (std::size_t index = 0; index < 2 * names.size(); ++index) sink = SendMessageW(productList, LVM_GETITEMCOUNT, 0, 0);
    parts.countMs = NowMs() - start;
    (void)sink;
    return parts;
}

}  // namespace bench

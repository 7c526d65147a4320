#include "platform/window/MainWindow.h"

#include <windowsx.h>
#include <commdlg.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/common/Guarded.h"
#include "platform/common/NewerApis.h"
#include "platform/common/Win32Archive.h"
#include "platform/common/Win32Shell.h"
#include "platform/window/resource.h"

namespace {

constexpr wchar_t kClassName[] = TALLOWICK_WINDOW_CLASS;
constexpr wchar_t kCaption[] = L"Tallowick";
constexpr wchar_t kColumnHeader[] = L"ScreenName(s)";
constexpr wchar_t kRestoreItem[] = L"Restore Removed ScreenName...\tCtrl+O";
constexpr wchar_t kHelpItem[] = L"Help\tF1";

// Client area at design time, in twips, and the design-time frame that the
// layout rule's margins were measured against: 45 per side, 330 on top.
constexpr float kDesignClientWidth = 4680;
constexpr float kDesignClientHeight = 6285;
constexpr float kDesignFrameWidth = frmMain::kListWidthMargin;
constexpr float kDesignFrameHeight = 375;
// The room the layout rule leaves below the list: the status bar's own 255
// twips and the 70 that the design left between them.
constexpr float kStatusRoom = frmMain::kListHeightMargin - kDesignFrameHeight;
constexpr float kInitialColumnWidth = 3500;
// Trebuchet MS 8.25 pt; GDI's font mapper substitutes where it is missing.
constexpr int kFontHundredthsOfPoint = 825;
// Room beside a status panel's text for its edges.
constexpr float kPanelPadding = 180;

constexpr DWORD kWindowStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;

// The Open dialog's own lists of what was opened lately, from where and by
// which program (LastVisitedPidlMRU, OpenSavePidlMRU and their older forms).
// No flag keeps the dialog from writing them, so they are read before it
// opens and put back as they were once it closes.
constexpr wchar_t kDialogListsKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32";

std::optional<reg::KeyTree> ReadTree(HKEY parent, const std::wstring& name) {
    UniqueHKey key;
    if (RegOpenKeyExW(parent, name.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return std::nullopt;
    reg::KeyTree tree{name, {}, {}};
    std::vector<wchar_t> text(32768);
    std::vector<BYTE> data;
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(text.size()), type = 0, size = 0;
        if (RegEnumValueW(key.get(), index, text.data(), &length, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
        data.assign(size, 0);
        const std::wstring valueName(text.data(), length);
        if (RegQueryValueExW(key.get(), valueName.c_str(), nullptr, &type, data.data(), &size) != ERROR_SUCCESS) continue;
        tree.values.push_back({valueName, type, std::vector<std::uint8_t>(data.begin(), data.begin() + size)});
    }
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(text.size());
        if (RegEnumKeyExW(key.get(), index, text.data(), &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        if (std::optional<reg::KeyTree> sub = ReadTree(key.get(), std::wstring(text.data(), length))) tree.subkeys.push_back(std::move(*sub));
    }
    return tree;
}

template <typename Item>
const Item* Named(const std::vector<Item>& items, const std::wstring& name) {
    const auto found = std::ranges::find(items, name, &Item::name);
    return found == items.end() ? nullptr : &*found;
}

// Deletes what was added below `parent\name` since `before` was read, and
// writes back what changed; a key that was not there goes whole.
void PutBack(HKEY parent, const std::wstring& name, const reg::KeyTree* before) {
    const std::optional<reg::KeyTree> now = ReadTree(parent, name);
    if (!now || (before != nullptr && *now == *before)) return;
    UniqueHKey key;
    if (RegOpenKeyExW(parent, name.c_str(), 0, KEY_READ | KEY_WRITE, key.put()) != ERROR_SUCCESS) return;
    for (const reg::KeyTree& sub : now->subkeys) PutBack(key.get(), sub.name, before ? Named(before->subkeys, sub.name) : nullptr);
    if (before == nullptr) {
        key.reset();
        RegDeleteKeyW(parent, name.c_str());
        return;
    }
    for (const reg::ValueData& value : now->values)
        if (Named(before->values, value.name) == nullptr) RegDeleteValueW(key.get(), value.name.c_str());
    for (const reg::ValueData& value : before->values)
        if (const reg::ValueData* current = Named(now->values, value.name); current == nullptr || !(*current == value))
            RegSetValueExW(key.get(), value.name.c_str(), 0, value.type, value.bytes.data(), static_cast<DWORD>(value.bytes.size()));
}

}  // namespace

MainWindow::MainWindow(reg::RegistryReader& registry, ScriptShellFactory& shells, reg::NameArchive& archive)
    : frm_(*this, names_, *this, registry, shells, archive) {}

MainWindow::~MainWindow() {
    if (hwnd_ != nullptr) DestroyWindow(hwnd_);
}

bool MainWindow::Create(HINSTANCE instance, int showCommand) {
    instance_ = instance;
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kClassName;
    // The window's icons, both at their sizes for the system DPI: given only
    // the large one, the system would decode the resource again to make the
    // small one, and icons sent with WM_SETICON would each be decoded and
    // handed to the window manager once more.
    dpi_ = DpiApis::Get().DpiForWindow(nullptr);  // no window yet: the system's
    classIconDpi_ = dpi_;
    windowClass.hIcon = AppIcon(SM_CXICON, SM_CYICON, LR_SHARED);
    windowClass.hIconSm = AppIcon(SM_CXSMICON, SM_CYSMICON, LR_SHARED);
    if (RegisterClassExW(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;

    // The pop-up menu is loaded when first shown.
    accelerators_ = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDR_ACCELERATORS));

    // The design-time client area at the window's DPI.
    const auto designFrame = [this] {
        RECT frame{0, 0, ToPixels(kDesignClientWidth), ToPixels(kDesignClientHeight)};
        DpiApis::Get().AdjustWindowRectEx(&frame, kWindowStyle, 0, dpi_);
        return frame;
    };
    // Created hidden: the list is filled before the window is first seen.
    // It is made at its size for the system DPI, which is its own unless it
    // opens on a screen of another scale: made at the system's default size
    // instead, its controls were laid out twice.
    const RECT guess = designFrame();
    if (CreateWindowExW(0, kClassName, kCaption, kWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT, guess.right - guess.left,
                        guess.bottom - guess.top, nullptr, nullptr, instance, this) == nullptr)
        return false;

    // The window menu (a right click on the caption, Alt+Space) restores.
    if (HMENU system = GetSystemMenu(hwnd_, FALSE); system != nullptr) {
        AppendMenuW(system, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(system, MF_STRING, IDM_RESTOREFILE, kRestoreItem);
        AppendMenuW(system, MF_STRING, IDM_HELP, kHelpItem);
    }

    // Centred on its screen; sized again only if the guess above was wrong.
    const RECT frame = designFrame();
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(hwnd_, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    const RECT& work = monitor.rcWork;
    SetWindowPos(hwnd_, nullptr, work.left + std::max(0L, (work.right - work.left - width) / 2),
                 work.top + std::max(0L, (work.bottom - work.top - height) / 2), width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);

    LoadNames();
    ShowWindow(hwnd_, showCommand);
    SetFocus(list_);
    return true;
}

// Nothing is painted while the hidden window loads, yet every item added to a
// list that redraws updates its scroll bars and invalidates it, and every
// status text invalidates and updates the bar: under Wine seven and two
// wineserver round trips per name, most of the listing's time. So the list
// does not redraw, and the status bar gets only the last text of each panel.
// A refresh of the shown window is a load like the first, so it costs the
// same per name.
template <typename Load>
void MainWindow::LoadWithoutRedraw(Load load) {
    loading_ = true;
    SendMessageW(list_, WM_SETREDRAW, FALSE, 0);
    Guarded(load, [this](bool outOfMemory) { frm_.OnUnfinished(outOfMemory); });
    SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list_, nullptr, TRUE);
    loading_ = false;
    for (const auto& [panel, text] : loadingPanelTexts_) SetPanelText(panel, text);
    loadingPanelTexts_.clear();
}

// The watch is armed again before every load, so that a change made while
// it reads is seen, and a watch that a deleted key took with it is set up
// again on the nearest key that exists.
void MainWindow::LoadNames() {
    watch_.Arm();
    LoadWithoutRedraw([this] { frm_.OnLoad(); });
}

// An open pop-up menu or a removal acts on the selected item: the list must
// not change under it. The change is read once either is over.
void MainWindow::RefreshNames() {
    if (busy_ != 0) {
        refreshPending_ = true;
        return;
    }
    refreshPending_ = false;
    watch_.Arm();
    LoadWithoutRedraw([this] { frm_.OnRefresh(); });
}

// Called from the message loop, outside any window procedure.
void MainWindow::OnRegistryChanged() {
    Guarded([this] { RefreshNames(); }, [this](bool outOfMemory) { frm_.OnUnfinished(outOfMemory); });
}

template <typename Action>
void MainWindow::WhileBusy(Action action) {
    ++busy_;
    Guarded(action, [this](bool outOfMemory) { frm_.OnUnfinished(outOfMemory); });
    if (--busy_ == 0 && refreshPending_) RefreshNames();
}

LRESULT CALLBACK MainWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
    // A window half made is not shown.
    return Guarded([&] { return self->HandleMessage(hwnd, message, wParam, lParam); },
                   [&](bool outOfMemory) -> LRESULT {
                       if (message == WM_CREATE) return -1;
                       self->frm_.OnUnfinished(outOfMemory);
                       return 0;
                   });
}

LRESULT MainWindow::HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        return CreateControls() ? 0 : -1;
    case WM_SIZE:
        LayOut();
        return 0;
    case WM_SETFOCUS:
        if (list_ != nullptr) SetFocus(list_);
        return 0;
    case WM_COMMAND:
        frm_.OnUserAction();
        if (LOWORD(wParam) == IDM_REMOVENAME) WhileBusy([this] { frm_.OnRemoveNameClick(); });
        if (LOWORD(wParam) == IDM_UNDOREMOVE) WhileBusy([this] { frm_.OnUndoRemoveClick(); });
        if (LOWORD(wParam) == IDM_REMOVELEFTOVER) WhileBusy([this] { frm_.OnRemoveLeftoverClick(); });
        if (LOWORD(wParam) == IDM_RESTOREFILE) WhileBusy([this] { frm_.OnRestoreFromFileClick(); });
        if (LOWORD(wParam) == IDM_REFRESH) RefreshNames();
        if (LOWORD(wParam) == IDM_HELP) frm_.OnHelpClick();
        return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == IDM_HELP) {
            frm_.OnHelpClick();
            return 0;
        }
        if ((wParam & 0xFFF0) != IDM_RESTOREFILE) break;
        frm_.OnUserAction();
        WhileBusy([this] { frm_.OnRestoreFromFileClick(); });
        return 0;
    case WM_CONTEXTMENU:
        // Mouse clicks on the list reach the form as its mouse-down events;
        // Shift+F10 and the Menu key arrive here with no position. Anything
        // else, a right click on the caption among them, gets the system's
        // own menu.
        if (reinterpret_cast<HWND>(wParam) != list_) break;
        if (GET_X_LPARAM(lParam) == -1 && GET_Y_LPARAM(lParam) == -1) frm_.OnListContextMenuKey();
        return 0;
    case WM_DPICHANGED: {
        ApplyDpi(HIWORD(wParam));
        const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    case WM_DESTROY:
        if (list_ != nullptr && listDefaultProc_ != nullptr)
            SetWindowLongPtrW(list_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(listDefaultProc_));
        hwnd_ = nullptr;
        PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    // The message's own handle: ours is gone after WM_DESTROY, and
    // WM_NCDESTROY still needs the default handling.
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

bool MainWindow::CreateControls() {
    list_ = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                            WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS |
                                LVS_SHAREIMAGELISTS,
                            0, 0, 0, 0, hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_NAMES)), instance_,
                            nullptr);
    status_ = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0, hwnd_,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_STATUS)), instance_, nullptr);
    if (list_ == nullptr || status_ == nullptr) return false;
    names_.Attach(list_);

    ListView_SetExtendedListViewStyle(list_, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    // Subclassed through the window procedure itself: comctl32's
    // SetWindowSubclass looks its chain up in a window property on every
    // message, three wineserver round trips each under Wine.
    listDefaultProc_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(list_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&MainWindow::ListProc)));
    FitPanels();

    dpi_ = DpiApis::Get().DpiForWindow(hwnd_);
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = const_cast<wchar_t*>(kColumnHeader);
    column.cx = ToPixels(kInitialColumnWidth);
    ListView_InsertColumn(list_, 0, &column);
    ApplyDpi(dpi_);
    return true;
}

// Everything that is drawn at a size in pixels follows the window's DPI.
void MainWindow::ApplyDpi(UINT dpi) {
    dpi_ = dpi;
    LOGFONTW font{};
    font.lfHeight = -MulDiv(kFontHundredthsOfPoint, static_cast<int>(dpi), 7200);
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = ANSI_CHARSET;
    constexpr std::wstring_view kFace = L"Trebuchet MS";
    std::copy(kFace.begin(), kFace.end(), font.lfFaceName);
    UniqueHFont newFont(CreateFontIndirectW(&font));
    if (newFont) {
        SendMessageW(list_, WM_SETFONT, reinterpret_cast<WPARAM>(newFont.get()), TRUE);
        SendMessageW(status_, WM_SETFONT, reinterpret_cast<WPARAM>(newFont.get()), TRUE);
        font_ = std::move(newFont);
    }

    const int smallX = DpiApis::Get().SystemMetrics(SM_CXSMICON, dpi);
    const int smallY = DpiApis::Get().SystemMetrics(SM_CYSMICON, dpi);
    UniqueHImageList images(ImageList_Create(smallX, smallY, ILC_COLOR32 | ILC_MASK, 1, 0));
    UniqueHIcon chevron(static_cast<HICON>(
        LoadImageW(instance_, MAKEINTRESOURCEW(IDI_CHEVRON), IMAGE_ICON, smallX, smallY, LR_DEFAULTCOLOR)));
    // Without its picture the list still works; it only shows no image.
    if (images && chevron && ImageList_AddIcon(images.get(), chevron.get()) == 0) {
        ListView_SetImageList(list_, images.get(), LVSIL_SMALL);
        ListView_SetImageList(list_, images.get(), LVSIL_NORMAL);
        Header_SetImageList(ListView_GetHeader(list_), images.get());
        images_ = std::move(images);
    }

    // The class's icons fit the system DPI; another takes icons of its own.
    if (dpi != classIconDpi_ || smallIcon_) {
        smallIcon_.reset(AppIcon(SM_CXSMICON, SM_CYSMICON, 0));
        bigIcon_.reset(AppIcon(SM_CXICON, SM_CYICON, 0));
        SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.get()));
        SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_.get()));
    }

    // The status bar takes the room that the layout rule leaves below the list.
    int borders[3] = {};  // horizontal, vertical, between parts
    SendMessageW(status_, SB_GETBORDERS, 0, reinterpret_cast<LPARAM>(borders));
    SendMessageW(status_, SB_SETMINHEIGHT, static_cast<WPARAM>(std::max(0, ToPixels(kStatusRoom) - 2 * borders[1])), 0);
    LayOut();
}

void MainWindow::LayOut() {
    if (status_ == nullptr || list_ == nullptr) return;
    SendMessageW(status_, WM_SIZE, 0, 0);
    FitPanels();
    frm_.OnResize();
}

// A failure's reason, when there is one, takes the second panel: the
// message keeps the width of its text, up to two thirds of the bar, and the
// reason the rest, which a wider window shows whole. (The status bar's own
// tooltips would show it on hover, but with them the list stopped following
// other programs' changes under Wine.)
void MainWindow::FitPanels() {
    const std::wstring& message = panelTexts_[0];
    const std::wstring& reason = panelTexts_[1];
    std::vector<int> parts{-1};
    if (!reason.empty()) {
        RECT bar{};
        GetClientRect(status_, &bar);
        SIZE text{};
        if (HDC dc = GetDC(status_); dc != nullptr) {
            HGDIOBJ old = SelectObject(dc, font_ ? static_cast<HGDIOBJ>(font_.get()) : GetStockObject(DEFAULT_GUI_FONT));
            GetTextExtentPoint32W(dc, message.c_str(), static_cast<int>(message.size()), &text);
            SelectObject(dc, old);
            ReleaseDC(status_, dc);
        }
        parts.insert(parts.begin(), std::min(text.cx + ToPixels(kPanelPadding), bar.right * 2 / 3));
    }
    SendMessageW(status_, SB_SETPARTS, parts.size(), reinterpret_cast<LPARAM>(parts.data()));
    for (std::size_t panel = 0; panel < parts.size(); ++panel)
        SendMessageW(status_, SB_SETTEXTW, panel, reinterpret_cast<LPARAM>(panelTexts_[panel].c_str()));
}

LRESULT CALLBACK MainWindow::ListProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* window = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(GetParent(hwnd), GWLP_USERDATA));
    return Guarded([&] { return window->HandleListMessage(hwnd, message, wParam, lParam); },
                   [&](bool outOfMemory) -> LRESULT {
                       window->frm_.OnUnfinished(outOfMemory);
                       return 0;
                   });
}

LRESULT MainWindow::HandleListMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    short button = 0;
    switch (message) {
    case WM_LBUTTONDOWN: button = kLeftButton; break;
    case WM_RBUTTONDOWN: button = kRightButton; break;
    case WM_MBUTTONDOWN: button = kMiddleButton; break;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: frm_.OnUserAction(); [[fallthrough]];
    default: return CallWindowProcW(listDefaultProc_, hwnd, message, wParam, lParam);
    }
    frm_.OnUserAction();
    // The list handles the press first, so that a right click selects the
    // item under the pointer before the menu acts on the selection.
    const LRESULT result = CallWindowProcW(listDefaultProc_, hwnd, message, wParam, lParam);
    frm_.OnListMouseDown(button);
    return result;
}

// The application icon at a system metric's size for the window's DPI.
HICON MainWindow::AppIcon(int widthMetric, int heightMetric, UINT flags) const {
    return static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(IDI_TALLOWICK), IMAGE_ICON,
                                         DpiApis::Get().SystemMetrics(widthMetric, dpi_),
                                         DpiApis::Get().SystemMetrics(heightMetric, dpi_), flags));
}

int MainWindow::ToPixels(float twips) const { return TwipsToPixels(twips, dpi_); }

float MainWindow::ToTwips(int pixels) const { return PixelsToTwips(pixels, dpi_); }

// The outer size as the design-time frame would give it, whatever frame this
// platform draws: the layout rule's margins then fit the list to the client
// area, where the real frame (thicker on Windows 10 and under Wine) would
// clip it.
float MainWindow::OuterWidth() const {
    RECT client{};
    GetClientRect(hwnd_, &client);
    return ToTwips(client.right) + kDesignFrameWidth;
}

float MainWindow::OuterHeight() const {
    RECT client{};
    GetClientRect(hwnd_, &client);
    return ToTwips(client.bottom) + kDesignFrameHeight;
}

WindowState MainWindow::State() const {
    if (IsIconic(hwnd_)) return WindowState::Minimised;
    if (IsZoomed(hwnd_)) return WindowState::Maximised;
    return WindowState::Normal;
}

void MainWindow::ShowMenuAt(POINT screen, ListMenuState state) {
    if (!menus_) menus_.reset(LoadMenuW(instance_, MAKEINTRESOURCEW(IDR_LISTMENU)));
    HMENU menu = GetSubMenu(menus_.get(), 0);
    if (menu == nullptr) return;
    EnableMenuItem(menu, IDM_REMOVENAME, MF_BYCOMMAND | (state.canRemove ? MF_ENABLED : MF_GRAYED));
    EnableMenuItem(menu, IDM_UNDOREMOVE, MF_BYCOMMAND | (state.canUndo ? MF_ENABLED : MF_GRAYED));
    EnableMenuItem(menu, IDM_REMOVELEFTOVER, MF_BYCOMMAND | (state.canRemoveLeftover ? MF_ENABLED : MF_GRAYED));
    WhileBusy([&] {
        TrackPopupMenuEx(menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_LEFTBUTTON, screen.x, screen.y, hwnd_, nullptr);
    });
}

void MainWindow::PopupListMenuAtCursor(ListMenuState state) {
    POINT cursor{};
    GetCursorPos(&cursor);
    ShowMenuAt(cursor, state);
}

void MainWindow::PopupListMenuAtItem(int item, ListMenuState state) {
    POINT at{0, 0};
    RECT bounds{};
    if (item >= 1 && ListView_EnsureVisible(list_, item - 1, FALSE) &&
        ListView_GetItemRect(list_, item - 1, &bounds, LVIR_LABEL)) {
        at = {bounds.left, bounds.bottom};
    }
    ClientToScreen(list_, &at);
    ShowMenuAt(at, state);
}

void MainWindow::ShowHelp(std::wstring_view text) {
    MessageBoxW(hwnd_, std::wstring(text).c_str(), L"Tallowick", MB_OK | MB_ICONINFORMATION);
}

// comdlg32 comes from System32 when the dialog is first asked for: linked,
// it would be loaded at every start.
std::optional<std::wstring> MainWindow::ChooseBackupFile() {
    using GetOpenFileName = BOOL(WINAPI*)(OPENFILENAMEW*);
    static const HMODULE comdlg32 = LoadFromSystem32(L"comdlg32.dll");
    const auto getOpenFileName = FindExport<GetOpenFileName>(comdlg32, "GetOpenFileNameW");
    if (getOpenFileName == nullptr) return std::nullopt;
    std::vector<wchar_t> file(32768);
    const std::wstring folder = RemovedFolder();
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = hwnd_;
    dialog.lpstrFilter = L"Backups of removed screen names (*.reg)\0*.reg\0";
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    dialog.lpstrTitle = L"Restore Removed ScreenName";
    // Nothing in the shell's recent documents either.
    dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR |
                   OFN_DONTADDTORECENT;
    const std::optional<reg::KeyTree> lists = ReadTree(HKEY_CURRENT_USER, kDialogListsKey);
    const BOOL chosen = getOpenFileName(&dialog);
    PutBack(HKEY_CURRENT_USER, kDialogListsKey, lists ? &*lists : nullptr);
    if (!chosen) return std::nullopt;
    return std::wstring(file.data());
}

bool MainWindow::TranslateKeys(MSG& message) const {
    return hwnd_ != nullptr && accelerators_ != nullptr && ::TranslateAcceleratorW(hwnd_, accelerators_, &message) != 0;
}

void MainWindow::SetPanelText(int panel, std::wstring_view text) {
    if (loading_) {
        loadingPanelTexts_[panel] = text;
        return;
    }
    const bool hadReason = !panelTexts_[1].empty();
    panelTexts_.at(static_cast<std::size_t>(panel - 1)) = text;
    // Only a reason coming or going changes the panels.
    if (panel == 2 || hadReason) FitPanels();
    else SendMessageW(status_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(panelTexts_[0].c_str()));
}

#pragma once

#include <windows.h>

#include <array>
#include <map>
#include <string>
#include <vector>

#include "platform/window/DpiApis.h"
#include "platform/window/NameListView.h"
#include "platform/window/UsersKeyWatch.h"
#include "platform/window/WindowHandles.h"
#include "window/WindowOps.h"
#include "window/frmMain.h"

// The one top-level window and its controls: the list lstNames, the status
// bar and the pop-up menu mnuList. Sizes cross this class in twips and are
// drawn in pixels at the window's own DPI.
class MainWindow final : public FormOps, public StatusOps {
public:
    MainWindow(reg::RegistryReader& registry, ScriptShellFactory& shells, reg::NameArchive& archive);
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    bool Create(HINSTANCE instance, int showCommand);
    HWND hwnd() const { return hwnd_; }
    // Ctrl+Z, F5 and the other keys of the window's accelerator table.
    bool TranslateKeys(MSG& message) const;
    // The form's load: the names listed into the still hidden window.
    void LoadNames();
    // Reads the list again by the same path: at once, or when the pop-up
    // menu or removal under way ends. The registry watch and F5 call it.
    void RefreshNames();
    // Signalled when the Users key changes: the message loop waits on it and
    // then calls OnRegistryChanged.
    std::array<HANDLE, 2> RegistryChangedEvents() const { return watch_.Events(); }
    void OnRegistryChanged();
    NameListView& Names() { return names_; }
    const NameListView& Names() const { return names_; }

    float OuterWidth() const override;
    float OuterHeight() const override;
    WindowState State() const override;
    void PopupListMenuAtCursor(ListMenuState state) override;
    void PopupListMenuAtItem(int item, ListMenuState state) override;
    std::optional<std::wstring> ChooseBackupFile() override;
    void ShowHelp(std::wstring_view text) override;

    void SetPanelText(int panel, std::wstring_view text) override;

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK ListProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleListMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    bool CreateControls();
    void ApplyDpi(UINT dpi);
    void LayOut();
    void FitPanels();
    void ShowMenuAt(POINT screen, ListMenuState state);
    template <typename Load>
    void LoadWithoutRedraw(Load load);
    template <typename Action>
    void WhileBusy(Action action);
    HICON AppIcon(int widthMetric, int heightMetric, UINT flags) const;
    int ToPixels(float twips) const;
    float ToTwips(int pixels) const;

    HINSTANCE instance_ = nullptr;
    HWND hwnd_ = nullptr;
    HWND list_ = nullptr;
    HWND status_ = nullptr;
    WNDPROC listDefaultProc_ = nullptr;
    bool loading_ = false;
    int busy_ = 0;
    bool refreshPending_ = false;
    std::map<int, std::wstring> loadingPanelTexts_;
    std::array<std::wstring, 2> panelTexts_;  // the status message; a failure's reason, or leftover settings
    UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
    UINT classIconDpi_ = USER_DEFAULT_SCREEN_DPI;
    UniqueHMenu menus_;
    HACCEL accelerators_ = nullptr;  // a resource's table: the system frees it
    UniqueHFont font_;
    UniqueHImageList images_;
    UniqueHIcon bigIcon_;  // only at a DPI other than the class icons'
    UniqueHIcon smallIcon_;
    NameListView names_{dpi_};
    UsersKeyWatch watch_;
    frmMain frm_;
};

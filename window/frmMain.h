#pragma once

#include <string>
#include <string_view>

#include "window/WindowOps.h"

namespace reg {
class RegistryReader;
}
class ScriptShellFactory;

// Deletes the screen name's value and settings key, unless the name would
// address other items; true when neither is left. The window and the
// command line both remove through here.
bool RemoveScreenName(reg::RegistryReader& registry, ScriptShellFactory& shells, std::wstring_view name);

// The main window's behaviour, apart from the toolkit that draws it: the
// layout rule, the context menu and the removal command.
class frmMain {
public:
    // The layout rule's margins, in twips. The width margin is the design-time
    // frame (45 per side); the height margin is that frame's 375 (330 above
    // the client area, 45 below) and the room left below the list for the
    // status bar.
    static constexpr float kListWidthMargin = 90;
    static constexpr float kListHeightMargin = 700;
    static constexpr float kColumnWidthMargin = 95;

    frmMain(FormOps& window, ListOps& lstNames, StatusOps& statusBar, reg::RegistryReader& registry,
            ScriptShellFactory& shells);

    void OnLoad();
    // Reads the list again through the load's own path: the list becomes the
    // registry's, the selected name stays selected while it is listed.
    void OnRefresh();
    void OnResize();
    void OnListMouseDown(short button);
    void OnListContextMenuKey();
    void OnRemoveNameClick();

    static bool IsAddressableName(std::wstring_view name);
    static std::wstring CouldNotRemoveText(std::wstring_view name);

private:
    ListMenuState MenuState() const;

    FormOps& window_;
    ListOps& lstNames_;
    StatusOps& statusBar_;
    reg::RegistryReader& registry_;
    ScriptShellFactory& shells_;
};

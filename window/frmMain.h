#pragma once

#include <string>
#include <string_view>

#include "window/WindowOps.h"

namespace reg {
class RegistryReader;
}
class ScriptShellFactory;

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

#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "registry/RegFile.h"

#include "window/WindowOps.h"

namespace reg {
class RegistryReader;
}
class ScriptShellFactory;

// Backs the screen name up, then deletes its settings key and its value,
// unless the name would address other items; true when neither is left.
// `removed` holds what was taken, for undo. The window and the command line
// both remove through here.
bool RemoveScreenName(reg::RegistryReader& registry, ScriptShellFactory& shells, reg::NameArchive& archive,
                      std::wstring_view name, reg::NameSnapshot& removed);

// The main window's behaviour, apart from the toolkit that draws it: the
// layout rule, the context menu, the removal command and its undo.
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
            ScriptShellFactory& shells, reg::NameArchive& archive);

    void OnLoad();
    // Reads the list again through the load's own path: the list becomes the
    // registry's, the selected name stays selected while it is listed.
    void OnRefresh();
    void OnResize();
    void OnListMouseDown(short button);
    void OnListContextMenuKey();
    void OnRemoveNameClick();
    void OnUndoRemoveClick();

    static bool IsAddressableName(std::wstring_view name);
    static std::wstring CouldNotRemoveText(std::wstring_view name);
    static std::wstring CouldNotRestoreText(std::wstring_view name);

private:
    ListMenuState MenuState() const;

    FormOps& window_;
    ListOps& lstNames_;
    StatusOps& statusBar_;
    reg::RegistryReader& registry_;
    ScriptShellFactory& shells_;
    reg::NameArchive& archive_;
    // Every removal of this window's lifetime, the last on top.
    std::vector<reg::NameSnapshot> removed_;
};

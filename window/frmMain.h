#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "registry/KeyTree.h"
#include "registry/NameArchive.h"

#include "window/WindowOps.h"

namespace reg {
class RegistryReader;
}
class ScriptShellFactory;
namespace ScreenNames {
struct Outcome;
}

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
    // Removes every leftover settings key, each as a name is removed: with
    // a backup, and undone one by one.
    void OnRemoveLeftoverClick();
    void OnRestoreFromFileClick();
    // F1: what the window does, and where an administrator goes for every
    // account of the PC.
    void OnHelpClick();
    // A key or a click in the window, or any command: the status bar's
    // failure has been seen, and the count takes its place.
    void OnUserAction();
    // A handler stopped by an error of the program's own, such as running
    // out of memory: the window says so and goes on.
    void OnUnfinished(bool outOfMemory);

private:
    ListMenuState MenuState() const;
    bool MenuHasWork() const;
    void ShowStatus(const std::wstring& text);
    void ShowFailure(const std::wstring& text, std::wstring_view reason);
    ScreenNames::Outcome Remove(std::wstring_view name);
    void Report(const ScreenNames::Outcome& outcome);
    void ReadLeftover();

    FormOps& window_;
    ListOps& lstNames_;
    StatusOps& statusBar_;
    reg::RegistryReader& registry_;
    ScriptShellFactory& shells_;
    reg::NameArchive& archive_;
    // Every removal of this window's lifetime, the last on top.
    std::vector<reg::NameSnapshot> removed_;
    bool loaded_ = false;  // the last load read every name
    // The Users key's subkeys that no name's value names, which the list
    // cannot show; the status bar tells of them.
    std::vector<std::wstring> leftover_;
    struct Failure {
        std::wstring text, reason;
    };
    std::optional<Failure> failure_;  // the failure the status bar shows
};

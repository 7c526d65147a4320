#include "window/frmMain.h"

#include <algorithm>
#include <cstdint>

#include "registry/RegistryTypes.h"
#include "registry/UsersKey.h"
#include "registry/modMyRegistry.h"
#include "screennames/EnumerateValues.h"

namespace {

constexpr std::int32_t kCurrentUser = 1;

}  // namespace

frmMain::frmMain(FormOps& window, ListOps& lstNames, StatusOps& statusBar, reg::RegistryReader& registry,
                 ScriptShellFactory& shells, reg::NameArchive& archive)
    : window_(window), lstNames_(lstNames), statusBar_(statusBar), registry_(registry), shells_(shells),
      archive_(archive) {}

void frmMain::OnLoad() { EnumerateValues::LoadScreenNames(registry_, lstNames_, statusBar_); }

// Unlike the first load, a refresh always says how many names it found: a
// list emptied behind the window must not go on showing an old count.
void frmMain::OnRefresh() {
    std::optional<std::wstring> selected;
    if (const std::optional<int> item = lstNames_.SelectedItem()) selected = lstNames_.ItemText(*item);
    lstNames_.Clear();
    OnLoad();
    const int count = lstNames_.ItemCount();
    statusBar_.SetPanelText(1, EnumerateValues::FoundText(count));
    if (!selected) return;
    for (int item = 1; item <= count; ++item) {
        if (registry_.SameName(lstNames_.ItemText(item), *selected)) {
            lstNames_.SelectItem(item);
            return;
        }
    }
}

// A window smaller than the margins gets an empty list rather than a
// negative size.
void frmMain::OnResize() {
    if (window_.State() == WindowState::Minimised) return;
    lstNames_.SetWidth(std::max(0.0F, window_.OuterWidth() - kListWidthMargin));
    lstNames_.SetHeight(std::max(0.0F, window_.OuterHeight() - kListHeightMargin));
    lstNames_.SetColumnWidth(1, std::max(0.0F, lstNames_.Width() - kColumnWidthMargin));
}

// A right click below the last name clears the selection; the menu still
// opens, but offers nothing it cannot do.
ListMenuState frmMain::MenuState() const {
    return {.canRemove = lstNames_.SelectedItem().has_value(), .canUndo = !removed_.empty()};
}

void frmMain::OnListMouseDown(short button) {
    if (button == kRightButton && lstNames_.ItemCount() != 0) window_.PopupListMenuAtCursor(MenuState());
}

// Shift+F10 and the Menu key: the menu opens at the selected item, or at the
// list's corner when nothing is selected.
void frmMain::OnListContextMenuKey() {
    if (lstNames_.ItemCount() == 0) return;
    window_.PopupListMenuAtItem(lstNames_.SelectedItem().value_or(0), MenuState());
}

// The default value (empty name) and names holding a backslash would compose
// paths that name other registry items than the screen name's own: the
// parent's "Users" value and the whole Users key, or another name's subkey.
bool frmMain::IsAddressableName(std::wstring_view name) {
    return !name.empty() && name.find(L'\\') == std::wstring_view::npos;
}

std::wstring frmMain::CouldNotRemoveText(std::wstring_view name) {
    return L"Could not remove \"" + std::wstring(name) + L"\".";
}

std::wstring frmMain::CouldNotRestoreText(std::wstring_view name) {
    return L"Could not restore \"" + std::wstring(name) + L"\".";
}

namespace {

// No backup, no delete: the name is read in full and its file is on disk
// before anything goes. A name with nothing left to read needs no file.
bool BackUp(reg::NameArchive& archive, std::wstring_view name, reg::NameSnapshot& snapshot) noexcept {
    try {
        if (archive.Snapshot(USERS_KEY_PATH, std::wstring(name), snapshot) != reg::ArchiveStatus::kDone) return false;
        std::wstring path;
        return snapshot.Empty() ||
               archive.SaveBackup(std::wstring(name), reg::RegFileBytes(reg::RegExportText(USERS_KEY_PATH, snapshot)),
                                  path) == reg::ArchiveStatus::kDone;
    } catch (...) {
        return false;
    }
}

}  // namespace

bool RemoveScreenName(reg::RegistryReader& registry, ScriptShellFactory& shells, reg::NameArchive& archive,
                      std::wstring_view name, reg::NameSnapshot& removed) {
    if (!frmMain::IsAddressableName(name) || !BackUp(archive, name, removed)) return false;
    // The key goes first and the value only after it: a key that cannot be
    // deleted (a subkey denied) then leaves the name listed, and a retry can
    // reach its settings; with the value gone first they would be orphaned.
    if (modMyRegistry::DeleteKey(shells, kCurrentUser, USERS_KEY_PATH, name) || !removed.key)
        modMyRegistry::DeleteValue(shells, kCurrentUser, USERS_KEY_PATH, name);
    return !registry.NameRemains(USERS_KEY_PATH, name);
}

// The item leaves the list only when the registry holds neither a value nor
// a key of that name any more, so that the list never claims a removal that
// did not happen. The status bar then counts what is listed, so that no
// earlier failure or count outlives the removal.
void frmMain::OnRemoveNameClick() {
    const std::optional<int> item = lstNames_.SelectedItem();
    if (!item) return;
    const std::wstring name = lstNames_.ItemText(*item);
    reg::NameSnapshot snapshot;
    if (!RemoveScreenName(registry_, shells_, archive_, name, snapshot)) {
        statusBar_.SetPanelText(1, CouldNotRemoveText(name));
        return;
    }
    if (!snapshot.Empty()) removed_.push_back(std::move(snapshot));
    lstNames_.RemoveItem(*item);
    const int count = lstNames_.ItemCount();
    statusBar_.SetPanelText(1, EnumerateValues::FoundText(count));
    // The neighbour takes the selection, so that names can be removed one
    // after another from the keyboard.
    if (count != 0) lstNames_.SelectItem(std::min(*item, count));
}

// The last removal comes back, or nothing is written at all. A restored
// name goes where a fresh listing would show it; one that fails is dropped
// from the stack, so that earlier removals stay reachable, and its backup
// file still holds it.
void frmMain::OnUndoRemoveClick() {
    if (removed_.empty()) return;
    const reg::NameSnapshot snapshot = std::move(removed_.back());
    removed_.pop_back();
    if (!archive_.Restore(USERS_KEY_PATH, snapshot)) {
        statusBar_.SetPanelText(1, CouldNotRestoreText(snapshot.name));
        return;
    }
    if (snapshot.value) {
        const int end = lstNames_.ItemCount() + 1;
        const int item = std::min(EnumerateValues::PositionOf(registry_, snapshot.name).value_or(end), end);
        lstNames_.InsertItem(item, snapshot.name, EnumerateValues::kItemIcon);
        lstNames_.SelectItem(item);
    }
    statusBar_.SetPanelText(1, EnumerateValues::FoundText(lstNames_.ItemCount()));
}

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

void frmMain::OnLoad() {
    loaded_ = EnumerateValues::LoadScreenNames(registry_, lstNames_, statusBar_);
    if (!loaded_) ShowStatus(EnumerateValues::CouldNotReadText());
}

// Unlike the first load, a refresh says how many names it found: a list
// emptied behind the window must not go on showing an old count. Only a
// failure's message outlives a refresh that finds the names as they were:
// a removal that failed partway changes the registry, and the refresh that
// change wakes must not hide that the name stays.
void frmMain::OnRefresh() {
    std::optional<std::wstring> selected;
    if (const std::optional<int> item = lstNames_.SelectedItem()) selected = lstNames_.ItemText(*item);
    const std::optional<std::wstring> failure = failure_;
    const bool wasLoaded = loaded_;
    const std::vector<std::wstring> before = failure ? ListedNames() : std::vector<std::wstring>{};
    lstNames_.Clear();
    OnLoad();
    const int count = lstNames_.ItemCount();
    if (loaded_) {
        if (failure && wasLoaded && ListedNames() == before) ShowFailure(*failure);
        else ShowStatus(EnumerateValues::FoundText(count));
    }
    if (!selected) return;
    for (int item = 1; item <= count; ++item) {
        if (registry_.SameName(lstNames_.ItemText(item), *selected)) {
            lstNames_.SelectItem(item);
            return;
        }
    }
}

std::vector<std::wstring> frmMain::ListedNames() const {
    std::vector<std::wstring> names;
    for (int item = 1; item <= lstNames_.ItemCount(); ++item) names.push_back(lstNames_.ItemText(item));
    return names;
}

void frmMain::ShowStatus(const std::wstring& text) {
    failure_.reset();
    statusBar_.SetPanelText(1, text);
}

void frmMain::ShowFailure(const std::wstring& text) {
    statusBar_.SetPanelText(1, text);
    failure_ = text;
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

// An empty list offers the menu only while a removal can be undone, so that
// Undo stays reachable after the last name goes; Remove is greyed then.
bool frmMain::MenuHasWork() const { return lstNames_.ItemCount() != 0 || !removed_.empty(); }

void frmMain::OnListMouseDown(short button) {
    if (button == kRightButton && MenuHasWork()) window_.PopupListMenuAtCursor(MenuState());
}

// Shift+F10 and the Menu key: the menu opens at the selected item, or at the
// list's corner when nothing is selected.
void frmMain::OnListContextMenuKey() {
    if (!MenuHasWork()) return;
    window_.PopupListMenuAtItem(lstNames_.SelectedItem().value_or(0), MenuState());
}

// The default value (empty name) and names holding a backslash would compose
// paths that name other registry items than the screen name's own: the
// parent's "Users" value and the whole Users key, or another name's subkey.
// A line break cannot be named in a backup file's key header, and a NUL
// cuts the name short to another name wherever it passes as C text.
NameRule frmMain::CheckName(std::wstring_view name) {
    if (name.empty()) return NameRule::kDefaultValue;
    if (name.find(L'\\') != std::wstring_view::npos) return NameRule::kBackslash;
    if (name.find_first_of(L"\r\n") != std::wstring_view::npos) return NameRule::kLineBreak;
    if (name.find(L'\0') != std::wstring_view::npos) return NameRule::kNul;
    return NameRule::kAddressable;
}

bool frmMain::IsAddressableName(std::wstring_view name) { return CheckName(name) == NameRule::kAddressable; }

std::wstring frmMain::CouldNotRemoveText(std::wstring_view name) {
    return L"Could not remove \"" + std::wstring(name) + L"\".";
}

std::wstring frmMain::CouldNotRestoreText(std::wstring_view name) {
    return L"Could not restore \"" + std::wstring(name) + L"\".";
}

namespace {

RemoveResult FromArchive(reg::ArchiveStatus status) {
    switch (status) {
    case reg::ArchiveStatus::kDone: return RemoveResult::kRemoved;
    case reg::ArchiveStatus::kHoldsLink: return RemoveResult::kHoldsLink;
    case reg::ArchiveStatus::kUnreadable: return RemoveResult::kUnreadable;
    case reg::ArchiveStatus::kNoBackupFolder: return RemoveResult::kNoBackupFolder;
    case reg::ArchiveStatus::kNotWritten: break;
    }
    return RemoveResult::kBackupNotWritten;
}

// No backup, no delete: the name is read in full and its file is on disk
// before anything goes. A name with nothing left to read needs no file.
reg::ArchiveStatus BackUp(reg::NameArchive& archive, std::wstring_view name, reg::NameSnapshot& snapshot,
                          std::wstring& file) noexcept {
    try {
        if (const reg::ArchiveStatus read = archive.Snapshot(USERS_KEY_PATH, name, snapshot);
            read != reg::ArchiveStatus::kDone || snapshot.Empty())
            return read;
        return archive.SaveBackup(name, reg::RegFileBytes(reg::RegExportText(USERS_KEY_PATH, snapshot)), file);
    } catch (...) {
        return reg::ArchiveStatus::kNotWritten;
    }
}

// After a failed delete, `removed` keeps only what did go, so that undo can
// bring that back; a registry left as it was needs no backup file, or every
// retry of a stuck name would leave one more.
void KeepWhatWent(reg::NameArchive& archive, std::wstring_view name, reg::NameSnapshot& removed,
                  const std::wstring& file) noexcept {
    try {
        reg::NameSnapshot left;
        if (archive.Snapshot(USERS_KEY_PATH, name, left) != reg::ArchiveStatus::kDone) {
            removed = {removed.name, {}, {}};
            return;
        }
        if (left == removed && !file.empty()) archive.DeleteBackup(file);
        if (left.value) removed.value.reset();
        if (left.key) removed.key.reset();
    } catch (...) {
        removed = {removed.name, {}, {}};
    }
}

}  // namespace

RemoveResult RemoveScreenName(reg::RegistryReader& registry, ScriptShellFactory& shells, reg::NameArchive& archive,
                              std::wstring_view name, reg::NameSnapshot& removed) {
    removed = {std::wstring(name), {}, {}};
    if (!frmMain::IsAddressableName(name)) return RemoveResult::kRefusedName;
    std::wstring file;
    if (const reg::ArchiveStatus backedUp = BackUp(archive, name, removed, file); backedUp != reg::ArchiveStatus::kDone) {
        removed = {std::wstring(name), {}, {}};
        return FromArchive(backedUp);
    }
    // The key goes first and the value only after it: a key that cannot be
    // deleted (a subkey denied) then leaves the name listed, and a retry can
    // reach its settings; with the value gone first they would be orphaned.
    if (modMyRegistry::DeleteKey(shells, kCurrentUser, USERS_KEY_PATH, name) || !removed.key)
        modMyRegistry::DeleteValue(shells, kCurrentUser, USERS_KEY_PATH, name);
    if (!registry.NameRemains(USERS_KEY_PATH, name)) return RemoveResult::kRemoved;
    KeepWhatWent(archive, name, removed, file);
    return RemoveResult::kStays;
}

// The item leaves the list only when the registry holds neither a value nor
// a key of that name any more, so that the list never claims a removal that
// did not happen. The status bar then counts what is listed, so that no
// earlier failure or count outlives the removal. Whatever went, even of a
// name that stays, can be undone.
void frmMain::OnRemoveNameClick() {
    const std::optional<int> item = lstNames_.SelectedItem();
    if (!item) return;
    const std::wstring name = lstNames_.ItemText(*item);
    reg::NameSnapshot snapshot;
    const RemoveResult result = RemoveScreenName(registry_, shells_, archive_, name, snapshot);
    if (!snapshot.Empty()) removed_.push_back(std::move(snapshot));
    if (result != RemoveResult::kRemoved) {
        ShowFailure(CouldNotRemoveText(name));
        return;
    }
    lstNames_.RemoveItem(*item);
    const int count = lstNames_.ItemCount();
    ShowStatus(EnumerateValues::FoundText(count));
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
        ShowFailure(CouldNotRestoreText(snapshot.name));
        return;
    }
    if (snapshot.value) {
        const int end = lstNames_.ItemCount() + 1;
        const int item = std::min(EnumerateValues::PositionOf(registry_, snapshot.name).value_or(end), end);
        lstNames_.InsertItem(item, snapshot.name, EnumerateValues::kItemIcon);
        lstNames_.SelectItem(item);
    }
    ShowStatus(EnumerateValues::FoundText(lstNames_.ItemCount()));
}

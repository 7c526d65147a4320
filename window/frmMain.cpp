#include "window/frmMain.h"

#include <algorithm>
#include <cstdint>

#include "registry/RegistryTypes.h"
#include "registry/UsersKey.h"
#include "screennames/EnumerateValues.h"
#include "screennames/ScreenNames.h"

namespace {

std::wstring Sentence(std::wstring_view clause) {
    std::wstring sentence(clause);
    if (!sentence.empty() && sentence.front() >= L'a' && sentence.front() <= L'z')
        sentence.front() = static_cast<wchar_t>(sentence.front() - L'a' + L'A');
    if (!sentence.empty()) sentence += L'.';
    return sentence;
}

}  // namespace

frmMain::frmMain(FormOps& window, ListOps& lstNames, StatusOps& statusBar, reg::RegistryReader& registry,
                 ScriptShellFactory& shells, reg::NameArchive& archive)
    : window_(window), lstNames_(lstNames), statusBar_(statusBar), registry_(registry), shells_(shells),
      archive_(archive) {}

void frmMain::OnLoad() {
    const reg::Status status = EnumerateValues::LoadScreenNames(registry_, lstNames_, statusBar_);
    loaded_ = status == reg::kSuccess;
    if (!loaded_) ShowStatus(EnumerateValues::CouldNotReadText());
    ReadLeftover();
    if (!loaded_) statusBar_.SetPanelText(2, Sentence(EnumerateValues::CouldNotReadReason(status)));
}

// A leftover key is told of beside the count, unless a failure's reason
// takes that place.
void frmMain::ReadLeftover() {
    if (!loaded_ || EnumerateValues::ListLeftoverSettings(registry_, leftover_) != reg::kSuccess) leftover_.clear();
    if (!failure_) statusBar_.SetPanelText(2, EnumerateValues::LeftoverText(leftover_.size()));
}

// Unlike the first load, a refresh says how many names it found: a list
// emptied behind the window must not go on showing an old count. A
// failure's message and its reason outlive every refresh until the user's
// next action: the watch wakes within a second of any change, the failed
// removal's own partial changes among them, and would hide it unread.
void frmMain::OnRefresh() {
    std::optional<std::wstring> selected;
    if (const std::optional<int> item = lstNames_.SelectedItem()) selected = lstNames_.ItemText(*item);
    const std::optional<Failure> failure = failure_;
    lstNames_.Clear();
    OnLoad();
    const int count = lstNames_.ItemCount();
    if (loaded_) {
        if (failure) ShowFailure(failure->text, failure->reason);
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

void frmMain::OnUserAction() {
    if (failure_) ShowStatus(loaded_ ? EnumerateValues::FoundText(lstNames_.ItemCount()) : EnumerateValues::CouldNotReadText());
}

void frmMain::OnUnfinished(bool outOfMemory) {
    ShowFailure(std::wstring(ScreenNames::kCouldNotFinish), ScreenNames::UnfinishedReason(outOfMemory));
}

void frmMain::ShowStatus(const std::wstring& text) {
    if (failure_) statusBar_.SetPanelText(2, EnumerateValues::LeftoverText(leftover_.size()));
    failure_.reset();
    statusBar_.SetPanelText(1, text);
}

// The reason goes beside the message as a sentence of its own.
void frmMain::ShowFailure(const std::wstring& text, std::wstring_view reason) {
    const std::wstring sentence = Sentence(reason);
    statusBar_.SetPanelText(1, text);
    statusBar_.SetPanelText(2, sentence);
    failure_ = Failure{text, std::wstring(reason)};
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
    return {.canRemove = lstNames_.SelectedItem().has_value(), .canUndo = !removed_.empty(), .canRemoveLeftover = !leftover_.empty()};
}

// An empty list offers the menu only while a removal can be undone, so that
// Undo stays reachable after the last name goes; Remove is greyed then.
bool frmMain::MenuHasWork() const { return lstNames_.ItemCount() != 0 || !removed_.empty() || !leftover_.empty(); }

void frmMain::OnListMouseDown(short button) {
    if (button == kRightButton && MenuHasWork()) window_.PopupListMenuAtCursor(MenuState());
}

// Shift+F10 and the Menu key: the menu opens at the selected item, or at the
// list's corner when nothing is selected.
void frmMain::OnListContextMenuKey() {
    if (!MenuHasWork()) return;
    window_.PopupListMenuAtItem(lstNames_.SelectedItem().value_or(0), MenuState());
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
    const ScreenNames::RemoveResult result = ScreenNames::RemoveScreenName(registry_, shells_, archive_, name, snapshot);
    if (!snapshot.Empty()) removed_.push_back(std::move(snapshot));
    if (result != ScreenNames::RemoveResult::kRemoved) {
        ShowFailure(ScreenNames::CouldNotRemoveText(name), ScreenNames::RemoveReason(result, name));
        return;
    }
    lstNames_.RemoveItem(*item);
    const int count = lstNames_.ItemCount();
    ShowStatus(EnumerateValues::FoundText(count));
    // The neighbour takes the selection, so that names can be removed one
    // after another from the keyboard.
    if (count != 0) lstNames_.SelectItem(std::min(*item, count));
}

// The first failure is shown; the other keys are still tried.
void frmMain::OnRemoveLeftoverClick() {
    std::optional<Failure> failed;
    for (const std::wstring& key : leftover_) {
        reg::NameSnapshot snapshot;
        const ScreenNames::RemoveResult result = ScreenNames::RemoveScreenName(registry_, shells_, archive_, key, snapshot);
        if (!snapshot.Empty()) removed_.push_back(std::move(snapshot));
        if (result != ScreenNames::RemoveResult::kRemoved && !failed)
            failed = Failure{ScreenNames::CouldNotRemoveText(key), std::wstring(ScreenNames::RemoveReason(result, key))};
    }
    if (failed) ShowFailure(failed->text, failed->reason);
    else ShowStatus(EnumerateValues::FoundText(lstNames_.ItemCount()));
    ReadLeftover();
}

// What went of the last removal comes back, or nothing is written at all. A
// restored name goes where a fresh listing would show it; one that fails is dropped
// from the stack, so that earlier removals stay reachable, and its backup
// file still holds it.
void frmMain::OnUndoRemoveClick() {
    if (removed_.empty()) return;
    reg::NameSnapshot snapshot = std::move(removed_.back());
    removed_.pop_back();
    std::wstring why;
    if (ScreenNames::RestoreSnapshot(registry_, archive_, snapshot, why) != ScreenNames::RestoreResult::kRestored) {
        ShowFailure(ScreenNames::CouldNotRestoreText(snapshot.name), why);
        return;
    }
    ShowRestored(snapshot);
}

// A restored name goes where a fresh listing would show it, selected,
// unless its value stayed listed all along.
void frmMain::ShowRestored(const reg::NameSnapshot& snapshot) {
    if (snapshot.value) {
        const int end = lstNames_.ItemCount() + 1;
        const int item = std::min(EnumerateValues::PositionOf(registry_, snapshot.name).value_or(end), end);
        lstNames_.InsertItem(item, snapshot.name, EnumerateValues::kItemIcon);
        lstNames_.SelectItem(item);
    }
    ShowStatus(EnumerateValues::FoundText(lstNames_.ItemCount()));
    ReadLeftover();
}

// Any backup file, chosen by the user, under the same rules as undo. A
// file that names no screen name is reported by its own name.
void frmMain::OnRestoreFromFileClick() {
    const std::optional<std::wstring> path = window_.ChooseBackupFile();
    if (!path) return;
    std::vector<std::vector<std::uint8_t>> file(1);
    reg::NameSnapshot restored;
    std::wstring why(ScreenNames::kFileUnread);
    const bool read = archive_.ReadBackupFile(*path, file.front());
    if (read && ScreenNames::RestoreScreenName(registry_, archive_, file, restored, why) ==
                    ScreenNames::RestoreResult::kRestored) {
        ShowRestored(restored);
        return;
    }
    const std::wstring name = restored.name.empty() ? ScreenNames::FileNameOf(*path) : restored.name;
    ShowFailure(ScreenNames::CouldNotRestoreText(name), why);
}

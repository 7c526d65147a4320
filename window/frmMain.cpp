#include "window/frmMain.h"

#include <algorithm>
#include <utility>

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

// Removes a listed name or a leftover key through the core. Whatever went,
// even of a name that stays, can be undone.
ScreenNames::Outcome frmMain::Remove(std::wstring_view name) {
    ScreenNames::Outcome outcome = ScreenNames::RemoveScreenName(registry_, shells_, archive_, name);
    if (!outcome.snapshot.Empty()) removed_.push_back(outcome.snapshot);
    return outcome;
}

// The item leaves the list only when the registry holds neither a value nor
// a key of that name any more, so that the list never claims a removal that
// did not happen.
void frmMain::OnRemoveNameClick() {
    const std::optional<int> item = lstNames_.SelectedItem();
    if (!item) return;
    const ScreenNames::Outcome outcome = Remove(lstNames_.ItemText(*item));
    if (outcome.Done()) lstNames_.RemoveItem(*item);
    Report(outcome);
    // The neighbour takes the selection, so that names can be removed one
    // after another from the keyboard.
    if (const int count = lstNames_.ItemCount(); outcome.Done() && count != 0) lstNames_.SelectItem(std::min(*item, count));
}

// The first failure is shown; the other keys are still tried.
void frmMain::OnRemoveLeftoverClick() {
    ScreenNames::Outcome first;
    for (const std::wstring& key : leftover_)
        if (ScreenNames::Outcome outcome = Remove(key); first.Done()) first = std::move(outcome);
    Report(first);
    ReadLeftover();
}

// What went of the last removal comes back, or nothing is written at all.
// One that fails is dropped from the stack, so that earlier removals stay
// reachable, and its backup file still holds it.
void frmMain::OnUndoRemoveClick() {
    if (removed_.empty()) return;
    reg::NameSnapshot snapshot = std::move(removed_.back());
    removed_.pop_back();
    Report(ScreenNames::RestoreScreenName(registry_, archive_, std::move(snapshot)));
}

// Any backup file, chosen by the user, under the same rules as undo.
void frmMain::OnRestoreFromFileClick() {
    if (std::optional<std::wstring> path = window_.ChooseBackupFile())
        Report(ScreenNames::RestoreScreenName(registry_, archive_, ScreenNames::BackupPath{std::move(*path)}));
}

void frmMain::OnHelpClick() {
    window_.ShowHelp(
        L"Right-click a screen name and choose Remove ScreenName to remove it; a backup of it is kept first.\r\n"
        L"Ctrl+Z brings the last removed name back; Ctrl+O (also in the window menu) brings one back from its backup file; "
        L"F5 reads the names again.\r\n\r\n"
        L"This window shows the names of the signed-in user only. To list or remove the names of every account of this PC, "
        L"an administrator runs tallowick-cli.exe from an elevated prompt, or a script as SYSTEM:\r\n\r\n"
        L"    tallowick-cli list /allusers\r\n"
        L"    tallowick-cli remove /all /allusers /whatif\r\n"
        L"    tallowick-cli remove /all /allusers\r\n\r\n"
        L"/whatif says what would go, and changes nothing. Each account's backups go into that account's own folder, for its "
        L"user to restore signed in, or for an administrator:\r\n\r\n"
        L"    tallowick-cli restore NAME /user:ACCOUNT");
}

// Every outcome of the core in the window's words. A failure names the name
// (a file that names none, by its own name) and says why beside it. A
// restored name goes where a fresh listing would show it, selected, unless
// its value stayed listed all along. Then the status bar counts what is
// listed, so that no earlier failure or count outlives the change.
void frmMain::Report(const ScreenNames::Outcome& outcome) {
    const reg::NameSnapshot& snapshot = outcome.snapshot;
    const bool restore = outcome.job == ScreenNames::Job::kRestore;
    if (!outcome.Done()) {
        ShowFailure(restore ? ScreenNames::CouldNotRestoreText(snapshot.name) : ScreenNames::CouldNotRemoveText(snapshot.name),
                    outcome.why);
        return;
    }
    if (restore && snapshot.value) {
        const int end = lstNames_.ItemCount() + 1;
        const int item = std::min(EnumerateValues::PositionOf(registry_, snapshot.name).value_or(end), end);
        lstNames_.InsertItem(item, snapshot.name, EnumerateValues::kItemIcon);
        lstNames_.SelectItem(item);
    }
    ShowStatus(EnumerateValues::FoundText(lstNames_.ItemCount()));
    if (restore) ReadLeftover();
}

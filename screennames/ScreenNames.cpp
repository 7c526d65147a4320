#include "screennames/ScreenNames.h"

#include "registry/RegistryTypes.h"
#include "registry/UsersKey.h"
#include "registry/modMyRegistry.h"

namespace ScreenNames {

// The default value (empty name) and names holding a backslash would compose
// paths that name other registry items than the screen name's own: the
// parent's "Users" value and the whole Users key, or another name's subkey.
// A line break cannot be named in a backup file's key header, and a NUL
// cuts the name short to another name wherever it passes as C text.
NameRule CheckName(std::wstring_view name) {
    if (name.empty()) return NameRule::kDefaultValue;
    if (name.find(L'\\') != std::wstring_view::npos) return NameRule::kBackslash;
    if (name.find_first_of(L"\r\n") != std::wstring_view::npos) return NameRule::kLineBreak;
    if (name.find(L'\0') != std::wstring_view::npos) return NameRule::kNul;
    return NameRule::kAddressable;
}

bool IsAddressableName(std::wstring_view name) { return CheckName(name) == NameRule::kAddressable; }

std::wstring CouldNotRemoveText(std::wstring_view name) {
    return L"Could not remove \"" + std::wstring(name) + L"\".";
}

std::wstring CouldNotRestoreText(std::wstring_view name) {
    return L"Could not restore \"" + std::wstring(name) + L"\".";
}

namespace {

RemoveResult FromArchive(reg::ArchiveStatus status) {
    switch (status) {
    case reg::ArchiveStatus::kDone: return RemoveResult::kRemoved;
    case reg::ArchiveStatus::kHoldsLink: return RemoveResult::kHoldsLink;
    case reg::ArchiveStatus::kUnreadable: return RemoveResult::kUnreadable;
    case reg::ArchiveStatus::kNoBackupFolder: return RemoveResult::kNoBackupFolder;
    case reg::ArchiveStatus::kChanged: return RemoveResult::kChanged;
    case reg::ArchiveStatus::kNotWritten:
    case reg::ArchiveStatus::kDenied: break;
    }
    return RemoveResult::kBackupNotWritten;
}

reg::SameName SameNameIn(const reg::RegistryReader& registry) {
    return [&registry](std::wstring_view a, std::wstring_view b) { return registry.SameName(a, b); };
}

// No backup, no delete: the name is read in full and its file is on disk
// before anything goes. A name with nothing left to read needs no file. The
// writer takes whatever names the registry holds, which the file cannot
// always say (a line break in a key's name, say), so the bytes are read back
// as a restore would read them, and a file that would not bring the name
// back exactly is never written.
RemoveResult BackUp(const reg::RegistryReader& registry, reg::NameArchive& archive, std::wstring_view name,
                    reg::NameSnapshot& snapshot, std::wstring& file, bool write) noexcept {
    try {
        if (const reg::ArchiveStatus read = archive.Snapshot(USERS_KEY_PATH, name, snapshot);
            read != reg::ArchiveStatus::kDone || snapshot.Empty() || !write)
            return FromArchive(read);
        const std::vector<std::uint8_t> bytes = reg::RegFileBytes(reg::RegExportText(USERS_KEY_PATH, snapshot));
        if (!reg::ReadsBackAs(bytes, USERS_KEY_PATH, SameNameIn(registry), snapshot))
            return RemoveResult::kBackupWouldNotRestore;
        return FromArchive(archive.SaveBackup(name, bytes, file));
    } catch (...) {
        return RemoveResult::kBackupNotWritten;
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

// Whether the name's value is still the one saved: the scripting shell
// deletes by name, whatever the value holds now.
bool ValueAsSaved(reg::NameArchive& archive, std::wstring_view name, const reg::ValueData& saved) noexcept {
    try {
        reg::NameSnapshot now;
        return archive.Snapshot(USERS_KEY_PATH, name, now) == reg::ArchiveStatus::kDone && now.value == saved;
    } catch (...) {
        return false;
    }
}

}  // namespace

RemoveResult RemoveScreenName(reg::RegistryReader& registry, ScriptShellFactory& shells, reg::NameArchive& archive,
                              std::wstring_view name, reg::NameSnapshot& removed, bool backUp) {
    removed = {std::wstring(name), {}, {}};
    if (!IsAddressableName(name)) return RemoveResult::kRefusedName;
    std::wstring file;
    if (const RemoveResult backedUp = BackUp(registry, archive, name, removed, file, backUp);
        backedUp != RemoveResult::kRemoved) {
        removed = {std::wstring(name), {}, {}};
        return backedUp;
    }
    // The key goes first and the value only after it: a key that cannot be
    // deleted (a subkey denied) then leaves the name listed, and a retry can
    // reach its settings; with the value gone first they would be orphaned.
    // Only what the backup holds goes: a setting that another program (the
    // messenger itself) wrote meanwhile stops the removal there, and stays.
    using enum reg::ArchiveStatus;
    const reg::ArchiveStatus keyGone = removed.key ? archive.DeleteSavedKey(USERS_KEY_PATH, *removed.key) : kDone;
    const bool valueAsSaved = keyGone == kDone && removed.value && ValueAsSaved(archive, name, *removed.value);
    if (valueAsSaved) modMyRegistry::DeleteValue(shells, modMyRegistry::kCurrentUser, USERS_KEY_PATH, name);
    if (!registry.NameRemains(USERS_KEY_PATH, name)) return RemoveResult::kRemoved;
    KeepWhatWent(archive, name, removed, file);
    if (keyGone == kHoldsLink) return RemoveResult::kHoldsLink;  // made one since it was read
    return keyGone == kChanged || (keyGone == kDone && !valueAsSaved) ? RemoveResult::kChanged : RemoveResult::kStays;
}

bool ReadBackupFile(reg::RegistryReader& registry, std::span<const std::uint8_t> fileBytes, reg::NameSnapshot& held,
                    std::wstring& why) {
    return reg::ReadBackup(fileBytes, USERS_KEY_PATH, SameNameIn(registry), held, why);
}

std::wstring FileNameOf(std::wstring_view path) { return std::wstring(path.substr(path.find_last_of(L"\\/") + 1)); }

// The file is read in full and judged before anything is written: a file
// that names anything but one screen name writes nothing at all.
RestoreResult RestoreScreenName(reg::RegistryReader& registry, reg::NameArchive& archive,
                                std::span<const std::uint8_t> fileBytes, reg::NameSnapshot& restored, std::wstring& why) {
    if (!ReadBackupFile(registry, fileBytes, restored, why)) return RestoreResult::kRefusedFile;
    if (!IsAddressableName(restored.name) || (restored.key && !IsAddressableName(restored.key->name))) {
        why = L"its name could not have been removed";
        return RestoreResult::kRefusedName;
    }
    if (registry.NameRemains(USERS_KEY_PATH, restored.name)) {
        why = L"a value or key of that name exists again";
        return RestoreResult::kExists;
    }
    if (!archive.Restore(USERS_KEY_PATH, restored)) {
        why = L"the registry refused to write it (access denied?); nothing of it was kept";
        return RestoreResult::kNotWritten;
    }
    return RestoreResult::kRestored;
}

}  // namespace ScreenNames

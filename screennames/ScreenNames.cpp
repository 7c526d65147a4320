#include "screennames/ScreenNames.h"

#include <algorithm>

#include "registry/RegFileReader.h"
#include "registry/RegFileWriter.h"
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

std::wstring_view RemoveReason(RemoveResult result, std::wstring_view name) {
    switch (result) {
    case RemoveResult::kRefusedName: break;
    case RemoveResult::kHoldsLink: return L"its settings key, or a key on the path to it, is or holds a registry link, which may lead outside the messenger's key";
    case RemoveResult::kUnreadable: return L"part of it could not be read (access denied?), so it could not be backed up";
    case RemoveResult::kNoBackupFolder: return L"there is no folder for its backup: %LOCALAPPDATA% and the local application data folder are unavailable";
    case RemoveResult::kBackupNotWritten: return L"its backup file could not be written";
    case RemoveResult::kChanged: return L"another program changed it while it was read or removed, and what it changed stays";
    case RemoveResult::kBackupWouldNotRestore:
        return L"its backup would not bring it back as it is (its settings hold a name that a backup file cannot say, "
               L"a registry link's value, or more than a backup file may hold), so no file was written";
    case RemoveResult::kStays:
    case RemoveResult::kRemoved: return L"the registry kept part of it (access denied, or another program holds it)";
    }
    switch (CheckName(name)) {
    case NameRule::kDefaultValue: return L"it is the key's default value, whose paths would name the whole Users key";
    case NameRule::kBackslash: return L"it holds a backslash, so its paths would name another name's settings";
    case NameRule::kLineBreak: return L"it holds a line break, which a backup file cannot name";
    case NameRule::kNul:
    case NameRule::kAddressable: break;
    }
    return L"it holds a NUL character, which would cut it short to another name";
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
// back exactly is never written. A removal only planned (`save` false) is
// checked as far as that, and writes nothing.
RemoveResult BackUp(const reg::RegistryReader& registry, reg::NameArchive& archive, std::wstring_view name,
                    reg::NameSnapshot& snapshot, std::wstring& file, bool write, bool save = true) noexcept {
    try {
        if (const reg::ArchiveStatus read = archive.Snapshot(USERS_KEY_PATH, name, snapshot);
            read != reg::ArchiveStatus::kDone || snapshot.Empty() || !write)
            return FromArchive(read);
        const reg::Moment now = archive.Now();
        const std::vector<std::uint8_t> bytes = reg::RegFileBytes(reg::RegExportText(USERS_KEY_PATH, snapshot, now));
        if (!reg::ReadsBackAs(bytes, USERS_KEY_PATH, SameNameIn(registry), snapshot)) {
            // A key read while another program adds to it may show a value
            // twice: that is no name a file cannot say, but a name that moved.
            reg::NameSnapshot again;
            const bool moved = archive.Snapshot(USERS_KEY_PATH, name, again) != reg::ArchiveStatus::kDone || again != snapshot;
            return moved ? RemoveResult::kChanged : RemoveResult::kBackupWouldNotRestore;
        }
        return save ? FromArchive(archive.SaveBackup(name, now, bytes, file)) : RemoveResult::kRemoved;
    } catch (...) {
        return RemoveResult::kBackupNotWritten;
    }
}

// After a failed delete, `removed` stays whole when any part of it went:
// undo then writes back only what is missing, which a list of what went
// could not say for a key tree deleted in part. A registry left as it was
// needs no backup file and no undo, or every retry of a stuck name would
// leave one more.
void KeepWhatWent(reg::NameArchive& archive, std::wstring_view name, reg::NameSnapshot& removed,
                  const std::wstring& file) noexcept {
    try {
        reg::NameSnapshot left;
        if (archive.Snapshot(USERS_KEY_PATH, name, left) != reg::ArchiveStatus::kDone) {
            removed = {removed.name, {}, {}};
            return;
        }
        if (left != removed) {
            if (!file.empty()) archive.MarkPartial(file);
            return;
        }
        if (!file.empty()) archive.DeleteBackup(file);
        removed = {removed.name, {}, {}};
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

// Two snapshots of one name compared item by item (the Users value, every
// key, every value in the tree), with names matched as the registry
// matches them.
struct Difference {
    bool within = true;         // every item of the part is in the whole
    bool agrees = true;         // with the same type and bytes
    reg::NameSnapshot missing;  // what of the whole the part lacks; a key the part holds stays as the path to it
};

bool SameData(const reg::ValueData& a, const reg::ValueData& b) { return a.type == b.type && a.bytes == b.bytes; }

template <typename Item>
const Item* FindNamed(const std::vector<Item>& items, std::wstring_view name, const reg::SameName& sameName) {
    const auto found = std::ranges::find_if(items, [&](const Item& item) { return sameName(item.name, name); });
    return found == items.end() ? nullptr : &*found;
}

void CompareValue(const reg::ValueData* whole, const reg::ValueData& part, Difference& difference) {
    if (whole == nullptr) difference.within = false;
    else if (!SameData(*whole, part)) difference.agrees = false;
}

// True when anything of `whole` is missing from `part` (null: no such key).
bool CompareTree(const reg::KeyTree& whole, const reg::KeyTree* part, const reg::SameName& sameName,
                 Difference& difference, reg::KeyTree& missing) {
    if (part == nullptr) {
        missing = whole;
        return true;
    }
    missing = {whole.name, {}, {}};
    for (const reg::ValueData& value : part->values)
        CompareValue(FindNamed(whole.values, value.name, sameName), value, difference);
    for (const reg::KeyTree& subkey : part->subkeys)
        if (FindNamed(whole.subkeys, subkey.name, sameName) == nullptr) difference.within = false;
    for (const reg::ValueData& value : whole.values)
        if (FindNamed(part->values, value.name, sameName) == nullptr) missing.values.push_back(value);
    for (const reg::KeyTree& subkey : whole.subkeys) {
        reg::KeyTree below;
        if (CompareTree(subkey, FindNamed(part->subkeys, subkey.name, sameName), sameName, difference, below))
            missing.subkeys.push_back(std::move(below));
    }
    return !missing.values.empty() || !missing.subkeys.empty();
}

Difference Compare(const reg::NameSnapshot& whole, const reg::NameSnapshot& part, const reg::SameName& sameName) {
    Difference difference;
    difference.missing.name = whole.name;
    if (part.value) CompareValue(whole.value ? &*whole.value : nullptr, *part.value, difference);
    else difference.missing.value = whole.value;
    if (part.key && !whole.key) difference.within = false;
    reg::KeyTree missing;
    if (whole.key && CompareTree(*whole.key, part.key ? &*part.key : nullptr, sameName, difference, missing))
        difference.missing.key = std::move(missing);
    return difference;
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

RemoveResult PlanRemoval(const reg::RegistryReader& registry, reg::NameArchive& archive, std::wstring_view name,
                         reg::NameSnapshot& planned, bool backUp) {
    planned = {std::wstring(name), {}, {}};
    if (!IsAddressableName(name)) return RemoveResult::kRefusedName;
    std::wstring file;
    return BackUp(registry, archive, name, planned, file, backUp, false);
}

bool ReadBackupFile(reg::RegistryReader& registry, std::span<const std::uint8_t> fileBytes, reg::NameSnapshot& held,
                    std::wstring& why) {
    return reg::ReadBackup(fileBytes, USERS_KEY_PATH, SameNameIn(registry), held, why);
}

std::wstring FileNameOf(std::wstring_view path) { return std::wstring(path.substr(path.find_last_of(L"\\/") + 1)); }

// What exists of the name must be exactly what the snapshot holds, item by
// item; only what is missing is written, so that a removal that went partway
// comes back whole without writing over anything another program made.
RestoreResult RestoreSnapshot(reg::RegistryReader& registry, reg::NameArchive& archive, reg::NameSnapshot& snapshot,
                              std::wstring& why) {
    reg::NameSnapshot present;
    if (const reg::ArchiveStatus read = archive.Snapshot(USERS_KEY_PATH, snapshot.name, present); read != reg::ArchiveStatus::kDone) {
        why = read == reg::ArchiveStatus::kHoldsLink ? RemoveReason(RemoveResult::kHoldsLink, snapshot.name)
                                                     : L"what exists of that name could not be read in full";
        return RestoreResult::kExists;
    }
    // What another program added since, as the messenger saving while the
    // removal ran, is no reason to refuse: it is left as it is, and only an
    // item the backup holds with other data stops the restore.
    Difference difference = Compare(snapshot, present, SameNameIn(registry));
    if (!difference.agrees || difference.missing.Empty()) {
        why = difference.agrees ? L"all of it is there already, as the backup holds it"
                                : L"a value or key of that name exists again, other than the backup holds it";
        return RestoreResult::kExists;
    }
    if (!archive.Restore(USERS_KEY_PATH, difference.missing, present)) {
        why = L"the registry refused a write (access denied?), or another program wrote part of it meanwhile; nothing "
              L"this restore wrote was kept";
        return RestoreResult::kNotWritten;
    }
    snapshot = std::move(difference.missing);
    return RestoreResult::kRestored;
}

// A retry after a partial failure backs up only what was left, a strict part
// of the backup before it: such older backups of one removal are merged into
// the newest. The first older one that holds less, or an item the newer
// lacks, belongs to an earlier removal and ends the run.
RestoreResult RestoreScreenName(reg::RegistryReader& registry, reg::NameArchive& archive,
                                std::span<const std::vector<std::uint8_t>> newestFirst, reg::NameSnapshot& restored,
                                std::wstring& why) {
    if (newestFirst.empty() || !ReadBackupFile(registry, newestFirst.front(), restored, why))
        return RestoreResult::kRefusedFile;
    for (const std::vector<std::uint8_t>& older : newestFirst.subspan(1)) {
        if (!reg::MarkedPartial(older)) break;
        reg::NameSnapshot held;
        std::wstring unread;
        if (!ReadBackupFile(registry, older, held, unread) || !registry.SameName(held.name, restored.name)) break;
        const Difference difference = Compare(held, restored, SameNameIn(registry));
        if (!difference.within || difference.missing.Empty()) break;
        if (!difference.agrees) {
            why = L"two of its backups hold an item with different data";
            return RestoreResult::kRefusedFile;
        }
        restored = std::move(held);
    }
    if (!IsAddressableName(restored.name) || (restored.key && !IsAddressableName(restored.key->name))) {
        why = L"its name could not have been removed";
        return RestoreResult::kRefusedName;
    }
    return RestoreSnapshot(registry, archive, restored, why);
}

}  // namespace ScreenNames

#include "screennames/ScreenNames.h"

#include <algorithm>
#include <utility>

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

namespace {

// Why a removal stopped, as both faces say it after CouldNotRemoveText.
std::wstring_view RemoveReason(What what, std::wstring_view name) {
    switch (what) {
    case What::kRefusedName: break;
    case What::kHoldsLink: return L"its settings key, or a key on the path to it, is or holds a registry link, which may lead outside the messenger's key";
    case What::kUnreadable: return L"part of it could not be read (access denied?), so it could not be backed up";
    case What::kNoBackupFolder: {
        static const std::wstring text = L"there is no folder for its backup: " + std::wstring(kNoBackupFolder);
        return text;
    }
    case What::kBackupNotWritten: return L"its backup file could not be written";
    case What::kChanged: return L"another program changed it while it was read or removed, and what it changed stays";
    case What::kBackupWouldNotRestore:
        return L"its backup would not bring it back as it is (its settings hold a name that a backup file cannot say, "
               L"a registry link's value, or more than a backup file may hold), so no file was written";
    case What::kStays:
    case What::kDone:
    case What::kRefusedFile:
    case What::kExists:
    case What::kNotWritten: return L"the registry kept part of it (access denied, or another program holds it)";
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

What FromArchive(reg::ArchiveStatus status) {
    switch (status) {
    case reg::ArchiveStatus::kDone: return What::kDone;
    case reg::ArchiveStatus::kHoldsLink: return What::kHoldsLink;
    case reg::ArchiveStatus::kUnreadable: return What::kUnreadable;
    case reg::ArchiveStatus::kNoBackupFolder: return What::kNoBackupFolder;
    case reg::ArchiveStatus::kChanged: return What::kChanged;
    case reg::ArchiveStatus::kNotWritten:
    case reg::ArchiveStatus::kDenied: break;
    }
    return What::kBackupNotWritten;
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
What BackUp(const reg::RegistryReader& registry, reg::NameArchive& archive, std::wstring_view name,
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
            return moved ? What::kChanged : What::kBackupWouldNotRestore;
        }
        std::wstring folder;
        return FromArchive(save ? archive.SaveBackup(name, now, bytes, file) : archive.BackupFolder(folder));
    } catch (...) {
        return What::kBackupNotWritten;
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

Outcome RemovalStopped(Job job, What what, reg::NameSnapshot snapshot) {
    std::wstring why(RemoveReason(what, snapshot.name));
    return {job, what, std::move(why), std::move(snapshot)};
}

// What a removal and its plan both refuse: a name whose paths would address
// other items, and whatever BackUp refuses. Only a removal saves its file.
Outcome Prepare(const reg::RegistryReader& registry, reg::NameArchive& archive, std::wstring_view name, Job job,
                bool backUp, std::wstring& file) {
    Outcome outcome{job, What::kRefusedName, {}, {std::wstring(name), {}, {}}};
    if (IsAddressableName(name))
        outcome.what = BackUp(registry, archive, name, outcome.snapshot, file, backUp, job == Job::kRemove);
    if (outcome.Done()) return outcome;
    Outcome stopped = RemovalStopped(job, outcome.what, {std::wstring(name), {}, {}});
    if (std::wstring folder; stopped.what == What::kNoBackupFolder && (archive.BackupFolder(folder), !folder.empty()))
        stopped.why = L"there is no folder for its backup: " + folder + L" does not exist, and cannot be made";
    return stopped;
}

// The one rule every restore keeps, so that nothing another program made is
// written over: what exists of the name must be exactly what the snapshot
// holds, item by item, and only what is missing is written. A removal that
// went partway so comes back whole.
Outcome RestoreSnapshot(reg::RegistryReader& registry, reg::NameArchive& archive, reg::NameSnapshot snapshot) {
    reg::NameSnapshot present;
    if (const reg::ArchiveStatus read = archive.Snapshot(USERS_KEY_PATH, snapshot.name, present); read != reg::ArchiveStatus::kDone) {
        std::wstring why(read == reg::ArchiveStatus::kHoldsLink ? RemoveReason(What::kHoldsLink, snapshot.name)
                                                                : L"what exists of that name could not be read in full");
        return Outcome{Job::kRestore, What::kExists, std::move(why), std::move(snapshot)};
    }
    // What another program added since, as the messenger saving while the
    // removal ran, is no reason to refuse: it is left as it is, and only an
    // item the backup holds with other data stops the restore.
    Difference difference = Compare(snapshot, present, SameNameIn(registry));
    if (!difference.agrees || difference.missing.Empty()) {
        std::wstring why(difference.agrees ? L"all of it is there already, as the backup holds it"
                                           : L"a value or key of that name exists again, other than the backup holds it");
        return Outcome{Job::kRestore, What::kExists, std::move(why), std::move(snapshot)};
    }
    if (!archive.Restore(USERS_KEY_PATH, difference.missing, present))
        return Outcome{Job::kRestore, What::kNotWritten,
                       L"the registry refused a write (access denied?), or another program wrote part of it meanwhile; "
                       L"nothing this restore wrote was kept",
                       std::move(snapshot)};
    return {Job::kRestore, What::kDone, {}, std::move(difference.missing)};
}

// A retry after a partial failure backs up only what was left, a strict part
// of the backup before it: such older backups of one removal are merged into
// the newest. The first older one that holds less, or an item the newer
// lacks, belongs to an earlier removal and ends the run.
Outcome RestoreBackups(reg::RegistryReader& registry, reg::NameArchive& archive, const NameBackups& backups) {
    reg::NameSnapshot restored;
    std::wstring why(kFileUnread);
    if (backups.newestFirst.empty() || !ReadBackupFile(registry, backups.newestFirst.front(), restored, why)) {
        if (restored.name.empty()) restored.name = FileNameOf(backups.asked);
        return Outcome{Job::kRestore, What::kRefusedFile, std::move(why), std::move(restored)};
    }
    for (const std::vector<std::uint8_t>& older : std::span(backups.newestFirst).subspan(1)) {
        if (!reg::MarkedPartial(older)) break;
        reg::NameSnapshot held;
        std::wstring unread;
        if (!ReadBackupFile(registry, older, held, unread) || !registry.SameName(held.name, restored.name)) break;
        const Difference difference = Compare(held, restored, SameNameIn(registry));
        if (!difference.within || difference.missing.Empty()) break;
        if (!difference.agrees)
            return Outcome{Job::kRestore, What::kRefusedFile, L"two of its backups hold an item with different data",
                           std::move(restored)};
        restored = std::move(held);
    }
    if (!IsAddressableName(restored.name) || (restored.key && !IsAddressableName(restored.key->name)))
        return Outcome{Job::kRestore, What::kRefusedName, L"its name could not have been removed", std::move(restored)};
    return RestoreSnapshot(registry, archive, std::move(restored));
}

}  // namespace

Outcome RemoveScreenName(reg::RegistryReader& registry, ScriptShellFactory& shells, reg::NameArchive& archive,
                         std::wstring_view name, bool backUp) {
    std::wstring file;
    Outcome outcome = Prepare(registry, archive, name, Job::kRemove, backUp, file);
    if (!outcome.Done()) return outcome;
    reg::NameSnapshot& removed = outcome.snapshot;
    // The key goes first and the value only after it: a key that cannot be
    // deleted (a subkey denied) then leaves the name listed, and a retry can
    // reach its settings; with the value gone first they would be orphaned.
    // Only what the backup holds goes: a setting that another program (the
    // messenger itself) wrote meanwhile stops the removal there, and stays.
    using enum reg::ArchiveStatus;
    const reg::ArchiveStatus keyGone = removed.key ? archive.DeleteSavedKey(USERS_KEY_PATH, *removed.key) : kDone;
    const bool valueAsSaved = keyGone == kDone && removed.value && ValueAsSaved(archive, name, *removed.value);
    if (valueAsSaved) modMyRegistry::DeleteValue(shells, modMyRegistry::kCurrentUser, USERS_KEY_PATH, name);
    if (!registry.NameRemains(USERS_KEY_PATH, name)) return outcome;
    KeepWhatWent(archive, name, removed, file);
    What what = What::kStays;
    if (keyGone == kHoldsLink) what = What::kHoldsLink;  // made one since it was read
    else if (keyGone == kChanged || (keyGone == kDone && !valueAsSaved)) what = What::kChanged;
    return RemovalStopped(Job::kRemove, what, std::move(removed));
}

Outcome PlanRemoval(const reg::RegistryReader& registry, reg::NameArchive& archive, std::wstring_view name, bool backUp) {
    std::wstring file;
    return Prepare(registry, archive, name, Job::kPlan, backUp, file);
}

// An undo's snapshot goes straight to the rule above; a file is first read
// as a name's backups are, so that a file that cannot be read is refused as
// one that reads as no backup.
Outcome RestoreScreenName(reg::RegistryReader& registry, reg::NameArchive& archive, RestoreFrom from) {
    if (const BackupPath* file = std::get_if<BackupPath>(&from)) {
        NameBackups read{file->path, std::vector<std::vector<std::uint8_t>>(1)};
        const reg::FileRead got = archive.ReadBackupFile(file->path, read.newestFirst.front());
        if (got == reg::FileRead::kMissing)
            return Outcome{Job::kRestore, What::kRefusedFile, std::wstring(kFileMissing), {FileNameOf(file->path), {}, {}}};
        if (got != reg::FileRead::kRead) read.newestFirst.clear();
        from = std::move(read);
    }
    if (const NameBackups* backups = std::get_if<NameBackups>(&from)) return RestoreBackups(registry, archive, *backups);
    return RestoreSnapshot(registry, archive, std::get<reg::NameSnapshot>(std::move(from)));
}

bool ReadBackupFile(const reg::RegistryReader& registry, std::span<const std::uint8_t> fileBytes, reg::NameSnapshot& held,
                    std::wstring& why) {
    return reg::ReadBackup(fileBytes, USERS_KEY_PATH, SameNameIn(registry), held, why);
}

std::wstring FileNameOf(std::wstring_view path) { return std::wstring(path.substr(path.find_last_of(L"\\/") + 1)); }

}  // namespace ScreenNames

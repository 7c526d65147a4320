#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "registry/KeyTree.h"
#include "registry/NameArchive.h"

namespace reg {
class RegistryReader;
}
class ScriptShellFactory;

// What a screen name is and what may be done with it, for the window and the
// command line alike.
namespace ScreenNames {

// Which rule, if any, keeps a name from being removed.
enum class NameRule { kAddressable, kDefaultValue, kBackslash, kLineBreak, kNul };

// What a job of the core did: removal, a removal only planned, or restore.
enum class Job { kRemove, kPlan, kRestore };

// What happened: the job done, or what stopped it.
enum class What {
    kDone,         // removed, would be removed, or restored
    kRefusedName,  // its paths would address other items than its own
    kHoldsLink,
    kUnreadable,
    kNoBackupFolder,
    kBackupNotWritten,
    kBackupWouldNotRestore,  // its file would not read back as the registry holds it
    kStays,                  // the registry kept some of it
    kChanged,                // another program changed part of it meanwhile, which stays
    kRefusedFile,            // not a backup of one screen name, or backups that disagree
    kExists,                 // all of it is there, or something of it other than the backup holds it
    kNotWritten,             // the registry refused a write, or another program wrote meanwhile; nothing of it stays
};

// The one answer of every job, which each face puts in its own words.
struct Outcome {
    Job job = Job::kRemove;
    What what = What::kDone;
    std::wstring why;  // as both faces say it after CouldNotRemoveText or CouldNotRestoreText; empty when done
    // Its name names the name the job was about. A removal's: what was taken,
    // for undo (after kStays or kChanged, all of it when any part went, else
    // nothing); a plan's: what would go; a restore's: what was written.
    reg::NameSnapshot snapshot;
    bool Done() const { return what == What::kDone; }
};

// Backs the screen name up, then deletes its settings key and its value as
// the backup holds them, and nothing written meanwhile. With `backUp` false
// no file is written, so there is none to read back; every other refusal
// still holds.
Outcome RemoveScreenName(reg::RegistryReader& registry, ScriptShellFactory& shells, reg::NameArchive& archive,
                         std::wstring_view name, bool backUp = true);
// What RemoveScreenName would take, read and checked as it would be, with
// nothing written or deleted.
Outcome PlanRemoval(const reg::RegistryReader& registry, reg::NameArchive& archive, std::wstring_view name,
                    bool backUp = true);

// What a restore brings back: an undo's snapshot; one backup file, read
// through the archive; or a name's backup files as read, newest first, which
// older backups of the same removal complete.
struct BackupPath {
    std::wstring path;
};
struct NameBackups {
    std::wstring asked;  // the name or file asked for: a newest file that names no screen name is reported by its last part
    std::vector<std::vector<std::uint8_t>> newestFirst;  // empty: the newest could not be read
};
using RestoreFrom = std::variant<reg::NameSnapshot, BackupPath, NameBackups>;
// Brings back what is missing of a screen name, all or nothing. Undo, the
// window's restore and the command line's restore all come here.
Outcome RestoreScreenName(reg::RegistryReader& registry, reg::NameArchive& archive, RestoreFrom from);

// Reads a backup file's bytes as the registry compares names; see
// reg::ReadBackup for what is refused.
bool ReadBackupFile(const reg::RegistryReader& registry, std::span<const std::uint8_t> fileBytes, reg::NameSnapshot& held,
                    std::wstring& why);
// The last part of a file's path, by which a file that names no screen name
// is reported.
std::wstring FileNameOf(std::wstring_view path);

NameRule CheckName(std::wstring_view name);
bool IsAddressableName(std::wstring_view name);
std::wstring CouldNotRemoveText(std::wstring_view name);
std::wstring CouldNotRestoreText(std::wstring_view name);
inline constexpr std::wstring_view kFileUnread = L"the file could not be read";
inline constexpr std::wstring_view kFileMissing = L"the file does not exist";
inline constexpr std::wstring_view kNoBackupFolder =
    L"the local application data folder (%LOCALAPPDATA%, or the account's shell folder for it) is not known";
// A command that the program's own error stopped part way, and why.
inline constexpr std::wstring_view kCouldNotFinish = L"Could not finish.";
constexpr std::wstring_view UnfinishedReason(bool outOfMemory) {
    return outOfMemory ? L"out of memory" : L"an unexpected error in the program";
}

}  // namespace ScreenNames

#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
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

// How a removal ended; anything but kRemoved leaves the name listed.
enum class RemoveResult {
    kRemoved,
    kRefusedName,  // its paths would address other items than its own
    kHoldsLink,
    kUnreadable,
    kNoBackupFolder,
    kBackupNotWritten,
    kBackupWouldNotRestore,  // its file would not read back as the registry holds it
    kStays,                  // the registry kept some of it
    kChanged,                // another program changed part of it meanwhile, which stays
};

// Backs the screen name up, then deletes its settings key and its value as
// the backup holds them, and nothing written meanwhile. `removed` holds what
// was taken, for undo: after kStays or kChanged, all of it when any part
// went, else nothing. The window and the command line both remove through
// here. With `backUp` false no file is written, so there is none to read
// back; every other refusal still holds.
RemoveResult RemoveScreenName(reg::RegistryReader& registry, ScriptShellFactory& shells, reg::NameArchive& archive,
                              std::wstring_view name, reg::NameSnapshot& removed, bool backUp = true);

// What RemoveScreenName would take, read and checked as it would be, with
// nothing written or deleted: kRemoved when it would go.
RemoveResult PlanRemoval(const reg::RegistryReader& registry, reg::NameArchive& archive, std::wstring_view name,
                         reg::NameSnapshot& planned, bool backUp = true);

// Reads a backup file's bytes as the registry compares names; see
// reg::ReadBackup for what is refused.
bool ReadBackupFile(reg::RegistryReader& registry, std::span<const std::uint8_t> fileBytes, reg::NameSnapshot& held,
                    std::wstring& why);
// The last part of a file's path, by which a file that names no screen name
// is reported.
std::wstring FileNameOf(std::wstring_view path);

enum class RestoreResult {
    kRestored,
    kRefusedFile,  // not a backup of one screen name, or backups that disagree; `why` says what
    kRefusedName,  // a name that could not have been removed
    kExists,       // all of it is there, or something of it other than the backup holds it
    kNotWritten,   // the registry refused a write, or another program wrote meanwhile; nothing of it stays
};

// Brings back what is missing of a screen name, exactly, all or nothing, and
// only where what exists of it is what the snapshot holds; once restored,
// `snapshot` holds what was written. Undo goes here.
RestoreResult RestoreSnapshot(reg::RegistryReader& registry, reg::NameArchive& archive, reg::NameSnapshot& snapshot,
                              std::wstring& why);
// The same from a name's backup files' bytes, newest first, which older
// backups of the same removal complete. `restored` names it whenever the
// newest could be read, and holds what was written once restored.
RestoreResult RestoreScreenName(reg::RegistryReader& registry, reg::NameArchive& archive,
                                std::span<const std::vector<std::uint8_t>> newestFirst, reg::NameSnapshot& restored,
                                std::wstring& why);

NameRule CheckName(std::wstring_view name);
bool IsAddressableName(std::wstring_view name);
std::wstring CouldNotRemoveText(std::wstring_view name);
std::wstring CouldNotRestoreText(std::wstring_view name);
// Why a removal or a restore failed, as both faces say it after the text above.
std::wstring_view RemoveReason(RemoveResult result, std::wstring_view name);
inline constexpr std::wstring_view kFileUnread = L"the file could not be read";
// A command that the program's own error stopped part way, and why.
inline constexpr std::wstring_view kCouldNotFinish = L"Could not finish.";
constexpr std::wstring_view UnfinishedReason(bool outOfMemory) {
    return outOfMemory ? L"out of memory" : L"an unexpected error in the program";
}

}  // namespace ScreenNames

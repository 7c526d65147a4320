#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "registry/BackupFileName.h"
#include "registry/KeyTree.h"
#include "registry/Moment.h"

namespace reg {

// What kept the archive from doing its part of a removal.
enum class ArchiveStatus {
    kDone,
    kHoldsLink,       // the name's key is, or holds, a registry link, or one is on the path to it
    kUnreadable,      // something of the name could not be read in full
    kNoBackupFolder,  // no folder for the backup could be found or made
    kNotWritten,      // the backup file could not be written whole
    kChanged,         // another program changed part of the name while it was removed
    kDenied,          // the registry refused to delete part of it
};

// A backup file's bytes read, or why not: a path mistyped is the likeliest
// miss, and is said so.
enum class FileRead { kRead, kMissing, kUnreadable };

// What removal, undo and restore need from the registry and the backup
// folder beyond reading names.
class NameArchive {
public:
    virtual ~NameArchive() = default;
    // A name with neither a value nor a key gives an empty snapshot.
    virtual ArchiveStatus Snapshot(std::wstring_view usersKeyPath, std::wstring_view name, NameSnapshot& snapshot) = 0;
    virtual Moment Now() = 0;
    // Writes one new backup file of the removal made at `removed`, named by
    // BackupFileName, and gives its path.
    virtual ArchiveStatus SaveBackup(std::wstring_view name, const Moment& removed,
                                     const std::vector<std::uint8_t>& fileBytes, std::wstring& path) = 0;
    // The folder that backups go into, empty where none is known: kDone when
    // a backup could be saved there now, making no folder but Tallowick's
    // own; else kNoBackupFolder.
    virtual ArchiveStatus BackupFolder(std::wstring& folder) = 0;
    // Deletes the name's settings key as `saved` holds it, deepest first: a
    // key that holds anything else now stops the removal there, and it and
    // the keys above it stay (kChanged).
    virtual ArchiveStatus DeleteSavedKey(std::wstring_view usersKeyPath, const KeyTree& saved) = 0;
    virtual bool DeleteBackup(const std::wstring& path) = 0;
    // Adds PartialRemovalMark() to the end of the backup.
    virtual void MarkPartial(const std::wstring& path) = 0;
    // The backup files, the last written first.
    virtual std::vector<BackupFile> Backups() = 0;
    virtual FileRead ReadBackupFile(const std::wstring& path, std::vector<std::uint8_t>& bytes) = 0;
    // Writes `missing`, what a restore lacks of the name: a key of it that
    // `present` holds is opened and filled, any other is made new; a key or
    // value that exists now though `present` lacks it stops the restore, and
    // so does a failed write. Then it takes back what it wrote, and only that.
    virtual bool Restore(std::wstring_view usersKeyPath, const NameSnapshot& missing, const NameSnapshot& present) = 0;
};

}  // namespace reg

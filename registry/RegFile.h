#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// A screen name as the registry holds it, read in full before it is
// removed: enough to put it back byte for byte, and the text of the file
// that regedit or `reg import` restores it from.
namespace reg {

struct ValueData {
    std::wstring name;  // empty: the key's default value
    std::uint32_t type = 0;
    std::vector<std::uint8_t> bytes;
    bool operator==(const ValueData&) const = default;
};

struct KeyTree {
    std::wstring name;  // as the registry spells it, which may differ in case from the screen name
    std::vector<ValueData> values;
    std::vector<KeyTree> subkeys;

    KeyTree() = default;
    KeyTree(std::wstring keyName, std::vector<ValueData> keyValues, std::vector<KeyTree> keySubkeys);
    KeyTree(const KeyTree&) = default;
    KeyTree(KeyTree&&) noexcept = default;
    KeyTree& operator=(const KeyTree&) = default;
    KeyTree& operator=(KeyTree&&) noexcept = default;
    ~KeyTree();
    bool operator==(const KeyTree&) const = default;
};

struct NameSnapshot {
    std::wstring name;
    std::optional<ValueData> value;  // the value under the Users key
    std::optional<KeyTree> key;      // the settings key of that name
    bool Empty() const { return !value && !key; }
    bool operator==(const NameSnapshot&) const = default;
};

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

// A point in time as this machine's clock tells it: UTC milliseconds since
// 1970, and how many minutes the local clock is ahead of UTC.
struct Moment {
    std::int64_t utc = 0;
    std::int32_t utcOffset = 0;
};

struct BackupFile {
    std::wstring path;
    Moment modified;  // last written, with the local clock's offset as it is now
};

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
    // Deletes the name's settings key as `saved` holds it, deepest first: a
    // key that holds anything else now stops the removal there, and it and
    // the keys above it stay (kChanged).
    virtual ArchiveStatus DeleteSavedKey(std::wstring_view usersKeyPath, const KeyTree& saved) = 0;
    virtual bool DeleteBackup(const std::wstring& path) = 0;
    // Adds PartialRemovalMark() to the end of the backup.
    virtual void MarkPartial(const std::wstring& path) = 0;
    // The backup files, the last written first.
    virtual std::vector<BackupFile> Backups() = 0;
    virtual bool ReadBackupFile(const std::wstring& path, std::vector<std::uint8_t>& bytes) = 0;
    // Writes `missing`, what a restore lacks of the name: a key of it that
    // `present` holds is opened and filled, any other is made new; a key or
    // value that exists now though `present` lacks it stops the restore, and
    // so does a failed write. Then it takes back what it wrote, and only that.
    virtual bool Restore(std::wstring_view usersKeyPath, const NameSnapshot& missing, const NameSnapshot& present) = 0;
};

// The .reg text regedit exports for the snapshot (lines end in CRLF), with
// when it was removed in a comment, and that text as the file's bytes:
// UTF-16LE after a byte order mark.
std::wstring RegExportText(std::wstring_view usersKeyPath, const NameSnapshot& snapshot,
                           const std::optional<Moment>& removed = std::nullopt);
std::vector<std::uint8_t> RegFileBytes(std::wstring_view text);
// Reads back a file that RegFileBytes made, or the registry editor exported:
// the one screen name it holds, byte for byte. Refused, with the reason in
// `why`, unless it only writes that name's value in the Users key and its
// key tree below it, in HKEY_CURRENT_USER, and deletes nothing: a backup
// must not become a way to write anywhere else.
using SameName = std::function<bool(std::wstring_view, std::wstring_view)>;
bool ReadBackup(std::span<const std::uint8_t> fileBytes, std::wstring_view usersKeyPath, const SameName& sameName,
                NameSnapshot& snapshot, std::wstring& why);
// Whether ReadBackup gives back exactly `snapshot`'s value and key tree.
bool ReadsBackAs(std::span<const std::uint8_t> fileBytes, std::wstring_view usersKeyPath, const SameName& sameName,
                 const NameSnapshot& snapshot);
// A backup is a few kilobytes: no file past this size is written as one,
// or read as one.
inline constexpr std::size_t kLargestBackup = std::size_t{64} << 20;
// What a backup gets at its end when its removal stops partway, and whether
// a file ends so: only such an older backup of a name joins a newer one when
// the name is restored, never one of an earlier, separate removal.
std::vector<std::uint8_t> PartialRemovalMark();
bool MarkedPartial(std::span<const std::uint8_t> fileBytes);
// "YYYY-MM-DD HH.MM.SS.mmm NAME.reg" in local time, a number after the time
// where `attempt` > 1, and the name escaped so that no two names share one.
std::wstring BackupFileName(const Moment& removed, int attempt, std::wstring_view name);
// When the removal that wrote a backup was: the time its text records, else
// its file name's, else when it was last written. `utc` orders backups;
// `local` ("YYYY-MM-DD HH:MM:SS") is what a user is shown.
struct RemovalTime {
    std::int64_t utc = 0;
    std::wstring local;
};
RemovalTime WhenRemoved(std::span<const std::uint8_t> fileBytes, const BackupFile& file);

}  // namespace reg

#pragma once

#include <cstdint>
#include <optional>
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
    bool operator==(const KeyTree&) const = default;
};

struct NameSnapshot {
    std::wstring name;
    std::optional<ValueData> value;  // the value under the Users key
    std::optional<KeyTree> key;      // the settings key of that name
    bool Empty() const { return !value && !key; }
};

// What removal and undo need from the registry beyond reading names.
class NameArchive {
public:
    virtual ~NameArchive() = default;
    // False when anything of the name could not be read in full. A name
    // with neither a value nor a key gives an empty snapshot and true.
    virtual bool Snapshot(std::wstring_view usersKeyPath, std::wstring_view name, NameSnapshot& snapshot) = 0;
    // Writes one backup file of the removal; false when it is not all on disk.
    virtual bool SaveBackup(std::wstring_view name, const std::vector<std::uint8_t>& fileBytes) = 0;
    // Writes nothing when a value or key of the name exists, and takes back
    // what it wrote when a later write fails.
    virtual bool Restore(std::wstring_view usersKeyPath, const NameSnapshot& snapshot) = 0;
};

// The .reg text regedit exports for the snapshot (lines end in CRLF), and
// that text as the file's bytes: UTF-16LE after a byte order mark.
std::wstring RegExportText(std::wstring_view usersKeyPath, const NameSnapshot& snapshot);
std::vector<std::uint8_t> RegFileBytes(std::wstring_view text);
// "STAMP NAME.reg", with the characters that file names forbid replaced.
std::wstring BackupFileName(std::wstring_view stamp, std::wstring_view name);

}  // namespace reg

#pragma once

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "registry/RegFile.h"
#include "registry/RegistryTypes.h"
#include "registry/ScriptShell.h"

// The Users key held in memory, with the real registry's results: names
// compared without case over all of Unicode, 259 at the end of a list, 234
// when a name does not fit its buffer. A name's settings key is only a name
// here, and a snapshot holds no data: the bytes are the Wine tests' business.
class MemoryRegistry final : public reg::RegistryReader, public ScriptShellFactory, public reg::NameArchive {
public:
    struct NoCaseLess {
        bool operator()(std::wstring_view a, std::wstring_view b) const;
        using is_transparent = void;
    };
    using Names = std::set<std::wstring, NoCaseLess>;

    std::unique_ptr<reg::OpenedKey> OpenCurrentUser(std::wstring_view keyPath, reg::Status& status) override;
    bool NameRemains(std::wstring_view keyPath, std::wstring_view name) override;
    bool SameName(std::wstring_view a, std::wstring_view b) const override;
    std::unique_ptr<ScriptShell> Create() override;
    reg::ArchiveStatus Snapshot(std::wstring_view usersKeyPath, std::wstring_view name, reg::NameSnapshot& snapshot) override;
    reg::ArchiveStatus SaveBackup(std::wstring_view name, const std::vector<std::uint8_t>& fileBytes, std::wstring& path) override;
    bool DeleteBackup(const std::wstring& path) override;
    std::vector<reg::BackupFile> Backups() override;
    bool ReadBackupFile(const std::wstring& path, std::vector<std::uint8_t>& bytes) override;
    bool Restore(std::wstring_view usersKeyPath, const reg::NameSnapshot& snapshot) override;

    bool usersKeyExists = true;
    Names values, keys;  // below the Users key
    // What the tests set and look at.
    std::optional<std::uint32_t> reportedMaxName;  // a wrong answer to the longest-name query
    bool shellCreationFails = false, backupFails = false, keysLocked = false, valuesLocked = false;
    reg::Status openStatus = reg::kSuccess;          // the Users key's open answers this
    std::optional<std::uint32_t> unreadableFrom;     // listing from this index is denied
    reg::ArchiveStatus snapshotStatus = reg::ArchiveStatus::kDone;
    std::vector<std::wstring> deleteRequests, backups;  // the names backed up, in "NAME.reg"
    std::map<std::wstring, std::vector<std::uint8_t>> files;
    int liveShells = 0;

private:
    class Shell;
    class Handle;
};

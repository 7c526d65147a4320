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

// HKEY_CURRENT_USER held in memory, with the real registry's results: names
// compared without case over all of Unicode, 259 at the end of a list, 234
// when a name does not fit its buffer. It is the registry reader and the
// scripting shell's store of the unit tests and the fuzzer. Values are names
// only: a snapshot holds no type or data.
class MemoryRegistry final : public reg::RegistryReader, public ScriptShellFactory, public reg::NameArchive {
public:
    struct NoCaseLess {
        bool operator()(std::wstring_view a, std::wstring_view b) const;
        using is_transparent = void;
    };
    struct Key {
        std::set<std::wstring, NoCaseLess> values;
        std::map<std::wstring, Key, NoCaseLess> subkeys;
        bool operator==(const Key&) const = default;
    };

    // Missing keys on the way are created.
    Key& CreateKey(std::wstring_view path);
    const Key* FindKey(std::wstring_view path) const;

    std::unique_ptr<reg::OpenedKey> OpenCurrentUser(std::wstring_view keyPath, reg::Status& status) override;
    bool NameRemains(std::wstring_view keyPath, std::wstring_view name) override;
    bool SameName(std::wstring_view a, std::wstring_view b) const override {
        return !NoCaseLess{}(a, b) && !NoCaseLess{}(b, a);
    }
    std::unique_ptr<ScriptShell> Create() override;
    bool Snapshot(std::wstring_view usersKeyPath, std::wstring_view name, reg::NameSnapshot& snapshot) override;
    bool SaveBackup(std::wstring_view name, const std::vector<std::uint8_t>& fileBytes) override;
    bool Restore(std::wstring_view usersKeyPath, const reg::NameSnapshot& snapshot) override;

    // What the tests look at and set: every path handed to a shell, shells
    // alive now, whether shells can be made, and a wrong answer to the
    // longest-name query.
    std::vector<std::wstring> deleteRequests;
    int liveShells = 0;
    bool shellCreationFails = false;
    std::optional<std::uint32_t> reportedMaxName;
    std::vector<std::wstring> backups;  // the names backed up
    bool backupFails = false;

private:
    class Shell;
    class Handle;
    bool Delete(std::wstring_view path);
    Key root_;
};

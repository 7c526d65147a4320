#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "registry/RegistryTypes.h"
#include "registry/ScriptShell.h"

// A registry held in memory, with the results of the real one: values kept in
// case-insensitive name order (as Wine keeps them), 259 at the end of a list,
// 234 when a name does not fit its buffer. It serves as the registry reader
// and as the scripting shell's store in the unit tests.
class MemoryRegistry final : public reg::RegistryReader, public ScriptShellFactory {
public:
    struct CaseInsensitiveLess {
        bool operator()(const std::wstring& a, const std::wstring& b) const;
    };
    struct Key {
        std::map<std::wstring, std::size_t, CaseInsensitiveLess> values;  // name -> data size
        std::map<std::wstring, Key, CaseInsensitiveLess> subkeys;
    };

    // Paths are below HKEY_CURRENT_USER; missing keys on the way are created.
    Key& CreateKey(std::wstring_view path);
    void SetValue(std::wstring_view keyPath, std::wstring_view name, std::size_t dataSize = 0);
    bool RemoveKey(std::wstring_view path);
    const Key* FindKey(std::wstring_view path) const;

    std::unique_ptr<reg::OpenKey> OpenCurrentUser(std::wstring_view keyPath, reg::Status& status) override;
    bool NameRemains(std::wstring_view keyPath, std::wstring_view name) override;
    std::unique_ptr<ScriptShell> Create() override;

    // What the tests look at: every path handed to a shell, shells alive now,
    // and whether the next shells can be made at all.
    std::vector<std::wstring> deleteRequests;
    int liveShells = 0;
    bool shellCreationFails = false;

private:
    class Shell;
    class Handle;
    bool Delete(std::wstring_view path);
    Key* FindMutableKey(std::wstring_view path);
    template <typename K>
    static K* FindIn(K& root, std::wstring_view path);
    Key currentUser_;
};

#pragma once

#include <windows.h>

#include "platform/common/Win32Handles.h"
#include "registry/RegistryTypes.h"

// Whether opening the key `name` with the answer `opened` means that there
// is no such key.
bool NoSuchKey(LSTATUS opened, std::wstring_view name);

// A key that a program running as the user made with REG_OPTION_CREATE_LINK
// stands for another key anywhere in the registry: `key` opened with
// REG_OPTION_OPEN_LINK tells whether it is such a link.
bool IsRegistryLink(HKEY key);

// `path` below `root`, opened one key at a time, none followed if it is a
// registry link: reg::kLinkOnPath (ERROR_STOPPED_ON_SYMLINK) where any key of
// the path is one.
LSTATUS OpenWithoutLinks(HKEY root, std::wstring_view path, REGSAM access, UniqueHKey& key);

// A user's registry through the wide-character Win32 API: below `root`, the
// current user's or another account's hive, which must outlive this.
class Win32Registry final : public reg::RegistryReader {
public:
    explicit Win32Registry(HKEY root = HKEY_CURRENT_USER) : root_(root) {}
    std::unique_ptr<reg::OpenedKey> OpenCurrentUser(std::wstring_view keyPath, reg::Status& status) override;
    bool NameRemains(std::wstring_view keyPath, std::wstring_view name) override;
    bool SameName(std::wstring_view a, std::wstring_view b) const override;

private:
    HKEY root_;
};

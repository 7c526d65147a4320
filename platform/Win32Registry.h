#pragma once

#include <windows.h>

#include "registry/RegistryTypes.h"

// Whether opening the key `name` with the answer `opened` means that there
// is no such key.
bool NoSuchKey(LSTATUS opened, std::wstring_view name);

// The current user's registry through the wide-character Win32 API.
class Win32Registry final : public reg::RegistryReader {
public:
    std::unique_ptr<reg::OpenedKey> OpenCurrentUser(std::wstring_view keyPath, reg::Status& status) override;
    bool NameRemains(std::wstring_view keyPath, std::wstring_view name) override;
    bool SameName(std::wstring_view a, std::wstring_view b) const override;
};

#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/Win32Handles.h"

namespace bench {

enum class ClaimResult { Claimed, Occupied, Failed };

// The product's Users key, borrowed for made-up names. It is taken only
// when it holds nothing (or the caller forces it), and what the bench adds
// is deleted again when this object goes; keys the bench had to create are
// volatile, so that even a crashed run leaves nothing behind after logoff
// and Wine's wineserver never spends time saving them to user.reg.
class ScratchUsersKey {
public:
    ScratchUsersKey() = default;
    ~ScratchUsersKey();
    ScratchUsersKey(const ScratchUsersKey&) = delete;
    ScratchUsersKey& operator=(const ScratchUsersKey&) = delete;

    // Occupied: the key holds values or subkeys and `force` is false; `why`
    // says what it holds. With `force` those are deleted.
    ClaimResult Claim(bool force, std::wstring& why);

    // Empties the key, then writes one value per name; every other name (the
    // even positions) also gets its settings subtree.
    LSTATUS Fill(const std::vector<std::wstring>& names);
    LSTATUS AddName(std::wstring_view name, bool withSettings);
    LSTATUS Empty();
    bool HasValue(std::wstring_view name) const;

private:
    LSTATUS CreateKey(HKEY parent, std::wstring_view name, UniqueHKey& key) const;

    UniqueHKey users_;
    std::wstring createdRoot_;  // below HKCU; empty when the Users key was there before
    DWORD options_ = REG_OPTION_NON_VOLATILE;
};

}  // namespace bench

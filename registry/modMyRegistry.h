#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class ScriptShellFactory;

namespace modMyRegistry {

// The root-key numbers that RootKeyName maps; the screen names live under this one.
inline constexpr std::int32_t kCurrentUser = 1;

std::wstring RootKeyName(std::int32_t rootKey);
std::wstring EnsureLeadingSlash(std::wstring_view text);
std::wstring EnsureTrailingSlash(std::wstring_view text);
std::wstring StripTrailingSlash(std::wstring_view text);

std::wstring ValuePath(std::int32_t rootKey, std::wstring_view keyPath, std::wstring_view valueName);
std::wstring KeyPath(std::int32_t rootKey, std::wstring_view keyPath, std::wstring_view keyName);

bool DeleteValue(ScriptShellFactory& shells, std::int32_t rootKey, std::wstring_view keyPath,
                 std::wstring_view valueName);
bool DeleteKey(ScriptShellFactory& shells, std::int32_t rootKey, std::wstring_view keyPath,
               std::wstring_view keyName);

}  // namespace modMyRegistry

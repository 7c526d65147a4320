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

// A path of the shell's, split: the root-key number, the key below the root
// (no trailing backslash) and, for a value, its name.
struct ShellPath {
    std::int32_t rootKey = 0;
    std::wstring key;
    std::wstring item;
    bool namesKey = false;
    bool operator==(const ShellPath&) const = default;
};
// False for a path with no known root, an empty part, or one that names a
// root itself: handed to the registry API it would address the root's whole
// contents.
bool ParseShellPath(std::wstring_view path, ShellPath& parsed);

std::wstring ValuePath(std::int32_t rootKey, std::wstring_view keyPath, std::wstring_view valueName);
std::wstring KeyPath(std::int32_t rootKey, std::wstring_view keyPath, std::wstring_view keyName);

bool DeleteValue(ScriptShellFactory& shells, std::int32_t rootKey, std::wstring_view keyPath,
                 std::wstring_view valueName);
bool DeleteKey(ScriptShellFactory& shells, std::int32_t rootKey, std::wstring_view keyPath,
               std::wstring_view keyName);

}  // namespace modMyRegistry

#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class ScriptShellFactory;

namespace modMyRegistry {

// The root-key numbers that RootKeyName and ParseShellPath use, and that
// the platform maps to its own root handles; the screen names live under
// HKEY_CURRENT_USER.
inline constexpr std::int32_t kClassesRoot = 0, kCurrentUser = 1, kLocalMachine = 2, kCurrentConfig = 3, kUsers = 4;
inline constexpr std::size_t kRootCount = 5;

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

#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

// The registry as the screen-name code sees it: the result codes it acts on,
// and the few reads it makes. The Win32 registry and the in-memory registry of
// the unit tests both stand behind these interfaces.
namespace reg {

using Status = std::int32_t;
inline constexpr Status kSuccess = 0;
inline constexpr Status kFileNotFound = 2;
inline constexpr Status kMoreData = 234;
inline constexpr Status kNoMoreItems = 259;
// A key on the path to the one asked for is a registry link, which may lead
// anywhere in the registry: nothing through it is read or written. Win32 calls
// it ERROR_STOPPED_ON_SYMLINK.
inline constexpr Status kLinkOnPath = 681;
inline constexpr Status kAccessDenied = 5;
// Why an account's registry file could not be loaded.
inline constexpr Status kPathNotFound = 3, kSharingViolation = 32, kBadDb = 1009, kRegistryCorrupt = 1015,
                        kNotRegistryFile = 1017, kAlreadyExists = 183, kBadPathname = 161;

// Root key names, the registry editor's own words and the command line's
// switches are the same whatever the case of their ASCII letters.
inline bool SameAsciiNoCase(std::wstring_view a, std::wstring_view b) {
    const auto lower = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; };
    return std::ranges::equal(a, b, {}, lower, lower);
}

// The registry's own limit on a value name, in characters.
inline constexpr std::uint32_t kLongestValueName = 16383;
// And on how many levels deep a key lies below its root key.
inline constexpr std::size_t kDeepestKey = 512;

class OpenedKey {
public:
    virtual ~OpenedKey() = default;
    virtual Status QueryMaxValueNameLength(std::uint32_t& chars) = 0;
    // `length` is the capacity of `buffer` in characters on the way in, and
    // the name's length without its terminating NUL on the way out.
    virtual Status EnumValueName(std::uint32_t index, std::span<wchar_t> buffer, std::uint32_t& length) = 0;
    // The subkey at `index`, as EnumValueName counts; kNoMoreItems past the last.
    virtual Status EnumSubkeyName(std::uint32_t index, std::wstring& name) = 0;
    // Whether the key holds a value of this name, matched as the registry
    // matches names; anything but a clear "no" counts as yes.
    virtual bool HoldsValue(std::wstring_view name) = 0;
};

class RegistryReader {
public:
    virtual ~RegistryReader() = default;
    // Opens a key below the user's root key (HKEY_CURRENT_USER, or another
    // account's) for reading.
    virtual std::unique_ptr<OpenedKey> OpenCurrentUser(std::wstring_view keyPath, Status& status) = 0;
    virtual bool NameRemains(std::wstring_view keyPath, std::wstring_view name) = 0;
    // Whether the registry takes the two for one name: it ignores case.
    virtual bool SameName(std::wstring_view a, std::wstring_view b) const = 0;
};

}  // namespace reg

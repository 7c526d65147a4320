#include "registry/modMyRegistry.h"

#include "registry/ScriptShell.h"

namespace modMyRegistry {
namespace {

constexpr wchar_t kSlash = L'\\';

// The shell is made afresh for every delete and released on every way out,
// so no state outlives a call. Every failure, an exhausted heap included,
// becomes a false result: the caller checks what is left in the registry.
template <typename ComposePath>
bool Delete(ScriptShellFactory& shells, ComposePath composePath) noexcept {
    try {
        const std::wstring path = composePath();
        const std::unique_ptr<ScriptShell> shell = shells.Create();
        return shell != nullptr && shell->RegDelete(path);
    } catch (...) {
        return false;
    }
}

}  // namespace

std::wstring RootKeyName(std::int32_t rootKey) {
    switch (rootKey) {
    case 0: return L"HKEY_CLASSES_ROOT";
    case 1: return L"HKEY_CURRENT_USER";
    case 2: return L"HKEY_LOCAL_MACHINE";
    case 3: return L"HKEY_CURRENT_CONFIG";
    default: return L"HKEY_USERS";
    }
}

std::wstring EnsureLeadingSlash(std::wstring_view text) {
    if (!text.empty() && text.front() == kSlash) return std::wstring(text);
    return kSlash + std::wstring(text);
}

std::wstring EnsureTrailingSlash(std::wstring_view text) {
    if (!text.empty() && text.back() == kSlash) return std::wstring(text);
    return std::wstring(text) + kSlash;
}

std::wstring StripTrailingSlash(std::wstring_view text) {
    if (!text.empty() && text.back() == kSlash) text.remove_suffix(1);
    return std::wstring(text);
}

std::wstring ValuePath(std::int32_t rootKey, std::wstring_view keyPath, std::wstring_view valueName) {
    return RootKeyName(rootKey) + StripTrailingSlash(EnsureLeadingSlash(keyPath)) +
           StripTrailingSlash(EnsureLeadingSlash(valueName));
}

std::wstring KeyPath(std::int32_t rootKey, std::wstring_view keyPath, std::wstring_view keyName) {
    return RootKeyName(rootKey) + StripTrailingSlash(EnsureLeadingSlash(keyPath)) +
           EnsureLeadingSlash(EnsureTrailingSlash(keyName));
}

bool DeleteValue(ScriptShellFactory& shells, std::int32_t rootKey, std::wstring_view keyPath,
                 std::wstring_view valueName) {
    return Delete(shells, [&] { return ValuePath(rootKey, keyPath, valueName); });
}

bool DeleteKey(ScriptShellFactory& shells, std::int32_t rootKey, std::wstring_view keyPath,
               std::wstring_view keyName) {
    return Delete(shells, [&] { return KeyPath(rootKey, keyPath, keyName); });
}

}  // namespace modMyRegistry

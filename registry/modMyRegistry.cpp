#include "registry/modMyRegistry.h"

#include <algorithm>

#include "registry/RegistryTypes.h"
#include "registry/ScriptShell.h"

namespace modMyRegistry {
namespace {

constexpr wchar_t kSlash = L'\\';

// The roots by number, with the short names the shell also takes; any other
// number is HKEY_USERS.
struct Root {
    std::int32_t number;
    std::wstring_view name, shortName;
};
constexpr Root kRoots[] = {
    {kClassesRoot, L"HKEY_CLASSES_ROOT", L"HKCR"},
    {kCurrentUser, L"HKEY_CURRENT_USER", L"HKCU"},
    {kLocalMachine, L"HKEY_LOCAL_MACHINE", L"HKLM"},
    {kCurrentConfig, L"HKEY_CURRENT_CONFIG", L"HKEY_CURRENT_CONFIG"},
    {kUsers, L"HKEY_USERS", L"HKU"},
};
// The platform keeps a handle per number, indexed by it: the numbers run
// 0 to kRootCount - 1, each once.
static_assert(std::size(kRoots) == kRootCount && std::ranges::all_of(kRoots, [](const Root& root) {
                  return root.number >= 0 && static_cast<std::size_t>(root.number) < kRootCount &&
                         std::ranges::count(kRoots, root.number, &Root::number) == 1;
              }));

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
    for (const Root& root : kRoots)
        if (root.number == rootKey) return std::wstring(root.name);
    return L"HKEY_USERS";
}

bool ParseShellPath(std::wstring_view path, ShellPath& parsed) {
    const std::size_t rootEnd = path.find(kSlash);
    if (rootEnd == std::wstring_view::npos) return false;
    const std::wstring_view rootName = path.substr(0, rootEnd);
    const auto* const root = std::ranges::find_if(kRoots, [&](const Root& r) {
        return reg::SameAsciiNoCase(rootName, r.name) || reg::SameAsciiNoCase(rootName, r.shortName);
    });
    std::wstring_view rest = path.substr(rootEnd + 1);
    parsed.namesKey = rest.ends_with(kSlash);
    if (parsed.namesKey) rest.remove_suffix(1);
    if (root == std::end(kRoots) || rest.empty() || rest.starts_with(kSlash) || rest.ends_with(kSlash) ||
        rest.find(L"\\\\") != std::wstring_view::npos)
        return false;
    parsed.rootKey = root->number;
    const std::size_t lastSlash = parsed.namesKey ? rest.size() : rest.rfind(kSlash);
    if (lastSlash == std::wstring_view::npos) return false;
    parsed.key = rest.substr(0, lastSlash);
    parsed.item = parsed.namesKey ? std::wstring() : std::wstring(rest.substr(lastSlash + 1));
    return true;
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

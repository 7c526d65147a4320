#include "screennames/EnumerateValues.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "registry/RegistryTypes.h"
#include "registry/UsersKey.h"
#include "screennames/ListingOps.h"

namespace EnumerateValues {
namespace {

constexpr std::wstring_view kFoundSuffix = L" ScreeNames(s) found.";
constexpr std::wstring_view kCouldNotRead = L"Could not read the screen names.";
// Room for a name of `chars` characters and its terminating NUL, never more
// than the longest name the registry allows needs.
std::size_t CapacityFor(std::uint32_t chars) { return std::min(chars, reg::kLongestValueName) + std::size_t{1}; }

// The Users key; null with kSuccess where there is none, which holds no
// names, else null with why it could not be opened.
std::unique_ptr<reg::OpenedKey> OpenUsersKey(reg::RegistryReader& registry, reg::Status& status) {
    std::unique_ptr<reg::OpenedKey> key = registry.OpenCurrentUser(USERS_KEY_PATH, status);
    if (status == reg::kFileNotFound) {
        status = reg::kSuccess;
        return nullptr;
    }
    if (key == nullptr || status != reg::kSuccess) {
        status = status == reg::kSuccess ? reg::kFileNotFound : status;
        return nullptr;
    }
    return key;
}

// Only value names are read, never their data: a value with more data than
// a buffer holds must not end the listing or cost us its name. The name
// buffer is sized from the key's own longest name, and grown again when
// another process adds a longer one while we read. The key's answer is capped
// at the registry's limit first: a wrong one must not wrap the size around
// or allocate gigabytes. `visit` returns false to stop. Only a missing key
// and the end of the list are a complete listing: any other answer (access
// denied, the key deleted while it is read) must not pass for fewer names.
template <typename Visit>
reg::Status ForEachName(reg::RegistryReader& registry, Visit visit) {
    reg::Status status = reg::kSuccess;
    const std::unique_ptr<reg::OpenedKey> key = OpenUsersKey(registry, status);
    if (key == nullptr) return status;

    std::uint32_t maxNameLength = 0;
    if (status = key->QueryMaxValueNameLength(maxNameLength); status != reg::kSuccess) return status;
    std::vector<wchar_t> name(CapacityFor(maxNameLength));

    for (std::uint32_t index = 0;;) {
        std::uint32_t length = static_cast<std::uint32_t>(name.size());
        status = key->EnumValueName(index, name, length);
        if (status == reg::kMoreData) {
            if (name.size() >= CapacityFor(reg::kLongestValueName)) return status;
            if (status = key->QueryMaxValueNameLength(maxNameLength); status != reg::kSuccess) return status;
            name.resize(std::min(std::max(CapacityFor(maxNameLength), name.size() * 2), CapacityFor(reg::kLongestValueName)));
            continue;
        }
        if (status == reg::kNoMoreItems) return reg::kSuccess;
        if (status != reg::kSuccess) return status;
        // The key's default value is no screen name: not listed, not counted.
        if (length != 0 && !visit(std::wstring_view(name.data(), length))) return reg::kSuccess;
        ++index;
    }
}

}  // namespace

std::wstring FoundText(int count) { return std::to_wstring(count) + std::wstring(kFoundSuffix); }

std::wstring CouldNotReadText() { return std::wstring(kCouldNotRead); }

std::wstring CouldNotReadReason(reg::Status status) {
    if (status == reg::kLinkOnPath)
        return L"a key on the path to the messenger's key is a registry link, which may lead anywhere in the registry; "
               L"nothing was read or changed";
    if (status == reg::kAccessDenied) return L"access to the messenger's key is denied";
    return L"the registry answered error " + std::to_wstring(status);
}

std::wstring LeftoverText(std::size_t count) {
    if (count == 0) return {};
    return std::to_wstring(count) + (count == 1 ? L" leftover settings key" : L" leftover settings keys") +
           L" (right-click: Remove leftover settings).";
}

reg::Status LoadScreenNames(reg::RegistryReader& registry, NameListOps& lstNames, StatusOps& statusBar) {
    return ForEachName(registry, [&](std::wstring_view name) {
        lstNames.AddItem(name, kItemIcon);
        statusBar.SetPanelText(1, FoundText(lstNames.ItemCount()));
        return true;
    });
}

reg::Status ListScreenNames(reg::RegistryReader& registry, std::vector<std::wstring>& names) {
    names.clear();
    return ForEachName(registry, [&](std::wstring_view name) {
        names.emplace_back(name);
        return true;
    });
}

reg::Status ListLeftoverSettings(reg::RegistryReader& registry, std::vector<std::wstring>& keys) {
    keys.clear();
    reg::Status status = reg::kSuccess;
    const std::unique_ptr<reg::OpenedKey> key = OpenUsersKey(registry, status);
    if (key == nullptr) return status;
    std::wstring name;
    for (std::uint32_t index = 0; (status = key->EnumSubkeyName(index, name)) == reg::kSuccess; ++index)
        if (!key->HoldsValue(name)) keys.push_back(name);
    return status == reg::kNoMoreItems ? reg::kSuccess : status;
}

std::optional<int> PositionOf(reg::RegistryReader& registry, std::wstring_view name) {
    std::optional<int> found;
    int item = 0;
    ForEachName(registry, [&](std::wstring_view listed) {
        ++item;
        if (listed == name) found = item;
        return !found;
    });
    return found;
}

}  // namespace EnumerateValues

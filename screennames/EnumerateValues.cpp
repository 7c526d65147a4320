#include "screennames/EnumerateValues.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "registry/RegistryTypes.h"
#include "registry/UsersKey.h"
#include "window/WindowOps.h"

namespace EnumerateValues {
namespace {

constexpr std::wstring_view kFoundSuffix = L" ScreeNames(s) found.";
// Room for a name of `chars` characters and its terminating NUL, never more
// than the longest name the registry allows needs.
std::size_t CapacityFor(std::uint32_t chars) { return std::min(chars, reg::kLongestValueName) + std::size_t{1}; }

// Only value names are read, never their data: asking for the data made a
// value with more than a buffer's worth of it end the listing early. The
// name buffer is sized from the key's own longest name, and grown again when
// another process adds a longer one while we read. The key's answer is capped
// at the registry's limit first: a wrong one must not wrap the size around
// or allocate gigabytes. `visit` returns false to stop.
template <typename Visit>
void ForEachName(reg::RegistryReader& registry, Visit visit) {
    reg::Status status = reg::kSuccess;
    const std::unique_ptr<reg::OpenedKey> key = registry.OpenCurrentUser(USERS_KEY_PATH, status);
    if (key == nullptr || status != reg::kSuccess) return;

    std::uint32_t maxNameLength = 0;
    if (key->QueryMaxValueNameLength(maxNameLength) != reg::kSuccess) return;
    std::vector<wchar_t> name(CapacityFor(maxNameLength));

    for (std::uint32_t index = 0;;) {
        std::uint32_t length = static_cast<std::uint32_t>(name.size());
        status = key->EnumValueName(index, name, length);
        if (status == reg::kMoreData) {
            if (name.size() >= CapacityFor(reg::kLongestValueName)) return;
            if (key->QueryMaxValueNameLength(maxNameLength) != reg::kSuccess) return;
            name.resize(std::min(std::max(CapacityFor(maxNameLength), name.size() * 2), CapacityFor(reg::kLongestValueName)));
            continue;
        }
        // End of the list, or the key went away under us: nothing to list.
        if (status != reg::kSuccess) return;
        if (!visit(std::wstring_view(name.data(), length))) return;
        ++index;
    }
}

}  // namespace

std::wstring FoundText(int count) { return std::to_wstring(count) + std::wstring(kFoundSuffix); }

void LoadScreenNames(reg::RegistryReader& registry, ListOps& lstNames, StatusOps& statusBar) {
    ForEachName(registry, [&](std::wstring_view name) {
        lstNames.AddItem(name, kItemIcon);
        statusBar.SetPanelText(1, FoundText(lstNames.ItemCount()));
        return true;
    });
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

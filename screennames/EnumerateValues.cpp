#include "screennames/EnumerateValues.h"

#include <algorithm>
#include <string>
#include <vector>

#include "registry/RegistryTypes.h"
#include "window/WindowOps.h"

namespace EnumerateValues {
namespace {

// The registry's longest value name is 16,383 characters; the rest is slack
// for a registry that reports more than it should.
constexpr std::size_t kNameCapacityLimit = 32768;

}  // namespace

// Only value names are read, never their data: asking for the data made a
// value with more than a buffer's worth of it end the listing early. The
// name buffer is sized from the key's own longest name, and grown again when
// another process adds a longer one while we read.
void LoadScreenNames(reg::RegistryReader& registry, ListOps& lstNames, StatusOps& statusBar) {
    reg::Status status = reg::kSuccess;
    const std::unique_ptr<reg::OpenKey> key = registry.OpenCurrentUser(USERS_KEY_PATH, status);
    if (key == nullptr || status != reg::kSuccess) return;

    std::uint32_t maxNameLength = 0;
    if (key->QueryMaxValueNameLength(maxNameLength) != reg::kSuccess) return;
    std::vector<wchar_t> name(maxNameLength + 1);

    for (std::uint32_t index = 0;;) {
        std::uint32_t length = static_cast<std::uint32_t>(name.size());
        status = key->EnumValueName(index, name, length);
        if (status == reg::kMoreData) {
            if (name.size() >= kNameCapacityLimit) return;
            if (key->QueryMaxValueNameLength(maxNameLength) != reg::kSuccess) return;
            name.resize(std::min(std::max<std::size_t>(maxNameLength + 1, name.size() * 2), kNameCapacityLimit));
            continue;
        }
        // End of the list, or the key went away under us: nothing to list.
        if (status != reg::kSuccess) return;

        lstNames.AddItem(std::wstring_view(name.data(), length), kItemIcon, kItemIcon);
        statusBar.SetPanelText(1, std::to_wstring(lstNames.ItemCount()) + std::wstring(kFoundSuffix));
        ++index;
    }
}

}  // namespace EnumerateValues

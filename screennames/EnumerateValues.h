#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace reg {
class RegistryReader;
}
class ListOps;
class StatusOps;

namespace EnumerateValues {

inline constexpr int kItemIcon = 1;

void LoadScreenNames(reg::RegistryReader& registry, ListOps& lstNames, StatusOps& statusBar);
// Where a fresh listing would show `name` (from 1), if the registry holds it.
std::optional<int> PositionOf(reg::RegistryReader& registry, std::wstring_view name);
// The status text for `count` listed names.
std::wstring FoundText(int count);

}  // namespace EnumerateValues

#pragma once

#include <string>

namespace reg {
class RegistryReader;
}
class ListOps;
class StatusOps;

namespace EnumerateValues {

inline constexpr int kItemIcon = 1;

void LoadScreenNames(reg::RegistryReader& registry, ListOps& lstNames, StatusOps& statusBar);
// The status text for `count` listed names.
std::wstring FoundText(int count);

}  // namespace EnumerateValues

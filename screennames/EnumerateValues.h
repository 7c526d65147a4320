#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "registry/RegistryTypes.h"

class NameListOps;
class StatusOps;

namespace EnumerateValues {

inline constexpr int kItemIcon = 1;

// kSuccess, or why the names could not all be read; a missing key lists none.
reg::Status LoadScreenNames(reg::RegistryReader& registry, NameListOps& lstNames, StatusOps& statusBar);
// The same names, for the command line; kSuccess, or why not all were read.
reg::Status ListScreenNames(reg::RegistryReader& registry, std::vector<std::wstring>& names);
// The Users key's subkeys that no value names: settings another program
// left behind (a saved password among them, perhaps), which the list of
// names cannot show. kSuccess, or why not all were read.
reg::Status ListLeftoverSettings(reg::RegistryReader& registry, std::vector<std::wstring>& keys);
// Where a fresh listing would show `name` (from 1), if the registry holds it.
std::optional<int> PositionOf(reg::RegistryReader& registry, std::wstring_view name);
// The status text for `count` listed names.
std::wstring FoundText(int count);
std::wstring CouldNotReadText();
// Why, for a status other than kSuccess, as a clause of a sentence.
std::wstring CouldNotReadReason(reg::Status status);
// What the status bar says of `count` leftover settings keys; empty for none.
std::wstring LeftoverText(std::size_t count);

}  // namespace EnumerateValues

#pragma once

#include <string_view>

namespace reg {
class RegistryReader;
}
class ListOps;
class StatusOps;

inline constexpr std::wstring_view USERS_KEY_PATH =
    L"Software\\America Online\\AOL Instant Messenger (TM)\\CurrentVersion\\Users";

namespace EnumerateValues {

inline constexpr std::wstring_view kFoundSuffix = L" ScreeNames(s) found.";
inline constexpr int kItemIcon = 1;

void LoadScreenNames(reg::RegistryReader& registry, ListOps& lstNames, StatusOps& statusBar);

}  // namespace EnumerateValues

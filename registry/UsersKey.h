#pragma once

#include <string_view>

// Where the messenger keeps the current user's screen names: one value, and
// a key of settings, per name.
inline constexpr std::wstring_view USERS_KEY_PATH =
    L"Software\\America Online\\AOL Instant Messenger (TM)\\CurrentVersion\\Users";

#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "registry/UsersKey.h"

// The messenger's registry tree in the test prefix's HKEY_CURRENT_USER: set
// up from a table, and read back as text that two states compare with ==.

inline constexpr wchar_t kMessengerKey[] = L"Software\\America Online\\AOL Instant Messenger (TM)";
inline const std::wstring kUsersKey(USERS_KEY_PATH);

struct TestValue {
    std::wstring name;
    DWORD type = REG_SZ;
    std::vector<BYTE> data;
};

// `path` is relative to the Users key; L"" is the Users key itself.
struct TestKey {
    std::wstring path;
    std::vector<TestValue> values;
};

// The bytes of a REG_SZ holding `text`, terminating NUL included.
std::vector<BYTE> SzData(const std::wstring& text);

// Deletes the whole messenger tree under HKCU, then creates the Users key and
// each key of the table (with the path to it) and writes its values. A
// failure is a test failure.
void ResetUsersKey(const std::vector<TestKey>& keys);
void DeleteMessengerTree();

// Every key and value from HKCU\kMessengerKey down, one line each, sorted:
// the key's path, then for a value its name, type and data in hex. The Users
// key's values and keys named in `without` (with everything below them) are
// left out, matched without case as the registry does: what a correct removal
// of those names leaves.
std::wstring DumpMessengerTree(const std::vector<std::wstring>& without = {});

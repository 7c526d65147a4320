#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The messenger's registry tree in the test prefix's HKEY_CURRENT_USER: set
// up from a table, and read back as text that two states compare with ==.

inline constexpr wchar_t kMessengerKey[] = L"Software\\America Online\\AOL Instant Messenger (TM)";
inline constexpr wchar_t kUsersKey[] = L"Software\\America Online\\AOL Instant Messenger (TM)\\CurrentVersion\\Users";

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

// Deletes the whole messenger tree under HKCU, then creates each key (with
// the path to it) and writes its values. A failure is a test failure.
void ResetUsersKey(const std::vector<TestKey>& keys);
void DeleteMessengerTree();

// Every key and value from HKCU\kMessengerKey down, one line each, sorted
// case-insensitively. A key's line is its path below HKCU; a value's line is
//   key path <TAB> value name <TAB> type (decimal) <TAB> data (hex)
// Characters below U+0020 and '%' in paths and names are written %XXXX, so a
// line never holds a stray tab or newline. Lines end in '\n'. Empty when the
// key is missing.
std::wstring DumpMessengerTree();

// `dump` less the Users key's value `screenName` and the key of that name
// with everything below it, matched case-insensitively as the registry
// does: what a correct removal of that name leaves.
std::wstring DumpWithout(const std::wstring& dump, const std::wstring& screenName);

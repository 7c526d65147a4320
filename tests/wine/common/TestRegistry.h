#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/common/Win32Handles.h"
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

namespace test_registry {

inline bool SameIgnoringCase(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

inline std::wstring Hex(const BYTE* data, DWORD size) {
    std::wstring out;
    for (DWORD i = 0; i < size; ++i) out += {L"0123456789abcdef"[data[i] >> 4], L"0123456789abcdef"[data[i] & 15]};
    return out;
}

inline void DumpKey(const std::wstring& path, const std::vector<std::wstring>& without, std::vector<std::wstring>& lines) {
    UniqueHKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return;
    lines.push_back(path);
    // Only the Users key holds the screen names that a removal takes.
    const bool isUsers = SameIgnoringCase(path, kUsersKey);
    const auto leftOut = [&](const std::wstring& item) {
        return isUsers && std::ranges::any_of(without, [&](const std::wstring& name) { return SameIgnoringCase(item, name); });
    };
    // The longest value name, and more than the largest value the tests
    // write; kept across calls, as each level is read whole before the next.
    static std::vector<wchar_t> name(16384);
    static std::vector<BYTE> data(1 << 17);
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = static_cast<DWORD>(name.size()), dataSize = static_cast<DWORD>(data.size()), type = 0;
        const LSTATUS status =
            RegEnumValueW(key.get(), index, name.data(), &nameLength, nullptr, &type, data.data(), &dataSize);
        if (status == ERROR_NO_MORE_ITEMS) break;
        ASSERT_EQ(status, ERROR_SUCCESS) << "RegEnumValueW";
        const std::wstring valueName(name.data(), nameLength);
        if (leftOut(valueName)) continue;
        lines.push_back(path + L'\t' + valueName + L'\t' + std::to_wstring(type) + L'\t' + Hex(data.data(), dataSize));
    }
    std::vector<std::wstring> children;
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        const LSTATUS status = RegEnumKeyExW(key.get(), index, name.data(), &nameLength, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        ASSERT_EQ(status, ERROR_SUCCESS) << "RegEnumKeyExW";
        const std::wstring child(name.data(), nameLength);
        if (!leftOut(child)) children.push_back(path + L'\\' + child);
    }
    for (const std::wstring& child : children) DumpKey(child, without, lines);
}

}  // namespace test_registry

// The bytes of a REG_SZ holding `text`, terminating NUL included.
inline std::vector<BYTE> SzData(const std::wstring& text) {
    const auto* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    return std::vector<BYTE>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t));
}

inline void DeleteMessengerTree() {
    const LSTATUS status = RegDeleteTreeW(HKEY_CURRENT_USER, kMessengerKey);
    EXPECT_TRUE(status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) << "RegDeleteTreeW returned " << status;
    // RegDeleteTree leaves the named key itself behind on some versions.
    RegDeleteKeyW(HKEY_CURRENT_USER, kMessengerKey);
}

// Deletes the whole messenger tree under HKCU, then creates the Users key and
// each key of the table (with the path to it) and writes its values. A
// failure is a test failure.
inline void ResetUsersKey(const std::vector<TestKey>& keys) {
    DeleteMessengerTree();
    std::vector<TestKey> all{{L"", {}}};
    all.insert(all.end(), keys.begin(), keys.end());
    for (const TestKey& testKey : all) {
        const std::wstring path = testKey.path.empty() ? kUsersKey : kUsersKey + L'\\' + testKey.path;
        UniqueHKey key;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr),
                  ERROR_SUCCESS);
        for (const TestValue& value : testKey.values) {
            EXPECT_EQ(RegSetValueExW(key.get(), value.name.c_str(), 0, value.type,
                                     value.data.empty() ? nullptr : value.data.data(), static_cast<DWORD>(value.data.size())),
                      ERROR_SUCCESS);
        }
    }
}

// Every key and value from HKCU\\kMessengerKey down, one line each, sorted:
// the key's path, then for a value its name, type and data in hex. The Users
// key's values and keys named in `without` (with everything below them) are
// left out, matched without case as the registry does: what a correct removal
// of those names leaves.
inline std::wstring DumpMessengerTree(const std::vector<std::wstring>& without = {}) {
    std::vector<std::wstring> lines;
    test_registry::DumpKey(kMessengerKey, without, lines);
    std::sort(lines.begin(), lines.end());
    std::wstring dump;
    for (const std::wstring& line : lines) dump += line + L'\n';
    return dump;
}

// The screen names, the Users key's value names but its default value, in the
// registry's own order; none when the key is missing.
inline std::vector<std::wstring> UsersValueNames() {
    std::vector<std::wstring> names;
    UniqueHKey key;
    RegOpenKeyExW(HKEY_CURRENT_USER, kUsersKey.c_str(), 0, KEY_READ, key.put());
    std::wstring name(16384, L'\0');
    for (DWORD index = 0, length = 16384;
         key && RegEnumValueW(key.get(), index, name.data(), &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++index, length = 16384)
        if (length != 0) names.emplace_back(name.data(), length);
    return names;
}

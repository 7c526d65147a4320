#include "TestRegistry.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/Win32Handles.h"

namespace {

bool SameIgnoringCase(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

std::wstring Hex(const BYTE* data, DWORD size) {
    std::wstring out;
    for (DWORD i = 0; i < size; ++i) out += {L"0123456789abcdef"[data[i] >> 4], L"0123456789abcdef"[data[i] & 15]};
    return out;
}

void DumpKey(const std::wstring& path, const std::vector<std::wstring>& without, std::vector<std::wstring>& lines) {
    UniqueHKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return;
    DWORD maxSubkey = 0, maxValueName = 0, maxData = 0;
    ASSERT_EQ(RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, &maxSubkey, nullptr, nullptr,
                               &maxValueName, &maxData, nullptr, nullptr),
              ERROR_SUCCESS);
    lines.push_back(path);
    // Only the Users key holds the screen names that a removal takes.
    const bool isUsers = SameIgnoringCase(path, kUsersKey);
    const auto leftOut = [&](const std::wstring& item) {
        return isUsers && std::ranges::any_of(without, [&](const std::wstring& name) { return SameIgnoringCase(item, name); });
    };
    std::vector<wchar_t> name(std::max(maxValueName, maxSubkey) + 1);
    std::vector<BYTE> data(maxData + 1);
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

}  // namespace

std::vector<BYTE> SzData(const std::wstring& text) {
    const auto* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    return std::vector<BYTE>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t));
}

void DeleteMessengerTree() {
    const LSTATUS status = RegDeleteTreeW(HKEY_CURRENT_USER, kMessengerKey);
    EXPECT_TRUE(status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) << "RegDeleteTreeW returned " << status;
    // RegDeleteTree leaves the named key itself behind on some versions.
    RegDeleteKeyW(HKEY_CURRENT_USER, kMessengerKey);
}

void ResetUsersKey(const std::vector<TestKey>& keys) {
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

std::wstring DumpMessengerTree(const std::vector<std::wstring>& without) {
    std::vector<std::wstring> lines;
    DumpKey(kMessengerKey, without, lines);
    std::sort(lines.begin(), lines.end());
    std::wstring dump;
    for (const std::wstring& line : lines) dump += line + L'\n';
    return dump;
}

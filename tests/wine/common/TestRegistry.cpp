#include "TestRegistry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "platform/Win32Handles.h"

namespace {

bool SameIgnoringCase(std::wstring_view a, std::wstring_view b) {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

bool StartsWithIgnoringCase(std::wstring_view text, std::wstring_view prefix) {
    return text.size() >= prefix.size() && SameIgnoringCase(text.substr(0, prefix.size()), prefix);
}

// Control characters would break a line or a field; '%' is the escape itself.
std::wstring Escape(std::wstring_view text) {
    std::wstring out;
    for (const wchar_t ch : text) {
        if (ch < L' ' || ch == L'%') {
            wchar_t code[6];
            std::swprintf(code, 6, L"%%%04X", static_cast<unsigned>(ch));
            out += code;
        } else {
            out += ch;
        }
    }
    return out;
}

std::wstring Hex(const BYTE* data, DWORD size) {
    static constexpr wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring out;
    out.reserve(size * 2);
    for (DWORD i = 0; i < size; ++i) {
        out += kDigits[data[i] >> 4];
        out += kDigits[data[i] & 0x0F];
    }
    return out;
}

void DumpKey(const std::wstring& path, std::vector<std::wstring>& lines) {
    UniqueHKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return;
    DWORD maxSubkey = 0, maxValueName = 0, maxData = 0;
    if (const LSTATUS status = RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, &maxSubkey, nullptr,
                                                nullptr, &maxValueName, &maxData, nullptr, nullptr);
        status != ERROR_SUCCESS) {
        ADD_FAILURE() << "RegQueryInfoKeyW(" << path << ") returned " << status;
        return;
    }
    const std::wstring escapedPath = Escape(path);
    lines.push_back(escapedPath);

    std::vector<wchar_t> name(std::max(maxValueName, maxSubkey) + 1);
    std::vector<BYTE> data(maxData + 1);
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD dataSize = static_cast<DWORD>(data.size());
        DWORD type = 0;
        const LSTATUS status =
            RegEnumValueW(key.get(), index, name.data(), &nameLength, nullptr, &type, data.data(), &dataSize);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) {
            ADD_FAILURE() << "RegEnumValueW(" << path << ", " << index << ") returned " << status;
            break;
        }
        lines.push_back(escapedPath + L'\t' + Escape(std::wstring_view(name.data(), nameLength)) + L'\t' +
                        std::to_wstring(type) + L'\t' + Hex(data.data(), dataSize));
    }

    std::vector<std::wstring> children;
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        const LSTATUS status =
            RegEnumKeyExW(key.get(), index, name.data(), &nameLength, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) {
            ADD_FAILURE() << "RegEnumKeyExW(" << path << ", " << index << ") returned " << status;
            break;
        }
        children.push_back(path + L'\\' + std::wstring(name.data(), nameLength));
    }
    for (const std::wstring& child : children) DumpKey(child, lines);
}

}  // namespace

std::vector<BYTE> SzData(const std::wstring& text) {
    const auto* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    return std::vector<BYTE>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t));
}

void DeleteMessengerTree() {
    const LSTATUS status = RegDeleteTreeW(HKEY_CURRENT_USER, kMessengerKey);
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
        ADD_FAILURE() << "RegDeleteTreeW(messenger key) returned " << status;
    // RegDeleteTree leaves the named key itself behind on some versions.
    RegDeleteKeyW(HKEY_CURRENT_USER, kMessengerKey);
}

// The Users key is always created, so an empty table gives an empty key;
// DeleteMessengerTree alone gives a missing one.
void ResetUsersKey(const std::vector<TestKey>& keys) {
    DeleteMessengerTree();
    std::vector<TestKey> all{{L"", {}}};
    all.insert(all.end(), keys.begin(), keys.end());
    for (const TestKey& testKey : all) {
        const std::wstring path = testKey.path.empty() ? std::wstring(kUsersKey) : kUsersKey + (L'\\' + testKey.path);
        UniqueHKey key;
        if (const LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                                   nullptr, key.put(), nullptr);
            status != ERROR_SUCCESS) {
            ADD_FAILURE() << "RegCreateKeyExW(" << path << ") returned " << status;
            continue;
        }
        for (const TestValue& value : testKey.values) {
            if (const LSTATUS status =
                    RegSetValueExW(key.get(), value.name.c_str(), 0, value.type,
                                   value.data.empty() ? nullptr : value.data.data(),
                                   static_cast<DWORD>(value.data.size()));
                status != ERROR_SUCCESS) {
                ADD_FAILURE() << "RegSetValueExW(" << path << ", " << value.name << ") returned " << status;
            }
        }
    }
}

std::wstring DumpMessengerTree() {
    std::vector<std::wstring> lines;
    DumpKey(kMessengerKey, lines);
    std::sort(lines.begin(), lines.end(), [](const std::wstring& a, const std::wstring& b) {
        const int order = CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                               static_cast<int>(b.size()), TRUE);
        return order == CSTR_EQUAL ? a < b : order == CSTR_LESS_THAN;
    });
    std::wstring dump;
    for (const std::wstring& line : lines) dump += line + L'\n';
    return dump;
}

std::wstring DumpWithout(const std::wstring& dump, const std::wstring& screenName) {
    const std::wstring users = Escape(kUsersKey);
    const std::wstring name = Escape(screenName);
    const std::wstring tree = users + L'\\' + name;
    std::wstring out;
    for (std::size_t start = 0; start < dump.size();) {
        std::size_t end = dump.find(L'\n', start);
        if (end == std::wstring::npos) end = dump.size();
        const std::wstring_view line(dump.data() + start, end - start);
        start = end + 1;

        const std::size_t tab = line.find(L'\t');
        const std::wstring_view keyPath = line.substr(0, tab);
        const bool inTree =
            SameIgnoringCase(keyPath, tree) || StartsWithIgnoringCase(keyPath, tree + L'\\');
        bool isValue = false;
        if (tab != std::wstring_view::npos && SameIgnoringCase(keyPath, users)) {
            const std::wstring_view rest = line.substr(tab + 1);
            isValue = SameIgnoringCase(rest.substr(0, rest.find(L'\t')), name);
        }
        if (!inTree && !isValue) out.append(line) += L'\n';
    }
    return out;
}

#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// What the registry editor's files are made of, for the writer and the
// reader alike: UTF-16LE text after a byte order mark, its header line first,
// and keys named from the root in full.
namespace reg {

inline constexpr std::wstring_view kRegFileHeader = L"Windows Registry Editor Version 5.00";
inline constexpr std::wstring_view kCurrentUserRoot = L"HKEY_CURRENT_USER\\";
// A backup's second line: "; Removed <time>, <HeldText>". Older backups
// have no counts, and files the registry editor exported no such line.
inline constexpr std::wstring_view kRemovedAt = L"; Removed ";
inline std::wstring HeldText(std::size_t keys, std::size_t values) {
    return std::to_wstring(keys) + (keys == 1 ? L" key, " : L" keys, ") + std::to_wstring(values) + (values == 1 ? L" value" : L" values");
}

inline bool HasByteOrderMark(std::span<const std::uint8_t> fileBytes) {
    return fileBytes.size() >= 2 && fileBytes[0] == 0xFF && fileBytes[1] == 0xFE;
}

// The text after the byte order mark, at most `limit` characters; an odd
// last byte is left out.
inline std::wstring DecodeUtf16Le(std::span<const std::uint8_t> fileBytes, std::size_t limit = std::wstring::npos) {
    std::wstring text;
    text.reserve(std::min(fileBytes.size() / 2, limit));
    for (std::size_t i = 2; i + 1 < fileBytes.size() && text.size() < limit; i += 2)
        text += static_cast<wchar_t>(fileBytes[i] | fileBytes[i + 1] << 8);
    return text;
}

}  // namespace reg

#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "registry/KeyTree.h"

namespace reg {

// Reads back a file that RegFileBytes made, or the registry editor exported:
// the one screen name it holds, byte for byte. Refused, with the reason in
// `why`, unless it only writes that name's value in the Users key and its
// key tree below it, in HKEY_CURRENT_USER, and deletes nothing: a backup
// must not become a way to write anywhere else.
using SameName = std::function<bool(std::wstring_view, std::wstring_view)>;
bool ReadBackup(std::span<const std::uint8_t> fileBytes, std::wstring_view usersKeyPath, const SameName& sameName,
                NameSnapshot& snapshot, std::wstring& why);
// Whether ReadBackup gives back exactly `snapshot`'s value and key tree.
bool ReadsBackAs(std::span<const std::uint8_t> fileBytes, std::wstring_view usersKeyPath, const SameName& sameName,
                 const NameSnapshot& snapshot);
// A backup is a few kilobytes: no file past this size is written as one,
// or read as one.
inline constexpr std::size_t kLargestBackup = std::size_t{64} << 20;

}  // namespace reg

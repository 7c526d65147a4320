#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "registry/KeyTree.h"
#include "registry/Moment.h"

// The file that regedit or `reg import` restores a removed screen name from.
namespace reg {

// The .reg text regedit exports for the snapshot (lines end in CRLF), with
// when it was removed in a comment, and that text as the file's bytes:
// UTF-16LE after a byte order mark.
std::wstring RegExportText(std::wstring_view usersKeyPath, const NameSnapshot& snapshot,
                           const std::optional<Moment>& removed = std::nullopt);
std::vector<std::uint8_t> RegFileBytes(std::wstring_view text);
// When the removal was, as RegExportText's comment records it.
std::optional<Moment> RecordedRemoval(std::span<const std::uint8_t> fileBytes);
// What a backup gets at its end when its removal stops partway, and whether
// a file ends so: only such an older backup of a name joins a newer one when
// the name is restored, never one of an earlier, separate removal.
std::vector<std::uint8_t> PartialRemovalMark();
bool MarkedPartial(std::span<const std::uint8_t> fileBytes);

}  // namespace reg

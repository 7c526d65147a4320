#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "registry/Moment.h"

// The backup files in the backup folder: their names, and when the removal
// that wrote each was.
namespace reg {

struct BackupFile {
    std::wstring path;
    Moment modified;  // last written, with the local clock's offset as it is now
};

// "YYYY-MM-DD HH.MM.SS.mmm NAME.reg" in local time, a number after the time
// where `attempt` > 1, and the name escaped so that no two names share one.
std::wstring BackupFileName(const Moment& removed, int attempt, std::wstring_view name);
// When the removal that wrote a backup was: the time its text records, else
// its file name's, else when it was last written. `utc` orders backups;
// `local` ("YYYY-MM-DD HH:MM:SS") is what a user is shown.
struct RemovalTime {
    std::int64_t utc = 0;
    std::wstring local;
};
RemovalTime WhenRemoved(std::span<const std::uint8_t> fileBytes, const BackupFile& file);

}  // namespace reg

#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace reg {

// A point in time as this machine's clock tells it: UTC milliseconds since
// 1970, and how many minutes the local clock is ahead of UTC.
struct Moment {
    std::int64_t utc = 0;
    std::int32_t utcOffset = 0;
};

inline constexpr std::int64_t kMinute = 60'000;  // in milliseconds

// "YYYY-MM-DD HH?MM?SS.mmm" of the local clock, `separator` standing for
// "?"; and milliseconds since 1970 of such a text on a clock that counts as
// UTC does.
std::wstring LocalText(const Moment& moment, wchar_t separator);
std::optional<std::int64_t> ReadLocalText(std::wstring_view text, wchar_t separator);
// "YYYY-MM-DD HH:MM:SS.mmm UTC+HH:MM", the local time and the offset that
// turns it back into UTC; read back only when it is the whole of `text`.
std::wstring ZonedText(const Moment& moment);
std::optional<Moment> ReadZonedText(std::wstring_view text);

}  // namespace reg

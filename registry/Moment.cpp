#include "registry/Moment.h"

#include <chrono>

namespace reg {
namespace {

std::wstring Padded(std::int64_t number, std::size_t width) {
    std::wstring text = std::to_wstring(number);
    return std::wstring(width > text.size() ? width - text.size() : 0, L'0') + text;
}

// The digits at text[at, at + count), if all of them are.
std::optional<int> Digits(std::wstring_view text, std::size_t at, std::size_t count) {
    if (at + count > text.size()) return std::nullopt;
    int number = 0;
    for (const wchar_t ch : text.substr(at, count)) {
        if (ch < L'0' || ch > L'9') return std::nullopt;
        number = number * 10 + (ch - L'0');
    }
    return number;
}

}  // namespace

std::wstring LocalText(const Moment& moment, wchar_t separator) {
    using namespace std::chrono;
    const sys_time<milliseconds> local{milliseconds{moment.utc + moment.utcOffset * kMinute}};
    const sys_days day = floor<days>(local);
    const year_month_day date{day};
    const hh_mm_ss time{local - day};
    return Padded(static_cast<int>(date.year()), 4) + L'-' + Padded(static_cast<unsigned>(date.month()), 2) + L'-' +
           Padded(static_cast<unsigned>(date.day()), 2) + L' ' + Padded(time.hours().count(), 2) + separator +
           Padded(time.minutes().count(), 2) + separator + Padded(time.seconds().count(), 2) + L'.' +
           Padded(time.subseconds().count(), 3);
}

std::optional<std::int64_t> ReadLocalText(std::wstring_view text, wchar_t separator) {
    using namespace std::chrono;
    const auto at = [&](std::size_t i, wchar_t ch) { return i < text.size() && text[i] == ch; };
    const auto y = Digits(text, 0, 4), mo = Digits(text, 5, 2), d = Digits(text, 8, 2), h = Digits(text, 11, 2),
               mi = Digits(text, 14, 2), s = Digits(text, 17, 2), ms = Digits(text, 20, 3);
    if (!y || !mo || !d || !h || !mi || !s || !ms || !at(4, L'-') || !at(7, L'-') || !at(10, L' ') || !at(13, separator) ||
        !at(16, separator) || !at(19, L'.') || *h > 23 || *mi > 59 || *s > 59)
        return std::nullopt;
    const year_month_day date{year{*y}, month{static_cast<unsigned>(*mo)}, day{static_cast<unsigned>(*d)}};
    if (!date.ok()) return std::nullopt;
    return (sys_days{date}.time_since_epoch() + hours{*h} + minutes{*mi} + seconds{*s} + milliseconds{*ms}) / milliseconds{1};
}

std::wstring ZonedText(const Moment& moment) {
    const std::int32_t offset = moment.utcOffset < 0 ? -moment.utcOffset : moment.utcOffset;
    return LocalText(moment, L':') + L" UTC" + (moment.utcOffset < 0 ? L'-' : L'+') + Padded(offset / 60, 2) + L':' +
           Padded(offset % 60, 2);
}

std::optional<Moment> ReadZonedText(std::wstring_view text) {
    const std::optional<std::int64_t> local = ReadLocalText(text, L':');
    const auto h = Digits(text, 28, 2), m = Digits(text, 31, 2);
    if (!local || !h || !m || text.size() != 33 || text.substr(23, 4) != L" UTC" || (text[27] != L'+' && text[27] != L'-') ||
        text[30] != L':' || *h > 14 || *m > 59)
        return std::nullopt;
    const std::int32_t offset = (text[27] == L'-' ? -1 : 1) * (*h * 60 + *m);
    return Moment{*local - offset * kMinute, offset};
}

}  // namespace reg

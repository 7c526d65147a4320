#include "registry/RegFile.h"

#include <algorithm>
#include <chrono>
#include <iterator>
#include <utility>

namespace reg {
namespace {

constexpr std::uint32_t kSz = 1;
constexpr std::uint32_t kBinary = 3;
constexpr std::uint32_t kDword = 4;
constexpr std::wstring_view kAlteredNote =
    L"; The registry editor would change the values below (it adds a NUL to string data that lacks one and pads\r\n"
    L"; an odd length): tallowick-cli restore, or Restore in Tallowick's window menu, brings them back exactly.";
// regedit breaks a hex line once it reaches this many columns.
constexpr std::size_t kHexColumns = 77;
constexpr wchar_t kDigits[] = L"0123456789abcdef";

// A name or string as regedit writes it between quotes. A line break inside
// would end the line for any parser; Wine's reg reads these escapes back.
std::wstring RegQuoted(std::wstring_view text) {
    std::wstring out = L"\"";
    for (const wchar_t ch : text) {
        if (ch == L'\\' || ch == L'"') out += L'\\';
        if (ch == L'\n') out += L"\\n";
        else if (ch == L'\r') out += L"\\r";
        else out += ch;
    }
    return out + L'"';
}

std::wstring Hex(std::uint32_t number, int digits) {
    std::wstring out;
    do {
        out.insert(out.begin(), kDigits[number & 0xF]);
        number >>= 4;
    } while (--digits > 0 || number != 0);
    return out;
}

// The text of a REG_SZ whose bytes come back exactly from "quoted" form: an
// even length, one terminating NUL and none before it. Line breaks are left
// to hex too, as the two parsers do not agree on their escapes in data.
std::optional<std::wstring> ExactString(const ValueData& value) {
    const std::vector<std::uint8_t>& bytes = value.bytes;
    if (value.type != kSz || bytes.size() < 2 || bytes.size() % 2 != 0) return std::nullopt;
    std::wstring text;
    for (std::size_t i = 0; i < bytes.size(); i += 2) text += static_cast<wchar_t>(bytes[i] | bytes[i + 1] << 8);
    if (text.back() != L'\0') return std::nullopt;
    text.pop_back();
    if (text.find_first_of(std::wstring_view(L"\0\r\n", 3)) != std::wstring::npos) return std::nullopt;
    return text;
}

void AppendValue(std::wstring& out, const ValueData& value) {
    const std::size_t lineStart = out.size();
    out += value.name.empty() ? L"@" : RegQuoted(value.name);
    out += L'=';
    if (const std::optional<std::wstring> text = ExactString(value)) {
        out += RegQuoted(*text) + L"\r\n";
        return;
    }
    const std::vector<std::uint8_t>& bytes = value.bytes;
    if (value.type == kDword && bytes.size() == 4) {
        out += L"dword:" + Hex(static_cast<std::uint32_t>(bytes[0] | bytes[1] << 8 | bytes[2] << 16) |
                                   static_cast<std::uint32_t>(bytes[3]) << 24, 8) + L"\r\n";
        return;
    }
    out += value.type == kBinary ? L"hex:" : L"hex(" + Hex(value.type, 1) + L"):";
    std::size_t column = out.size() - lineStart;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 0xF];
        if (i + 1 == bytes.size()) break;
        out += L',';
        column += 3;
        if (column >= kHexColumns) {
            out += L"\\\r\n  ";
            column = 2;
        }
    }
    out += L"\r\n";
}

// String data that the registry editor's import changes: it adds a NUL
// where the data lacks one and pads an odd length (and Wine's crashes on a
// single byte), so such a value is only exact through our own restore.
bool EditorAltersOnImport(const ValueData& value) {
    constexpr std::uint32_t kExpandSz = 2, kMultiSz = 7;
    if (value.type != kSz && value.type != kExpandSz && value.type != kMultiSz) return false;
    const std::vector<std::uint8_t>& bytes = value.bytes;
    return bytes.size() < 2 || bytes.size() % 2 != 0 || bytes[bytes.size() - 1] != 0 || bytes[bytes.size() - 2] != 0;
}

// The key's section with the values the editor brings back exactly; the
// others are gathered in `altered` with their key's path, for the end.
void AppendKey(std::wstring& out, const std::wstring& path, const KeyTree& key,
               std::vector<std::pair<std::wstring, ValueData>>& altered) {
    out += L"\r\n[" + path + L"]\r\n";
    for (const ValueData& value : key.values) {
        if (EditorAltersOnImport(value)) altered.emplace_back(path, value);
        else AppendValue(out, value);
    }
    for (const KeyTree& subkey : key.subkeys) AppendKey(out, path + L'\\' + subkey.name, subkey, altered);
}

}  // namespace

KeyTree::KeyTree(std::wstring keyName, std::vector<ValueData> keyValues, std::vector<KeyTree> keySubkeys)
    : name(std::move(keyName)), values(std::move(keyValues)), subkeys(std::move(keySubkeys)) {}

// Freed one call per level, a tree would need as much stack as it is deep,
// whoever built it; a loop takes its levels apart instead.
KeyTree::~KeyTree() {
    std::vector<KeyTree> pending = std::move(subkeys);
    while (!pending.empty()) {
        std::vector<KeyTree> below = std::move(pending.back().subkeys);
        pending.pop_back();
        pending.insert(pending.end(), std::make_move_iterator(below.begin()), std::make_move_iterator(below.end()));
    }
}

namespace {

constexpr std::wstring_view kHeader = L"Windows Registry Editor Version 5.00\r\n";
// Its own record of the removal's time, which a copy, an unzip or a touch
// keeps, as the file's modified time does not. A comment to the editor.
constexpr std::wstring_view kRemovedAt = L"; Removed ";
constexpr std::int64_t kMinute = 60'000;

std::wstring Padded(std::int64_t number, std::size_t width) {
    std::wstring text = std::to_wstring(number);
    return std::wstring(width > text.size() ? width - text.size() : 0, L'0') + text;
}

// "YYYY-MM-DD HH:MM:SS.mmm" of the local clock, with `separator` between
// hours, minutes and seconds.
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

// Milliseconds since 1970 of "YYYY-MM-DD HH?MM?SS.mmm" on a clock that
// counts as UTC does, `separator` standing for "?".
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

// "; Removed YYYY-MM-DD HH:MM:SS.mmm UTC+HH:MM", the local time and the
// offset that turns it back into UTC.
std::wstring RemovedLine(const Moment& removed) {
    const std::int32_t offset = removed.utcOffset < 0 ? -removed.utcOffset : removed.utcOffset;
    return std::wstring(kRemovedAt) + LocalText(removed, L':') + L" UTC" + (removed.utcOffset < 0 ? L'-' : L'+') +
           Padded(offset / 60, 2) + L':' + Padded(offset % 60, 2) + L"\r\n";
}

// The removal's time that the file's second line records, as RemovedLine
// writes it.
std::optional<Moment> RecordedRemoval(std::span<const std::uint8_t> fileBytes) {
    std::wstring text;
    for (std::size_t i = 2; i + 1 < fileBytes.size() && text.size() < 160; i += 2)
        text += static_cast<wchar_t>(fileBytes[i] | fileBytes[i + 1] << 8);
    if (fileBytes.size() < 2 || fileBytes[0] != 0xFF || fileBytes[1] != 0xFE || !text.starts_with(kHeader)) return std::nullopt;
    std::wstring_view line = std::wstring_view(text).substr(kHeader.size());
    if (!line.starts_with(kRemovedAt)) return std::nullopt;
    line.remove_prefix(kRemovedAt.size());
    const std::optional<std::int64_t> local = ReadLocalText(line, L':');
    const auto h = Digits(line, 28, 2), m = Digits(line, 31, 2);
    if (!local || !h || !m || line.substr(23, 4) != L" UTC" || (line[27] != L'+' && line[27] != L'-') || line[30] != L':' ||
        line.substr(33, 2) != L"\r\n" || *h > 14 || *m > 59)
        return std::nullopt;
    const std::int32_t offset = (line[27] == L'-' ? -1 : 1) * (*h * 60 + *m);
    return Moment{*local - offset * kMinute, offset};
}

}  // namespace

// Whatever the registry editor would bring back changed, or would stumble
// on, comes last, in its key's section once more: an import that fails
// there has already restored everything else.
std::wstring RegExportText(std::wstring_view usersKeyPath, const NameSnapshot& snapshot, const std::optional<Moment>& removed) {
    const std::wstring users = L"HKEY_CURRENT_USER\\" + std::wstring(usersKeyPath);
    std::wstring out(kHeader);
    if (removed) out += RemovedLine(*removed);
    std::vector<std::pair<std::wstring, ValueData>> altered;
    if (snapshot.value) AppendKey(out, users, KeyTree({}, {*snapshot.value}, {}), altered);
    if (snapshot.key) AppendKey(out, users + L'\\' + snapshot.key->name, *snapshot.key, altered);
    if (!altered.empty()) out += L"\r\n" + std::wstring(kAlteredNote) + L"\r\n";
    for (std::size_t i = 0; i < altered.size(); ++i) {
        if (i == 0 || altered[i].first != altered[i - 1].first) out += L"\r\n[" + altered[i].first + L"]\r\n";
        AppendValue(out, altered[i].second);
    }
    return out + L"\r\n";
}

std::vector<std::uint8_t> RegFileBytes(std::wstring_view text) {
    std::vector<std::uint8_t> bytes{0xFF, 0xFE};
    for (const wchar_t ch : text) {
        bytes.push_back(static_cast<std::uint8_t>(ch & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>((ch >> 8) & 0xFF));
    }
    return bytes;
}

namespace {
// A comment to the registry editor; to a restore, the sign that a later
// backup of the name, written by a retry, holds the rest of this removal.
constexpr std::wstring_view kPartialMark = L"; This removal stopped partway: a later backup of the name holds the rest.\r\n";
}  // namespace

std::vector<std::uint8_t> PartialRemovalMark() {
    std::vector<std::uint8_t> bytes = RegFileBytes(kPartialMark);
    return {bytes.begin() + 2, bytes.end()};  // no second byte order mark
}

bool MarkedPartial(std::span<const std::uint8_t> fileBytes) {
    const std::vector<std::uint8_t> mark = PartialRemovalMark();
    return fileBytes.size() >= mark.size() && std::equal(mark.begin(), mark.end(), fileBytes.end() - static_cast<std::ptrdiff_t>(mark.size()));
}

// A file name holds any character but these; each of them, and "%" itself,
// becomes "%XX" of its code unit ("%uXXXX" past 0xFF), so that no two names
// share a file name and the name can be read off it. Case stays: the
// registry holds one name in one case only. A lone surrogate is no
// character either. A long name keeps its first pieces and, for the rest,
// "%~" and a hash of the whole: a file name stays within Windows' 255
// characters and a Linux one's 255 bytes, and its path within MAX_PATH.
std::wstring BackupFileName(const Moment& removed, int attempt, std::wstring_view name) {
    constexpr std::size_t kKept = 60, kHashed = kKept - 18;
    const auto isHigh = [](wchar_t ch) { return (ch & 0xFC00) == 0xD800; };
    const auto isLow = [](wchar_t ch) { return (ch & 0xFC00) == 0xDC00; };
    std::vector<std::wstring> pieces;
    std::size_t length = 0;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const wchar_t ch = name[i];
        std::wstring piece(1, ch);
        if (isHigh(ch) && i + 1 < name.size() && isLow(name[i + 1])) piece += name[++i];
        else if (ch < L' ' || isHigh(ch) || isLow(ch) || std::wstring_view(L"<>:\"/\\|?*%").find(ch) != std::wstring_view::npos)
            piece = ch > 0xFF ? L"%u" + Hex(static_cast<std::uint32_t>(ch), 4) : L"%" + Hex(static_cast<std::uint32_t>(ch), 2);
        length += piece.size();
        pieces.push_back(std::move(piece));
    }
    std::wstring escaped;
    if (length <= kKept) {
        for (const std::wstring& piece : pieces) escaped += piece;
    } else {
        for (std::size_t i = 0; i < pieces.size() && escaped.size() + pieces[i].size() <= kHashed; ++i) escaped += pieces[i];
        std::uint64_t hash = 0xcbf29ce484222325;  // FNV-1a over the name's code units
        for (const wchar_t ch : name) hash = (hash ^ static_cast<std::uint16_t>(ch)) * 0x100000001b3;
        escaped += L"%~" + Hex(static_cast<std::uint32_t>(hash >> 32), 8) + Hex(static_cast<std::uint32_t>(hash), 8);
    }
    const std::wstring stamp = LocalText(removed, L'.') + (attempt > 1 ? L"-" + std::to_wstring(attempt) : L"");
    return stamp + L' ' + escaped + L".reg";
}

// A file that records no time of its own was written before the files did;
// its name's stamp is local time of an offset it does not say, taken as
// today's.
RemovalTime WhenRemoved(std::span<const std::uint8_t> fileBytes, const BackupFile& file) {
    const std::wstring_view name = std::wstring_view(file.path).substr(file.path.find_last_of(L"\\/") + 1);
    Moment when = file.modified;
    if (const std::optional<Moment> recorded = RecordedRemoval(fileBytes)) when = *recorded;
    else if (const std::optional<std::int64_t> stamped = ReadLocalText(name, L'.'))
        when.utc = *stamped - file.modified.utcOffset * kMinute;
    std::wstring local = LocalText(when, L':');
    local.resize(19);
    return {when.utc, local};
}

}  // namespace reg

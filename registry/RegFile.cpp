#include "registry/RegFile.h"

#include <algorithm>
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

// Whatever the registry editor would bring back changed, or would stumble
// on, comes last, in its key's section once more: an import that fails
// there has already restored everything else.
std::wstring RegExportText(std::wstring_view usersKeyPath, const NameSnapshot& snapshot) {
    const std::wstring users = L"HKEY_CURRENT_USER\\" + std::wstring(usersKeyPath);
    std::wstring out = L"Windows Registry Editor Version 5.00\r\n";
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

// Screen names run to 16,383 characters; the file name keeps the first 60,
// which stays within a Linux file name's 255 bytes as UTF-8 too, and never
// splits a surrogate pair.
std::wstring BackupFileName(std::wstring_view stamp, std::wstring_view name) {
    constexpr std::size_t kKept = 60;
    if (name.size() > kKept) name = name.substr(0, (name[kKept - 1] & 0xFC00) == 0xD800 ? kKept - 1 : kKept);
    std::wstring out = std::wstring(stamp) + L' ';
    const auto isHigh = [](wchar_t ch) { return (ch & 0xFC00) == 0xD800; };
    const auto isLow = [](wchar_t ch) { return (ch & 0xFC00) == 0xDC00; };
    for (std::size_t i = 0; i < name.size(); ++i) {
        const wchar_t ch = name[i];
        // A surrogate without its partner is no character a file name can hold.
        if (isHigh(ch) && i + 1 < name.size() && isLow(name[i + 1])) {
            out += name.substr(i++, 2);
            continue;
        }
        const bool forbidden = ch < L' ' || isHigh(ch) || isLow(ch) ||
                               std::wstring_view(L"<>:\"/\\|?*").find(ch) != std::wstring_view::npos;
        out += forbidden ? L'_' : ch;
    }
    return out + L".reg";
}

}  // namespace reg

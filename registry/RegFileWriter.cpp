#include "registry/RegFileWriter.h"

#include <algorithm>
#include <cstddef>
#include <utility>

#include "registry/Hex.h"
#include "registry/RegFileFormat.h"
#include "registry/ValueTypes.h"

namespace reg {
namespace {

constexpr std::wstring_view kAlteredNote =
    L"; The registry editor would change the values below (it adds a NUL to string data that lacks one and pads\r\n"
    L"; an odd length): tallowick-cli restore, or Restore in Tallowick's window menu, brings them back exactly.";
// regedit breaks a hex line once it reaches this many columns.
constexpr std::size_t kHexColumns = 77;

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

// The text of a REG_SZ whose bytes come back exactly from "quoted" form: an
// even length, one terminating NUL and none before it. Line breaks are left
// to hex too, as the two parsers do not agree on their escapes in data.
std::optional<std::wstring> ExactString(const ValueData& value) {
    const std::vector<std::uint8_t>& bytes = value.bytes;
    if (value.type != kRegSz || bytes.size() < 2 || bytes.size() % 2 != 0) return std::nullopt;
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
    if (value.type == kRegDword && bytes.size() == 4) {
        out += L"dword:" + Hex(static_cast<std::uint32_t>(bytes[0] | bytes[1] << 8 | bytes[2] << 16) |
                                   static_cast<std::uint32_t>(bytes[3]) << 24, 8) + L"\r\n";
        return;
    }
    out += value.type == kRegBinary ? L"hex:" : L"hex(" + Hex(value.type, 1) + L"):";
    std::size_t column = out.size() - lineStart;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        out += kHexDigits[bytes[i] >> 4];
        out += kHexDigits[bytes[i] & 0xF];
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
    if (value.type != kRegSz && value.type != kRegExpandSz && value.type != kRegMultiSz) return false;
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

void Count(const KeyTree& key, std::size_t& keys, std::size_t& values) {
    ++keys;
    values += key.values.size();
    for (const KeyTree& subkey : key.subkeys) Count(subkey, keys, values);
}

}  // namespace

// The file's second line, as RegExportText writes it.
std::optional<Moment> RecordedRemoval(std::span<const std::uint8_t> fileBytes) {
    const std::wstring text = DecodeUtf16Le(fileBytes, 160);
    const std::wstring header = std::wstring(kRegFileHeader) + L"\r\n";
    if (!HasByteOrderMark(fileBytes) || !text.starts_with(header)) return std::nullopt;
    std::wstring_view line = std::wstring_view(text).substr(header.size());
    if (!line.starts_with(kRemovedAt)) return std::nullopt;
    line.remove_prefix(kRemovedAt.size());
    const std::size_t end = std::min(line.find(L"\r\n"), line.find(L", "));
    if (end == std::wstring_view::npos) return std::nullopt;
    return ReadZonedText(line.substr(0, end));
}

// Whatever the registry editor would bring back changed, or would stumble
// on, comes last, in its key's section once more: an import that fails
// there has already restored everything else.
std::wstring RegExportText(std::wstring_view usersKeyPath, const NameSnapshot& snapshot, const std::optional<Moment>& removed) {
    const std::wstring users = std::wstring(kCurrentUserRoot) + std::wstring(usersKeyPath);
    std::wstring out = std::wstring(kRegFileHeader) + L"\r\n";
    // Its own record of the removal's time, which a copy, an unzip or a
    // touch keeps, as the file's modified time does not; and of what it
    // holds, as a file cut short at a line end looks whole. A comment to the editor.
    if (removed) {
        std::size_t keys = 0, values = snapshot.value ? 1 : 0;
        if (snapshot.key) Count(*snapshot.key, keys, values);
        out += std::wstring(kRemovedAt) + ZonedText(*removed) + L", " + HeldText(keys, values) + L"\r\n";
    }
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

}  // namespace reg

#include "registry/BackupFileName.h"

#include <cstddef>
#include <optional>
#include <utility>
#include <vector>

#include "registry/Hex.h"
#include "registry/RegFileWriter.h"
#include "registry/Surrogates.h"

namespace reg {

// A file name holds any character but these; each of them, and "%" itself,
// becomes "%XX" of its code unit ("%uXXXX" past 0xFF), so that no two names
// share a file name and the name can be read off it. Case stays: the
// registry holds one name in one case only. A lone surrogate is no
// character either. A long name keeps its first pieces and, for the rest,
// "%~" and a hash of the whole: a file name stays within Windows' 255
// characters and a Linux one's 255 bytes, and its path within MAX_PATH.
std::wstring BackupFileName(const Moment& removed, int attempt, std::wstring_view name) {
    constexpr std::size_t kKept = 60, kHashed = kKept - 18;
    std::vector<std::wstring> pieces;
    std::size_t length = 0;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const wchar_t ch = name[i];
        std::wstring piece(1, ch);
        if (IsHighSurrogate(ch) && i + 1 < name.size() && IsLowSurrogate(name[i + 1])) piece += name[++i];
        else if (ch < L' ' || IsHighSurrogate(ch) || IsLowSurrogate(ch) || std::wstring_view(L"<>:\"/\\|?*%").find(ch) != std::wstring_view::npos)
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

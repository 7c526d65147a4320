#include "registry/RegFileReader.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <unordered_map>

#include "registry/RegFileFormat.h"
#include "registry/RegistryTypes.h"
#include "registry/ValueTypes.h"

namespace reg {
namespace {


// The file's text, one line at a time, CRLF or LF; a line that ends in a
// backslash inside hex data goes on in the next.
class Lines {
public:
    explicit Lines(std::wstring_view text) : text_(text) {}
    bool Next(std::wstring_view& line) {
        if (at_ >= text_.size()) return false;
        const std::size_t end = text_.find(L'\n', at_);
        line = text_.substr(at_, end - at_);
        at_ = end + 1;
        if (line.ends_with(L'\r')) line.remove_suffix(1);
        ++number_;
        return true;
    }
    std::size_t Number() const { return number_; }

private:
    std::wstring_view text_;
    std::size_t at_ = 0;
    std::size_t number_ = 0;
};

int HexDigit(wchar_t ch) {
    if (ch >= L'0' && ch <= L'9') return ch - L'0';
    if (ch >= L'a' && ch <= L'f') return ch - L'a' + 10;
    if (ch >= L'A' && ch <= L'F') return ch - L'A' + 10;
    return -1;
}

// 1 to `most` hex digits, the whole of `text`.
std::optional<std::uint32_t> HexNumber(std::wstring_view text, std::size_t most) {
    if (text.empty() || text.size() > most) return std::nullopt;
    std::uint32_t number = 0;
    for (const wchar_t ch : text) {
        const int digit = HexDigit(ch);
        if (digit < 0) return std::nullopt;
        number = number << 4 | static_cast<std::uint32_t>(digit);
    }
    return number;
}

// Where a name is kept among its key's subkeys or values. Names the registry
// takes for one share it: their length, and the characters that no case
// folding reaches. Other letters only narrow the search: outside ASCII they
// fold across scripts, and onto ASCII's i, k and s (the dotless i, the long
// s and the Kelvin sign).
std::size_t Slot(std::size_t owner, std::wstring_view name) {
    std::size_t slot = owner * static_cast<std::size_t>(0x9E3779B97F4A7C15U) ^ name.size();
    for (const wchar_t ch : name) {
        const wchar_t lower = ch >= L'A' && ch <= L'Z' ? static_cast<wchar_t>(ch - L'A' + L'a') : ch;
        const bool folds = ch > 0x7F || lower == L'i' || lower == L'k' || lower == L's';
        slot = slot * 31 + (folds ? std::size_t{0x80} : static_cast<std::size_t>(lower));
    }
    return slot;
}

class Reader {
public:
    Reader(std::wstring_view usersKeyPath, const SameName& sameName, NameSnapshot& snapshot, std::wstring& why)
        : users_(usersKeyPath), sameName_(sameName), snapshot_(snapshot), why_(why) {}

    bool Read(std::wstring_view text) {
        Lines lines(text);
        std::wstring_view line;
        if (!lines.Next(line) || line != kRegFileHeader) return Refuse(L"it is not a \"" + std::wstring(kRegFileHeader) + L"\" file");
        if (!text.ends_with(L'\n')) return Refuse(L"it is cut short: its last line does not end");
        while (lines.Next(line)) {
            line_ = lines.Number();
            if (line_ == 2 && line.starts_with(kRemovedAt) && line.find(L", ") != std::wstring_view::npos)
                recorded_ = line.substr(line.find(L", ") + 2);
            if (line.empty() || line.starts_with(L';')) continue;
            if (line.starts_with(L'[')) {
                if (!Section(line)) return false;
                continue;
            }
            std::wstring joined(line);
            // Hex data goes on after a backslash at the end of a line.
            const bool hex = joined.find(L"=hex") != std::wstring::npos;
            while (hex && joined.ends_with(L'\\') && lines.Next(line)) {
                joined.pop_back();
                joined += line.substr(std::min(line.find_first_not_of(L' '), line.size()));
            }
            if (!Value(joined)) return false;
        }
        line_ = 0;
        // A file cut short at a line end reads as neatly as a whole one: only
        // the count of what it holds, which our backups record, tells them apart.
        std::size_t values = snapshot_.value ? 1 : 0;
        for (const Key& key : keys_) values += key.values.size();
        if (recorded_ && HeldText(keys_.size(), values) != *recorded_)
            return Refuse(L"it is cut short or was changed: it holds " + HeldText(keys_.size(), values) +
                          L", but its second line names " + std::wstring(*recorded_));
        if (!snapshot_.value && keys_.empty()) return Refuse(L"it holds no screen name");
        if (!keys_.empty()) snapshot_.key = Tree();
        snapshot_.name = snapshot_.value ? snapshot_.value->name : snapshot_.key->name;
        return true;
    }

private:
    bool Refuse(const std::wstring& reason) {
        why_ = line_ == 0 ? reason : L"line " + std::to_wstring(line_) + L": " + reason;
        return false;
    }

    // "[HKEY_CURRENT_USER\...\Users]" holds the name's value,
    // "[...\Users\NAME\...]" its settings; nothing else may be named.
    bool Section(std::wstring_view line) {
        sectionSeen_ = true;
        if (!line.ends_with(L']')) return Refuse(L"a key's line does not end in ]");
        std::wstring_view path = line.substr(1, line.size() - 2);
        if (path.starts_with(L'-')) return Refuse(L"it deletes a key");
        if (path.size() < kCurrentUserRoot.size() || !SameAsciiNoCase(path.substr(0, kCurrentUserRoot.size()), kCurrentUserRoot))
            return Refuse(L"it names a key outside HKEY_CURRENT_USER");
        path.remove_prefix(kCurrentUserRoot.size());
        if (static_cast<std::size_t>(std::ranges::count(path, L'\\')) >= kDeepestKey)
            return Refuse(L"a key lies more than " + std::to_wstring(kDeepestKey) + L" levels deep, deeper than the registry goes");
        const bool users = path.size() == users_.size() && SameAsciiNoCase(path, users_);
        const bool below = path.size() > users_.size() + 1 && SameAsciiNoCase(path.substr(0, users_.size()), users_) &&
                           path[users_.size()] == L'\\';
        if (!users && !below) return Refuse(L"it names a key outside the messenger's Users key");
        key_ = kUsersKey;
        if (users) return true;
        path.remove_prefix(users_.size() + 1);
        for (std::size_t start = 0; start <= path.size();) {
            const std::size_t end = std::min(path.find(L'\\', start), path.size());
            const std::wstring_view part = path.substr(start, end - start);
            if (part.empty()) return Refuse(L"a key's path has an empty part");
            if (key_ == kUsersKey) {
                if (!SameScreenName(part)) return false;
                if (keys_.empty()) keys_.push_back({std::wstring(part), {}, kUsersKey});
                key_ = 0;
            } else {
                key_ = Subkey(key_, part);
            }
            start = end + 1;
        }
        return true;
    }

    // The subkey of that name, made when the file names it first.
    std::size_t Subkey(std::size_t parent, std::wstring_view name) {
        const std::size_t slot = Slot(parent, name);
        for (auto [same, end] = subkeys_.equal_range(slot); same != end; ++same)
            if (keys_[same->second].parent == parent && sameName_(keys_[same->second].name, name)) return same->second;
        keys_.push_back({std::wstring(name), {}, parent});
        subkeys_.emplace(slot, keys_.size() - 1);
        return keys_.size() - 1;
    }

    // A key comes after its parent in keys_, so going from the last back
    // hands each its finished subkeys, in the file's order, without recursion.
    KeyTree Tree() {
        std::vector<KeyTree> trees(keys_.size());
        for (std::size_t i = keys_.size(); i-- > 0;) {
            trees[i].name = std::move(keys_[i].name);
            trees[i].values = std::move(keys_[i].values);
            std::ranges::reverse(trees[i].subkeys);
            if (i != 0) trees[keys_[i].parent].subkeys.push_back(std::move(trees[i]));
        }
        return std::move(trees[0]);
    }

    // One screen name per file: every value under Users and every key below
    // it must be that name.
    bool SameScreenName(std::wstring_view name) {
        const std::optional<std::wstring> earlier =
            snapshot_.value ? std::optional(snapshot_.value->name) : !keys_.empty() ? std::optional(keys_[0].name) : std::nullopt;
        if (earlier && !sameName_(*earlier, name)) return Refuse(L"it holds more than one screen name");
        return true;
    }

    bool Value(std::wstring_view line) {
        if (!sectionSeen_) return Refuse(L"a value comes before any key");
        ValueData value;
        std::size_t at = 0;
        if (line.starts_with(L'@')) {
            at = 1;
        } else if (const std::optional<std::wstring> name = Quoted(line, at)) {
            value.name = *name;
        } else {
            return false;
        }
        if (at >= line.size() || line[at] != L'=') return Refuse(L"a value's name is not followed by =");
        if (!Data(line.substr(at + 1), value)) return false;
        // A link's target value would only mislead: no backup of ours holds one.
        if (value.type == kRegLink) return Refuse(L"it writes a registry link's value");
        if (key_ == kUsersKey) {
            if (value.name.empty()) return Refuse(L"it writes the Users key's default value");
            if (snapshot_.value && !sameName_(snapshot_.value->name, value.name))
                return Refuse(L"it holds more than one screen name");
            if (!SameScreenName(value.name)) return false;
            snapshot_.value = std::move(value);
            return true;
        }
        // A value named twice (the file's end repeats some) keeps its last data.
        std::vector<ValueData>& values = keys_[key_].values;
        const std::size_t slot = Slot(key_, value.name);
        for (auto [same, end] = values_.equal_range(slot); same != end; ++same) {
            if (same->second.first == key_ && sameName_(values[same->second.second].name, value.name)) {
                values[same->second.second] = std::move(value);
                return true;
            }
        }
        values_.emplace(slot, std::pair(key_, values.size()));
        values.push_back(std::move(value));
        return true;
    }

    // "..." with \\ \" \n \r escaped, from `at`; `at` ends past the quote.
    std::optional<std::wstring> Quoted(std::wstring_view line, std::size_t& at) {
        if (at >= line.size() || line[at] != L'"') {
            Refuse(L"a value's name or text is not in quotes");
            return std::nullopt;
        }
        std::wstring text;
        for (++at; at < line.size(); ++at) {
            const wchar_t ch = line[at];
            if (ch == L'"') {
                ++at;
                return text;
            }
            if (ch != L'\\') {
                text += ch;
                continue;
            }
            if (++at == line.size()) break;
            switch (line[at]) {
            case L'\\': text += L'\\'; break;
            case L'"': text += L'"'; break;
            case L'n': text += L'\n'; break;
            case L'r': text += L'\r'; break;
            default:
                Refuse(L"a bad escape \\" + std::wstring(1, line[at]));
                return std::nullopt;
            }
        }
        Refuse(L"a quoted text does not end");
        return std::nullopt;
    }

    bool Data(std::wstring_view data, ValueData& value) {
        if (data == L"-") return Refuse(L"it deletes a value");
        if (data.starts_with(L'"')) {
            std::size_t at = 0;
            const std::optional<std::wstring> text = Quoted(data, at);
            if (!text) return false;
            if (at != data.size()) return Refuse(L"something follows a value's text");
            value.type = kRegSz;
            for (const wchar_t ch : *text + L'\0') value.bytes.insert(value.bytes.end(), {static_cast<std::uint8_t>(ch & 0xFF), static_cast<std::uint8_t>(ch >> 8)});
            return true;
        }
        if (data.starts_with(L"dword:")) {
            const std::optional<std::uint32_t> number = HexNumber(data.substr(6), 8);
            if (!number) return Refuse(L"a dword is not 1 to 8 hex digits");
            value.type = kRegDword;
            for (int shift = 0; shift < 32; shift += 8) value.bytes.push_back(static_cast<std::uint8_t>(*number >> shift));
            return true;
        }
        std::size_t colon = 0;
        if (data.starts_with(L"hex:")) {
            value.type = kRegBinary;
            colon = 3;
        } else if (data.starts_with(L"hex(") && (colon = data.find(L"):")) != std::wstring_view::npos) {
            const std::optional<std::uint32_t> type = HexNumber(data.substr(4, colon - 4), 8);
            if (!type) return Refuse(L"a value's type is not 1 to 8 hex digits");
            value.type = *type;
            ++colon;
        } else {
            return Refuse(L"a value of a form this file type does not have");
        }
        std::wstring_view bytes = data.substr(colon + 1);
        while (!bytes.empty()) {
            const std::optional<std::uint32_t> byte = bytes.size() >= 2 ? HexNumber(bytes.substr(0, 2), 2) : std::nullopt;
            if (!byte || (bytes.size() > 2 && bytes[2] != L',') || bytes.size() == 3)
                return Refuse(L"a bad hex byte in a value's data");
            value.bytes.push_back(static_cast<std::uint8_t>(*byte));
            bytes.remove_prefix(std::min<std::size_t>(3, bytes.size()));
        }
        return true;
    }

    std::wstring_view users_;
    const SameName& sameName_;
    NameSnapshot& snapshot_;
    std::wstring& why_;
    // The name's key and every key below it, as the file names them first.
    struct Key {
        std::wstring name;
        std::vector<ValueData> values;
        std::size_t parent;
    };
    static constexpr std::size_t kUsersKey = SIZE_MAX;
    std::vector<Key> keys_;
    // Each key's subkeys and values by Slot, so that a file of many reads
    // in time to its size: keys_ index, and (keys_ index, index among its values).
    std::unordered_multimap<std::size_t, std::size_t> subkeys_;
    std::unordered_multimap<std::size_t, std::pair<std::size_t, std::size_t>> values_;
    std::size_t key_ = kUsersKey;  // the section's key in keys_
    bool sectionSeen_ = false;
    std::size_t line_ = 0;
    std::optional<std::wstring_view> recorded_;  // what the second line says the file holds
};

// A key's values by name; values of one name keep the order they had.
// Pointers are sorted, not the values: no copy of the tree, and a sort of
// pointers is far less code than a stable sort of the values.
std::vector<const ValueData*> ByName(const std::vector<ValueData>& values) {
    std::vector<const ValueData*> sorted;
    sorted.reserve(values.size());
    for (const ValueData& value : values) sorted.push_back(&value);
    std::ranges::sort(sorted, [](const ValueData* a, const ValueData* b) {
        // Pointers into one vector: their order is the values' order.
        return a->name != b->name ? a->name < b->name : std::less<>{}(a, b);
    });
    return sorted;
}

bool SameByName(const KeyTree& a, const KeyTree& b) {
    if (a.name != b.name || a.values.size() != b.values.size() || a.subkeys.size() != b.subkeys.size())
        return false;
    const std::vector<const ValueData*> aValues = ByName(a.values);
    const std::vector<const ValueData*> bValues = ByName(b.values);
    for (std::size_t i = 0; i < aValues.size(); ++i)
        if (*aValues[i] != *bValues[i]) return false;
    for (std::size_t i = 0; i < a.subkeys.size(); ++i)
        if (!SameByName(a.subkeys[i], b.subkeys[i])) return false;
    return true;
}

}  // namespace

bool ReadBackup(std::span<const std::uint8_t> fileBytes, std::wstring_view usersKeyPath, const SameName& sameName,
                NameSnapshot& snapshot, std::wstring& why) {
    snapshot = {};
    why.clear();
    if (fileBytes.size() > kLargestBackup) {
        why = L"it is larger than any backup of ours";
        return false;
    }
    if (!HasByteOrderMark(fileBytes)) {
        why = L"it is not UTF-16 text with a byte order mark, as the registry editor writes";
        return false;
    }
    if (fileBytes.size() % 2 != 0) {
        why = L"it is cut short in the middle of a character";
        return false;
    }
    const std::wstring text = DecodeUtf16Le(fileBytes);
    // The registry API takes names as C text: a name holding a NUL would be
    // restored cut short, as another name.
    if (text.find(L'\0') != std::wstring::npos) {
        why = L"it holds a NUL character, which no name the registry API writes can hold";
        return false;
    }
    NameSnapshot read;
    if (!Reader(usersKeyPath, sameName, read, why).Read(text)) return false;
    snapshot = std::move(read);
    return true;
}

// The file puts the values that the registry editor would alter after the
// others, and the registry keeps no order among a key's values: they are
// compared by name. Keys come back in the order they were written.
bool ReadsBackAs(std::span<const std::uint8_t> fileBytes, std::wstring_view usersKeyPath, const SameName& sameName,
                 const NameSnapshot& snapshot) {
    NameSnapshot read;
    std::wstring why;
    if (!ReadBackup(fileBytes, usersKeyPath, sameName, read, why) || read.value != snapshot.value) return false;
    return read.key && snapshot.key ? SameByName(*read.key, *snapshot.key) : !read.key && !snapshot.key;
}

}  // namespace reg

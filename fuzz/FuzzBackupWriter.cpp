// A removal's side of the backup: any tree, of names the registry could hold
// and names it could not (line breaks, NUL, the file's own syntax, twins
// that differ in case), of any type and size, at any depth, is written, and
// either the removal's read-back check refuses the file or it reads back
// exactly, with no name that the registry API would cut at a NUL and no
// link's value.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <set>
#include <tuple>

#include "registry/RegFile.h"
#include "registry/RegistryTypes.h"
#include "registry/UsersKey.h"

namespace {

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool Done() const { return at_ >= size_; }
    std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    std::wstring Name() {
        constexpr wchar_t kChars[] = L"aA\r\n\\\"[]=@hex;- \x00E9\x00C9\xD83D\xDE00";
        std::wstring name(Byte() % 6, L'a');
        for (wchar_t& ch : name) ch = kChars[Byte() % std::size(kChars)];  // the array's own NUL too
        return name;
    }
    // Sizes stay small: a file past the largest backup costs seconds to
    // write under the sanitizers, and the reader refuses it by its size.
    reg::ValueData Value() {
        reg::ValueData value{Name(), Byte() % 12U, {}};
        if (value.type == 11) value.type = static_cast<std::uint32_t>(Byte()) << 24 | Byte();
        value.bytes.resize(Byte() == 0xFF ? std::size_t{Byte()} << 8 : Byte() % 12U);
        for (std::size_t i = 0; i < std::min<std::size_t>(value.bytes.size(), 32); ++i) value.bytes[i] = Byte();
        return value;
    }
    reg::KeyTree Key(std::wstring name) {
        reg::KeyTree key{std::move(name), {}, {}};
        for (int n = Byte() % 4; n-- > 0;) key.values.push_back(Value());
        for (int n = Byte() % 4; n-- > 0 && !Done();) key.subkeys.push_back(Key(Name()));
        return key;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_, at_ = 0;
};

// Every key and value by its path, in no order: an oracle apart from the
// check's own comparison.
using Path = std::vector<std::wstring>;
using Items = std::multiset<std::tuple<Path, std::wstring, std::uint32_t, std::vector<std::uint8_t>>>;
void Flatten(const reg::KeyTree& key, Path path, Items& items) {
    path.push_back(key.name);
    items.emplace(path, L"", ~0U, std::vector<std::uint8_t>{});
    for (const reg::ValueData& value : key.values) items.emplace(path, value.name, value.type, value.bytes);
    for (const reg::KeyTree& subkey : key.subkeys) Flatten(subkey, path, items);
}
Items ItemsOf(const reg::NameSnapshot& snapshot) {
    Items items;
    if (snapshot.value) items.emplace(Path{}, snapshot.value->name, snapshot.value->type, snapshot.value->bytes);
    if (snapshot.key) Flatten(*snapshot.key, {}, items);
    return items;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    const std::uint8_t parts = in.Byte();
    reg::NameSnapshot snapshot{in.Name(), {}, {}};
    if ((parts & 1) != 0) {
        snapshot.value = in.Value();
        snapshot.value->name = snapshot.name;
    }
    if ((parts & 2) != 0) snapshot.key = in.Key((parts & 4) != 0 ? snapshot.name : in.Name());
    const std::vector<std::uint8_t> bytes = reg::RegFileBytes(reg::RegExportText(USERS_KEY_PATH, snapshot));
    if (!reg::ReadsBackAs(bytes, USERS_KEY_PATH, reg::SameAsciiNoCase, snapshot)) return 0;
    reg::NameSnapshot read;
    std::wstring why;
    if (!reg::ReadBackup(bytes, USERS_KEY_PATH, reg::SameAsciiNoCase, read, why)) __builtin_trap();
    const Items items = ItemsOf(read);
    if (items != ItemsOf(snapshot)) __builtin_trap();
    const auto holdsNul = [](const std::wstring& name) { return name.find(L'\0') != std::wstring::npos; };
    for (const auto& [path, name, type, value] : items)
        if (type == 6 || holdsNul(name) || std::ranges::any_of(path, holdsNul)) __builtin_trap();
    return 0;
}

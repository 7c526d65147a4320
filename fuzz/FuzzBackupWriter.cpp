// A removal's side of the backup: any tree, of names the registry could hold
// and names it could not (line breaks, NUL, the file's own syntax, twins
// that differ in case), of any type and size, at any depth, is written, and
// either the removal's read-back check refuses the file or what it reads
// back writes the very same bytes again.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "registry/KeyTree.h"
#include "registry/RegFileReader.h"
#include "registry/RegFileWriter.h"
#include "registry/RegistryTypes.h"
#include "registry/UsersKey.h"
#include "registry/ValueTypes.h"

namespace {

// The fuzzer's bytes, taken from the front; zeros once they run out.
struct Input {
    const std::uint8_t *at, *end;
    std::uint8_t Byte() { return at < end ? *at++ : 0; }
    std::wstring Name() {
        constexpr wchar_t kChars[] = L"aA\r\n\\\"[]=@hex;- \x00E9\x00C9\xD83D\xDE00";
        std::wstring name(Byte() % 6, L'a');
        for (wchar_t& ch : name) ch = kChars[Byte() % std::size(kChars)];  // the array's own NUL too
        return name;
    }
    // Sizes stay small: a file past the largest backup takes seconds to write
    // under the sanitizers, and the reader refuses it by its size alone.
    reg::ValueData Value(std::wstring name) {
        reg::ValueData value{std::move(name), Byte() % (reg::kRegQword + 1), {}};
        value.bytes.resize(Byte() == 0xFF ? std::size_t{Byte()} << 8 : Byte() % 12U);
        for (std::size_t i = 0; i < std::min<std::size_t>(value.bytes.size(), 32); ++i) value.bytes[i] = Byte();
        return value;
    }
    reg::KeyTree Key(std::wstring name) {
        reg::KeyTree key{std::move(name), {}, {}};
        for (int n = Byte() % 4; n-- > 0;) key.values.push_back(Value(Name()));
        for (int n = Byte() % 4; n-- > 0 && at < end;) key.subkeys.push_back(Key(Name()));
        return key;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in{data, data + size};
    const std::uint8_t parts = in.Byte();
    reg::NameSnapshot snapshot{in.Name(), {}, {}};
    if ((parts & 1) != 0) snapshot.value = in.Value(snapshot.name);
    if ((parts & 2) != 0) snapshot.key = in.Key((parts & 4) != 0 ? snapshot.name : in.Name());
    const std::vector<std::uint8_t> bytes = reg::RegFileBytes(reg::RegExportText(USERS_KEY_PATH, snapshot, reg::Moment{}));
    if (!reg::ReadsBackAs(bytes, USERS_KEY_PATH, reg::SameAsciiNoCase, snapshot)) return 0;
    reg::NameSnapshot read;
    std::wstring why;
    if (!reg::ReadBackup(bytes, USERS_KEY_PATH, reg::SameAsciiNoCase, read, why) ||
        reg::RegFileBytes(reg::RegExportText(USERS_KEY_PATH, read, reg::Moment{})) != bytes)
        __builtin_trap();
    return 0;
}

// Whatever the reader accepts, the writer writes again, and that reads back
// as the same screen name: the writer is the oracle for what a file may say.
// The registry holds no order among a key's values, so they are compared as
// the registry would list them, by name.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "registry/RegFile.h"
#include "registry/RegistryTypes.h"
#include "registry/UsersKey.h"

namespace {

void ByName(reg::KeyTree& key) {
    std::ranges::sort(key.values, {}, &reg::ValueData::name);
    for (reg::KeyTree& subkey : key.subkeys) ByName(subkey);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    reg::NameSnapshot read, again;
    std::wstring why;
    if (!reg::ReadBackup({data, size}, USERS_KEY_PATH, reg::SameAsciiNoCase, read, why)) {
        if (why.empty() || !read.Empty()) __builtin_trap();
        return 0;
    }
    const std::vector<std::uint8_t> written = reg::RegFileBytes(reg::RegExportText(USERS_KEY_PATH, read));
    if (!reg::ReadBackup(written, USERS_KEY_PATH, reg::SameAsciiNoCase, again, why)) __builtin_trap();
    if (read.key) ByName(*read.key);
    if (again.key) ByName(*again.key);
    if (!(again == read)) __builtin_trap();
    return 0;
}

// Whatever the reader accepts, the writer writes again, and that reads back
// as the same screen name: the writer is the oracle for what a file may say.
#include <cstddef>
#include <cstdint>

#include "registry/KeyTree.h"
#include "registry/RegFileReader.h"
#include "registry/RegFileWriter.h"
#include "registry/RegistryTypes.h"
#include "registry/UsersKey.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    reg::NameSnapshot read;
    std::wstring why;
    if (!reg::ReadBackup({data, size}, USERS_KEY_PATH, reg::SameAsciiNoCase, read, why)) {
        if (why.empty() || !read.Empty()) __builtin_trap();
        return 0;
    }
    const std::vector<std::uint8_t> written = reg::RegFileBytes(reg::RegExportText(USERS_KEY_PATH, read, reg::Moment{}));
    if (!reg::ReadsBackAs(written, USERS_KEY_PATH, reg::SameAsciiNoCase, read)) __builtin_trap();
    return 0;
}

// Path composition against what the scripting shell makes of a path: the
// root's name first, the key path, and the item after the last backslash.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "registry/modMyRegistry.h"

namespace {

constexpr wchar_t kSlash = L'\\';

bool IsBare(std::wstring_view text) { return !text.empty() && text.find(kSlash) == std::wstring_view::npos; }

void CheckEnsureStrip(std::wstring_view text) {
    using namespace modMyRegistry;
    const std::wstring leading = EnsureLeadingSlash(text);
    FUZZ_CHECK(leading.starts_with(kSlash));
    FUZZ_CHECK(leading == text || leading == kSlash + std::wstring(text));
    FUZZ_CHECK(EnsureLeadingSlash(leading) == leading);

    const std::wstring trailing = EnsureTrailingSlash(text);
    FUZZ_CHECK(trailing.ends_with(kSlash));
    FUZZ_CHECK(trailing == text || trailing == std::wstring(text) + kSlash);
    FUZZ_CHECK(EnsureTrailingSlash(trailing) == trailing);

    // One backslash at most goes, so a run of them is shortened by one only.
    const std::wstring stripped = StripTrailingSlash(text);
    FUZZ_CHECK(text.starts_with(stripped));
    FUZZ_CHECK(stripped.size() + (text.ends_with(kSlash) ? 1 : 0) == text.size());
}

// The key path and the item are separated by the first NUL byte; each byte
// is one character, which is all the composition looks at.
void Split(const std::uint8_t* data, std::size_t size, std::wstring& keyPath, std::wstring& name) {
    std::wstring* target = &keyPath;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0 && target == &keyPath) {
            target = &name;
            continue;
        }
        target->push_back(static_cast<wchar_t>(data[i]));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace modMyRegistry;
    if (size == 0) return 0;
    // -128 to 127: the five roots and numbers either side of them.
    const std::int32_t rootKey = static_cast<std::int32_t>(data[0]) - 128;
    std::wstring keyPath, name;
    Split(data + 1, size - 1, keyPath, name);

    const std::wstring root = RootKeyName(rootKey);
    constexpr std::array<std::wstring_view, 5> kRoots = {L"HKEY_CLASSES_ROOT", L"HKEY_CURRENT_USER",
                                                         L"HKEY_LOCAL_MACHINE", L"HKEY_CURRENT_CONFIG",
                                                         L"HKEY_USERS"};
    FUZZ_CHECK(std::ranges::find(kRoots, root) != kRoots.end());
    FUZZ_CHECK((rootKey >= 0 && rootKey < 4) == (root != L"HKEY_USERS"));

    CheckEnsureStrip(keyPath);
    CheckEnsureStrip(name);

    const std::wstring valuePath = ValuePath(rootKey, keyPath, name);
    const std::wstring keyItemPath = KeyPath(rootKey, keyPath, name);
    const std::wstring keyOwnPath = ValuePath(rootKey, keyPath, L"");

    // Whatever the parts, the path stays below the root and below the key:
    // a value path is the key's path plus the item, a key path one
    // backslash more, and each part gains or loses one character at most.
    FUZZ_CHECK(valuePath.starts_with(root));
    FUZZ_CHECK(keyOwnPath.size() == root.size() || keyOwnPath[root.size()] == kSlash);
    FUZZ_CHECK(valuePath.starts_with(keyOwnPath));
    FUZZ_CHECK(keyItemPath == valuePath + kSlash);
    const auto grown = static_cast<std::ptrdiff_t>(valuePath.size()) -
                       static_cast<std::ptrdiff_t>(root.size() + keyPath.size() + name.size());
    FUZZ_CHECK(grown >= -2 && grown <= 2);
    // A value path ends in a backslash only when a part already ended in two.
    if (valuePath.ends_with(kSlash)) {
        FUZZ_CHECK(name.ends_with(L"\\\\") || (StripTrailingSlash(name).empty() && keyPath.ends_with(L"\\\\")));
    }

    // A key path clean of stray backslashes is taken as it is.
    const bool cleanKeyPath = !keyPath.empty() && !keyPath.starts_with(kSlash) && !keyPath.ends_with(kSlash);
    if (cleanKeyPath) FUZZ_CHECK(keyOwnPath == root + kSlash + keyPath);

    // A bare name is what the shell reads back after the last backslash,
    // and the key it deletes is that name under the same key.
    if (IsBare(name)) {
        FUZZ_CHECK(valuePath == keyOwnPath + kSlash + name);
        FUZZ_CHECK(valuePath.substr(valuePath.rfind(kSlash) + 1) == name);
        FUZZ_CHECK(keyItemPath.ends_with(kSlash + name + kSlash));
        FUZZ_CHECK(!keyItemPath.ends_with(L"\\\\"));
    }
    return 0;
}

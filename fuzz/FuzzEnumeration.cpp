// A Users key of any shape, listed and then one name removed: the list must
// show every value name in the registry's order, and the removal must take
// exactly the chosen name's value and key, or, refused, nothing at all.

#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstdio>
#include <cstdlib>

#include "FakeWindow.h"
#include "MemoryRegistry.h"
#include "registry/UsersKey.h"
#include "window/frmMain.h"

#define CHECK(condition)                                                          \
    do {                                                                          \
        if (!(condition)) {                                                       \
            std::fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                         \
        }                                                                         \
    } while (false)

namespace {

// Few characters, so that names collide (case-insensitively too), hold
// backslashes and reach past the Latin range.
constexpr std::array<wchar_t, 12> kAlphabet = {L'a', L'b', L'A', L'B', L'\\', L' ', L'0',
                                               L'\u00E9', L'\u00C9', L'\u00DF', L'\u4E00', L'\u03A9'};

std::wstring ConsumeName(FuzzedDataProvider& input) {
    const std::size_t length = input.ConsumeIntegralInRange<int>(0, 63) == 0
                                   ? input.ConsumeIntegralInRange<std::size_t>(0, reg::kLongestValueName)
                                   : input.ConsumeIntegralInRange<std::size_t>(0, 8);
    std::wstring name;
    for (const char c : input.ConsumeBytesAsString(std::min<std::size_t>(length, 8)))
        name += kAlphabet[static_cast<unsigned char>(c) % kAlphabet.size()];
    while (!name.empty() && name.size() < length) name += name;
    return name.substr(0, length);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    MemoryRegistry registry;
    const std::wstring users(USERS_KEY_PATH);
    // Neighbours that a wrong path would hit: the parent's "Users" value and a sibling key.
    registry.CreateKey(users + L"\\..").values.insert(L"Users");
    registry.CreateKey(users + L"\\..\\Other");
    if (input.ConsumeBool()) {
        MemoryRegistry::Key& key = registry.CreateKey(users);
        for (int i = input.ConsumeIntegralInRange(0, 24); i > 0; --i) {
            const std::wstring name = ConsumeName(input);
            if (input.ConsumeBool()) key.values.insert(name);
            if (input.ConsumeBool() && frmMain::IsAddressableName(name)) key.subkeys[name].subkeys[L"Settings"];
        }
    }
    if (input.ConsumeBool()) registry.reportedMaxName = input.ConsumeIntegral<std::uint32_t>();
    registry.shellCreationFails = input.ConsumeBool();

    FakeWindow window;
    frmMain form(window, window, window, registry, registry, registry);
    form.OnLoad();
    const MemoryRegistry::Key* key = registry.FindKey(users);
    const std::vector<std::wstring> listed = key ? std::vector<std::wstring>(key->values.begin(), key->values.end())
                                                 : std::vector<std::wstring>{};
    CHECK(window.items == listed);
    CHECK(window.statusTexts.size() == listed.size());
    if (listed.empty()) return 0;

    const int item = 1 + input.ConsumeIntegral<std::uint16_t>() % static_cast<int>(listed.size());
    const std::wstring name = listed[static_cast<std::size_t>(item - 1)];
    MemoryRegistry::Key expected = *registry.FindKey(L"");
    const bool removable = frmMain::IsAddressableName(name) && !registry.shellCreationFails;
    if (removable) {
        MemoryRegistry::Key& expectedUsers = *const_cast<MemoryRegistry::Key*>(&expected);
        MemoryRegistry::Key* at = &expectedUsers;
        for (const wchar_t* part : {L"Software", L"America Online", L"AOL Instant Messenger (TM)", L"CurrentVersion", L"Users"})
            at = &at->subkeys.at(part);
        at->values.erase(name);
        at->subkeys.erase(name);
    }
    window.selected = item;
    form.OnRemoveNameClick();
    CHECK(registry.liveShells == 0);
    CHECK(*registry.FindKey(L"") == expected);
    CHECK(window.items.size() == listed.size() - (removable ? 1 : 0));
    CHECK(window.StatusText() == (removable ? std::to_wstring(window.items.size()) + L" ScreeNames(s) found."
                                            : frmMain::CouldNotRemoveText(name)));
    return 0;
}

// A registry of any shape under the Users key, listed and then one name
// removed: the list must show every value name in the registry's order, and
// the removal must take exactly the chosen name and nothing else.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "fuzz/FuzzWindow.h"
#include "platform/MemoryRegistry.h"
#include "screennames/EnumerateValues.h"
#include "window/frmMain.h"

namespace {

constexpr std::size_t kLongestValueName = 16383;
constexpr std::wstring_view kParentPath = L"Software\\America Online\\AOL Instant Messenger (TM)\\CurrentVersion";

// Few characters, so that names collide (case-insensitively too), hold
// backslashes and reach past the Latin range.
constexpr std::array<wchar_t, 16> kAlphabet = {L'a', L'b', L'A', L'B', L'\\', L'.', L' ', L'-',
                                               L'0', L'\u00E9', L'\u00C9', L'\u00DF', L'\u4E00', L'/', L'_', L'\u0130'};

std::wstring ConsumeName(FuzzedDataProvider& input) {
    // Mostly short names; now and then one up to the registry's limit, its
    // few input characters repeated.
    const bool isLong = input.ConsumeIntegralInRange<int>(0, 63) == 0;
    const std::size_t length = isLong ? input.ConsumeIntegralInRange<std::size_t>(0, kLongestValueName)
                                      : input.ConsumeIntegralInRange<std::size_t>(0, 12);
    const std::string pattern = input.ConsumeBytesAsString(std::min<std::size_t>(length, 12));
    if (pattern.empty()) return {};
    std::wstring name;
    for (const char c : pattern) name.push_back(kAlphabet[static_cast<unsigned char>(c) % kAlphabet.size()]);
    // Doubling rather than a loop per character keeps long names cheap.
    while (name.size() < length) name += name;
    name.resize(length);
    return name;
}

// Reports a longest name shorter than the truth, as when another process
// adds a longer name between the query and the read.
class UnderstatingReader final : public reg::RegistryReader {
public:
    UnderstatingReader(MemoryRegistry& registry, std::uint32_t reportedMax) : registry_(registry), reportedMax_(reportedMax) {}

    std::unique_ptr<reg::OpenKey> OpenCurrentUser(std::wstring_view keyPath, reg::Status& status) override {
        std::unique_ptr<reg::OpenKey> key = registry_.OpenCurrentUser(keyPath, status);
        return key == nullptr ? nullptr : std::make_unique<Key>(std::move(key), reportedMax_);
    }
    bool NameRemains(std::wstring_view keyPath, std::wstring_view name) override {
        return registry_.NameRemains(keyPath, name);
    }

private:
    class Key final : public reg::OpenKey {
    public:
        Key(std::unique_ptr<reg::OpenKey> key, std::uint32_t reportedMax) : key_(std::move(key)), reportedMax_(reportedMax) {}
        reg::Status QueryMaxValueNameLength(std::uint32_t& chars) override {
            const reg::Status status = key_->QueryMaxValueNameLength(chars);
            chars = std::min(chars, reportedMax_);
            return status;
        }
        reg::Status EnumValueName(std::uint32_t index, std::span<wchar_t> buffer, std::uint32_t& length) override {
            return key_->EnumValueName(index, buffer, length);
        }

    private:
        std::unique_ptr<reg::OpenKey> key_;
        std::uint32_t reportedMax_;
    };

    MemoryRegistry& registry_;
    std::uint32_t reportedMax_;
};

std::wstring Child(std::wstring path, std::wstring_view name) {
    path += L'\\';
    path += name;
    return path;
}

bool SameTree(const MemoryRegistry::Key& a, const MemoryRegistry::Key& b) {
    if (a.values != b.values || a.subkeys.size() != b.subkeys.size()) return false;
    return std::equal(a.subkeys.begin(), a.subkeys.end(), b.subkeys.begin(), [](const auto& x, const auto& y) {
        return x.first == y.first && SameTree(x.second, y.second);
    });
}

void AddSubtree(FuzzedDataProvider& input, MemoryRegistry& registry, const std::wstring& path, int depth) {
    const int values = input.ConsumeIntegralInRange<int>(0, 2);
    for (int i = 0; i < values; ++i) registry.SetValue(path, ConsumeName(input), input.ConsumeIntegral<std::size_t>());
    if (depth == 0) return;
    const int subkeys = input.ConsumeIntegralInRange<int>(0, 2);
    for (int i = 0; i < subkeys; ++i) {
        const std::wstring name = ConsumeName(input);
        // A key's name can be neither empty nor hold a backslash.
        if (frmMain::IsAddressableName(name)) AddSubtree(input, registry, Child(path, name), depth - 1);
    }
}

struct NoShells final : ScriptShellFactory {
    std::unique_ptr<ScriptShell> Create() override { return nullptr; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    MemoryRegistry registry;
    const std::wstring usersPath(USERS_KEY_PATH);

    // Neighbours a wrong path would hit: the parent's "Users" value and its
    // default value, and a sibling key.
    registry.SetValue(kParentPath, L"Users", 4);
    registry.SetValue(kParentPath, L"", 1);
    registry.SetValue(Child(std::wstring(kParentPath), L"Other"), L"a", 1);

    const bool usersKeyExists = input.ConsumeBool();
    if (usersKeyExists) {
        registry.CreateKey(usersPath);
        const int values = input.ConsumeIntegralInRange<int>(0, 24);
        for (int i = 0; i < values; ++i) {
            const std::wstring name = ConsumeName(input);
            registry.SetValue(usersPath, name, input.ConsumeIntegral<std::size_t>());
            if (input.ConsumeBool() && frmMain::IsAddressableName(name)) AddSubtree(input, registry, Child(usersPath, name), 1);
        }
        // Subkeys without a value of their name are not listed.
        const int strays = input.ConsumeIntegralInRange<int>(0, 2);
        for (int i = 0; i < strays; ++i) {
            const std::wstring name = ConsumeName(input);
            if (frmMain::IsAddressableName(name)) registry.CreateKey(Child(usersPath, name));
        }
    }
    const auto reportedMax = input.ConsumeIntegralInRange<std::uint32_t>(0, kLongestValueName + 1);
    const bool shellsFail = input.ConsumeBool();
    const auto pick = input.ConsumeIntegral<std::uint16_t>();

    // Listing.
    UnderstatingReader reader(registry, reportedMax);
    FuzzWindow window;
    NoShells noShells;
    ScriptShellFactory* const shells = shellsFail ? static_cast<ScriptShellFactory*>(&noShells) : &registry;
    frmMain form(window, window, window, reader, *shells);
    form.OnLoad();

    std::vector<std::wstring> expected;
    if (const MemoryRegistry::Key* users = registry.FindKey(usersPath); users != nullptr) {
        for (const auto& [name, dataSize] : users->values) expected.push_back(name);
    }
    FUZZ_CHECK(window.items == expected);
    if (expected.empty()) {
        FUZZ_CHECK(!window.statusText);
    } else {
        FUZZ_CHECK(window.statusText == std::to_wstring(expected.size()) + std::wstring(EnumerateValues::kFoundSuffix));
    }
    if (expected.empty()) return 0;

    // Removal of one listed name.
    const int item = 1 + pick % static_cast<int>(expected.size());
    const std::wstring name = expected[static_cast<std::size_t>(item - 1)];
    window.selected = item;
    const std::optional<std::wstring> statusBefore = window.statusText;
    const MemoryRegistry::Key before = *registry.FindKey(L"");
    form.OnRemoveNameClick();
    FUZZ_CHECK(registry.liveShells == 0);

    const bool removable = frmMain::IsAddressableName(name) && !shellsFail;
    if (!removable) {
        FUZZ_CHECK(SameTree(*registry.FindKey(L""), before));
        FUZZ_CHECK(window.items == expected);
        FUZZ_CHECK(window.statusText == frmMain::CouldNotRemoveText(name));
        return 0;
    }
    MemoryRegistry::Key after = before;
    MemoryRegistry::Key* users = &after;
    for (const std::wstring_view part : {L"Software", L"America Online", L"AOL Instant Messenger (TM)", L"CurrentVersion", L"Users"}) {
        users = &users->subkeys.at(std::wstring(part));
    }
    users->values.erase(name);
    users->subkeys.erase(name);
    FUZZ_CHECK(SameTree(*registry.FindKey(L""), after));
    FUZZ_CHECK(!registry.NameRemains(usersPath, name));

    expected.erase(expected.begin() + (item - 1));
    FUZZ_CHECK(window.items == expected);
    FUZZ_CHECK(window.statusText == statusBefore);
    if (expected.empty()) {
        FUZZ_CHECK(!window.selected);
    } else {
        FUZZ_CHECK(window.selected == std::min(item, static_cast<int>(expected.size())));
    }
    return 0;
}

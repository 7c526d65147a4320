#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <random>
#include <string_view>

#include "TestRegistry.h"
#include "WindowUnderTest.h"

namespace {

using Rng = std::mt19937_64;

std::size_t Pick(Rng& rng, std::size_t count) { return std::uniform_int_distribution<std::size_t>(0, count - 1)(rng); }
bool Chance(Rng& rng, double p) { return std::bernoulli_distribution(p)(rng); }

std::optional<unsigned long long> EnvNumber(const char* name) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') return std::nullopt;
    return std::strtoull(text, nullptr, 10);
}

// Letters whose case the registry folds, characters without case, and
// characters outside the BMP (two UTF-16 units each).
constexpr std::wstring_view kCased = L"abcdefghijklmnopqrstuvwxyzéàöçñαβγжщя";
constexpr std::wstring_view kUncased = L"0123456789 -_.~!@#$%&()[]{}'+,;=^`ß中文字한국語\t";
constexpr std::wstring_view kAstral[] = {L"\U0001F600", L"\U00010400", L"\U0001D11E", L"\U00020BB7"};
constexpr std::wstring_view kSettingsKeys[] = {L"Settings", L"Buddy List", L"Prefs", L"Ω"};
constexpr DWORD kTypes[] = {REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_BINARY, REG_DWORD, REG_QWORD, REG_NONE};

wchar_t WithCase(wchar_t ch, bool upper) {
    if (upper) CharUpperBuffW(&ch, 1);
    else CharLowerBuffW(&ch, 1);
    return ch;
}

std::wstring RandomName(Rng& rng, std::size_t length) {
    std::wstring name;
    while (name.size() < length) {
        const std::size_t roll = Pick(rng, 100);
        if (roll < 60) {
            const wchar_t letter = kCased[Pick(rng, kCased.size())];
            name += WithCase(letter, Chance(rng, 0.3));
        } else if (roll < 90 || length - name.size() < 2) {
            name += kUncased[Pick(rng, kUncased.size() - (Chance(rng, 0.9) ? 1 : 0))];
        } else {
            name += kAstral[Pick(rng, std::size(kAstral))];
        }
    }
    return name;
}

// Mostly short, some up to the longest key name, a few up to the longest
// value name.
std::size_t RandomLength(Rng& rng, bool heavy) {
    if (heavy && Chance(rng, 0.2)) return Chance(rng, 0.3) ? 16383 : 256 + Pick(rng, 16383 - 256);
    if (Chance(rng, 0.1)) return 13 + Pick(rng, 255 - 12);
    return 1 + Pick(rng, 12);
}

std::wstring OtherCase(std::wstring name) {
    for (wchar_t& ch : name) ch = WithCase(ch, !IsCharUpperW(ch));
    return name;
}

TestValue RandomValue(Rng& rng, std::wstring name, bool heavy) {
    TestValue value{std::move(name), kTypes[Pick(rng, std::size(kTypes))], {}};
    std::size_t size = heavy && Chance(rng, 0.1) ? 65536 : Chance(rng, 0.2) ? 0 : Pick(rng, 65);
    if (size != 0 && value.type == REG_DWORD) size = 4;
    if (size != 0 && value.type == REG_QWORD) size = 8;
    if (value.type == REG_SZ || value.type == REG_EXPAND_SZ || value.type == REG_MULTI_SZ) {
        if (size < 2) return value;
        std::wstring text = RandomName(rng, size / 2 - 1);
        if (value.type == REG_MULTI_SZ && text.size() > 2) {
            text[Pick(rng, text.size() - 1)] = L'\0';
            text.back() = L'\0';
        }
        value.data = SzData(text);
        return value;
    }
    value.data.resize(size);
    for (BYTE& byte : value.data) byte = static_cast<BYTE>(Pick(rng, 256));
    return value;
}

// A name's key with settings up to 4 levels below it, some keys holding no
// value.
void AddSubtree(Rng& rng, const std::wstring& path, int depth, bool heavy, std::vector<TestKey>& keys) {
    TestKey key{path, {}};
    for (std::size_t count = Pick(rng, 3); count != 0; --count)
        key.values.push_back(RandomValue(rng, RandomName(rng, 1 + Pick(rng, 8)), heavy));
    keys.push_back(std::move(key));
    if (depth == 4) return;
    for (std::size_t count = Pick(rng, depth == 0 ? 4 : 3); count != 0; --count) {
        const std::wstring child =
            Chance(rng, 0.7) ? std::wstring(kSettingsKeys[Pick(rng, std::size(kSettingsKeys))]) : RandomName(rng, 5);
        AddSubtree(rng, path + L'\\' + child, depth + 1, heavy, keys);
    }
}

std::vector<TestKey> RandomTree(Rng& rng, bool heavy) {
    std::vector<TestKey> keys{{L"", {}}};
    std::vector<std::wstring> names;
    for (std::size_t count = Pick(rng, 13); count != 0; --count) {
        const std::size_t kind = Pick(rng, 100);
        const std::wstring earlier = names.empty() ? RandomName(rng, 3) : names[Pick(rng, names.size())];
        std::wstring name;
        // Longer names are not extended: they would pass the longest value name.
        if (kind < 8 || (kind < 20 && earlier.size() > 255)) name = OtherCase(earlier);
        else if (kind < 14) name = earlier + RandomName(rng, 1 + Pick(rng, 3));
        else if (kind < 20) name = earlier + L'\\' + std::wstring(kSettingsKeys[Pick(rng, std::size(kSettingsKeys))]);
        else if (kind < 24) name = L"";
        else name = RandomName(rng, RandomLength(rng, heavy));
        names.push_back(name);

        const bool keyable = !name.empty() && name.find(L'\\') == std::wstring::npos && name.size() <= 255;
        const std::size_t shape = Pick(rng, 100);  // value only, value and key, key only
        if (!keyable || shape < 75) keys[0].values.push_back(RandomValue(rng, name, heavy));
        if (keyable && shape >= 40) AddSubtree(rng, Chance(rng, 0.3) ? OtherCase(name) : name, 0, heavy, keys);
    }
    return keys;
}

bool Refused(const std::wstring& name) { return name.empty() || name.find(L'\\') != std::wstring::npos; }

struct Figures {
    unsigned long long seed = 0;
    std::size_t tree = 0, step = 0;
    std::size_t trees = 0, removals = 0, refusals = 0, violations = 0;
    std::vector<std::string> first;

    void Check(bool holds, const std::string& what) {
        if (holds) return;
        if (++violations <= 5)
            first.push_back("seed=" + std::to_string(seed) + " tree=" + std::to_string(tree) +
                            " step=" + std::to_string(step) + ": " + what);
    }
};

// One removal through the window: what it must do to the registry, the list
// and the status bar.
void RemovalStep(WindowUnderTest& window, std::vector<std::wstring>& items, std::size_t index, Figures& figures) {
    const std::wstring name = items[index];
    const std::wstring before = DumpMessengerTree();
    window.Remove(static_cast<int>(index));
    const std::wstring after = DumpMessengerTree();
    const std::vector<std::wstring> listed = window.Items();
    const std::wstring status = window.StatusText();
    const std::string shown = " (name \"" + Shown(name) + "\")";
    if (Refused(name)) {
        ++figures.refusals;
        figures.Check(after == before, "refusal changed the registry: " + FirstDifference(before, after) + shown);
        figures.Check(listed == items, "refusal changed the list" + shown);
        figures.Check(status == CouldNotRemoveText(name), "refusal status \"" + Shown(status) + "\"" + shown);
    } else {
        ++figures.removals;
        const std::wstring expected = DumpWithout(before, name);
        figures.Check(after == expected, "removal changed more or less: " + FirstDifference(expected, after) + shown);
        items.erase(items.begin() + static_cast<std::ptrdiff_t>(index));
        figures.Check(listed == items, "item did not leave the list, or others moved" + shown);
        figures.Check(status != CouldNotRemoveText(name), "removal reported as failed" + shown);
    }
    figures.Check(listed == UsersValueNames(), "list differs from the registry after a removal" + shown);
    items = listed;
}

TEST(Property, ListAndRemovalFollowTheRegistry) {
    const auto started = std::chrono::steady_clock::now();
    Figures figures;
    figures.seed = EnvNumber("TALLOWICK_SEED").value_or(std::random_device{}() * 65536ULL + std::random_device{}());
    const std::size_t treeCount = EnvNumber("TALLOWICK_TREES").value_or(300);
    std::printf("seed=%llu\n", figures.seed);
    std::fflush(stdout);

    for (figures.tree = 0; figures.tree < treeCount; ++figures.tree) {
        figures.step = 0;
        // Every tree has a seed of its own: a change in one leaves the others.
        Rng rng(figures.seed + 0x9E3779B97F4A7C15ULL * (figures.tree + 1));
        const bool heavy = Chance(rng, 0.1);
        if (Chance(rng, 0.03)) DeleteMessengerTree();
        else ResetUsersKey(RandomTree(rng, heavy));
        ++figures.trees;

        WindowUnderTest window;
        figures.Check(window.Created(), "the window was not created");
        if (!window.Created()) continue;
        std::vector<std::wstring> items = window.Items();
        figures.Check(items == UsersValueNames(), "list differs from the registry");
        const std::wstring status = window.StatusText();
        figures.Check(status == (items.empty() ? L"" : FoundText(items.size())), "status \"" + Shown(status) + "\"");

        for (std::size_t steps = 1 + Pick(rng, 4); steps != 0 && !items.empty(); --steps) {
            ++figures.step;
            std::vector<std::size_t> refused;
            for (std::size_t i = 0; i < items.size(); ++i)
                if (Refused(items[i])) refused.push_back(i);
            const std::size_t index =
                !refused.empty() && Chance(rng, 0.35) ? refused[Pick(rng, refused.size())] : Pick(rng, items.size());
            RemovalStep(window, items, index, figures);
        }
    }
    DeleteMessengerTree();

    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("property: seed=%llu trees=%zu removals=%zu refusals=%zu violations=%zu time=%.1fs\n", figures.seed,
                figures.trees, figures.removals, figures.refusals, figures.violations, seconds);
    for (const std::string& line : figures.first) std::printf("  %s\n", line.c_str());
    if (figures.violations != 0)
        std::printf("  reproduce: TALLOWICK_SEED=%llu TALLOWICK_TREES=<tree + 1>\n", figures.seed);
    EXPECT_EQ(figures.violations, 0U);
}

// Value names may run to 16,383 characters, key names only to 255: past that
// no key of the name can exist, and the value alone is the name.
TEST(Property, NamesPastTheKeyNameLimitLeaveTheList) {
    for (const std::size_t length : {255U, 256U, 300U, 16383U}) {
        const std::wstring name(length, L'n');
        std::vector<TestKey> keys{{L"", {{L"kept", REG_SZ, SzData(L"k")}, {name, REG_SZ, SzData(L"v")}}}};
        if (length <= 255) keys.push_back({name + L"\\Settings", {{L"x", REG_DWORD, {1, 0, 0, 0}}}});
        ResetUsersKey(keys);
        const std::wstring before = DumpMessengerTree();
        WindowUnderTest window;
        ASSERT_TRUE(window.Created());
        ASSERT_TRUE(window.Items() == (std::vector<std::wstring>{L"kept", name})) << length;
        window.Remove(1);
        EXPECT_TRUE(window.Items() == std::vector<std::wstring>{L"kept"}) << "still listed at length " << length;
        EXPECT_NE(window.StatusText().substr(0, 16), L"Could not remove") << length;
        const std::wstring after = DumpMessengerTree(), expected = DumpWithout(before, name);
        EXPECT_TRUE(after == expected) << length << ": " << FirstDifference(expected, after);
    }
    DeleteMessengerTree();
}

}  // namespace

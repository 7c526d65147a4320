#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <set>

#include "bench/BaselineList.h"
#include "bench/Options.h"
#include "bench/ScratchUsersKey.h"
#include "bench/ScreenNames.h"
#include "bench/Stats.h"
#include "platform/MainWindow.h"
#include "platform/ScriptShells.h"
#include "platform/Win32Handles.h"
#include "platform/Win32Registry.h"
#include "screennames/EnumerateValues.h"

namespace {

using namespace bench;

TEST(BenchOptions, ParsesOrRefuses) {
    struct Case {
        std::vector<std::wstring_view> args;
        bool valid;
        std::size_t maxN;
        bool quick, force;
        int reps;
        std::wstring_view exe;
    };
    const std::vector<Case> cases{
        {{}, true, 100000, false, false, 0, L""},
        {{L"--quick"}, true, 100000, true, false, 0, L""},
        {{L"--max-n", L"10,000", L"--force"}, true, 10000, false, true, 0, L""},
        {{L"--reps", L"7", L"--exe", L"C:\\t.exe"}, true, 100000, false, false, 7, L"C:\\t.exe"},
        {{L"--max-n"}, false, 0, false, false, 0, L""},
        {{L"--max-n", L"99"}, false, 0, false, false, 0, L""},
        {{L"--max-n", L"1e4"}, false, 0, false, false, 0, L""},
        {{L"--reps", L"0"}, false, 0, false, false, 0, L""},
        {{L"--exe"}, false, 0, false, false, 0, L""},
        {{L"--fast"}, false, 0, false, false, 0, L""},
    };
    for (const Case& c : cases) {
        std::wstring error;
        const std::optional<Options> options = ParseOptions(c.args, error);
        const std::wstring first = c.args.empty() ? L"" : std::wstring(c.args.front());
        ASSERT_EQ(options.has_value(), c.valid) << "first argument " << testing::PrintToString(first);
        if (!options) {
            EXPECT_FALSE(error.empty());
            continue;
        }
        EXPECT_EQ(options->maxN, c.maxN);
        EXPECT_EQ(options->quick, c.quick);
        EXPECT_EQ(options->force, c.force);
        EXPECT_EQ(options->reps, c.reps);
        EXPECT_EQ(options->exe, c.exe);
    }
}

TEST(BenchOptions, SizesAndRepetitions) {
    const auto sizes = [](std::vector<std::wstring_view> args) {
        std::wstring error;
        return ListingSizes(*ParseOptions(args, error));
    };
    EXPECT_EQ(sizes({}), (std::vector<std::size_t>{100, 1000, 10000, 100000}));
    EXPECT_EQ(sizes({L"--max-n", L"5000"}), (std::vector<std::size_t>{100, 1000}));
    EXPECT_EQ(sizes({L"--quick"}), (std::vector<std::size_t>{100, 1000}));
    EXPECT_EQ(sizes({L"--quick", L"--max-n", L"100"}), (std::vector<std::size_t>{100}));

    Options full;
    for (const std::size_t n : {100, 1000, 10000, 100000}) EXPECT_GE(RepetitionsFor(full, n), 5) << n;
    Options quick;
    quick.quick = true;
    EXPECT_EQ(RepetitionsFor(quick, 1000), 3);
    quick.reps = 11;
    EXPECT_EQ(RepetitionsFor(quick, 1000), 11);
}

TEST(BenchStats, MedianIgnoresOutliers) {
    const std::vector<std::pair<std::vector<double>, double>> cases{
        {{}, 0}, {{4}, 4}, {{9, 1, 5}, 5}, {{1, 2, 3, 1000}, 2.5}, {{7, 7, 100, 7, 0}, 7}};
    for (const auto& [samples, median] : cases) EXPECT_DOUBLE_EQ(Median(samples), median);
}

TEST(BenchScreenNames, DistinctPlausibleAndInRegistryOrder) {
    const std::vector<std::wstring> names = MakeScreenNames(20000, 7);
    ASSERT_EQ(names.size(), 20000u);
    std::set<std::wstring> folded;
    for (const std::wstring& name : names) {
        EXPECT_TRUE(IsPlausibleScreenName(name)) << testing::PrintToString(name);
        std::wstring lower = name;
        std::transform(lower.begin(), lower.end(), lower.begin(), [](wchar_t c) { return std::towlower(c); });
        folded.insert(lower);
    }
    EXPECT_EQ(folded.size(), names.size());
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end(), LessIgnoringCase));
    EXPECT_EQ(MakeScreenNames(50, 7), MakeScreenNames(50, 7));
    EXPECT_NE(MakeScreenNames(50, 7), MakeScreenNames(50, 8));
}

TEST(BenchScreenNames, PlausibilityRule) {
    const std::vector<std::pair<std::wstring_view, bool>> cases{
        {L"abc", true}, {L"Cool_Dude_1985ab", true}, {L"ab", false}, {L"Cool_Dude_1985abc", false},
        {L"cool dude", false}, {L"a\\b", false}, {L"", false}};
    for (const auto& [name, plausible] : cases) EXPECT_EQ(IsPlausibleScreenName(name), plausible) << name.size();
}

// The bench borrows the product's own key: it must leave a user's names alone.
class ScratchKeyTest : public testing::Test {
protected:
    static constexpr wchar_t kVendorKey[] = L"Software\\America Online";
    void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, kVendorKey); }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, kVendorKey); }

    static bool Exists(const std::wstring& path) {
        UniqueHKey key;
        return RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
    }
    static DWORD ValueCount() {
        UniqueHKey key;
        DWORD values = 0;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, std::wstring(USERS_KEY_PATH).c_str(), 0, KEY_READ, key.put()) ==
            ERROR_SUCCESS)
            RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                             nullptr, nullptr, nullptr);
        return values;
    }
};

TEST_F(ScratchKeyTest, RefusesAnOccupiedKeyUnlessForced) {
    UniqueHKey users;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, std::wstring(USERS_KEY_PATH).c_str(), 0, nullptr, 0, KEY_WRITE,
                              nullptr, users.put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(users.get(), L"RealUser", 0, REG_SZ, nullptr, 0), ERROR_SUCCESS);
    {
        ScratchUsersKey scratch;
        std::wstring why;
        EXPECT_EQ(scratch.Claim(false, why), ClaimResult::Occupied);
        EXPECT_NE(why.find(L"1 value"), std::wstring::npos) << testing::PrintToString(why);
    }
    EXPECT_EQ(ValueCount(), 1u);
    {
        ScratchUsersKey scratch;
        std::wstring why;
        EXPECT_EQ(scratch.Claim(true, why), ClaimResult::Claimed);
        EXPECT_EQ(ValueCount(), 0u);
    }
    // The key was there before the bench: it stays, empty.
    EXPECT_TRUE(Exists(std::wstring(USERS_KEY_PATH)));
}

TEST_F(ScratchKeyTest, DeletesWhatItCreated) {
    const std::vector<std::wstring> names = MakeScreenNames(101, 3);
    {
        ScratchUsersKey scratch;
        std::wstring why;
        ASSERT_EQ(scratch.Claim(false, why), ClaimResult::Claimed);
        ASSERT_EQ(scratch.Fill(names), ERROR_SUCCESS);
        EXPECT_EQ(ValueCount(), 101u);
        EXPECT_TRUE(Exists(std::wstring(USERS_KEY_PATH) + L'\\' + names[0] + L"\\Preferences"));
        EXPECT_FALSE(Exists(std::wstring(USERS_KEY_PATH) + L'\\' + names[1]));
        ASSERT_EQ(scratch.Fill(std::vector<std::wstring>(names.begin(), names.begin() + 10)), ERROR_SUCCESS);
        EXPECT_EQ(ValueCount(), 10u);
        EXPECT_FALSE(Exists(std::wstring(USERS_KEY_PATH) + L'\\' + names[100]));
    }
    EXPECT_FALSE(Exists(kVendorKey));
}

// The comparison holds only if both listings leave the same list and status
// bar: the window's load, with its redraw off and only the last status text
// applied, must end where the plain calls end.
TEST_F(ScratchKeyTest, WindowLoadAndBaselineEndWithTheSameListAndStatus) {
    const auto contents = [](HWND list, HWND status) {
        std::vector<std::wstring> lines;
        const auto count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
        for (int item = 0; item < count; ++item) {
            wchar_t text[64] = {};
            LVITEMW request{};
            request.pszText = text;
            request.cchTextMax = 64;
            SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&request));
            lines.emplace_back(text);
        }
        wchar_t text[64] = {};
        SendMessageW(status, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text));
        lines.emplace_back(text);
        return lines;
    };
    const std::vector<std::wstring> names = MakeScreenNames(250, 11);
    ScratchUsersKey scratch;
    std::wstring why;
    ASSERT_EQ(scratch.Claim(false, why), ClaimResult::Claimed);
    ASSERT_EQ(scratch.Fill(names), ERROR_SUCCESS);

    Win32Registry registry;
    RegistryApiShellFactory shells;
    MainWindow window(registry, shells);
    ASSERT_TRUE(window.Create(GetModuleHandleW(nullptr), SW_HIDE));  // loads once
    HWND list = FindWindowExW(window.hwnd(), nullptr, WC_LISTVIEWW, nullptr);
    HWND status = FindWindowExW(window.hwnd(), nullptr, STATUSCLASSNAMEW, nullptr);
    BaselineWindow baseline;
    ASSERT_TRUE(baseline.Create(GetModuleHandleW(nullptr), list));
    ASSERT_EQ(ListDirect(baseline.list(), baseline.status()), 250);

    const std::vector<std::wstring> loaded = contents(list, status);
    EXPECT_EQ(loaded.back(), L"250 ScreeNames(s) found.");
    EXPECT_EQ(loaded, contents(baseline.list(), baseline.status()));
    std::vector<std::wstring> sorted(names);
    sorted.emplace_back(L"250 ScreeNames(s) found.");
    EXPECT_EQ(loaded, sorted);  // Wine's registry order is the names' order

    // Loaded again into the cleared list, the window ends the same way.
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    SendMessageW(status, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(L""));
    window.LoadNames();
    EXPECT_EQ(contents(list, status), loaded);
}

}  // namespace

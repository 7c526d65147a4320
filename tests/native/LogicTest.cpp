#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "FakeWindow.h"
#include "MemoryRegistry.h"
#include "registry/UsersKey.h"
#include "registry/modMyRegistry.h"
#include "screennames/EnumerateValues.h"
#include "window/frmMain.h"

namespace {

using Names = std::vector<std::wstring>;
const std::wstring kUsers(USERS_KEY_PATH);
const std::wstring kShellUsers = L"HKEY_CURRENT_USER\\" + kUsers;

TEST(PathComposition, HelpersAndBothPathShapes) {
    using namespace modMyRegistry;
    const std::pair<std::wstring, std::wstring_view> helpers[] = {
        {EnsureLeadingSlash(L""), L"\\"},     {EnsureLeadingSlash(L"\\a"), L"\\a"},  {EnsureLeadingSlash(L"a\\"), L"\\a\\"},
        {EnsureTrailingSlash(L""), L"\\"},    {EnsureTrailingSlash(L"a\\"), L"a\\"}, {EnsureTrailingSlash(L"\\a"), L"\\a\\"},
        {StripTrailingSlash(L""), L""},       {StripTrailingSlash(L"\\"), L""},      {StripTrailingSlash(L"a\\\\"), L"a\\"},
        {StripTrailingSlash(L"a\\b"), L"a\\b"}, {RootKeyName(0), L"HKEY_CLASSES_ROOT"}, {RootKeyName(1), L"HKEY_CURRENT_USER"},
        {RootKeyName(2), L"HKEY_LOCAL_MACHINE"}, {RootKeyName(3), L"HKEY_CURRENT_CONFIG"}, {RootKeyName(4), L"HKEY_USERS"},
        {RootKeyName(-1), L"HKEY_USERS"},
    };
    for (const auto& [actual, expected] : helpers) EXPECT_EQ(actual, expected);

    const struct {
        std::wstring keyPath, item, valuePath, keyPath_;
    } paths[] = {
        {kUsers, L"alpha", kShellUsers + L"\\alpha", kShellUsers + L"\\alpha\\"},
        {L"\\" + kUsers + L"\\", L"\\alpha\\", kShellUsers + L"\\alpha", kShellUsers + L"\\alpha\\"},
        {kUsers, L"", kShellUsers, kShellUsers + L"\\"},
    };
    for (const auto& c : paths) {
        EXPECT_EQ(ValuePath(1, c.keyPath, c.item), c.valuePath);
        EXPECT_EQ(KeyPath(1, c.keyPath, c.item), c.keyPath_);
    }
}

// Every value name is listed in the registry's order, whatever its data,
// length or script; keys are not; the count follows each name.
TEST(Enumeration, ListsEveryValueNameWithTheCountAfterEach) {
    const std::wstring longest(reg::kLongestValueName, L'y');
    const struct {
        const char* what;
        Names values, keys;
        std::optional<std::uint32_t> reportedMax;
        Names listed;
    } cases[] = {
        {"order and case", {L"gamma", L"Alpha", L"beta", L"\u00E9t\u00E9", L"\u00C9T\u00C9"}, {L"delta"}, {},
         {L"Alpha", L"beta", L"gamma", L"\u00E9t\u00E9"}},
        {"default value, long and non-BMP names", {L"", L"a", longest, L"\u03A9mega \U0001F600"}, {}, {},
         {L"", L"a", longest, L"\u03A9mega \U0001F600"}},
        {"longest name understated", {L"a", std::wstring(300, L'x')}, {}, 1, {L"a", std::wstring(300, L'x')}},
        {"longest name overstated", {L"a", L"b"}, {}, 0xFFFFFFFF, {L"a", L"b"}},
        {"no values", {}, {L"onlyAKey"}, {}, {}},
    };
    for (const auto& c : cases) {
        MemoryRegistry registry;
        registry.reportedMaxName = c.reportedMax;
        for (const std::wstring& name : c.values) registry.CreateKey(kUsers).values.insert(name);
        for (const std::wstring& name : c.keys) registry.CreateKey(kUsers + L"\\" + name);
        FakeWindow window;
        EnumerateValues::LoadScreenNames(registry, window, window);
        EXPECT_TRUE(window.items == c.listed) << c.what;  // no 16,383-character printout
        EXPECT_EQ(window.icons, std::vector<int>(c.listed.size(), 1)) << c.what;
        Names counts;
        for (std::size_t n = 1; n <= c.listed.size(); ++n) counts.push_back(std::to_wstring(n) + L" ScreeNames(s) found.");
        EXPECT_EQ(window.statusTexts, counts) << c.what;
    }
    MemoryRegistry missing;
    FakeWindow window;
    EnumerateValues::LoadScreenNames(missing, window, window);
    EXPECT_TRUE(window.items.empty() && window.statusTexts.empty());
}

TEST(Layout, FollowsTheOuterSizeUnlessMinimised) {
    const struct {
        WindowState state;
        float outerWidth, outerHeight, listWidth, listHeight, columnWidth;
    } cases[] = {
        {WindowState::Normal, 4770, 6660, 4680, 5960, 4585},
        {WindowState::Maximised, 28800, 16200, 28710, 15500, 28615},
        {WindowState::Minimised, 2400, 450, 4695, 5895, 3500},  // untouched
        {WindowState::Normal, 60, 300, 0, 0, 0},                // smaller than the margins
    };
    for (const auto& c : cases) {
        FakeWindow window;
        MemoryRegistry registry;
        frmMain form(window, window, window, registry, registry);
        window.state = c.state;
        window.outerWidth = c.outerWidth;
        window.outerHeight = c.outerHeight;
        form.OnResize();
        EXPECT_EQ(std::tuple(window.listWidth, window.listHeight, window.columnWidth),
                  std::tuple(c.listWidth, c.listHeight, c.columnWidth));
    }
}

struct Form {
    MemoryRegistry registry;
    FakeWindow window;
    frmMain form{window, window, window, registry, registry};
    explicit Form(const Names& names) {
        for (const std::wstring& name : names) registry.CreateKey(kUsers).values.insert(name);
        form.OnLoad();
    }
};

// The menu opens for the right button over a non-empty list, or from the
// keyboard at the selected item; "Remove ScreenName" only acts on a selection.
TEST(PopupRule, RightButtonOrMenuKeyOverANonEmptyList) {
    using Popups = std::vector<std::pair<std::optional<int>, ListMenuState>>;
    const struct {
        short button;  // 0: Shift+F10 or the Menu key
        Names names;
        std::optional<int> selected;
        Popups popups;
    } cases[] = {
        {kRightButton, {L"a", L"b"}, 2, {{std::nullopt, {true}}}},
        {kRightButton, {L"a", L"b"}, std::nullopt, {{std::nullopt, {false}}}},
        {kLeftButton, {L"a"}, 1, {}},
        {kMiddleButton, {L"a"}, 1, {}},
        {kRightButton, {}, std::nullopt, {}},
        {0, {L"a", L"b"}, 2, {{2, {true}}}},
        {0, {L"a", L"b"}, std::nullopt, {{0, {false}}}},
        {0, {}, std::nullopt, {}},
    };
    for (const auto& c : cases) {
        Form f(c.names);
        f.window.selected = c.selected;
        if (c.button == 0) f.form.OnListContextMenuKey();
        else f.form.OnListMouseDown(c.button);
        EXPECT_EQ(f.window.popups, c.popups) << c.button << " with " << c.names.size() << " names";
    }
}

// A removal deletes the name's value and key tree, and the item leaves the
// list only when neither remains; names that would address other items are
// refused untouched.
TEST(Removal, TakesExactlyTheChosenNameAndSaysSo) {
    const struct {
        const char* what;
        int item;
        bool shellsFail;
        const wchar_t* removed;  // null: nothing may change
        Names left;
        std::wstring status;
        std::optional<int> selected;
    } cases[] = {
        {"third of five", 3, false, L"beta", {L"", L"alpha", L"dave\\evil", L"gamma"}, L"4 ScreeNames(s) found.", 3},
        {"last", 5, false, L"gamma", {L"", L"alpha", L"beta", L"dave\\evil"}, L"4 ScreeNames(s) found.", 4},
        {"shell cannot be made", 2, true, nullptr, {L"", L"alpha", L"beta", L"dave\\evil", L"gamma"},
         L"Could not remove \"alpha\".", 2},
        {"default value", 1, false, nullptr, {L"", L"alpha", L"beta", L"dave\\evil", L"gamma"},
         L"Could not remove \"\".", 1},
        {"backslash", 4, false, nullptr, {L"", L"alpha", L"beta", L"dave\\evil", L"gamma"},
         L"Could not remove \"dave\\evil\".", 4},
    };
    for (const auto& c : cases) {
        Form f({L"", L"alpha", L"beta", L"gamma", L"dave\\evil"});
        f.registry.CreateKey(kUsers + L"\\beta\\Settings\\Buddies");
        f.registry.CreateKey(kUsers + L"\\dave\\evil");
        f.registry.CreateKey(kUsers + L"\\dave").values.insert(L"evil");
        f.registry.shellCreationFails = c.shellsFail;
        MemoryRegistry::Key expected = *f.registry.FindKey(kUsers);
        Names requests;
        if (c.removed != nullptr) {
            expected.values.erase(c.removed);
            expected.subkeys.erase(c.removed);
            requests = {kShellUsers + L"\\" + c.removed, kShellUsers + L"\\" + c.removed + L"\\"};
        }
        f.window.selected = c.item;
        f.form.OnRemoveNameClick();

        EXPECT_EQ(f.registry.deleteRequests, requests) << c.what;
        EXPECT_EQ(*f.registry.FindKey(kUsers), expected) << c.what;
        EXPECT_EQ(f.registry.liveShells, 0) << c.what;
        EXPECT_EQ(f.window.items, c.left) << c.what;
        EXPECT_EQ(f.window.StatusText(), c.status) << c.what;
        EXPECT_EQ(f.window.selected, c.selected) << c.what;
    }
}

// A refresh lists what the registry holds now, keeps the selected name
// selected wherever it moved (in whatever case it is now spelt), and counts.
TEST(Refresh, TheListBecomesTheRegistryAndTheSelectionFollowsItsName) {
    const struct {
        Names after;
        std::optional<int> selected, reselected;
    } cases[] = {
        {{L"", L"alpha", L"beta", L"gamma"}, 2, 3},
        {{L"ALPHA", L"beta"}, 1, 1},
        {{L"beta"}, 1, std::nullopt},
        {{}, 2, std::nullopt},
        {{L"alpha", L"beta"}, std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        Form f({L"alpha", L"beta"});
        f.window.selected = c.selected;
        f.registry.CreateKey(kUsers).values.clear();
        f.registry.CreateKey(kUsers).values.insert(c.after.begin(), c.after.end());
        f.form.OnRefresh();
        EXPECT_EQ(f.window.items, c.after);
        EXPECT_EQ(f.window.selected, c.reselected) << c.after.size();
        EXPECT_EQ(f.window.StatusText(), EnumerateValues::FoundText(static_cast<int>(c.after.size())));
    }
}

TEST(Removal, ANameAlreadyGoneLeavesTheListAndNoSelectionDoesNothing) {
    Form f({L"alpha", L"beta"});
    f.registry.CreateKey(kUsers).values.erase(L"beta");
    f.window.selected = 2;
    f.form.OnRemoveNameClick();
    EXPECT_EQ(f.window.items, Names{L"alpha"});
    EXPECT_EQ(f.window.StatusText(), L"1 ScreeNames(s) found.");
    f.window.selected.reset();
    f.form.OnRemoveNameClick();
    EXPECT_EQ(f.window.items, Names{L"alpha"});
}

}  // namespace

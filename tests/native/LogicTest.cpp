#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "FakeWindow.h"
#include "MemoryRegistry.h"
#include "registry/RegFile.h"
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
        frmMain form(window, window, window, registry, registry, registry);
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
    frmMain form{window, window, window, registry, registry, registry};
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
        bool shellsFail, backupFails;
        const wchar_t* removed;  // null: nothing may change
        Names left;
        std::wstring status;
        std::optional<int> selected;
    } cases[] = {
        {"third of five", 3, false, false, L"beta", {L"", L"alpha", L"dave\\evil", L"gamma"}, L"4 ScreeNames(s) found.", 3},
        {"last", 5, false, false, L"gamma", {L"", L"alpha", L"beta", L"dave\\evil"}, L"4 ScreeNames(s) found.", 4},
        {"shell cannot be made", 2, true, false, nullptr, {L"", L"alpha", L"beta", L"dave\\evil", L"gamma"},
         L"Could not remove \"alpha\".", 2},
        {"backup cannot be written", 3, false, true, nullptr, {L"", L"alpha", L"beta", L"dave\\evil", L"gamma"},
         L"Could not remove \"beta\".", 3},
        {"default value", 1, false, false, nullptr, {L"", L"alpha", L"beta", L"dave\\evil", L"gamma"},
         L"Could not remove \"\".", 1},
        {"backslash", 4, false, false, nullptr, {L"", L"alpha", L"beta", L"dave\\evil", L"gamma"},
         L"Could not remove \"dave\\evil\".", 4},
    };
    for (const auto& c : cases) {
        Form f({L"", L"alpha", L"beta", L"gamma", L"dave\\evil"});
        f.registry.CreateKey(kUsers + L"\\beta\\Settings\\Buddies");
        f.registry.CreateKey(kUsers + L"\\dave\\evil");
        f.registry.CreateKey(kUsers + L"\\dave").values.insert(L"evil");
        f.registry.shellCreationFails = c.shellsFail;
        f.registry.backupFails = c.backupFails;
        MemoryRegistry::Key expected = *f.registry.FindKey(kUsers);
        Names requests;
        if (c.removed != nullptr) {
            expected.values.erase(c.removed);
            expected.subkeys.erase(c.removed);
            requests = {kShellUsers + L"\\" + c.removed + L"\\", kShellUsers + L"\\" + c.removed};
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

// Undo brings the last removal back where a listing shows it, selected; a
// name made anew in the meantime is not overwritten, and the entry goes.
TEST(Undo, LastRemovalFirstBackInPlaceNeverOverwriting) {
    Form f({L"alpha", L"beta", L"gamma"});
    f.registry.CreateKey(kUsers + L"\\Beta\\Settings").values.insert(L"x");
    MemoryRegistry::Key before = *f.registry.FindKey(kUsers);
    before.values.erase(L"gamma");  // its undo fails below
    for (const int item : {1, 1, 1}) {
        f.window.selected = item;
        f.form.OnRemoveNameClick();
        f.form.OnListContextMenuKey();  // none once the list is empty
    }
    EXPECT_EQ(f.registry.backups, (Names{L"alpha", L"beta", L"gamma"}));
    f.registry.CreateKey(kUsers).values.insert(L"GAMMA");  // the messenger made it anew
    f.form.OnUndoRemoveClick();
    EXPECT_EQ(f.window.StatusText(), L"Could not restore \"gamma\".");
    f.registry.CreateKey(kUsers).values.erase(L"gamma");
    f.form.OnUndoRemoveClick();
    f.form.OnUndoRemoveClick();
    EXPECT_EQ(*f.registry.FindKey(kUsers), before);
    EXPECT_EQ(f.window.items, (Names{L"alpha", L"beta"}));
    EXPECT_EQ(f.window.selected, 1);
    EXPECT_EQ(f.window.StatusText(), L"2 ScreeNames(s) found.");
    f.form.OnListContextMenuKey();
    EXPECT_EQ(f.window.popups, (std::vector<std::pair<std::optional<int>, ListMenuState>>{
                                   {1, {true, true}}, {1, {true, true}}, {1, {true, false}}}));
}

// Every value form as regedit exports it, in the file that restores it.
TEST(Backup, RegeditTextForEveryValueForm) {
    using Bytes = std::vector<std::uint8_t>;
    const auto sz = [](std::string_view text) {
        Bytes bytes;
        for (const char ch : text) bytes.insert(bytes.end(), {static_cast<std::uint8_t>(ch), 0});
        return bytes.insert(bytes.end(), {0, 0}), bytes;
    };
    const auto repeat = [](std::wstring_view text, int times) {
        std::wstring out;
        while (times-- > 0) out += text;
        return out;
    };
    const struct {
        reg::ValueData value;
        std::wstring line;
    } cases[] = {
        {{L"q\"u\\ote", 1, sz("a\"b\\c\t")}, L"\"q\\\"u\\\\ote\"=\"a\\\"b\\\\c\t\""},
        {{L"", 1, sz("x")}, L"@=\"x\""},
        {{L"@", 1, sz("")}, L"\"@\"=\"\""},
        {{L"odd", 1, {0x41, 0, 0x42}}, L"\"odd\"=hex(1):41,00,42"},
        {{L"open", 1, {0x41, 0}}, L"\"open\"=hex(1):41,00"},
        {{L"nul", 1, sz(std::string_view("a\0b", 3))}, L"\"nul\"=hex(1):61,00,00,00,62,00,00,00"},
        {{L"lf", 1, sz("\n")}, L"\"lf\"=hex(1):0a,00,00,00"},
        {{L"d", 4, {0x78, 0x56, 0x34, 0x12}}, L"\"d\"=dword:12345678"},
        {{L"d0", 4, {}}, L"\"d0\"=hex(4):"},
        {{L"q", 11, {1, 2, 3, 4, 5, 6, 7, 0xff}}, L"\"q\"=hex(b):01,02,03,04,05,06,07,ff"},
        {{L"m", 7, {0x61, 0, 0, 0, 0, 0, 0, 0}}, L"\"m\"=hex(7):61,00,00,00,00,00,00,00"},
        {{L"e", 2, sz("%P%")}, L"\"e\"=hex(2):25,00,50,00,25,00,00,00"},
        {{L"b", 3, {}}, L"\"b\"=hex:"},
        {{L"n", 0, {0xab}}, L"\"n\"=hex(0):ab"},
        {{L"t", 0x12345678, {0}}, L"\"t\"=hex(12345678):00"},
        {{L"long", 3, Bytes(50, 0xab)},
         L"\"long\"=hex:" + repeat(L"ab,", 22) + L"\\\r\n  " + repeat(L"ab,", 25) + L"\\\r\n  ab,ab,ab"},
    };
    const std::wstring header = L"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\" + kUsers;
    for (const auto& c : cases) {
        const reg::NameSnapshot snapshot{L"x", {}, reg::KeyTree{L"X", {c.value}, {}}};
        EXPECT_EQ(reg::RegExportText(kUsers, snapshot), header + L"\\X]\r\n" + c.line + L"\r\n\r\n");
    }
    const reg::NameSnapshot both{L"x", {{L"x", 1, sz("")}}, reg::KeyTree{L"X", {}, {{L"Empty", {}, {}}}}};
    EXPECT_EQ(reg::RegExportText(kUsers, both), header + L"]\r\n\"x\"=\"\"\r\n\r\n[HKEY_CURRENT_USER\\" + kUsers +
                                                    L"\\X]\r\n\r\n[HKEY_CURRENT_USER\\" + kUsers + L"\\X\\Empty]\r\n\r\n");
    EXPECT_EQ(reg::RegFileBytes(L"A\r\n"), (Bytes{0xff, 0xfe, 0x41, 0, 0x0d, 0, 0x0a, 0}));
    EXPECT_EQ(reg::BackupFileName(L"T", L"a<b>c:d\"e/f\\g|h?i*j\x01k"), L"T a_b_c_d_e_f_g_h_i_j_k.reg");
    EXPECT_EQ(reg::BackupFileName(L"T", std::wstring(59, L'x') + L"\xD83D\xDE00y"), L"T " + std::wstring(59, L'x') + L".reg");
}

}  // namespace

#include "Fixtures.h"

// A minimised window keeps its layout; one smaller than the margins gets none.
TEST(Layout, FollowsTheOuterSizeUnlessMinimised) {
    for (const auto& [state, outerWidth, outerHeight, listed] :
         {std::tuple(WindowState::Minimised, 2400.0F, 450.0F, std::tuple(4695.0F, 5895.0F, 3500.0F)),
          std::tuple(WindowState::Normal, 60.0F, 300.0F, std::tuple(0.0F, 0.0F, 0.0F))}) {
        Form f({});
        f.window.outerWidth = outerWidth, f.window.outerHeight = outerHeight, f.window.state = state;
        f.form.OnResize();
        EXPECT_EQ(std::tuple(f.window.listWidth, f.window.listHeight, f.window.columnWidth), listed) << "outer size " << outerWidth << " x " << outerHeight << ", state " << static_cast<int>(state);
    }
}

// The menu opens for the right button over a non-empty list, or from the
// keyboard at the selected item; "Remove ScreenName" only acts on a
// selection. An empty list offers it only while a removal can be undone.
TEST(PopupRule, RightButtonOrMenuKeyOverANonEmptyList) {
    using Popups = std::vector<std::pair<std::optional<int>, ListMenuState>>;
    const struct {
        short button;  // 0: Shift+F10 or the Menu key
        Names names;
        std::optional<int> selected;
        Popups popups;
        bool removeFirst = false;  // the first name, before the press
    } cases[] = {
        {kRightButton, {L"a", L"b"}, 2, {{std::nullopt, {true}}}},
        {kRightButton, {L"a", L"b"}, std::nullopt, {{std::nullopt, {false}}}},
        {kLeftButton, {L"a"}, 1, {}},
        {kRightButton, {}, std::nullopt, {}},
        {kRightButton, {L"a"}, std::nullopt, {{std::nullopt, {false, true}}}, true},
        {0, {L"a", L"b"}, 2, {{2, {true}}}},
        {0, {L"a", L"b"}, std::nullopt, {{0, {false}}}},
        {0, {}, std::nullopt, {}},
    };
    for (const auto& c : cases) {
        Form f(c.names);
        f.form.OnLoad();
        if (c.removeFirst) f.window.selected = 1, f.form.OnRemoveNameClick();
        f.window.selected = c.selected;
        if (c.button == 0) f.form.OnListContextMenuKey();
        else f.form.OnListMouseDown(c.button);
        EXPECT_EQ(f.window.popups, c.popups) << "button, names, selected, after a removal: " << testing::PrintToString(std::tie(c.button, c.names, c.selected, c.removeFirst));
    }
}

// A settings key that no value names is told of in the status bar and
// offered by the menu, even over an empty list; its removal backs up each
// key, and undo brings them back one at a time.
TEST(Leftover, ToldOfRemovedWithBackupsAndUndone) {
    Form f({L"a"});
    f.registry.keys = {L"a", L"old", L"Older"};
    f.form.OnLoad();
    EXPECT_EQ(f.window.reason, EnumerateValues::LeftoverText(2));
    f.window.selected = 1, f.form.OnRemoveNameClick();
    f.form.OnListMouseDown(kRightButton);
    EXPECT_EQ(f.window.popups, (std::vector<std::pair<std::optional<int>, ListMenuState>>{{std::nullopt, {false, true, true}}}));
    f.form.OnRemoveLeftoverClick();
    EXPECT_EQ(f.registry.keys, MemoryRegistry::Names{});
    EXPECT_EQ(f.registry.backups, (Names{L"a", L"old", L"Older"}));
    EXPECT_EQ(f.window.reason, L"");
    f.form.OnUndoRemoveClick();
    EXPECT_EQ(f.registry.keys, MemoryRegistry::Names{L"Older"});
    EXPECT_EQ(f.window.reason, EnumerateValues::LeftoverText(1));
}

// Undo, and Restore from file, bring back exactly what a removal took, listed
// and selected where it was. Where the name is there again, or the file is
// no backup or cannot be read, nothing is written and the window says why in
// the command line's words. Nothing to undo greys Undo; a cancelled Open
// dialog writes nothing; Undo uses the removal up, a restore from file does not.
TEST(Restoring, BringsTheNameBackExactlyOrWritesNothingAndSaysWhy) {
    enum Outcome { kRestored, kRefused, kNothing };
    const struct {
        const char* what;
        bool undo;  // else Restore from file, where the Open dialog picks a copy of the removal's backup
        Outcome outcome;
        void (*meanwhile)(MemoryRegistry&) = [](MemoryRegistry&) {};  // after the removal
        bool removeFirst = true, cancel = false;
    } rows[] = {
        {"undo", true, kRestored},
        {"undo after another program made its key again, other than it was", true, kRefused,
         [](auto& r) { r.keys.insert(L"BETA"), r.trees[L"BETA"] = {L"BETA", {{L"v", 1, {}}}, {}}; }},
        {"undo with nothing removed", true, kNothing, [](auto&) {}, false},
        {"a backup file", false, kRestored},
        {"a file that is no backup", false, kRefused, [](auto& r) { for (auto& file : r.files) file.second = reg::RegFileBytes(L"REGEDIT4\r\n"); }},
        {"a file that cannot be read", false, kRefused, [](auto& r) { r.unreadable = true; }},
        {"a file that is not there", false, kRefused, [](auto& r) { r.files.clear(); }},
        {"a backup of a name that is there", false, kRefused, [](auto& r) { RunCli(r, {L"restore", L"beta"}); }},
        {"the Open dialog cancelled", false, kNothing, [](auto&) {}, true, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Form f({L"alpha", L"beta", L"gamma"});
        f.registry.keys = {L"BETA"};
        f.registry.trees[L"BETA"] = {L"BETA", {{L"v", 4, {1}}}, {{L"s", {{L"w", 1, {}}}, {}}}};
        f.form.OnLoad();
        const auto state = [](const MemoryRegistry& r) { return std::tie(r.values, r.keys, r.trees); };
        const MemoryRegistry original = f.registry;
        const Names listed = f.window.items;
        const std::wstring chosen = L"D:\\kept\\beta.reg";
        if (row.removeFirst) f.window.selected = 2, f.form.OnRemoveNameClick(), f.registry.files[chosen] = f.registry.files.at(L"Removed\\beta.reg");
        row.meanwhile(f.registry);
        const MemoryRegistry before = f.registry;
        const FakeWindow shown = f.window;
        f.window.chosenFiles = {row.cancel ? std::nullopt : std::optional(chosen)};
        if (row.undo) f.form.OnUndoRemoveClick();
        else f.form.OnRestoreFromFileClick();
        f.form.OnListContextMenuKey();

        EXPECT_EQ(state(f.registry), state(row.outcome == kRestored ? original : before));
        EXPECT_EQ(f.window.items, row.outcome == kRestored ? listed : shown.items);
        EXPECT_EQ(f.window.selected, row.outcome == kRestored ? std::optional(2) : shown.selected);
        EXPECT_EQ(f.window.popups.back().second.canUndo, !row.undo);
        const Output said = Said(before, {L"restore", row.undo ? L"beta" : chosen});
        const std::wstring refused = said.out.substr(0, said.out.find(L'\r')), status = row.outcome == kRefused ? refused : shown.StatusText();
        EXPECT_EQ(f.window.StatusText(), row.outcome == kRestored ? EnumerateValues::FoundText(3) : status);
        EXPECT_TRUE(row.outcome != kRefused ? testing::AssertionSuccess() : SaysAsCli(f.window.reason, said.err));
    }
}

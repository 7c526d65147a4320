#include "Fixtures.h"
#include "screennames/EnumerateValues.h"

// A minimised window keeps its layout; one smaller than the margins gets none.
TEST(Layout, FollowsTheOuterSizeUnlessMinimised) {
    for (const auto& [state, outerWidth, outerHeight, listed] :
         {std::tuple(WindowState::Minimised, 2400.0F, 450.0F, std::tuple(4695.0F, 5895.0F, 3500.0F)),
          std::tuple(WindowState::Normal, 60.0F, 300.0F, std::tuple(0.0F, 0.0F, 0.0F))}) {
        Form f({});
        f.window.outerWidth = outerWidth, f.window.outerHeight = outerHeight, f.window.state = state;
        f.form.OnResize();
        EXPECT_EQ(std::tuple(f.window.listWidth, f.window.listHeight, f.window.columnWidth), listed) << outerWidth;
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
        EXPECT_EQ(f.window.popups, c.popups) << c.button << " with " << c.names.size() << " names";
    }
}

// A settings key that no value names is told of in the status bar and
// offered by the menu, even over an empty list; its removal backs up each
// key, and undo brings them back one at a time.
TEST(Leftover, ToldOfRemovedWithBackupsAndUndone) {
    Form f({L"a"});
    f.registry.keys = {L"a", L"old", L"Older"};
    f.form.OnLoad();
    EXPECT_EQ(f.window.reason, L"2 leftover settings keys (right-click: Remove leftover settings).");
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

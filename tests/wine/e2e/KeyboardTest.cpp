#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "Driver.h"

// tallowick.exe used from the keyboard alone: the list has the focus from
// the start, the arrows choose a name, and the menu keys remove one name
// after another, each time leaving the selection on the name that took the
// removed one's place.

namespace {

using Chord = std::vector<WORD>;
const Chord kShiftF10 = {VK_SHIFT, VK_F10};
const Chord kMenuKey = {VK_APPS};

// What one step types and what the window and the registry show after it.
// A step that opens the menu chooses its one command, Remove ScreenName.
struct KeyStep {
    const char* name;
    std::vector<Chord> chords;
    bool opensMenu;
    std::optional<int> selected;  // zero-based
    std::vector<std::wstring> left;
    std::optional<std::wstring> removed;
};

class Keyboard : public E2e {};

TEST_F(Keyboard, ArrowsChooseAndMenuKeysRemoveNameAfterName) {
    ResetUsersKey({
        {L"", {Sz(L"alpha"), Sz(L"Bravo"), Sz(L"charlie"), Sz(L"delta")}},
        {L"alpha", {Sz(L"Password", L"a")}},
        {L"charlie\\Settings\\Sounds", {Sz(L"Arrive", L"ding.wav")}},
        {L"delta\\Settings", {}},
    });
    const std::vector<std::wstring> all = {L"alpha", L"Bravo", L"charlie", L"delta"};
    const KeyStep steps[] = {
        {"opens with nothing selected", {}, false, std::nullopt, all, std::nullopt},
        {"Down selects the first", {{VK_DOWN}}, false, 0, all, std::nullopt},
        {"Down selects the second", {{VK_DOWN}}, false, 1, all, std::nullopt},
        {"Down twice reaches the last", {{VK_DOWN}, {VK_DOWN}}, false, 3, all, std::nullopt},
        {"Down stays on the last", {{VK_DOWN}}, false, 3, all, std::nullopt},
        {"Up", {{VK_UP}}, false, 2, all, std::nullopt},
        {"Shift+F10 removes charlie; delta takes its place",
         {kShiftF10}, true, 2, {L"alpha", L"Bravo", L"delta"}, L"charlie"},
        {"the Menu key removes delta, the last; Bravo is now last",
         {kMenuKey}, true, 1, {L"alpha", L"Bravo"}, L"delta"},
        {"Up", {{VK_UP}}, false, 0, {L"alpha", L"Bravo"}, std::nullopt},
        {"Shift+F10 removes alpha, the first", {kShiftF10}, true, 0, {L"Bravo"}, L"alpha"},
        {"the Menu key removes the only name", {kMenuKey}, true, std::nullopt, {}, L"Bravo"},
        {"Shift+F10 opens no menu on the empty list", {kShiftF10}, false, std::nullopt, {}, std::nullopt},
    };

    std::wstring registry = DumpMessengerTree();
    App app;
    ASSERT_TRUE(app.Ready());
    const Probe& probe = app.probe();
    for (const KeyStep& step : steps) {
        SCOPED_TRACE(step.name);
        for (const Chord& chord : step.chords) Type(chord);
        const auto isMenuKey = [](const Chord& chord) { return chord == kShiftF10 || chord == kMenuKey; };
        if (std::ranges::any_of(step.chords, isMenuKey)) {
            ASSERT_EQ(WaitFor([&] { return app.Menu().has_value(); }, step.opensMenu ? kTimeoutMs : kNoMenuMs),
                      step.opensMenu);
        }
        if (step.opensMenu) {
            // Wine's menu opens from the keyboard with no command highlighted; Down reaches the only one.
            Type({VK_DOWN});
            Type({VK_RETURN});
            EXPECT_TRUE(WaitFor([&] { return !app.Menu(); }));
        }
        if (step.removed) registry = DumpWithout(registry, *step.removed);
        const auto shown = [&] {
            return Texts(probe) == step.left && probe.Selected() == step.selected && probe.ListHasFocus();
        };
        EXPECT_TRUE(WaitFor(shown));
        EXPECT_EQ(Texts(probe), step.left);
        EXPECT_EQ(probe.Selected(), step.selected);
        // The next arrow or menu key acts from the selected name.
        if (step.selected) {
            EXPECT_EQ(probe.Focused(), step.selected);
        }
        EXPECT_TRUE(probe.ListHasFocus());
        EXPECT_EQ(DumpMessengerTree(), registry);
    }
    EXPECT_EQ(app.Close(), 0u);
}

}  // namespace

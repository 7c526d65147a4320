#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "FakeWindow.h"
#include "platform/MemoryRegistry.h"
#include "screennames/EnumerateValues.h"
#include "window/frmMain.h"

namespace {

using testing::ElementsAre;

const std::wstring kUsers(USERS_KEY_PATH);
const std::wstring kShellUsers = L"HKEY_CURRENT_USER\\" + kUsers;

struct Form {
    MemoryRegistry registry;
    FakeWindow window;
    frmMain form{window, window, window, registry, registry};
};

TEST(Layout, FollowsTheOuterSizeUnlessMinimised) {
    struct Case {
        WindowState state;
        float outerWidth, outerHeight;
        float listWidth, listHeight, columnWidth;
    };
    const Case cases[] = {
        {WindowState::Normal, 4770, 6660, 4680, 5960, 4585},
        {WindowState::Maximised, 28800, 16200, 28710, 15500, 28615},
        {WindowState::Minimised, 2400, 450, 4695, 5895, 3500},  // untouched
        {WindowState::Normal, 60, 300, 0, 0, 0},                // smaller than the margins
    };
    for (const Case& c : cases) {
        Form f;
        f.window.state = c.state;
        f.window.outerWidth = c.outerWidth;
        f.window.outerHeight = c.outerHeight;
        f.form.OnResize();
        EXPECT_EQ(f.window.listWidth, c.listWidth);
        EXPECT_EQ(f.window.listHeight, c.listHeight);
        EXPECT_EQ(f.window.columnWidth, c.columnWidth);
    }
}

TEST(PopupRule, OnlyTheRightButtonOverANonEmptyList) {
    struct Case {
        short button;
        bool listHasItems;
        bool shows;
    };
    const Case cases[] = {
        {kRightButton, true, true},   {kLeftButton, true, false}, {kMiddleButton, true, false},
        {kRightButton, false, false}, {kLeftButton, false, false},
    };
    for (const Case& c : cases) {
        Form f;
        if (c.listHasItems) f.window.AddItem(L"alpha", 1, 1);
        f.form.OnListMouseDown(c.button, 0, 10, 10);
        EXPECT_EQ(f.window.popups.size(), c.shows ? 1U : 0U) << c.button;
    }
}

TEST(PopupRule, MenuKeyOpensAtTheSelectedItem) {
    Form f;
    f.form.OnListContextMenuKey();
    EXPECT_TRUE(f.window.popups.empty());
    f.window.AddItem(L"alpha", 1, 1);
    f.window.AddItem(L"beta", 1, 1);
    f.form.OnListContextMenuKey();
    f.window.selected = 2;
    f.form.OnListContextMenuKey();
    EXPECT_THAT(f.window.popups, ElementsAre(L"item 0", L"item 2"));
}

struct Removal : testing::Test {
    Form f;
    void SetUp() override {
        for (const wchar_t* name : {L"alpha", L"beta", L"gamma"}) f.registry.SetValue(kUsers, name, 4);
        f.registry.CreateKey(kUsers + L"\\beta\\Settings\\Buddies");
        f.registry.CreateKey(kUsers + L"\\keyonly");
        f.form.OnLoad();
    }
    void RemoveItem(int item) {
        f.window.selected = item;
        f.form.OnRemoveNameClick();
    }
};

TEST_F(Removal, DeletesValueThenKeyTreeAndKeepsTheOthersInOrder) {
    RemoveItem(2);
    EXPECT_THAT(f.registry.deleteRequests, ElementsAre(kShellUsers + L"\\beta", kShellUsers + L"\\beta\\"));
    EXPECT_FALSE(f.registry.NameRemains(kUsers, L"beta"));
    EXPECT_THAT(f.window.Texts(), ElementsAre(L"alpha", L"gamma"));
    EXPECT_EQ(f.window.statusText, L"3 ScreeNames(s) found.");
    EXPECT_EQ(f.window.selected, 2);  // the neighbour, ready for the next removal
    EXPECT_TRUE(f.registry.NameRemains(kUsers, L"alpha"));
    EXPECT_NE(f.registry.FindKey(kUsers + L"\\keyonly"), nullptr);
}

TEST_F(Removal, NamesThatCannotBeAddressedSafelyAreRefusedUntouched) {
    f.registry.SetValue(kUsers, L"", 4);
    f.registry.SetValue(kUsers, L"dave\\evil", 4);
    f.registry.SetValue(kUsers + L"\\dave", L"evil", 4);
    f.registry.CreateKey(kUsers + L"\\dave\\evil");
    f.window.items.clear();
    f.form.OnLoad();
    for (const std::wstring name : {L"", L"dave\\evil"}) {
        const auto found = std::find_if(f.window.items.begin(), f.window.items.end(), [&](const auto& i) { return i.text == name; });
        ASSERT_NE(found, f.window.items.end());
        const std::size_t before = f.window.items.size();
        RemoveItem(static_cast<int>(found - f.window.items.begin()) + 1);
        EXPECT_EQ(f.window.items.size(), before);
        EXPECT_EQ(f.window.statusText, L"Could not remove \"" + name + L"\".");
    }
    EXPECT_TRUE(f.registry.deleteRequests.empty());
    EXPECT_NE(f.registry.FindKey(kUsers + L"\\dave\\evil"), nullptr);
    EXPECT_TRUE(f.registry.NameRemains(kUsers + L"\\dave", L"evil"));
}

TEST_F(Removal, WhatCouldNotBeRemovedStaysListed) {
    f.registry.shellCreationFails = true;
    RemoveItem(1);
    EXPECT_THAT(f.window.Texts(), ElementsAre(L"alpha", L"beta", L"gamma"));
    EXPECT_EQ(f.window.statusText, L"Could not remove \"alpha\".");
}

TEST_F(Removal, NameAlreadyGoneLeavesTheList) {
    f.registry.CreateKey(kUsers).values.erase(L"gamma");
    RemoveItem(3);
    EXPECT_THAT(f.window.Texts(), ElementsAre(L"alpha", L"beta"));
    EXPECT_EQ(f.window.selected, 2);
}

TEST_F(Removal, NoSelectionDoesNothing) {
    f.window.selected.reset();
    f.form.OnRemoveNameClick();
    EXPECT_TRUE(f.registry.deleteRequests.empty());
    EXPECT_EQ(f.window.items.size(), 3U);
}

}  // namespace

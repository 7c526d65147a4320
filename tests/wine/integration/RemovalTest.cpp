#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "TestRegistry.h"
#include "WindowUnderTest.h"

namespace {

TestValue Sz(const std::wstring& name, const std::wstring& data = L"1") { return {name, REG_SZ, SzData(data)}; }

// Names on either side of the chosen one, and a sibling whose name starts
// with it, that every removal must leave alone.
std::vector<TestKey> WithNeighbours(std::vector<TestKey> keys) {
    keys.push_back({L"", {Sz(L"aaron"), Sz(L"zoe"), Sz(L"carolyn")}});
    keys.push_back({L"carolyn\\Settings", {Sz(L"Font", L"Arial")}});
    keys.push_back({L"zoe", {{L"Stamp", REG_DWORD, {1, 2, 3, 4}}}});
    return keys;
}

struct RemovalCase {
    const char* what;
    std::vector<TestKey> keys;
    std::wstring name;
    // Another program deletes the value after the list was filled: the
    // command then finds only the key, or nothing at all.
    bool valueGoneBeforehand = false;
    bool refused = false;
};

std::vector<RemovalCase> RemovalCases() {
    return {
        {"value only", {{L"", {Sz(L"carol")}}}, L"carol"},
        {"key only", {{L"", {Sz(L"carol")}}, {L"carol", {Sz(L"Profile")}}}, L"carol", true},
        {"value and key", {{L"", {Sz(L"carol")}}, {L"carol", {Sz(L"Profile")}}}, L"carol"},
        {"nested settings tree",
         {{L"", {Sz(L"carol")}},
          {L"carol", {Sz(L"Profile", L"p")}},
          {L"carol\\Settings", {Sz(L"Sound"), {L"Bin", REG_BINARY, {0, 1, 2}}}},
          {L"carol\\Settings\\Buddies", {Sz(L"aaron"), Sz(L"")}},
          {L"carol\\Settings\\Buddies\\Groups", {Sz(L"Family"), {L"Count", REG_DWORD, {2, 0, 0, 0}}}},
          {L"carol\\Away", {}}},
         L"carol"},
        {"name that no longer exists", {{L"", {Sz(L"carol")}}}, L"carol", true},
        {"name longer than any key name", {{L"", {Sz(std::wstring(300, L'q'))}}}, std::wstring(300, L'q')},
        {"value and key differing in case", {{L"", {Sz(L"alice")}}, {L"ALICE", {Sz(L"Profile")}}}, L"alice"},
        {"default value", {{L"", {Sz(L"", L"default")}}}, L"", false, true},
        {"name holding a backslash",
         {{L"", {Sz(L"dave\\evil"), Sz(L"dave")}}, {L"dave", {Sz(L"evil")}}, {L"dave\\evil", {Sz(L"Profile")}}},
         L"dave\\evil", false, true},
    };
}

// Every case compares the whole messenger tree: a correct removal takes away
// the chosen name's value and key tree and nothing else; a refusal nothing.
TEST(Removal, TakesAwayExactlyTheChosenNamesValueAndKeyTree) {
    for (const RemovalCase& c : RemovalCases()) {
        SCOPED_TRACE(c.what);
        ResetUsersKey(WithNeighbours(c.keys));
        WindowUnderTest window;
        ASSERT_TRUE(window.Created());
        if (c.valueGoneBeforehand) {
            ASSERT_EQ(RegDeleteKeyValueW(HKEY_CURRENT_USER, kUsersKey, c.name.c_str()), ERROR_SUCCESS);
        }
        const std::wstring before = DumpMessengerTree();
        const std::vector<std::wstring> itemsBefore = window.Items();
        const std::wstring statusBefore = window.StatusText();
        ASSERT_NE(before.find(L"carolyn"), std::wstring::npos);

        ASSERT_TRUE(window.Remove(c.name));

        const std::vector<std::wstring> items = window.Items();
        if (c.refused) {
            EXPECT_EQ(DumpMessengerTree(), before);
            EXPECT_EQ(items, itemsBefore);
            EXPECT_EQ(window.StatusText(), L"Could not remove \"" + c.name + L"\".");
            continue;
        }
        const std::wstring expected = DumpWithout(before, c.name);
        EXPECT_EQ(DumpMessengerTree(), expected);
        // The dump shrank unless there was nothing left to remove.
        const bool keyExists =
            std::any_of(c.keys.begin(), c.keys.end(), [&](const TestKey& k) { return k.path == c.name; });
        EXPECT_EQ(expected == before, c.valueGoneBeforehand && !keyExists);
        std::vector<std::wstring> itemsAfter = itemsBefore;
        std::erase(itemsAfter, c.name);
        EXPECT_EQ(items, itemsAfter);
        EXPECT_EQ(window.StatusText(), statusBefore);
    }
}

// Names removed one after another from the same window, each leaving the
// others' trees as they were.
TEST(Removal, SuccessiveRemovalsLeaveTheRestIntact) {
    ResetUsersKey(WithNeighbours({{L"", {Sz(L"carol")}}, {L"carol\\Settings", {Sz(L"Sound")}}}));
    WindowUnderTest window;
    ASSERT_TRUE(window.Created());
    std::wstring expected = DumpMessengerTree();
    for (const wchar_t* name : {L"carol", L"zoe", L"aaron"}) {
        SCOPED_TRACE(testing::Message() << name);
        expected = DumpWithout(expected, name);
        ASSERT_TRUE(window.Remove(name));
        EXPECT_EQ(DumpMessengerTree(), expected);
    }
    EXPECT_EQ(window.Items(), std::vector<std::wstring>{L"carolyn"});
}

}  // namespace

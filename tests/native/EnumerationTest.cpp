#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "FakeWindow.h"
#include "platform/MemoryRegistry.h"
#include "screennames/EnumerateValues.h"

namespace {

using testing::ElementsAre;
using testing::ElementsAreArray;

const std::wstring kUsers(USERS_KEY_PATH);

struct Loaded {
    FakeWindow window;
    explicit Loaded(MemoryRegistry& registry) { EnumerateValues::LoadScreenNames(registry, window, window); }
};

TEST(Enumeration, ListsValueNamesInRegistryOrderWithCountAfterEach) {
    MemoryRegistry registry;
    registry.SetValue(kUsers, L"gamma", 4);
    registry.SetValue(kUsers, L"Alpha", 12);
    registry.SetValue(kUsers, L"beta", 0);
    registry.CreateKey(kUsers + L"\\delta\\Settings");  // a key, not a value: not listed
    registry.CreateKey(kUsers + L"\\alpha\\Settings");

    Loaded loaded(registry);
    EXPECT_THAT(loaded.window.Texts(), ElementsAre(L"Alpha", L"beta", L"gamma"));
    for (const auto& item : loaded.window.items) {
        EXPECT_EQ(item.largeIcon, 1);
        EXPECT_EQ(item.smallIcon, 1);
    }
    EXPECT_THAT(loaded.window.statusHistory,
                ElementsAre(L"1 ScreeNames(s) found.", L"2 ScreeNames(s) found.", L"3 ScreeNames(s) found."));
}

TEST(Enumeration, MissingOrEmptyKeyLeavesListAndStatusUntouched) {
    MemoryRegistry missing;
    MemoryRegistry empty;
    empty.CreateKey(kUsers + L"\\onlyAKey");
    for (MemoryRegistry* registry : {&missing, &empty}) {
        Loaded loaded(*registry);
        EXPECT_TRUE(loaded.window.items.empty());
        EXPECT_TRUE(loaded.window.statusHistory.empty());
    }
}

// Names the original loop lost or garbled: the default value, big data in
// the middle, and names longer than a 100-character buffer.
TEST(Enumeration, EveryNameIsListedWhateverItsDataOrLength) {
    MemoryRegistry registry;
    const std::wstring longName(200, L'x');
    const std::wstring longest(16383, L'y');
    registry.SetValue(kUsers, L"", 8);
    registry.SetValue(kUsers, L"a-before", 100);
    registry.SetValue(kUsers, L"b-big", 101);
    registry.SetValue(kUsers, L"c-huge", 65536);
    registry.SetValue(kUsers, L"d-after", 1);
    registry.SetValue(kUsers, longName, 1);
    registry.SetValue(kUsers, longest, 1);
    registry.SetValue(kUsers, L"\x03A9mega \U0001F600", 1);

    Loaded loaded(registry);
    EXPECT_THAT(loaded.window.Texts(), ElementsAreArray<std::wstring>({L"", L"a-before", L"b-big", L"c-huge", L"d-after",
                                                                      longName, longest, L"\x03A9mega \U0001F600"}));
    EXPECT_EQ(loaded.window.statusText, L"8 ScreeNames(s) found.");
}

// A list that already holds items is appended to, and the count is the
// list's, not the registry's.
TEST(Enumeration, CountIsTheListsItemCount) {
    MemoryRegistry registry;
    registry.SetValue(kUsers, L"one");
    FakeWindow window;
    window.AddItem(L"already", 1, 1);
    EnumerateValues::LoadScreenNames(registry, window, window);
    EXPECT_THAT(window.Texts(), ElementsAre(L"already", L"one"));
    EXPECT_EQ(window.statusText, L"2 ScreeNames(s) found.");
}

}  // namespace

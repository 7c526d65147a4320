#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "TestRegistry.h"
#include "WindowUnderTest.h"

namespace {

TestValue Sz(const std::wstring& name) { return {name, REG_SZ, SzData(L"1")}; }

struct ListingCase {
    const char* what;
    bool usersKeyExists;
    std::vector<TestKey> keys;
    std::vector<std::wstring> listed;  // in any order; the registry decides it
};

std::vector<ListingCase> ListingCases() {
    const std::wstring longest(16383, L'n');
    std::wstring long200(200, L'x');
    long200.back() = L'y';
    return {
        {"mixed case, default value and subkeys", true,
         {{L"", {Sz(L"bob"), Sz(L"Alice"), Sz(L"carol"), Sz(L"alice2"), Sz(L"")}},
          {L"zed", {Sz(L"inside")}},
          {L"bob\\Settings", {Sz(L"Font")}}},
         {L"bob", L"Alice", L"carol", L"alice2", L""}},
        {"large data in the middle", true,
         {{L"", {Sz(L"a1"), {L"b2", REG_BINARY, std::vector<BYTE>(4096, 0xAB)}, Sz(L"c3"),
                 {L"d4", REG_SZ, SzData(std::wstring(300, L'd'))}, Sz(L"e5")}}},
         {L"a1", L"b2", L"c3", L"d4", L"e5"}},
        {"long names", true, {{L"", {Sz(long200), Sz(longest), Sz(L"short")}}}, {long200, longest, L"short"}},
        {"names beyond ASCII", true,
         {{L"", {Sz(L"\u03A9mega"), Sz(L"smile\U0001F600"), Sz(L"plain")}}},
         {L"\u03A9mega", L"smile\U0001F600", L"plain"}},
        {"empty Users key", true, {}, {}},
        {"missing Users key", false, {}, {}},
    };
}

TEST(Listing, ShowsEveryValueNameInRegistryOrder) {
    for (const ListingCase& c : ListingCases()) {
        SCOPED_TRACE(c.what);
        ResetUsersKey(c.keys);
        if (!c.usersKeyExists) DeleteMessengerTree();

        // The oracle holds exactly the table's names, so comparing with it
        // checks both the names and their order.
        const std::vector<std::wstring> expected = UsersValueNames();
        ASSERT_TRUE(std::is_permutation(expected.begin(), expected.end(), c.listed.begin(), c.listed.end()));

        const WindowUnderTest window;
        ASSERT_TRUE(window.Created());
        EXPECT_EQ(window.Items(), expected);
        EXPECT_EQ(window.StatusText(),
                  expected.empty() ? L"" : std::to_wstring(expected.size()) + L" ScreeNames(s) found.");
    }
}

// Wine's own order: case-insensitive, whatever order the values were written in.
TEST(Listing, UnderWineTheOrderIsCaseInsensitivelySorted) {
    if (GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") == nullptr)
        GTEST_SKIP() << "not running under Wine: the registry keeps its own order";
    ResetUsersKey({{L"", {Sz(L"bob"), Sz(L"Alice"), Sz(L"carol"), Sz(L"alice2"), Sz(L"ALF")}}});
    const WindowUnderTest window;
    ASSERT_TRUE(window.Created());
    EXPECT_EQ(window.Items(), (std::vector<std::wstring>{L"ALF", L"Alice", L"alice2", L"bob", L"carol"}));
}

}  // namespace

#include <gtest/gtest.h>

#include "registry/modMyRegistry.h"
#include "screennames/EnumerateValues.h"

using namespace modMyRegistry;

namespace {

const std::wstring kUsers = L"HKEY_CURRENT_USER\\" + std::wstring(USERS_KEY_PATH);

TEST(PathComposition, SlashHelpers) {
    struct Case {
        std::wstring (*op)(std::wstring_view);
        std::wstring_view in, out;
    };
    const Case cases[] = {
        {EnsureLeadingSlash, L"", L"\\"},
        {EnsureLeadingSlash, L"a", L"\\a"},
        {EnsureLeadingSlash, L"\\a", L"\\a"},
        {EnsureLeadingSlash, L"a\\", L"\\a\\"},
        {EnsureTrailingSlash, L"", L"\\"},
        {EnsureTrailingSlash, L"a", L"a\\"},
        {EnsureTrailingSlash, L"a\\", L"a\\"},
        {EnsureTrailingSlash, L"\\a", L"\\a\\"},
        {StripTrailingSlash, L"", L""},
        {StripTrailingSlash, L"\\", L""},
        {StripTrailingSlash, L"a\\\\", L"a\\"},
        {StripTrailingSlash, L"a\\b", L"a\\b"},
        {StripTrailingSlash, L"\\a", L"\\a"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.op(c.in), c.out) << "input: " << testing::PrintToString(std::wstring(c.in));
}

TEST(PathComposition, RootKeyNames) {
    const std::pair<std::int32_t, std::wstring_view> cases[] = {
        {0, L"HKEY_CLASSES_ROOT"}, {1, L"HKEY_CURRENT_USER"}, {2, L"HKEY_LOCAL_MACHINE"},
        {3, L"HKEY_CURRENT_CONFIG"}, {4, L"HKEY_USERS"},      {-1, L"HKEY_USERS"},
        {1000, L"HKEY_USERS"},       {INT32_MIN, L"HKEY_USERS"},
    };
    for (const auto& [root, name] : cases) EXPECT_EQ(RootKeyName(root), name) << root;
}

TEST(PathComposition, ValueAndKeyPaths) {
    const std::wstring users(USERS_KEY_PATH);
    struct Case {
        std::wstring keyPath, item, valuePath, keyPathOut;
    };
    const std::wstring slashed = L"\\" + users + L"\\";
    const Case cases[] = {
        {users, L"alpha", kUsers + L"\\alpha", kUsers + L"\\alpha\\"},
        {slashed, L"alpha", kUsers + L"\\alpha", kUsers + L"\\alpha\\"},
        {users, L"alpha\\", kUsers + L"\\alpha", kUsers + L"\\alpha\\"},
        {users, L"\\alpha\\", kUsers + L"\\alpha", kUsers + L"\\alpha\\"},
        {users, L"", kUsers, kUsers + L"\\"},
        {users, L"a b\\c", kUsers + L"\\a b\\c", kUsers + L"\\a b\\c\\"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ValuePath(1, c.keyPath, c.item), c.valuePath);
        EXPECT_EQ(KeyPath(1, c.keyPath, c.item), c.keyPathOut);
    }
}

}  // namespace

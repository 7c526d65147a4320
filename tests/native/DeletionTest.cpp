#include <gtest/gtest.h>

#include "platform/MemoryRegistry.h"
#include "registry/modMyRegistry.h"
#include "screennames/EnumerateValues.h"

namespace {

using modMyRegistry::DeleteKey;
using modMyRegistry::DeleteValue;

class Deletion : public testing::Test {
protected:
    void SetUp() override {
        registry.SetValue(USERS_KEY_PATH, L"alpha", 4);
        registry.CreateKey(std::wstring(USERS_KEY_PATH) + L"\\alpha\\Settings\\Deep");
        registry.SetValue(USERS_KEY_PATH, L"beta", 4);
    }
    MemoryRegistry registry;
};

TEST_F(Deletion, ResultsAndNoShellOutlivesACall) {
    struct Step {
        bool (*op)(ScriptShellFactory&, std::int32_t, std::wstring_view, std::wstring_view);
        std::int32_t root;
        std::wstring_view name;
        bool expected;
    };
    const Step steps[] = {
        {DeleteValue, 1, L"alpha", true},   {DeleteValue, 1, L"alpha", false},
        {DeleteKey, 1, L"alpha", true},     {DeleteKey, 1, L"alpha", false},
        {DeleteKey, 1, L"nobody", false},   {DeleteValue, 2, L"beta", false},
        {DeleteValue, 1, L"BETA", true},
    };
    for (const Step& s : steps) {
        EXPECT_EQ(s.op(registry, s.root, USERS_KEY_PATH, s.name), s.expected) << testing::PrintToString(std::wstring(s.name));
        EXPECT_EQ(registry.liveShells, 0);
    }
    EXPECT_FALSE(registry.NameRemains(USERS_KEY_PATH, L"alpha"));
    EXPECT_FALSE(registry.NameRemains(USERS_KEY_PATH, L"beta"));
    EXPECT_NE(registry.FindKey(USERS_KEY_PATH), nullptr);
}

TEST_F(Deletion, ShellThatCannotBeCreatedDeletesNothing) {
    registry.shellCreationFails = true;
    EXPECT_FALSE(DeleteValue(registry, 1, USERS_KEY_PATH, L"alpha"));
    EXPECT_FALSE(DeleteKey(registry, 1, USERS_KEY_PATH, L"alpha"));
    EXPECT_TRUE(registry.deleteRequests.empty());
    EXPECT_TRUE(registry.NameRemains(USERS_KEY_PATH, L"alpha"));
}

}  // namespace

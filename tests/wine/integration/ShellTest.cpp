#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestRegistry.h"
#include "platform/ScriptShells.h"

namespace {

const std::wstring kShellUsers = L"HKEY_CURRENT_USER\\" + std::wstring(kUsersKey);

void ResetWithTwoNames(bool withSettings) {
    std::vector<TestKey> keys{{L"", {{L"alice", REG_SZ, SzData(L"a")}, {L"bob", REG_SZ, SzData(L"b")}}}};
    if (withSettings) keys.push_back({L"alice\\Settings", {{L"Sound", REG_SZ, SzData(L"on")}}});
    ResetUsersKey(keys);
}

// Wine's WScript.Shell has RegDelete as a stub answering E_NOTIMPL; the
// production shell must then do the delete itself.
TEST(ProductionShell, FallsBackWhereTheAutomationObjectDoesNotImplementRegDelete) {
    ResetWithTwoNames(false);
    const std::wstring before = DumpMessengerTree();
    const std::wstring path = kShellUsers + L"\\alice";
    const HRESULT automation = AutomationRegDelete(path);
    if (automation != E_NOTIMPL) {
        GTEST_SKIP() << "WScript.Shell answered RegDelete with 0x" << std::hex << static_cast<unsigned long>(automation)
                     << ", not E_NOTIMPL: there is no fallback to show here";
    }
    EXPECT_EQ(DumpMessengerTree(), before);

    ProductionShellFactory shells;
    EXPECT_TRUE(shells.Create()->RegDelete(path));
    EXPECT_EQ(DumpMessengerTree(), DumpWithout(before, L"alice"));
}

// Each of these would, handed to RegDeleteTree or RegDeleteKeyValue as it
// splits, address more than one named item: a root's whole contents or a
// parent key.
TEST(RegistryApiDelete, RefusesPathsThatAddressMoreThanTheNamedItem) {
    const std::wstring paths[] = {
        L"",
        L"HKEY_CURRENT_USER",
        L"HKEY_CURRENT_USER\\",
        L"HKCU\\",
        L"HKEY_CURRENT_USER\\\\",
        L"HKEY_CURRENT_USER\\\\alice",
        L"HKEY_CURRENT_USER\\\\" + std::wstring(kUsersKey) + L"\\",
        kShellUsers + L"\\\\",
        kShellUsers + L"\\\\alice",
        kShellUsers + L"\\alice\\\\",
        L"HKEY_CURRENT_USER\\Software\\\\America Online\\AOL Instant Messenger (TM)\\",
        L"NOT_A_ROOT\\" + std::wstring(kUsersKey) + L"\\alice\\",
        std::wstring(kUsersKey) + L"\\alice\\",
    };
    ResetWithTwoNames(true);
    const std::wstring before = DumpMessengerTree();
    ASSERT_FALSE(before.empty());
    for (const std::wstring& path : paths) {
        EXPECT_NE(RegistryApiDelete(path), ERROR_SUCCESS) << path;
        EXPECT_EQ(DumpMessengerTree(), before) << path;
    }
    // The same calls still delete what well-formed paths name.
    EXPECT_EQ(RegistryApiDelete(kShellUsers + L"\\alice"), ERROR_SUCCESS);
    EXPECT_EQ(RegistryApiDelete(kShellUsers + L"\\alice\\"), ERROR_SUCCESS);
    EXPECT_EQ(DumpMessengerTree(), DumpWithout(before, L"alice"));
}

}  // namespace

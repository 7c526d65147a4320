#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include "TestRegistry.h"
#include "WindowUnderTest.h"
#include "platform/Win32Handles.h"

namespace {

using Names = std::vector<std::wstring>;

const std::wstring kUsers(kUsersKey);
const std::wstring kRegUsers = L"\"HKCU\\" + kUsers + L"\"";
const std::wstring kRegAlice = L"\"HKCU\\" + kUsers + L"\\alice\"";

// Three listed names, two with settings, and a key that has no value.
std::vector<TestKey> ThreeNames() {
    return {{L"", {{L"alice", REG_SZ, SzData(L"a")}, {L"bob", REG_DWORD, {7, 0, 0, 0}}, {L"carol", REG_BINARY, {1}}}},
            {L"alice\\Settings\\Buddy List", {{L"x", REG_SZ, SzData(L"y")}}},
            {L"bob\\Settings", {}},
            {L"dave", {{L"kept", REG_SZ, SzData(L"z")}}}};
}

// Wine's own reg.exe plays the other process.
DWORD Reg(const std::wstring& arguments) { return RunOtherProcess(L"reg.exe " + arguments); }

TEST(Fault, AnotherProcessRemovedTheNameBetweenListingAndRemoval) {
    const struct {
        const char* removed;
        std::vector<std::wstring> commands;
    } cases[] = {
        {"value and key", {L"delete " + kRegUsers + L" /v alice /f", L"delete " + kRegAlice + L" /f"}},
        {"key only", {L"delete " + kRegAlice + L" /f"}},
        {"value only", {L"delete " + kRegUsers + L" /v alice /f"}},
    };
    for (const auto& c : cases) {
        ResetUsersKey(ThreeNames());
        const std::wstring original = DumpMessengerTree();
        WindowUnderTest window;
        ASSERT_TRUE(window.Created());
        ASSERT_EQ(window.Items(), (Names{L"alice", L"bob", L"carol"}));
        for (const std::wstring& command : c.commands) ASSERT_EQ(Reg(command), 0U) << Shown(command);
        window.Remove(0);
        EXPECT_EQ(window.Items(), (Names{L"bob", L"carol"})) << c.removed;
        EXPECT_NE(window.StatusText(), CouldNotRemoveText(L"alice")) << c.removed;
        EXPECT_EQ(DumpMessengerTree(), DumpWithout(original, L"alice")) << c.removed;
    }
    DeleteMessengerTree();
}

TEST(Fault, AnotherProcessAddsValuesWhileTheWindowIsOpen) {
    ResetUsersKey(ThreeNames());
    WindowUnderTest window;
    ASSERT_TRUE(window.Created());
    ASSERT_EQ(Reg(L"add " + kRegUsers + L" /v erin /t REG_SZ /d new /f"), 0U);
    ASSERT_EQ(Reg(L"add " + kRegUsers + L" /v Zoë /t REG_DWORD /d 5 /f"), 0U);
    const std::wstring added = DumpMessengerTree();
    EXPECT_EQ(window.Items(), (Names{L"alice", L"bob", L"carol"}));

    window.Remove(1);
    EXPECT_EQ(window.Items(), (Names{L"alice", L"carol"}));
    EXPECT_EQ(DumpMessengerTree(), DumpWithout(added, L"bob"));

    const WindowUnderTest reopened;
    EXPECT_EQ(reopened.Items(), (Names{L"alice", L"carol", L"erin", L"Zoë"}));
    EXPECT_EQ(reopened.StatusText(), FoundText(4));
    DeleteMessengerTree();
}

TEST(Fault, UsersKeyDeletedUnderTheRunningWindow) {
    ResetUsersKey(ThreeNames());
    const std::wstring currentVersion = std::wstring(kMessengerKey) + L"\\CurrentVersion";
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, currentVersion.c_str(), L"Version", REG_SZ, L"5", 4), ERROR_SUCCESS);
    WindowUnderTest window;
    ASSERT_TRUE(window.Created());
    ASSERT_EQ(Reg(L"delete " + kRegUsers + L" /f"), 0U);
    const std::wstring left = DumpMessengerTree();
    ASSERT_NE(left.find(L"Version"), std::wstring::npos);

    window.Remove(1);
    EXPECT_EQ(window.Items(), (Names{L"alice", L"carol"}));
    window.Remove(0);
    window.Remove(0);
    EXPECT_EQ(window.Items(), Names{});
    EXPECT_EQ(DumpMessengerTree(), left);
    DeleteMessengerTree();
}

// DELETE denied to everyone, everything else allowed; or all allowed again.
LSTATUS DenyDelete(const std::wstring& path, bool deny) {
    UniqueHKey key;
    if (const LSTATUS status = RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, WRITE_DAC, key.put());
        status != ERROR_SUCCESS)
        return status;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(deny ? L"D:(D;;SD;;;WD)(A;;KA;;;WD)" : L"D:(A;;KA;;;WD)",
                                                              SDDL_REVISION_1, &descriptor, nullptr))
        return static_cast<LSTATUS>(GetLastError());
    const LSTATUS status = RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, descriptor);
    LocalFree(descriptor);
    return status;
}

TEST(Fault, SubkeyThatCannotBeDeletedKeepsTheName) {
    ResetUsersKey({{L"probe", {}}});
    ASSERT_EQ(DenyDelete(kUsers + L"\\probe", true), ERROR_SUCCESS);
    if (RegDeleteKeyW(HKEY_CURRENT_USER, (kUsers + L"\\probe").c_str()) == ERROR_SUCCESS) {
        DeleteMessengerTree();
        GTEST_SKIP() << "this registry does not enforce a DACL that denies DELETE on a key "
                        "(RegDeleteKeyW on such a key succeeded), as Wine does not";
    }
    ASSERT_EQ(DenyDelete(kUsers + L"\\probe", false), ERROR_SUCCESS);

    std::vector<TestKey> keys = ThreeNames();
    keys.push_back({L"alice\\Settings\\Locked", {{L"x", REG_DWORD, {1, 0, 0, 0}}}});
    ResetUsersKey(keys);
    const std::wstring locked = kUsers + L"\\alice\\Settings\\Locked";
    ASSERT_EQ(DenyDelete(locked, true), ERROR_SUCCESS);
    const std::wstring before = DumpMessengerTree();
    WindowUnderTest window;
    ASSERT_TRUE(window.Created());
    window.Remove(0);
    const std::wstring after = DumpMessengerTree();
    const Names listed = window.Items();
    const std::wstring status = window.StatusText();
    EXPECT_EQ(DenyDelete(locked, false), ERROR_SUCCESS);
    DeleteMessengerTree();

    EXPECT_EQ(listed, (Names{L"alice", L"bob", L"carol"}));
    EXPECT_EQ(status, CouldNotRemoveText(L"alice"));
    EXPECT_NE(after.find(L"Locked"), std::wstring::npos);
    EXPECT_EQ(DumpWithout(after, L"alice"), DumpWithout(before, L"alice"));
}

}  // namespace

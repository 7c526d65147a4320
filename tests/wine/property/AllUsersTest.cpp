#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <sstream>

#include "OtherProcess.h"
#include "TestRegistry.h"
#include "platform/common/Win32Archive.h"
#include "platform/common/Win32Registry.h"
#include "platform/common/Win32Shell.h"
#include "screennames/ScreenNames.h"

// `list /allusers` over profiles made as Windows keeps them: each account's
// NTUSER.DAT written by RegSaveKeyW from a seeded key, with its ProfileList
// entry; the first signed in (its hive loaded under HKEY_USERS\SID), the
// others not. Wine does not write a loaded hive's changes back to its file,
// so nothing here checks a file for what a run changed.
namespace {

const std::wstring kProfileList = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
struct FixtureAccount {
    std::wstring sid;
    std::vector<std::wstring> names, keys;
};
const FixtureAccount kAccounts[] = {
    {L"S-1-5-21-1-2-3-1001", {L"ann"}, {L"ann\\sub"}},
    {L"S-1-5-21-1-2-3-1002", {L"bo", L"Zo\u00eb"}, {}},
    {L"S-1-5-21-1-2-3-1003", {L"cy"}, {L"old"}},
};

std::wstring Folder(const FixtureAccount& account) { return L"C:\\users\\tallowick-" + account.sid.substr(15); }
std::wstring Hive(const FixtureAccount& account) { return Folder(account) + L"\\NTUSER.DAT"; }

void EnablePrivilege(const wchar_t* name) {
    UniqueHandleObject token;
    TOKEN_PRIVILEGES privileges{1, {{{0, 0}, SE_PRIVILEGE_ENABLED}}};
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, token.put()) &&
                LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid) &&
                AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr));
}

// Each account's tree seeded under a scratch key of HKCU and saved whole as
// its hive file; the first account's hive then loaded as at its sign-in.
void MakeProfiles() {
    EnablePrivilege(SE_BACKUP_NAME), EnablePrivilege(SE_RESTORE_NAME);
    for (const FixtureAccount& account : kAccounts) {
        const std::wstring seed = L"Software\\Wine\\TallowickSeed";
        RegDeleteTreeW(HKEY_CURRENT_USER, seed.c_str());
        UniqueHKey users, root, profile;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (seed + L'\\' + kUsersKey).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  users.put(), nullptr), ERROR_SUCCESS);
        for (const std::wstring& name : account.names) RegSetValueExW(users.get(), name.c_str(), 0, REG_SZ, nullptr, 0);
        for (const std::wstring& key : account.keys) RegCreateKeyExW(users.get(), key.c_str(), 0, nullptr, 0, KEY_READ, nullptr, UniqueHKey().put(), nullptr);
        CreateDirectoryW(Folder(account).c_str(), nullptr);
        DeleteFileW(Hive(account).c_str());
        ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, seed.c_str(), 0, KEY_READ, root.put()), ERROR_SUCCESS);
        ASSERT_EQ(RegSaveKeyW(root.get(), Hive(account).c_str(), nullptr), ERROR_SUCCESS);
        root.reset(), users.reset();
        RegDeleteTreeW(HKEY_CURRENT_USER, seed.c_str()), RegDeleteKeyW(HKEY_CURRENT_USER, seed.c_str());
        // As Windows writes it: the folder by an environment string.
        const std::wstring path = L"%SystemDrive%\\users\\tallowick-" + account.sid.substr(15);
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, (kProfileList + L'\\' + account.sid).c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                  nullptr, profile.put(), nullptr), ERROR_SUCCESS);
        RegSetValueExW(profile.get(), L"ProfileImagePath", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                       static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
    }
    ASSERT_EQ(RegLoadKeyW(HKEY_USERS, kAccounts[0].sid.c_str(), Hive(kAccounts[0]).c_str()), ERROR_SUCCESS);
}

void RemoveProfiles() {
    RegUnLoadKeyW(HKEY_USERS, kAccounts[0].sid.c_str());
    for (const FixtureAccount& account : kAccounts) RegDeleteTreeW(HKEY_LOCAL_MACHINE, (kProfileList + L'\\' + account.sid).c_str()),
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, (kProfileList + L'\\' + account.sid).c_str());
}

// The keys under HKEY_USERS, one per line: the hives loaded now.
std::wstring LoadedHives() {
    std::wstring hives;
    std::array<wchar_t, 256> name{};
    for (DWORD index = 0, length = 256; RegEnumKeyExW(HKEY_USERS, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr) ==
                                        ERROR_SUCCESS; ++index, length = 256)
        hives += std::wstring(name.data(), length) + L'\n';
    return hives;
}

std::string Utf8(const std::wstring& text) {
    std::string bytes(text.size() * 3, '\0');
    bytes.resize(static_cast<std::size_t>(
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr)));
    return bytes;
}

std::string ReadAll(const std::wstring& path) {
    const UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    std::string bytes(1 << 20, '\0');
    DWORD read = 0;
    EXPECT_TRUE(file && ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) << "reading the hive file";
    return bytes.substr(0, read);
}

void WriteAll(const std::wstring& path, const std::string& bytes) {
    const UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    EXPECT_TRUE(file && WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) << "writing the hive file";
}

// The lines that name a fixture account or one of their names, sorted.
std::vector<std::string> FixtureLines(const std::string& output) {
    std::vector<std::string> lines;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);) {
        if (line.ends_with('\r')) line.pop_back();
        const bool names = std::ranges::any_of(kAccounts, [&](const FixtureAccount& account) {
            return line.find(Utf8(account.sid)) != std::string::npos ||
                   std::ranges::any_of(account.names, [&](const std::wstring& n) { return line.ends_with("\t" + Utf8(n)); });
        });
        if (names) lines.push_back(line);
    }
    std::ranges::sort(lines);
    return lines;
}

}  // namespace

// Each account is listed with its own names and only its own; a damaged
// hive file is said on its account's line and stops no other; and no run
// leaves a hive of Tallowick's loaded, nor unloads the signed-in user's.
TEST(AllUsers, EachAccountFromItsOwnHive) {
    ASSERT_NO_FATAL_FAILURE(MakeProfiles());
    const std::wstring before = LoadedHives();
    ASSERT_NE(before.find(kAccounts[0].sid + L'\n'), std::wstring::npos) << "the signed-in fixture account's hive is not loaded";
    const std::string kHeld = "S-1-5-21-1-2-3-1003\ttallowick-cli: could not load the account's registry (NTUSER.DAT): it is already "
                              "loaded under HKEY_USERS as Tallowick-SID, by another run or by one that was ended; when no other "
                              "run is going, reg unload it and try again.";
    const std::string kDamaged = "S-1-5-21-1-2-3-1002\ttallowick-cli: could not load the account's registry (NTUSER.DAT): the file is damaged.";
    const struct {
        std::wstring arguments;
        std::vector<std::string> lines;
        DWORD exitCode;
        bool damaged = false;  // the second account's NTUSER.DAT is not a hive
        bool held = false;     // another run holds the third account's hive
    } rows[] = {
        {L"list /allusers",
         {"S-1-5-21-1-2-3-1001\tann", "S-1-5-21-1-2-3-1002\tZo\xc3\xab", "S-1-5-21-1-2-3-1002\tbo", "S-1-5-21-1-2-3-1003\tcy"}, 0},
        {L"list /allusers /leftover", {"S-1-5-21-1-2-3-1003\told"}, 0},
        {L"list /allusers", {"S-1-5-21-1-2-3-1001\tann", kDamaged, "S-1-5-21-1-2-3-1003\tcy"}, 1, true},
        {L"list /allusers", {"S-1-5-21-1-2-3-1001\tann", "S-1-5-21-1-2-3-1002\tZo\xc3\xab", "S-1-5-21-1-2-3-1002\tbo", kHeld}, 1, false, true},
    };
    const std::wstring heldKey = L"Tallowick-" + kAccounts[2].sid;
    const std::string hiveFile = ReadAll(Hive(kAccounts[1]));
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.arguments) + (row.damaged ? " with a damaged hive" : ""));
        WriteAll(Hive(kAccounts[1]), row.damaged ? std::string("not a hive") : hiveFile);
        if (row.held) {
            ASSERT_EQ(RegLoadKeyW(HKEY_USERS, heldKey.c_str(), Hive(kAccounts[2]).c_str()), ERROR_SUCCESS);
        }
        std::string output;
        EXPECT_EQ(RunOtherProcess(L"\"" TALLOWICK_CLI L"\" " + row.arguments, &output), row.exitCode) << output;
        EXPECT_EQ(FixtureLines(output), row.lines) << output;
        if (row.held) {
            EXPECT_NE(LoadedHives().find(heldKey + L'\n'), std::wstring::npos) << "another run's hive was unloaded";
            RegUnLoadKeyW(HKEY_USERS, heldKey.c_str());
        }
        EXPECT_EQ(LoadedHives(), before);
    }
    WriteAll(Hive(kAccounts[1]), hiveFile);

    // The core given the signed-in account's root removes a name there, the
    // delete walk and the shell's path included, and leaves the current
    // user's name of the same spelling alone.
    ResetUsersKey({{L"", {{L"ann", REG_SZ, {}}}}});
    UniqueHKey root;
    ASSERT_EQ(RegOpenKeyExW(HKEY_USERS, kAccounts[0].sid.c_str(), 0, KEY_READ | KEY_WRITE, root.put()), ERROR_SUCCESS);
    Win32Registry registry(root.get());
    AutomationOrApiShellFactory shells(L"HKEY_USERS\\" + kAccounts[0].sid);
    Win32Archive archive(root.get());
    EXPECT_TRUE(ScreenNames::RemoveScreenName(registry, shells, archive, L"ann", false).Done());
    EXPECT_FALSE(registry.NameRemains(kUsersKey, L"ann"));
    EXPECT_EQ(UsersValueNames(), std::vector<std::wstring>{L"ann"});
    root.reset();
    DeleteMessengerTree();
    RemoveProfiles();
}

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>

#include "OtherProcess.h"
#include "TestRegistry.h"
#include "cli/Cli.h"
#include "platform/cli/Win32Accounts.h"
#include "platform/common/Win32Archive.h"
#include "platform/common/Win32Registry.h"
#include "platform/common/Win32Shell.h"
#include "screennames/EnumerateValues.h"
#include "screennames/ScreenNames.h"

// /allusers and /user: over profiles made as Windows keeps them: each
// account's NTUSER.DAT written by RegSaveKeyW from a seeded key, with its
// ProfileList entry; the first signed in (its hive loaded under
// HKEY_USERS\SID), the others not. Wine does not write a loaded hive's changes
// back to its file, so nothing here checks a file for what a run changed.
namespace {

const std::wstring kProfileList = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
const std::wstring kShellFolders = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
struct FixtureAccount {
    std::wstring sid;
    std::vector<std::wstring> names, keys;
    std::wstring shellFolder;  // its User Shell Folders' Local AppData; none: Windows' default
    std::wstring local;        // that folder, below the profile's
};
const FixtureAccount kAccounts[] = {
    {L"S-1-5-21-1-2-3-1001", {L"ann"}, {L"ann\\sub"}, L"%USERPROFILE%\\Local", L"Local"},
    {L"S-1-5-21-1-2-3-1002", {L"bo", L"Zo\u00eb"}, {}, L"%USERPROFILE%\\Local Settings\\Application Data",
     L"Local Settings\\Application Data"},
    {L"S-1-5-21-1-2-3-1003", {L"cy"}, {L"old"}, L"", L"AppData\\Local"},
};

std::wstring Folder(const FixtureAccount& account) { return L"C:\\users\\tallowick-" + account.sid.substr(15); }
std::wstring Hive(const FixtureAccount& account) { return Folder(account) + L"\\NTUSER.DAT"; }
std::wstring Removed(const FixtureAccount& account) { return Folder(account) + L'\\' + account.local + L"\\Tallowick\\Removed"; }

void EnablePrivilege(const wchar_t* name) {
    UniqueHandleObject token;
    TOKEN_PRIVILEGES privileges{1, {{{0, 0}, SE_PRIVILEGE_ENABLED}}};
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, token.put()) &&
                LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid) &&
                AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr));
}

void SetText(HKEY root, const std::wstring& key, const std::wstring& name, const std::wstring& text, DWORD type = REG_SZ) {
    RegSetKeyValueW(root, key.c_str(), name.c_str(), type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

// Each account's tree seeded under a scratch key of HKCU and saved whole as
// its hive file; the first account's hive then loaded as at its sign-in. The
// second account gets `more` names besides its own.
void MakeProfiles(int more = 0) {
    EnablePrivilege(SE_BACKUP_NAME), EnablePrivilege(SE_RESTORE_NAME);
    const std::wstring seed = L"Software\\Wine\\TallowickSeed", users = seed + L'\\' + kUsersKey;
    for (const FixtureAccount& account : kAccounts) {
        std::vector<std::wstring> names = account.names;
        for (int name = 0; &account == &kAccounts[1] && name < more; ++name) names.push_back(L"more" + std::to_wstring(name));
        for (const std::wstring& name : names) SetText(HKEY_CURRENT_USER, users, name, L"");
        for (const std::wstring& key : account.keys) SetText(HKEY_CURRENT_USER, users + L'\\' + key, L"", L"");
        if (!account.shellFolder.empty())
            SetText(HKEY_CURRENT_USER, seed + L"\\" + kShellFolders, L"Local AppData", account.shellFolder, REG_EXPAND_SZ);
        std::filesystem::create_directories(std::filesystem::path(Folder(account) + L'\\' + account.local));
        DeleteFileW(Hive(account).c_str());
        UniqueHKey root;
        ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, seed.c_str(), 0, KEY_READ, root.put()), ERROR_SUCCESS);
        ASSERT_EQ(RegSaveKeyW(root.get(), Hive(account).c_str(), nullptr), ERROR_SUCCESS);
        root.reset();
        RegDeleteTreeW(HKEY_CURRENT_USER, seed.c_str()), RegDeleteKeyW(HKEY_CURRENT_USER, seed.c_str());
        // As Windows writes it: the folder by an environment string.
        SetText(HKEY_LOCAL_MACHINE, kProfileList + L'\\' + account.sid, L"ProfileImagePath",
                L"%SystemDrive%\\users\\tallowick-" + account.sid.substr(15), REG_EXPAND_SZ);
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
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
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
    const std::string kHeld = "S-1-5-21-1-2-3-1003\ttallowick-cli: could not load the account's registry "
                              "\"C:\\users\\tallowick-1003\\NTUSER.DAT\": it is already loaded under HKEY_USERS as "
                              "Tallowick-S-1-5-21-1-2-3-1003, by another run or by one that was ended; when no other run is going, reg "
                              "unload it and try again.";
    const std::string kRelative = "S-1-5-21-1-2-3-1003\ttallowick-cli: could not load the account's registry "
                                  "\"users\\tallowick-1003\\NTUSER.DAT\": its profile folder in ProfileList is no full path of its own.";
    const std::string kDamaged = "S-1-5-21-1-2-3-1002\ttallowick-cli: could not load the account's registry "
                                 "\"C:\\users\\tallowick-1002\\NTUSER.DAT\": the file is damaged.";
    const struct {
        std::wstring arguments;
        std::vector<std::string> lines;
        DWORD exitCode;
        bool damaged = false;  // the second account's NTUSER.DAT is not a hive
        bool held = false;     // another run holds the third account's hive
        bool relative = false;  // the third account's profile folder is stored as a relative path
    } rows[] = {
        {L"list /allusers",
         {"S-1-5-21-1-2-3-1001\tann", "S-1-5-21-1-2-3-1002\tZo\xc3\xab", "S-1-5-21-1-2-3-1002\tbo", "S-1-5-21-1-2-3-1003\tcy"}, 0},
        {L"list /allusers /leftover", {"S-1-5-21-1-2-3-1003\told"}, 0},
        {L"list /allusers", {"S-1-5-21-1-2-3-1001\tann", kDamaged, "S-1-5-21-1-2-3-1003\tcy"}, 1, true},
        {L"list /allusers", {"S-1-5-21-1-2-3-1001\tann", "S-1-5-21-1-2-3-1002\tZo\xc3\xab", "S-1-5-21-1-2-3-1002\tbo", kHeld}, 1, false, true},
        {L"list /allusers", {"S-1-5-21-1-2-3-1001\tann", "S-1-5-21-1-2-3-1002\tZo\xc3\xab", "S-1-5-21-1-2-3-1002\tbo", kRelative}, 1, false, false, true},
        // Last: the signed-in account's names are gone from then on.
        {L"remove /all /allusers",
         {"S-1-5-21-1-2-3-1001\tRemoved \"ann\".", "S-1-5-21-1-2-3-1002\tRemoved \"Zo\xc3\xab\".", "S-1-5-21-1-2-3-1002\tRemoved \"bo\".",
          "S-1-5-21-1-2-3-1003\tRemoved \"cy\".", "S-1-5-21-1-2-3-1003\tRemoved \"old\"."}, 0},
    };
    const std::wstring heldKey = L"Tallowick-" + kAccounts[2].sid;
    const std::string hiveFile = ReadAll(Hive(kAccounts[1]));
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.arguments) + (row.damaged ? " with a damaged hive" : ""));
        std::ofstream(std::filesystem::path(Hive(kAccounts[1])), std::ios::binary) << (row.damaged ? std::string("not a hive") : hiveFile);
        if (row.held) {
            ASSERT_EQ(RegLoadKeyW(HKEY_USERS, heldKey.c_str(), Hive(kAccounts[2]).c_str()), ERROR_SUCCESS);
        }
        const std::wstring profile = kProfileList + L'\\' + kAccounts[2].sid, folder = L"%SystemDrive%\\users\\tallowick-1003";
        SetText(HKEY_LOCAL_MACHINE, profile, L"ProfileImagePath", row.relative ? L"users\\tallowick-1003" : folder, REG_EXPAND_SZ);
        std::string output;
        EXPECT_EQ(RunOtherProcess(L"\"" TALLOWICK_CLI L"\" " + row.arguments, &output), row.exitCode) << output;
        // For the log: what a removal over the fixture profiles said, and the hives loaded before and after it.
        if (row.arguments.starts_with(L"remove")) std::printf("tallowick-cli %s\n%sHKEY_USERS before and after:\n%s--\n%s", Utf8(row.arguments).c_str(), output.c_str(),
                    Utf8(before).c_str(), Utf8(LoadedHives()).c_str());
        EXPECT_EQ(FixtureLines(output), row.lines) << output;
        if (row.held) {
            EXPECT_NE(LoadedHives().find(heldKey + L'\n'), std::wstring::npos) << "another run's hive was unloaded";
            RegUnLoadKeyW(HKEY_USERS, heldKey.c_str());
        }
        EXPECT_EQ(LoadedHives(), before);
    }
    std::ofstream(std::filesystem::path(Hive(kAccounts[1])), std::ios::binary) << hiveFile;
    RemoveProfiles();
}

namespace {

// The platform's accounts, each account's registry and backup folder looked
// at through what the platform opened, after the command and before the
// unload: Wine keeps no change in a hive's file.
class LookedAtBeforeUnload final : public cli::Accounts, cli::AccountVisitor {
public:
    // Per fixture account's SID: the names left, and each backup as
    // "folder<tab>name held", each sorted. Wine keeps no file's owner or
    // access list (each reads back as the running user's), so neither is
    // checked here.
    using Seen = std::map<std::wstring, std::pair<std::vector<std::wstring>, std::vector<std::wstring>>>;
    Seen seen;

    Visited ForEach(cli::AccountVisitor& visitor) override {
        inner_ = &visitor;
        return Win32Accounts().ForEach(*this);
    }
    std::vector<cli::Account> Chosen(std::vector<cli::Account> every) override { return inner_->Chosen(std::move(every)); }
    void Failed(const cli::Account& account, Step step, reg::Status status) override { inner_->Failed(account, step, status); }
    void Opened(const cli::Account& account, cli::AccountRegistry& opened) override {
        inner_->Opened(account, opened);
        if (std::ranges::none_of(kAccounts, [&](const FixtureAccount& fixture) { return fixture.sid == account.sid; })) return;
        auto& [names, backups] = seen[account.sid];
        EnumerateValues::ListScreenNames(opened.registry, names);
        for (const reg::BackupFile& file : opened.archive.Backups()) {
            std::vector<std::uint8_t> bytes;
            reg::NameSnapshot held;
            std::wstring why;
            const bool read = opened.archive.ReadBackupFile(file.path, bytes) == reg::FileRead::kRead &&
                              ScreenNames::ReadBackupFile(opened.registry, bytes, held, why);
            backups.push_back(file.path.substr(0, file.path.rfind(L'\\')) + L'\t' + (read ? held.name : L"unread: " + why));
        }
        std::ranges::sort(names), std::ranges::sort(backups);
    }

private:
    cli::AccountVisitor* inner_ = nullptr;
};

struct Said final : cli::Output {
    std::wstring out, err;
    bool Out(std::wstring_view text) override { return out += text, true; }
    bool Err(std::wstring_view text) override { return err += text, true; }
};

void DeleteFiles(const std::wstring& folder) {
    std::error_code ignored;
    for (const auto& file : std::filesystem::directory_iterator(folder, ignored)) std::filesystem::remove(file.path(), ignored);
}

}  // namespace

// remove over every account or one, with random names, as the exe runs it:
// each account's own names go, with a backup in that account's own folder,
// and come back from there with restore /user:. A registry link at one
// account's Users key refuses that account alone, and its target keeps its
// names.
TEST(AllUsers, EachAccountsBackupInItsOwnFolder) {
    ASSERT_NO_FATAL_FAILURE(MakeProfiles());
    const std::wstring before = LoadedHives(), signedIn = kAccounts[0].sid + L'\\' + kUsersKey;
    const std::wstring target = L"Software\\Wine\\TallowickLinkTarget", link = L"\\REGISTRY\\MACHINE\\" + target;
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, target.c_str(), L"ann", REG_SZ, L"", 2);
    const unsigned seed = std::random_device{}();
    std::printf("AllUsers: seed=%u\n", seed);
    std::mt19937 rng(seed);
    // Each account's names, then its leftover keys.
    const std::vector<std::vector<std::wstring>> named = {{L"ann"}, {L"bo", L"Zo\u00eb"}, {L"cy", L"old"}};
    for (int run = 0; run <= 13 && !HasFailure(); ++run) {
        // The last runs: remove /all /allusers; restore; /whatif where the account's shell folder
        // needs the runner's %HOMEPATH%, which must not be taken; remove /all /allusers with a link
        // at the signed-in account's Users key.
        const bool restore = run == 11, unknownFolder = run == 12, linked = run == 13, fixed = run >= 10, one = restore || unknownFolder;
        RegDeleteTreeW(HKEY_USERS, signedIn.c_str());
        if (!restore) RegSetKeyValueW(HKEY_USERS, signedIn.c_str(), L"ann", REG_SZ, L"", 2);
        for (const FixtureAccount& account : kAccounts) DeleteFiles(restore ? L"" : Removed(account));
        const std::size_t only = fixed ? 3 - 3 * one : rng() % 4;  // an account's index, or 3: every account
        const bool all = fixed ? !one : rng() % 3 == 0, whatIf = unknownFolder || (!fixed && rng() % 5 == 0);
        const auto upper = [](std::wstring name) { return CharUpperW(name.data()), name; };
        std::vector<std::wstring> arguments = {restore ? L"restore" : L"remove"}, asked;
        for (const std::wstring_view name : {L"ann", L"bo", L"Zo\u00eb", L"cy", L"old", L"ghost"})
            if (!all && rng() % 2 == 0) asked.push_back(rng() % 2 == 0 ? std::wstring(name) : upper(std::wstring(name)));
        if (one || (!all && asked.empty())) asked = {one ? L"ANN" : L"ghost"};
        if (unknownFolder)
            SetText(HKEY_USERS, kAccounts[0].sid + L"\\" + kShellFolders, L"Local AppData", L"%HOMEDRIVE%%HOMEPATH%\\AppData\\Local", REG_EXPAND_SZ);
        if (all) arguments.push_back(L"/all");
        arguments.insert(arguments.end(), asked.begin(), asked.end());
        arguments.push_back(only == 3 ? L"/allusers" : L"/user:" + kAccounts[only].sid);
        if (whatIf) arguments.push_back(L"/whatif");
        if (linked) {
            RegDeleteKeyW(HKEY_USERS, signedIn.c_str());
            UniqueHKey key;
            ASSERT_EQ(RegCreateKeyExW(HKEY_USERS, signedIn.c_str(), 0, nullptr, REG_OPTION_CREATE_LINK | REG_OPTION_VOLATILE,
                                      KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr, key.put(), nullptr), ERROR_SUCCESS);
            RegSetValueExW(key.get(), L"SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE*>(link.data()),
                           static_cast<DWORD>(link.size() * sizeof(wchar_t)));
        }
        LookedAtBeforeUnload::Seen expected;
        for (std::size_t account = 0; account < 3; ++account) {
            if (only != 3 && only != account) continue;
            auto& [left, backups] = expected[kAccounts[account].sid];
            for (const std::wstring& name : named[account]) {
                const bool goes = !whatIf && (all || std::ranges::any_of(asked, [&](const std::wstring& a) { return upper(a) == upper(name); }));
                if (name != L"old" && (restore || !goes)) left.push_back(name);
                if (goes || restore) backups.push_back(Removed(kAccounts[account]) + L'\t' + name);
            }
            std::ranges::sort(left), std::ranges::sort(backups);
            if (linked && account == 0) expected[kAccounts[0].sid] = {};
        }
        SCOPED_TRACE(testing::Message() << "AllUsers seed=" << seed << ", run " << run << ": tallowick-cli " << testing::PrintToString(arguments));
        Win32Registry registry;
        AutomationOrApiShellFactory shells;
        Win32Archive archive;
        LookedAtBeforeUnload accounts;
        Said said;
        const std::vector<std::wstring_view> views(arguments.begin(), arguments.end());
        EXPECT_EQ(cli::Run(views, L"test", registry, shells, archive, accounts, said), linked || unknownFolder ? 1 : 0) << said.out << said.err;
        EXPECT_EQ(accounts.seen, expected) << said.out << said.err;
        EXPECT_EQ(said.err.starts_with(kAccounts[0].sid + L"\tCould not read the screen names.\r\n"), linked) << said.err;
        EXPECT_EQ(LoadedHives(), before);
    }
    EXPECT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE, target.c_str(), L"ann", RRF_RT_ANY, nullptr, nullptr, nullptr), ERROR_SUCCESS)
        << "the link's target lost its name";
    // The link goes with the signed-in account's hive.
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, target.c_str()), RegDeleteKeyW(HKEY_LOCAL_MACHINE, target.c_str());
    for (const FixtureAccount& account : kAccounts) DeleteFiles(Removed(account));
    RemoveProfiles();
}

// Ctrl+C while an account's hive is loaded, its many names being removed:
// the run takes no further name, unloads that hive, loads no other and says
// it stopped.
TEST(AllUsers, CtrlCLeavesNoHiveLoaded) {
    ASSERT_NO_FATAL_FAILURE(MakeProfiles(2000));
    const std::wstring before = LoadedHives(), second = L"Tallowick-" + kAccounts[1].sid + L'\n';
    std::string output;
    const DWORD exitCode = RunOtherProcess(L"\"" TALLOWICK_CLI L"\" remove /all /allusers", &output, [&](DWORD process) {
        const Deadline deadline("the run to load the second fixture account's hive", 60);
        while (LoadedHives().find(second) == std::wstring::npos) Sleep(1);
        // Attached to its console, this process ignores the Ctrl+C it sends.
        FreeConsole();
        ASSERT_TRUE(AttachConsole(process)) << GetLastError();
        SetConsoleCtrlHandler(nullptr, TRUE);
        EXPECT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0));
        FreeConsole();
        AttachConsole(ATTACH_PARENT_PROCESS);
    });
    EXPECT_EQ(exitCode, 1U);
    std::size_t removed = 0;
    for (std::size_t at = 0; (at = output.find("S-1-5-21-1-2-3-1002\tRemoved", at)) != std::string::npos; ++at) ++removed;
    EXPECT_LT(removed, 2002U) << "every name of the second account was removed after the Ctrl+C";
    EXPECT_EQ(output.find("S-1-5-21-1-2-3-1003"), std::string::npos) << "an account was visited after the Ctrl+C";
    EXPECT_TRUE(output.ends_with("tallowick-cli: stopped before all was done; no account's registry is left loaded.\r\n"))
        << output.substr(output.size() - std::min<std::size_t>(output.size(), 300));
    EXPECT_EQ(LoadedHives(), before);
    RemoveProfiles();
}

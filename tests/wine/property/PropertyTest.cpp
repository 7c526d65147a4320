#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <random>
#include <string_view>

#include <shlobj.h>
#include <sddl.h>

#include "TestRegistry.h"
#include "platform/Win32Handles.h"
#include "platform/Win32Shell.h"
#include "WindowUnderTest.h"
#include "screennames/EnumerateValues.h"
#include "screennames/ScreenNames.h"

namespace {

using Rng = std::mt19937_64;

std::size_t Pick(Rng& rng, std::size_t count) { return std::uniform_int_distribution<std::size_t>(0, count - 1)(rng); }
bool Chance(Rng& rng, double p) { return std::bernoulli_distribution(p)(rng); }

std::optional<unsigned long long> EnvNumber(const char* name) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') return std::nullopt;
    return std::strtoull(text, nullptr, 10);
}

// Letters whose case the registry folds, characters without case, and
// characters outside the BMP (two UTF-16 units each).
constexpr std::wstring_view kCased = L"abcdefghijklmnopqrstuvwxyzéàöçñαβγжщя";
constexpr std::wstring_view kUncased = L"0123456789 -_.~!@#$%&()[]{}'+,;=^`ß中文字한국語\t";
constexpr std::wstring_view kAstral[] = {L"\U0001F600", L"\U00010400", L"\U0001D11E", L"\U00020BB7"};
constexpr std::wstring_view kSettingsKeys[] = {L"Settings", L"Buddy List", L"Prefs", L"Ω"};
constexpr DWORD kTypes[] = {REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_BINARY, REG_DWORD, REG_QWORD, REG_NONE, 0x12345678};

wchar_t WithCase(wchar_t ch, bool upper) {
    if (upper) CharUpperBuffW(&ch, 1);
    else CharLowerBuffW(&ch, 1);
    return ch;
}

std::wstring RandomName(Rng& rng, std::size_t length) {
    std::wstring name;
    while (name.size() < length) {
        const std::size_t roll = Pick(rng, 100);
        if (roll < 60) {
            const wchar_t letter = kCased[Pick(rng, kCased.size())];
            name += WithCase(letter, Chance(rng, 0.3));
        } else if (roll < 90 || length - name.size() < 2) {
            name += kUncased[Pick(rng, kUncased.size() - (Chance(rng, 0.9) ? 1 : 0))];
        } else {
            name += kAstral[Pick(rng, std::size(kAstral))];
        }
    }
    return name;
}

// Mostly short, some up to the longest key name, a few up to the longest
// value name.
std::size_t RandomLength(Rng& rng, bool heavy) {
    if (heavy && Chance(rng, 0.2)) return Chance(rng, 0.3) ? 16383 : 256 + Pick(rng, 16383 - 256);
    if (Chance(rng, 0.1)) return 13 + Pick(rng, 255 - 12);
    return 1 + Pick(rng, 12);
}

std::wstring OtherCase(std::wstring name) {
    for (wchar_t& ch : name) ch = WithCase(ch, !IsCharUpperW(ch));
    return name;
}

// Makes HKCU\path a registry link to HKCU\target, as any program running as
// the user may; with no target, deletes the link at path and not its target.
void Link(const std::wstring& path, const std::wstring& target = L"") {
    UniqueHKey key;
    if (target.empty() && RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), REG_OPTION_OPEN_LINK, DELETE, key.put()) == 0) {
        const FARPROC deleteKey = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtDeleteKey");
        reinterpret_cast<LONG(NTAPI*)(HANDLE)>(reinterpret_cast<void (*)()>(deleteKey))(key.get());
    }
    if (target.empty()) return;
    UniqueHandleObject token;
    BYTE user[256] = {};
    DWORD size = 0;
    PWSTR sid = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put());
    GetTokenInformation(token.get(), TokenUser, user, sizeof user, &size);
    ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &sid);
    const std::wstring full = L"\\REGISTRY\\USER\\" + std::wstring(sid) + L'\\' + target;
    LocalFree(sid);
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_CREATE_LINK,
                              KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr, key.put(), nullptr), ERROR_SUCCESS);
    RegSetValueExW(key.get(), L"SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE*>(full.data()),
                   static_cast<DWORD>(full.size() * sizeof(wchar_t)));
}

TestValue RandomValue(Rng& rng, std::wstring name, bool heavy) {
    TestValue value{std::move(name), kTypes[Pick(rng, std::size(kTypes))], {}};
    std::size_t size = heavy && Chance(rng, 0.1) ? 65536 : Chance(rng, 0.2) ? 0 : Pick(rng, 65);
    if (size != 0 && value.type == REG_DWORD) size = 4;
    if (size != 0 && value.type == REG_QWORD) size = 8;
    // Some strings hold raw bytes: odd lengths, no terminating NUL.
    if ((value.type == REG_SZ || value.type == REG_EXPAND_SZ || value.type == REG_MULTI_SZ) && Chance(rng, 0.85)) {
        if (size < 2) return value;
        std::wstring text = RandomName(rng, size / 2 - 1);
        if (value.type == REG_MULTI_SZ && text.size() > 2) {
            text[Pick(rng, text.size() - 1)] = L'\0';
            text.back() = L'\0';
        }
        value.data = SzData(text);
        return value;
    }
    value.data.resize(size);
    for (BYTE& byte : value.data) byte = static_cast<BYTE>(Pick(rng, 256));
    return value;
}

// A name's key with settings up to 4 levels below it, some keys holding no
// value.
void AddSubtree(Rng& rng, const std::wstring& path, int depth, bool heavy, std::vector<TestKey>& keys) {
    TestKey key{path, {}};
    for (std::size_t count = Pick(rng, 3); count != 0; --count)
        key.values.push_back(RandomValue(rng, RandomName(rng, 1 + Pick(rng, 8)), heavy));
    keys.push_back(std::move(key));
    if (depth == 4) return;
    for (std::size_t count = Pick(rng, depth == 0 ? 4 : 3); count != 0; --count) {
        const std::wstring child =
            Chance(rng, 0.7) ? std::wstring(kSettingsKeys[Pick(rng, std::size(kSettingsKeys))]) : RandomName(rng, 5);
        AddSubtree(rng, path + L'\\' + child, depth + 1, heavy, keys);
    }
}

std::vector<TestKey> RandomTree(Rng& rng, bool heavy) {
    std::vector<TestKey> keys{{L"", {}}};
    std::vector<std::wstring> names;
    for (std::size_t count = Pick(rng, 13); count != 0; --count) {
        const std::size_t kind = Pick(rng, 100);
        const std::wstring earlier = names.empty() ? RandomName(rng, 3) : names[Pick(rng, names.size())];
        std::wstring name;
        // Longer names are not extended: they would pass the longest value name.
        if (kind < 8 || (kind < 20 && earlier.size() > 255)) name = OtherCase(earlier);
        else if (kind < 14) name = earlier + RandomName(rng, 1 + Pick(rng, 3));
        else if (kind < 20) name = earlier + L'\\' + std::wstring(kSettingsKeys[Pick(rng, std::size(kSettingsKeys))]);
        else if (kind < 24) name = L"";
        else name = RandomName(rng, RandomLength(rng, heavy));
        names.push_back(name);

        const bool keyable = !name.empty() && name.find(L'\\') == std::wstring::npos && name.size() <= 255;
        const std::size_t shape = Pick(rng, 100);  // value only, value and key, key only
        if (!keyable || shape < 75) keys[0].values.push_back(RandomValue(rng, name, heavy));
        if (keyable && shape >= 40) AddSubtree(rng, Chance(rng, 0.3) ? OtherCase(name) : name, 0, heavy, keys);
    }
    return keys;
}

struct Figures {
    unsigned long long seed = 0;
    std::size_t tree = 0, step = 0;
    std::size_t violations = 0;
    std::vector<std::string> first;

    void Check(bool holds, const std::string& what) {
        if (holds) return;
        if (++violations <= 5)
            first.push_back("seed=" + std::to_string(seed) + " tree=" + std::to_string(tree) +
                            " step=" + std::to_string(step) + ": " + what);
    }
};

// Another program changes the registry under the open window: it removes the
// chosen name's value, key or both, adds a name, rewrites the name's value,
// or deletes the Users key (and perhaps a key above it, or makes that again
// at once), which the window must see go and come back.
// Returns whether every name was gone for a while.
bool ChangeBehindTheWindow(Rng& rng, WindowUnderTest& window, const std::wstring& name, Figures& figures) {
    // Wine's own reg.exe plays the other program for the name's key and a new
    // name; the registry cannot tell the other changes, made from this
    // process, apart.
    switch (Pick(rng, 5)) {
    case 0: RegDeleteKeyValueW(HKEY_CURRENT_USER, kUsersKey.c_str(), name.c_str()); return false;
    case 1: RunOtherProcess(L"reg.exe delete \"HKCU\\" + kUsersKey + L'\\' + name + L"\" /f"); return false;
    case 2: RunOtherProcess(L"reg.exe add \"HKCU\\" + kUsersKey + L"\" /v newcomer /t REG_SZ /d x /f"); return false;
    case 3:
        RegDeleteTreeW(HKEY_CURRENT_USER, kUsersKey.c_str()), RegDeleteKeyW(HKEY_CURRENT_USER, kUsersKey.c_str());
        window.FollowRegistry(1000);
        figures.Check(window.Items().empty(), "names stayed listed after the Users key was deleted");
        if (const std::size_t above = Pick(rng, 3); above != 0) {
            const std::wstring key = above == 1 ? kUsersKey.substr(0, kUsersKey.rfind(L'\\')) : L"Software\\America Online";
            RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str()), RegDeleteKeyW(HKEY_CURRENT_USER, key.c_str());
        }
        RegSetKeyValueW(HKEY_CURRENT_USER, kUsersKey.c_str(), L"newcomer", REG_SZ, L"x", 4);
        return true;
    default: RegSetKeyValueW(HKEY_CURRENT_USER, kUsersKey.c_str(), name.c_str(), REG_SZ, L"y", 4); return false;
    }
}

std::wstring RemovedFolder() {
    PWSTR local = nullptr;
    SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &local);
    const std::wstring folder = std::wstring(local) + L"\\Tallowick\\Removed";
    CoTaskMemFree(local);
    return folder;
}

// The backup files in the Removed folder; `remove` deletes them.
std::vector<std::wstring> BackupFiles(bool remove) {
    std::vector<std::wstring> files;
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW((RemovedFolder() + L"\\*.reg").c_str(), &found);
    for (bool more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found)) {
        files.push_back(RemovedFolder() + L'\\' + found.cFileName);
        if (remove) DeleteFileW(files.back().c_str());
    }
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
    return files;
}

// Wine's reg import stores string data that has no terminating NUL with one
// added or not, as RegSetValueExW does when the next character in its
// buffer happens to be NUL; and it pads an odd length (41,00,42 comes back
// as 41,00,00,00,00), which is then compared by name and type only.
std::wstring AsImported(const std::wstring& dump) {
    std::wstring out;
    for (std::size_t start = 0, end; start < dump.size(); start = end + 1) {
        end = dump.find(L'\n', start);
        std::wstring line = dump.substr(start, end - start);
        const std::size_t data = line.rfind(L'\t'), type = line.rfind(L'\t', data - 1);
        const std::wstring typeText = data == std::wstring::npos ? L"" : line.substr(type + 1, data - type - 1);
        if (typeText == L"1" || typeText == L"2" || typeText == L"7") {
            if ((line.size() - data - 1) % 4 == 2) line.resize(data);
            else if (line.size() > data + 1 && !line.ends_with(L"0000")) line += L"0000";
        }
        out += line + L'\n';
    }
    return out;
}

// Wine's reg import crashes on string data of one byte (hex(1):41).
bool ImportCrashes(const std::wstring& dump) {
    for (const wchar_t* type : {L"\t1\t", L"\t2\t", L"\t7\t"})
        for (std::size_t at = dump.find(type); at != std::wstring::npos; at = dump.find(type, at + 1))
            if (dump.find(L'\n', at) == at + 5) return true;
    return false;
}

// After a removal that took something: undo through Ctrl+Z gives back the
// registry and the list as they were; or Wine's reg imports the backup file
// to the same registry, and undo then refuses to overwrite the name.
void UndoOrImport(Rng& rng, WindowUnderTest& window, const std::wstring& name, const std::vector<std::wstring>& listBefore,
                  std::vector<std::wstring>& items, const std::wstring& before, Figures& figures) {
    if (Chance(rng, 0.3)) {
        window.Undo();
        const std::vector<std::wstring> listed = window.Items();
        figures.Check(DumpMessengerTree() == before, "undo did not restore the registry");
        figures.Check(listed == listBefore, "undo did not restore the list");
        figures.Check(window.StatusText() == EnumerateValues::FoundText(static_cast<int>(listed.size())),
                      "status after undo \"" + Shown(window.StatusText()) + "\"");
        const int selected = window.Selected().value_or(-1);
        figures.Check(listed.size() == items.size() || (selected >= 0 && listed[static_cast<std::size_t>(selected)] == name),
                      "undo did not select the name");
        items = listed;
        return;
    }
    const std::vector<std::wstring> files = BackupFiles(false);
    if (files.size() != 1 || !Chance(rng, 0.2) || ImportCrashes(before)) return;
    figures.Check(RunOtherProcess(L"reg.exe import \"" + files[0] + L"\"") == 0, "reg import failed");
    const std::wstring imported = DumpMessengerTree();
    figures.Check(AsImported(imported) == AsImported(before), "reg import of the backup did not restore the registry");
    window.FollowRegistry(1000);  // the imported name comes back into the list
    const std::vector<std::wstring> listed = window.Items();
    items = listed;
    window.Undo();
    figures.Check(DumpMessengerTree() == imported, "undo over an existing name wrote to the registry");
    figures.Check(window.Items() == listed, "undo over an existing name changed the list");
    figures.Check(window.StatusText().starts_with(L"Could not restore \""), "status \"" + Shown(window.StatusText()) + "\"");
}

// One removal through the window: what it must do to the registry, the list
// and the status bar. A refused name (or one that must be, `expected` empty)
// changes nothing and leaves no backup; any other name leaves the registry as
// `expected` and the list without it.
void RemovalStep(WindowUnderTest& window, std::vector<std::wstring>& items, std::size_t index,
                 const std::wstring& expected, Figures& figures) {
    const std::wstring name = items[index];
    const std::wstring before = DumpMessengerTree();
    window.Remove(static_cast<int>(index));
    const std::wstring after = DumpMessengerTree();
    const std::vector<std::wstring> listed = window.Items();
    const std::wstring status = window.StatusText();
    const std::string shown = " (name \"" + Shown(name) + "\")";
    if (!ScreenNames::IsAddressableName(name) || expected.empty()) {
        figures.Check(after == before, "a refusal changed the registry" + shown);
        figures.Check(BackupFiles(false).empty(), "a refusal left a backup" + shown);
        figures.Check(listed == items, "a refusal changed the list" + shown);
        figures.Check(status == ScreenNames::CouldNotRemoveText(name), "refusal status \"" + Shown(status) + "\"" + shown);
        return;
    }
    figures.Check(after == expected, "the removal changed more or less than the name" + shown);
    items.erase(items.begin() + static_cast<std::ptrdiff_t>(index));
    figures.Check(listed == items, "the item did not leave the list, or others moved" + shown);
    figures.Check(status == EnumerateValues::FoundText(static_cast<int>(listed.size())),
                  "status after a removal \"" + Shown(status) + "\"" + shown);
    items = listed;
}

TEST(Property, ListAndRemovalFollowTheRegistry) {
    const auto started = std::chrono::steady_clock::now();
    Figures figures;
    figures.seed = EnvNumber("TALLOWICK_SEED").value_or(std::random_device{}() * 65536ULL + std::random_device{}());
    const std::size_t treeCount = EnvNumber("TALLOWICK_TREES").value_or(300);
    const std::wstring localAppData = _wgetenv(L"LOCALAPPDATA") != nullptr ? _wgetenv(L"LOCALAPPDATA") : L"";
    std::printf("seed=%llu\n", figures.seed);
    std::fflush(stdout);

    for (figures.tree = 0; figures.tree < treeCount; ++figures.tree) {
        figures.step = 0;
        // Every tree has a seed of its own: a change in one leaves the others.
        Rng rng(figures.seed + 0x9E3779B97F4A7C15ULL * (figures.tree + 1));
        const bool heavy = Chance(rng, 0.1);
        const bool noKey = Chance(rng, 0.03);
        if (noKey) DeleteMessengerTree(), RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\America Online");
        else ResetUsersKey(RandomTree(rng, heavy));

        WindowUnderTest window;
        figures.Check(window.Created(), "the window was not created");
        if (!window.Created()) continue;
        std::vector<std::wstring> items = window.Items();
        figures.Check(items == UsersValueNames(), "the list differs from the registry");
        const std::wstring status = window.StatusText();
        figures.Check(status == (items.empty() ? L"" : EnumerateValues::FoundText(static_cast<int>(items.size()))),
                      "status \"" + Shown(status) + "\"");
        // Without the messenger's key, keys made elsewhere are none of the list's business.
        if (noKey) RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Wine\\Tallowick", nullptr, REG_SZ, L"", 2),
                   RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Wine\\Tallowick"), window.FollowRegistry(300);
        figures.Check(!noKey || window.StatusText().empty(), "a key made outside the messenger's re-read the list " + Shown(window.StatusText()));

        for (std::size_t steps = 1 + Pick(rng, 4); steps != 0 && !items.empty(); --steps) {
            ++figures.step;
            std::vector<std::size_t> refused;
            for (std::size_t i = 0; i < items.size(); ++i)
                if (!ScreenNames::IsAddressableName(items[i])) refused.push_back(i);
            std::size_t index =
                !refused.empty() && Chance(rng, 0.35) ? refused[Pick(rng, refused.size())] : Pick(rng, items.size());
            // What a correct removal leaves: the registry as it was before any
            // change behind the window, less the name, plus what was added.
            std::wstring expected = DumpMessengerTree({items[index]});
            // The window follows the change by itself, or on F5; the chosen
            // name stays selected while it is listed.
            if (ScreenNames::IsAddressableName(items[index]) && Chance(rng, 0.15)) {
                const std::wstring name = items[index];
                const std::vector<std::wstring> before = items;
                const std::wstring statusBefore = window.StatusText();
                window.Select(static_cast<int>(index));
                window.FollowRegistry(0);  // its own removals' change
                const bool wentAway = ChangeBehindTheWindow(rng, window, name, figures);
                if (Chance(rng, 0.3)) window.PressF5();
                else window.FollowRegistry(1000);
                items = window.Items();
                figures.Check(items == UsersValueNames(), "the list did not follow the registry");
                // A change that left the names as they were need not be read.
                const std::wstring statusAfter = window.StatusText();
                figures.Check(statusAfter == EnumerateValues::FoundText(static_cast<int>(items.size())) ||
                                  (items == before && statusAfter == statusBefore),
                              "status after a change behind the window");
                const auto at = std::ranges::find(items, name);
                std::optional<int> stays;
                if (at != items.end() && !wentAway) stays = static_cast<int>(at - items.begin());
                figures.Check(window.Selected() == stays, "the selection did not follow its name");
                if (at == items.end()) continue;
                index = static_cast<std::size_t>(at - items.begin());
                expected = DumpMessengerTree({name});
            }
            const std::wstring before = DumpMessengerTree(), name = items[index];
            const std::vector<std::wstring> listBefore = items;
            const bool takes = ScreenNames::IsAddressableName(items[index]) && DumpMessengerTree({items[index]}) != before;
            BackupFiles(true);
            // No backup, no delete: the Removed folder is a file for a while.
            if (takes && Chance(rng, 0.05)) {
                const std::wstring folder = RemovedFolder();
                MoveFileW(folder.c_str(), (folder + L".aside").c_str());
                CloseHandle(CreateFileW(folder.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
                window.Remove(static_cast<int>(index));
                DeleteFileW(folder.c_str());
                MoveFileW((folder + L".aside").c_str(), folder.c_str());
                figures.Check(DumpMessengerTree() == before, "a removal without a backup changed the registry");
                figures.Check(window.Items() == items, "a removal without a backup changed the list");
                figures.Check(window.StatusText() == ScreenNames::CouldNotRemoveText(items[index]), "status without a backup");
                continue;
            }
            // As under a batch or S4U logon: the backup goes to the shell's folder.
            const bool unset = Chance(rng, 0.1) && SetEnvironmentVariableW(L"LOCALAPPDATA", nullptr);
            RemovalStep(window, items, index, expected, figures);
            if (unset) SetEnvironmentVariableW(L"LOCALAPPDATA", localAppData.c_str());
            if (takes) UndoOrImport(rng, window, name, listBefore, items, before, figures);
            figures.Check(items == UsersValueNames(), "the list differs from the registry");
        }
        // A name whose key is, or holds, a link to a key outside the messenger
        // tree is refused: the dump reads through the link, so it sees that key.
        if (!Chance(rng, 0.1)) continue;
        const bool deep = Chance(rng, 0.5);
        const std::wstring name = deep ? L"lnk" : L"evil2", link = kUsersKey + L'\\' + name + (deep ? L"\\link" : L"");
        RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Victim\\deeper", L"secret", REG_SZ, L"s", 4);
        RegSetKeyValueW(HKEY_CURRENT_USER, kUsersKey.c_str(), name.c_str(), REG_SZ, L"x", 4);
        Link(link, deep ? L"Software\\Victim" : L"Software\\Victim\\deeper");
        window.PressF5();
        items = window.Items();
        BackupFiles(true);
        RemovalStep(window, items, static_cast<std::size_t>(std::ranges::find(items, name) - items.begin()), L"", figures);
        Link(link);
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Victim"), RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Victim");
    }
    DeleteMessengerTree();

    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("property: seed=%llu trees=%zu violations=%zu fallbacks=%u time=%.1fs\n", figures.seed, treeCount,
                figures.violations,
                RegistryApiFallbacks(), seconds);
    for (const std::string& line : figures.first) std::printf("  %s\n", line.c_str());
    if (figures.violations != 0) std::printf("  reproduce: TALLOWICK_SEED=%llu TALLOWICK_TREES=<tree + 1>\n", figures.seed);
    EXPECT_EQ(figures.violations, 0U);
    // Run with a working WScript.Shell registered, every removal goes through it.
    if (std::getenv("TALLOWICK_STAND_IN_SHELL") != nullptr) {
        EXPECT_EQ(RegistryApiFallbacks(), 0U);
    }
}

// What only a real process shows: the text in UTF-8 through a pipe, the
// exit code, what a run leaves of the messenger tree, and a name with a
// wildcard passed on as typed although a file in the folder matches it.
TEST(Cli, CommandLinesAgainstTheRegistry) {
    const std::vector<TestKey> tree = {
        {L"", {{L"", REG_SZ, {}}, {L"alice", REG_SZ, {}}, {L"a*b", REG_SZ, {}}, {L"dave\\evil", REG_SZ, {}},
               {L"\u03A9mega", REG_SZ, {}}}},
        {L"alice\\Settings", {}}, {L"dave\\evil", {}}};
    const struct {
        std::wstring arguments;
        std::string out;
        DWORD exitCode;
        std::vector<std::wstring> removed;
    } rows[] = {
        {L"list", "\r\na*b\r\nalice\r\ndave\\evil\r\n\xCE\xA9mega\r\n", 0, {}},
        {L"remove a*b", "Removed \"a*b\".\r\n", 0, {L"a*b"}},
    };
    CloseHandle(CreateFileW(L"a-b", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    for (const auto& row : rows) {
        ResetUsersKey(tree);
        const std::wstring expected = DumpMessengerTree(row.removed);
        std::string out, err;
        const DWORD exitCode = RunOtherProcess(L"\"" TALLOWICK_CLI L"\" " + row.arguments, &out, &err);
        const std::string shown = Shown(row.arguments);
        EXPECT_EQ(out, row.out) << shown;
        EXPECT_EQ(exitCode, row.exitCode) << shown;
        EXPECT_EQ(err.empty(), row.exitCode == 0) << shown;
        EXPECT_TRUE(DumpMessengerTree() == expected) << shown;
    }
    DeleteFileW(L"a-b");

    // Every name back byte for byte from its backup, the string data that
    // the registry editor would change included; never over a name, never
    // from nothing, and backups deleted by name or never written.
    ResetUsersKey({{L"", {{L"alice", REG_SZ, {0x41}}, {L"\u03A9mega", REG_EXPAND_SZ, {0x41, 0, 0x42}}}},
                   {L"alice\\Settings", {{L"m", REG_MULTI_SZ, {}}, {L"z", REG_SZ, {0x41, 0}}, {L"b", REG_BINARY, {7}}}}});
    BackupFiles(true);
    const std::wstring before = DumpMessengerTree();
    const auto run = [](const std::wstring& arguments) { return RunOtherProcess(L"\"" TALLOWICK_CLI L"\" " + arguments); };
    EXPECT_EQ(run(L"remove /all"), 0U);
    EXPECT_EQ(run(L"restore ALICE \u03A9mega"), 0U);
    EXPECT_TRUE(DumpMessengerTree() == before);
    EXPECT_EQ(run(L"restore alice"), 1U);
    EXPECT_EQ(run(L"restore nosuch"), 1U);
    EXPECT_TRUE(DumpMessengerTree() == before);
    EXPECT_EQ(BackupFiles(false).size(), 2U);
    EXPECT_EQ(run(L"backups /delete alice"), 0U);
    const std::vector<std::wstring> left = BackupFiles(false);
    EXPECT_TRUE(left.size() == 1 && left[0].find(L"\u03A9mega") != std::wstring::npos);
    EXPECT_EQ(run(L"remove alice /nobackup"), 0U);
    EXPECT_EQ(BackupFiles(true), left);
    DeleteMessengerTree();
}

// Each of these, split as the registry API needs it, would address more than
// one named item: a root's whole contents or a parent key; or the key is, or
// holds, a link to a key outside the messenger tree, which would go with it.
// Neither is read for a backup either.
TEST(Property, LinksDeleteNothing) {
    const std::wstring users = L"HKEY_CURRENT_USER\\" + kUsersKey;
    ResetUsersKey({{L"", {{L"alice", REG_SZ, SzData(L"a")}}}, {L"alice\\Settings", {}}});
    RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Victim\\deeper", L"secret", REG_SZ, L"s", 4);
    // A leaf for a target: RegDeleteKeyW, which follows a link, deletes only those.
    Link(kUsersKey + L"\\evil2", L"Software\\Victim\\deeper"), Link(kUsersKey + L"\\alice\\Settings\\link", L"Software\\Victim\\deeper");
    const std::wstring before = DumpMessengerTree();
    for (const std::wstring& path : {users + L"\\alice\\", users + L"\\evil2\\"}) {
        EXPECT_NE(RegistryApiDelete(path), ERROR_SUCCESS) << Shown(path);
    }
    EXPECT_EQ(DumpMessengerTree(), before);
    Win32Archive archive;
    reg::NameSnapshot snapshot;
    for (const wchar_t* name : {L"alice", L"evil2"})
        EXPECT_EQ(archive.Snapshot(kUsersKey, name, snapshot), reg::ArchiveStatus::kHoldsLink) << Shown(name);
    Link(kUsersKey + L"\\evil2"), Link(kUsersKey + L"\\alice\\Settings\\link");
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Victim"), RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Victim");
    DeleteMessengerTree();
}

}  // namespace

namespace {

// Wine's regedit as a writer that no one here wrote, and Wine's reg as a
// reader: the export of a name's settings, read by Tallowick, gives each
// value as stored where regedit exports it exactly, and otherwise as the
// file says; restored, it gives the registry that the file describes; and
// reg import of the same file agrees with Tallowick's reading wherever that
// import keeps the data.
TEST(Peer, RegeditExportReadRestoredAndImported) {
    using Bytes = std::vector<BYTE>;
    const struct {
        TestValue value;
        std::optional<Bytes> inFile;  // what regedit's export says, where it is not the value
        bool importAlters = false;
    } rows[] = {
        {{L"sz", REG_SZ, SzData(L"a\"b\\c")}, {}},
        {{L"", REG_SZ, SzData(L"default")}, {}},
        {{L"nonul", REG_SZ, {'a', 0, 'b', 0}}, Bytes{'a', 0, 'b', 0, 0, 0}},  // as if it had its NUL
        {{L"odd", REG_SZ, {'a', 0, 'b'}}, Bytes{0, 0}},  // as ""
        {{L"exp", REG_EXPAND_SZ, SzData(L"%P%")}, {}},
        {{L"expnonul", REG_EXPAND_SZ, {'%', 0, 'P', 0}}, Bytes{'%', 0, 'P', 0, 0, 0}},  // a NUL added
        {{L"multi", REG_MULTI_SZ, {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}}, {}},
        {{L"multinonul", REG_MULTI_SZ, {'a', 0}}, {}, true},  // exported exactly, imported with a NUL
        {{L"bin", REG_BINARY, {1, 2, 3}}, {}},
        {{L"empty", REG_BINARY, {}}, {}},
        {{L"dw", REG_DWORD, {1, 2, 3, 4}}, {}},
        {{L"qw", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}}, {}},
        {{L"none", REG_NONE, {0xab}}, {}},
        {{L"type", 0x12345678, {0}}, {}},
    };
    std::vector<TestValue> stored, described;
    for (const auto& row : rows) {
        stored.push_back(row.value);
        described.push_back({row.value.name, row.value.type, row.inFile.value_or(row.value.data)});
    }
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring file = std::wstring(temp) + L"peer.reg", key = L"HKEY_CURRENT_USER\\" + kUsersKey + L"\\peer";
    ResetUsersKey({{L"peer\\Settings", described}});
    const std::wstring asDescribed = DumpMessengerTree();
    ResetUsersKey({{L"peer\\Settings", stored}});
    ASSERT_EQ(RunOtherProcess(L"regedit.exe /e \"" + file + L"\" \"" + key + L"\""), 0U);
    Win32Registry registry;
    Win32Archive archive;
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(archive.ReadBackupFile(file, bytes));
    const auto read = [&](reg::NameSnapshot& snapshot) {
        std::wstring why;
        EXPECT_TRUE(reg::ReadBackup(bytes, USERS_KEY_PATH, [&](auto a, auto b) { return registry.SameName(a, b); },
                                    snapshot, why)) << Shown(why);
        return snapshot.key && snapshot.key->subkeys.size() == 1 ? snapshot.key->subkeys[0].values : std::vector<reg::ValueData>{};
    };
    reg::NameSnapshot snapshot;
    const std::vector<reg::ValueData> values = read(snapshot);
    for (const auto& row : rows) {
        const auto found = std::ranges::find(values, row.value.name, &reg::ValueData::name);
        ASSERT_NE(found, values.end()) << Shown(row.value.name);
        EXPECT_EQ(found->type, row.value.type) << Shown(row.value.name);
        EXPECT_EQ(found->bytes, row.inFile.value_or(row.value.data)) << Shown(row.value.name);
    }

    DeleteMessengerTree();
    std::wstring why;
    EXPECT_EQ(ScreenNames::RestoreScreenName(registry, archive, bytes, snapshot, why), ScreenNames::RestoreResult::kRestored);
    EXPECT_EQ(DumpMessengerTree(), asDescribed);

    DeleteMessengerTree();
    ASSERT_EQ(RunOtherProcess(L"reg.exe import \"" + file + L"\""), 0U);
    std::vector<TestValue> imported;
    UniqueHKey settings;
    RegOpenKeyExW(HKEY_CURRENT_USER, (kUsersKey + L"\\peer\\Settings").c_str(), 0, KEY_READ, settings.put());
    for (const auto& row : rows) {
        DWORD type = 0, size = 0;
        RegQueryValueExW(settings.get(), row.value.name.c_str(), nullptr, &type, nullptr, &size);
        Bytes data(size);
        RegQueryValueExW(settings.get(), row.value.name.c_str(), nullptr, &type, data.data(), &size);
        EXPECT_EQ(data == row.inFile.value_or(row.value.data), !row.importAlters) << Shown(row.value.name);
    }
    DeleteFileW(file.c_str());
    DeleteMessengerTree();
}

}  // namespace

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <random>
#include <string_view>

#include <windows.h>
#include <commctrl.h>

#include "Deadline.h"
#include "OtherProcess.h"
#include "TestRegistry.h"
#include "platform/window/MainWindow.h"
#include "platform/common/NewerApis.h"
#include "platform/common/Win32Archive.h"
#include "platform/common/Win32Handles.h"
#include "platform/common/Win32Registry.h"
#include "platform/common/Win32Shell.h"
#include "platform/window/resource.h"
#include "screennames/EnumerateValues.h"
#include "screennames/ScreenNames.h"

namespace {

FARPROC Nothing(const wchar_t*, const char*) { return nullptr; }
// TALLOWICK_NO_NEWER_APIS: the whole run as on Windows XP, every call newer
// than XP answered by its fallback.
[[maybe_unused]] const bool kNoNewerApis =
    std::getenv("TALLOWICK_NO_NEWER_APIS") != nullptr && (NewerApis::ResolveWith(Nothing), true);

// Every step ends in well under a second; a tree, with its heavy values and
// its waits for the watch, within some ten. Both stay below ctest's limit.
constexpr DWORD kStepSeconds = 60, kTreeSeconds = 180;

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

// Makes HKCU\path a registry link to HKLM\target, as a program may; with no
// target, deletes the link at path and not its target.
void Link(const std::wstring& path, const std::wstring& target = L"") {
    UniqueHKey key;
    if (target.empty() && RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), REG_OPTION_OPEN_LINK, DELETE, key.put()) == 0) {
        FindExport<LONG(NTAPI*)(HANDLE)>(GetModuleHandleW(L"ntdll.dll"), "NtDeleteKey")(key.get());
    }
    if (target.empty()) return;
    const std::wstring full = L"\\REGISTRY\\MACHINE\\" + target;
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
        if (size >= 2) value.data = SzData(RandomName(rng, size / 2 - 1));
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

// Lets the window finish whatever a message posted to it; a WM_QUIT left by
// an earlier window's WM_DESTROY is dropped here.
void PumpMessages() {
    for (MSG message{}; PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);) DispatchMessageW(&message);
}

// The production window on the production registry and shell, created
// hidden, read back and driven through its controls as a user would.
class WindowUnderTest {
public:
    explicit WindowUnderTest(reg::RegistryReader* registry = nullptr) : window_{registry ? *registry : registry_, shells_, archive_} {
        const INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
        InitCommonControlsEx(&controls);
        const Deadline deadline("the window to be made and list the names", kStepSeconds);
        window_.Create(GetModuleHandleW(nullptr), SW_HIDE);
        PumpMessages();
    }
    // Read through the window's own list operations, which the removal uses too.
    std::vector<std::wstring> Items() const {
        std::vector<std::wstring> items;
        for (int item = 1; item <= window_.Names().ItemCount(); ++item) items.push_back(window_.Names().ItemText(item));
        return items;
    }
    std::wstring StatusText() const {
        const HWND status = GetDlgItem(window_.hwnd(), IDC_STATUS);
        std::wstring text(LOWORD(SendMessageW(status, SB_GETTEXTLENGTHW, 0, 0)) + 1U, L'\0');
        text.resize(LOWORD(SendMessageW(status, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text.data()))));
        return text;
    }
    void Select(int index) { window_.Names().SelectItem(index + 1); }
    std::optional<int> Selected() const {
        const std::optional<int> item = window_.Names().SelectedItem();
        return item ? std::optional(*item - 1) : std::nullopt;
    }
    // Selects the item and picks "Remove ScreenName" for it.
    void Remove(int index) {
        Select(index);
        const Deadline deadline("a removal through the window (the backup, then the scripting shell or the registry API)",
                                kStepSeconds);
        SendMessageW(window_.hwnd(), WM_COMMAND, IDM_REMOVENAME, 0);
        PumpMessages();
    }
    // What the message loop does when the registry changes: waits up to
    // `ms` for the watch, and takes the change.
    void FollowRegistry(DWORD ms) {
        const std::array<HANDLE, 2> changed = window_.RegistryChangedEvents();
        if (WaitForMultipleObjects(2, changed.data(), FALSE, ms) < WAIT_OBJECT_0 + 2) window_.OnRegistryChanged();
        PumpMessages();
    }
    // Through the accelerator table, with Ctrl alone held or no modifier.
    void Press(WPARAM key, bool control) {
        BYTE keys[256] = {};
        keys[VK_CONTROL] = control ? 0x80 : 0;
        SetKeyboardState(keys);
        MSG press{GetDlgItem(window_.hwnd(), IDC_NAMES), WM_KEYDOWN, key, 0, 0, {}};
        const Deadline deadline("the window to take a key through its accelerators (F5, Ctrl+Z)", kStepSeconds);
        EXPECT_TRUE(window_.TranslateKeys(press));
        PumpMessages();
    }

private:
    Win32Registry registry_;
    AutomationOrApiShellFactory shells_;
    Win32Archive archive_;
    MainWindow window_;
};

// A diagnostic: long text is cut, and gtest escapes the rest.
std::string Shown(const std::wstring& text) {
    return testing::PrintToString(text.substr(0, 40)) + (text.size() > 40 ? "...(" + std::to_string(text.size()) + " chars)" : "");
}

void DeleteBackups() {
    Win32Archive archive;
    for (const reg::BackupFile& file : archive.Backups()) archive.DeleteBackup(file.path);
}

// Another program changes the registry under the open window: it removes the
// chosen name's value, key or both, adds a name, rewrites the name's value,
// or deletes the Users key (and perhaps a key above it, or makes that again
// at once), which the window must see go and come back; for a while a link
// elsewhere may stand in the place of the highest key deleted, through which
// nothing may be listed.
// Returns whether every name was gone for a while.
bool ChangeBehindTheWindow(Rng& rng, WindowUnderTest& window, const std::wstring& name) {
    // Wine's own reg.exe plays the other program for the name's key and a new
    // name; the registry cannot tell the other changes, made from this
    // process, apart.
    switch (Pick(rng, 5)) {
    case 0: RegDeleteKeyValueW(HKEY_CURRENT_USER, kUsersKey.c_str(), name.c_str()); return false;
    case 1: RunOtherProcess(L"reg.exe delete \"HKCU\\" + kUsersKey + L'\\' + name + L"\" /f"); return false;
    case 2: RunOtherProcess(L"reg.exe add \"HKCU\\" + kUsersKey + L"\" /v newcomer /t REG_SZ /d x /f"); return false;
    case 3: {
        std::wstring gone = kUsersKey;  // the highest key deleted
        RegDeleteTreeW(HKEY_CURRENT_USER, gone.c_str()), RegDeleteKeyW(HKEY_CURRENT_USER, gone.c_str());
        window.FollowRegistry(1000);
        EXPECT_TRUE(window.Items().empty()) << "names stayed listed after the Users key was deleted";
        if (const std::size_t above = Pick(rng, 3); above != 0) {
            gone = above == 1 ? kUsersKey.substr(0, kUsersKey.rfind(L'\\')) : L"Software\\America Online";
            RegDeleteTreeW(HKEY_CURRENT_USER, gone.c_str()), RegDeleteKeyW(HKEY_CURRENT_USER, gone.c_str());
        }
        if (Chance(rng, 0.5)) {
            RegSetKeyValueW(HKEY_LOCAL_MACHINE, (L"Software\\Victim" + kUsersKey.substr(gone.size())).c_str(), L"bait", REG_SZ, L"b", 4);
            Link(gone, L"Software\\Victim"), window.FollowRegistry(1000);
            EXPECT_EQ(window.StatusText(), EnumerateValues::CouldNotReadText()) << "listed through a link at " << Shown(gone);
            Link(gone), RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Victim"), RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\Victim");
        }
        RegSetKeyValueW(HKEY_CURRENT_USER, kUsersKey.c_str(), L"newcomer", REG_SZ, L"x", 4);
        return true;
    }
    default: RegSetKeyValueW(HKEY_CURRENT_USER, kUsersKey.c_str(), name.c_str(), REG_SZ, L"y", 4); return false;
    }
}

// One removal through the window: what it must do to the registry, the list
// and the status bar. A refused name (or one that must be, `expected` empty)
// changes nothing and leaves no backup; any other name leaves the registry as
// `expected` and the list without it.
void RemovalStep(WindowUnderTest& window, std::vector<std::wstring>& items, std::size_t index, const std::wstring& expected) {
    const std::wstring name = items[index];
    const std::wstring before = DumpMessengerTree();
    window.Remove(static_cast<int>(index));
    const std::vector<std::wstring> listed = window.Items();
    const std::wstring status = window.StatusText();
    SCOPED_TRACE("name " + Shown(name) + ", status " + Shown(status));
    if (!ScreenNames::IsAddressableName(name) || expected.empty()) {
        EXPECT_EQ(DumpMessengerTree(), before) << "a refusal changed the registry";
        EXPECT_TRUE(Win32Archive().Backups().empty()) << "a refusal left a backup";
        EXPECT_EQ(listed, items) << "a refusal changed the list";
        EXPECT_EQ(status, ScreenNames::CouldNotRemoveText(name));
        return;
    }
    EXPECT_EQ(DumpMessengerTree(), expected) << "the removal changed more or less than the name";
    items.erase(items.begin() + static_cast<std::ptrdiff_t>(index));
    EXPECT_EQ(listed, items) << "the item did not leave the list, or others moved";
    EXPECT_EQ(status, EnumerateValues::FoundText(static_cast<int>(listed.size())));
    items = listed;
}

TEST(Property, ListAndRemovalFollowTheRegistry) {
    const auto started = std::chrono::steady_clock::now();
    const unsigned long long seed =
        EnvNumber("TALLOWICK_SEED").value_or(std::random_device{}() * 65536ULL + std::random_device{}());
    const auto treeCount = static_cast<std::size_t>(EnvNumber("TALLOWICK_TREES").value_or(300));
    const std::wstring localAppData = _wgetenv(L"LOCALAPPDATA") != nullptr ? _wgetenv(L"LOCALAPPDATA") : L"";
    std::printf("seed=%llu\n", seed);
    std::fflush(stdout);

    std::size_t tree = 0;
    // The run stops at the first tree that fails, which its seed reproduces.
    for (; tree < treeCount && !HasFailure(); ++tree) {
        SCOPED_TRACE(testing::Message() << "reproduce: TALLOWICK_SEED=" << seed << " TALLOWICK_TREES=" << tree + 1);
        const Deadline deadline("tree " + std::to_string(tree + 1) + " of seed " + std::to_string(seed) + " to be done",
                                kTreeSeconds);
        // Every tree has a seed of its own: a change in one leaves the others.
        Rng rng(seed + 0x9E3779B97F4A7C15ULL * (tree + 1));
        const bool heavy = Chance(rng, 0.1);
        const bool noKey = Chance(rng, 0.03);
        if (noKey) DeleteMessengerTree(), RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\America Online");
        else ResetUsersKey(RandomTree(rng, heavy));

        WindowUnderTest window;
        std::vector<std::wstring> items = window.Items();
        EXPECT_EQ(items, UsersValueNames()) << "the list differs from the registry";
        EXPECT_EQ(window.StatusText(), items.empty() ? L"" : EnumerateValues::FoundText(static_cast<int>(items.size())));
        // Without the messenger's key, keys made elsewhere are none of the list's business.
        if (noKey) RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Wine\\Tallowick", nullptr, REG_SZ, L"", 2),
                   RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Wine\\Tallowick"), window.FollowRegistry(300);
        EXPECT_TRUE(!noKey || window.StatusText().empty()) << "a key made outside the messenger's re-read the list";

        for (std::size_t steps = 1 + Pick(rng, 4), step = 1; steps != 0 && !items.empty(); --steps, ++step) {
            SCOPED_TRACE(testing::Message() << "step " << step);
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
                const bool wentAway = ChangeBehindTheWindow(rng, window, name);
                const bool pressed = Chance(rng, 0.3);
                if (pressed) window.Press(VK_F5, false);
                else window.FollowRegistry(1000);
                items = window.Items();
                EXPECT_EQ(items, UsersValueNames()) << "the list did not follow the registry";
                // A change that left the names as they were need not be read;
                // a failure ("... \"NAME\".") stays until a key such as F5.
                const std::wstring statusAfter = window.StatusText();
                const bool failed = statusBefore.ends_with(L"\".");
                EXPECT_TRUE(statusAfter == EnumerateValues::FoundText(static_cast<int>(items.size())) ||
                            (statusAfter == statusBefore && (items == before || (failed && !pressed))))
                    << "status after a change behind the window " << Shown(statusAfter);
                const auto at = std::ranges::find(items, name);
                std::optional<int> stays;
                if (at != items.end() && !wentAway) stays = static_cast<int>(at - items.begin());
                EXPECT_EQ(window.Selected(), stays) << "the selection did not follow its name";
                if (at == items.end()) continue;
                index = static_cast<std::size_t>(at - items.begin());
                expected = DumpMessengerTree({name});
            }
            const std::wstring before = DumpMessengerTree(), name = items[index];
            const std::vector<std::wstring> listBefore = items;
            const bool takes = ScreenNames::IsAddressableName(items[index]) && DumpMessengerTree({items[index]}) != before;
            DeleteBackups();
            // As under a batch or S4U logon: the backup goes to the shell's folder.
            const bool unset = Chance(rng, 0.1) && SetEnvironmentVariableW(L"LOCALAPPDATA", nullptr);
            RemovalStep(window, items, index, expected);
            if (unset) SetEnvironmentVariableW(L"LOCALAPPDATA", localAppData.c_str());
            // Ctrl+Z gives back the registry, the list and the selection as they were.
            if (takes && Chance(rng, 0.3)) {
                window.Press('Z', true);
                const std::vector<std::wstring> listed = window.Items();
                EXPECT_EQ(DumpMessengerTree(), before) << "undo did not restore the registry";
                EXPECT_EQ(listed, listBefore) << "undo did not restore the list";
                EXPECT_EQ(window.StatusText(), EnumerateValues::FoundText(static_cast<int>(listed.size())));
                const int selected = window.Selected().value_or(-1);
                EXPECT_TRUE(listed.size() == items.size() || (selected >= 0 && listed[static_cast<std::size_t>(selected)] == name))
                    << "undo did not select the name";
                items = listed;
            }
            EXPECT_EQ(items, UsersValueNames()) << "the list differs from the registry";
        }
    }
    DeleteMessengerTree();
    DeleteBackups();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("property: seed=%llu trees=%zu fallbacks=%u time=%.1fs\n", seed, tree, RegistryApiFallbacks(), seconds);
    // Run with a working WScript.Shell registered, every removal goes through it.
    if (std::getenv("TALLOWICK_STAND_IN_SHELL") != nullptr) {
        EXPECT_EQ(RegistryApiFallbacks(), 0U);
    }
}

// tallowick-cli run as a script runs it: its exit code, and what it wrote.
using Outcome = std::pair<DWORD, std::string>;
Outcome Cli(const std::wstring& arguments) {
    std::string output;
    const DWORD exitCode = RunOtherProcess(L"\"" TALLOWICK_CLI L"\" " + arguments, &output);
    return {exitCode, output};
}

// A name whose key is, or holds, a link to a key outside the messenger tree:
// the delete walk and the snapshot for its backup each refuse it on their
// own, and neither goes through the link.
TEST(Property, LinksDeleteNothing) {
    const std::wstring users = L"HKEY_CURRENT_USER\\" + kUsersKey;
    ResetUsersKey({{L"", {{L"alice", REG_SZ, SzData(L"a")}}}, {L"alice\\Settings", {}}, {L"bob", {}}});
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, L"Software\\Victim\\deeper", L"secret", REG_SZ, L"s", 4);
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
    // A key is deleted only as it was saved: one that is a link now (though
    // its target holds just what was saved), or holds what was not saved (the
    // link, a value written since), stays with the keys above it.
    for (const wchar_t* key : {L"\\alice\\Settings", L"\\bob"})
        RegSetKeyValueW(HKEY_CURRENT_USER, (kUsersKey + key).c_str(), L"late", REG_SZ, L"l", 4);
    const std::wstring changed = DumpMessengerTree();
    for (const reg::KeyTree& saved : {reg::KeyTree{L"alice", {}, {{L"Settings", {}, {{L"link", {}, {}}}}}},
                                      reg::KeyTree{L"alice", {}, {{L"Settings", {}, {}}}},
                                      reg::KeyTree{L"evil2", {{L"secret", REG_SZ, {'s', 0, 0, 0}}}, {}},
                                      reg::KeyTree{L"bob", {}, {}}})
        EXPECT_NE(archive.DeleteSavedKey(kUsersKey, saved), reg::ArchiveStatus::kDone) << Shown(saved.name);
    EXPECT_EQ(DumpMessengerTree(), changed);
    EXPECT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE, L"Software\\Victim\\deeper", L"secret", RRF_RT_REG_SZ, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    Link(kUsersKey + L"\\evil2"), Link(kUsersKey + L"\\alice\\Settings\\link");
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Victim"), RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\Victim");

    // A link at the Users key or above it leads every name elsewhere: no
    // command lists, removes or restores through it, nor does a restore write
    // through it, and what it leads to stays as it was.
    const Outcome unread{1, "Could not read the screen names.\r\ntallowick-cli: a key on the path to the messenger's key is a registry link, which may lead anywhere in the registry; nothing was read or changed.\r\n"};
    for (std::wstring link = kUsersKey; link != L"Software"; link.resize(link.rfind(L'\\'))) {
        DeleteMessengerTree(), RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\America Online");
        const std::wstring victim = L"Software\\Victim" + kUsersKey.substr(link.size());
        RegSetKeyValueW(HKEY_LOCAL_MACHINE, (victim + L"\\Other").c_str(), L"setting", REG_SZ, L"s", 4);
        RegSetKeyValueW(HKEY_LOCAL_MACHINE, victim.c_str(), L"Other", REG_SZ, L"o", 4);
        Link(link, L"Software\\Victim");
        for (const wchar_t* command : {L"list", L"remove Other", L"remove /all", L"restore gone"})
            EXPECT_EQ(Cli(command), unread) << Shown(command) << " with a link at " << Shown(link);
        EXPECT_FALSE(archive.Restore(kUsersKey, {L"gone", reg::ValueData{L"gone", REG_SZ, {}}, {}}, {}));
        EXPECT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE, (victim + L"\\Other").c_str(), L"setting", RRF_RT_ANY, nullptr, nullptr, nullptr), 0);
        EXPECT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE, victim.c_str(), L"gone", RRF_RT_ANY, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
        Link(link), RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Victim"), RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\Victim");
    }
    DeleteMessengerTree();
}

// The registry, but out of memory when a removal checks what is left.
class ExhaustedRegistry final : public reg::RegistryReader {
public:
    std::unique_ptr<reg::OpenedKey> OpenCurrentUser(std::wstring_view path, reg::Status& status) override {
        return real_.OpenCurrentUser(path, status);
    }
    bool NameRemains(std::wstring_view, std::wstring_view) override { throw std::bad_alloc(); }
    bool SameName(std::wstring_view a, std::wstring_view b) const override { return real_.SameName(a, b); }

private:
    Win32Registry real_;
};

// A handler that throws stops inside the window, which says so and goes on
// following the registry.
TEST(Property, AThrowingRemovalLeavesTheWindowRunning) {
    ResetUsersKey({{L"", {{L"alice", REG_SZ, SzData(L"a")}}}});
    ExhaustedRegistry registry;
    WindowUnderTest window(&registry);
    window.Remove(0);
    EXPECT_EQ(window.StatusText(), ScreenNames::kCouldNotFinish);
    RegSetKeyValueW(HKEY_CURRENT_USER, kUsersKey.c_str(), L"bob", REG_SZ, L"b", 4);
    window.FollowRegistry(1000);
    EXPECT_EQ(window.Items(), std::vector<std::wstring>{L"bob"});
    DeleteMessengerTree();
    DeleteBackups();
}

// What only real processes show: tallowick-cli's text in UTF-8 through a
// pipe, its exit codes, and a name with a wildcard passed on as typed though
// a file in the folder matches it; where no backup can be written, nothing
// is removed. Wine's reg import of a backup, a reader no one here wrote,
// brings back every value exactly but the string data that it alters. And a
// restore writes over no value made while it runs.
TEST(Cli, RealProcessesAndWinesRegImport) {
    using Bytes = std::vector<BYTE>;
    const struct {
        TestValue value;
        bool importAlters = false;  // string data that lacks its NUL or has an odd length
    } rows[] = {
        {{L"sz", REG_SZ, SzData(L"a\"b\\c")}},
        {{L"", REG_SZ, SzData(L"default")}},
        {{L"q\"u\\ote \U0001F600", REG_SZ, SzData(L"")}},
        {{L"nonul", REG_SZ, {'a', 0, 'b', 0}}, true},
        {{L"odd", REG_SZ, {'a', 0, 'b'}}, true},
        {{L"exp", REG_EXPAND_SZ, SzData(L"%P%")}},
        {{L"multi", REG_MULTI_SZ, {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}}},
        {{L"bin", REG_BINARY, {1, 2, 3}}},
        {{L"empty", REG_BINARY, {}}},
        {{L"dw", REG_DWORD, {1, 2, 3, 4}}},
        {{L"qw", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}}},
        {{L"none", REG_NONE, {0xab}}},
        {{L"type", 0x12345678, {0}}},
    };
    std::vector<TestValue> settings;
    for (const auto& row : rows) settings.push_back(row.value);
    const std::wstring omega = L"\u03A9mega";
    // A one-byte string, which Wine's reg import cannot take, for restore alone.
    ResetUsersKey({{L"", {{L"", REG_SZ, {}}, {L"a*b", REG_SZ, {0x41}}, {omega, REG_SZ, SzData(L"1")}}},
                   {omega + L"\\Settings", settings}});
    const std::wstring before = DumpMessengerTree(), removed = DumpMessengerTree({L"a*b", omega});
    CloseHandle(CreateFileW(L"a-b", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    EXPECT_EQ(Cli(L"list"), Outcome(0, "a*b\r\n\xCE\xA9mega\r\n"));
    const std::wstring folder = RemovedFolder();
    MoveFileW(folder.c_str(), (folder + L".aside").c_str());
    CloseHandle(CreateFileW(folder.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    EXPECT_EQ(Cli(L"remove a*b").first, 1U);
    DeleteFileW(folder.c_str());
    MoveFileW((folder + L".aside").c_str(), folder.c_str());
    EXPECT_EQ(DumpMessengerTree(), before);
    EXPECT_EQ(Cli(L"remove a*b " + omega), Outcome(0, "Removed \"a*b\".\r\nRemoved \"\xCE\xA9mega\".\r\n"));
    EXPECT_EQ(DumpMessengerTree(), removed);

    Win32Archive archive;
    const std::vector<reg::BackupFile> backups = archive.Backups();
    const auto omegaFile = std::ranges::find_if(backups, [&](const auto& file) { return file.path.ends_with(omega + L".reg"); });
    ASSERT_NE(omegaFile, backups.end());
    ASSERT_EQ(RunOtherProcess(L"reg.exe import \"" + omegaFile->path + L'"'), 0U);
    UniqueHKey key;
    RegOpenKeyExW(HKEY_CURRENT_USER, (kUsersKey + L'\\' + omega + L"\\Settings").c_str(), 0, KEY_READ, key.put());
    for (const auto& row : rows) {
        DWORD type = 0, size = 0;
        RegQueryValueExW(key.get(), row.value.name.c_str(), nullptr, &type, nullptr, &size);
        Bytes data(size);
        RegQueryValueExW(key.get(), row.value.name.c_str(), nullptr, &type, data.data(), &size);
        EXPECT_EQ(type, row.value.type) << Shown(row.value.name);
        EXPECT_EQ(row.importAlters ? row.value.data : data, row.value.data) << Shown(row.value.name);
    }
    key.reset();

    DeleteBackups();
    DeleteFileW(L"a-b");
    // A value made after the restore's check, as soon as the name's key
    // appeared, is not written over, and the tree that restore made goes.
    reg::NameSnapshot whole;
    ASSERT_EQ(archive.Snapshot(kUsersKey, omega, whole), reg::ArchiveStatus::kDone);
    const std::wstring omegaKey = kUsersKey + L'\\' + omega;
    RegDeleteTreeW(HKEY_CURRENT_USER, omegaKey.c_str()), RegDeleteKeyW(HKEY_CURRENT_USER, omegaKey.c_str());
    RegSetKeyValueW(HKEY_CURRENT_USER, kUsersKey.c_str(), omega.c_str(), REG_SZ, L"NEW", 8);
    const std::wstring appeared = DumpMessengerTree();
    EXPECT_FALSE(archive.Restore(kUsersKey, whole, {omega, {}, {}}));
    EXPECT_EQ(DumpMessengerTree(), appeared);
    // Nor does the path to the Users key that a failed restore made stay.
    DeleteMessengerTree();
    EXPECT_FALSE(archive.Restore(kUsersKey, {L"x", reg::ValueData{std::wstring(20000, L'x'), REG_SZ, {}}, {}}, {}));
    EXPECT_EQ(DumpMessengerTree(), L"");
}

// The README's cmd scripts, as they stand there, run by cmd beside
// tallowick-cli. On Windows the keep script reads the names as UTF-8 after
// "chcp 65001". Wine's cmd reads for /f input as UTF-16 or UTF-8 only after a
// byte order mark, else byte by byte, whatever chcp, the registry's ACP and
// OEMCP or LANG say; so here it cannot show names beyond ASCII read back.
// The keep script gets the names that trip cmd instead (";" Windows' cmd
// alone, whose for /f skips it by default), with delayed expansion on, and
// must set the code page back; the clear script, which reads no names, gets
// Zoë and Ωmega.
TEST(Cli, ReadmeScriptsRunAsShown) {
    std::ifstream readme(TALLOWICK_README, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(readme), {}};
    std::vector<std::string> scripts;
    for (std::size_t at = 0; (at = text.find("```bat\n", at)) != std::string::npos; at = text.find("```", at)) {
        at += 7;
        std::string& script = scripts.emplace_back();
        for (const char ch : text.substr(at, text.find("```", at) - at)) script += ch == '\n' ? "\r\n" : std::string(1, ch);
    }
    ASSERT_EQ(scripts.size(), 2U);
    wchar_t folder[MAX_PATH] = {};
    GetFullPathNameW(TALLOWICK_CLI, MAX_PATH, folder, nullptr);
    const std::wstring path = std::wstring(folder).substr(0, std::wstring(folder).find_last_of(L'\\')) + L"\\readme-script.cmd";
    const auto run = [&](const std::string& script, const std::wstring& before, const std::wstring& after, std::string* output) {
        {
            const UniqueHandleObject file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
            DWORD written = 0;
            WriteFile(file.get(), script.data(), static_cast<DWORD>(script.size()), &written, nullptr);
        }
        return RunOtherProcess(L"cmd.exe /v:on /c \"" + before + L"\"" + path + L"\" " + after + L"\"", output);
    };
    ResetUsersKey({{L"", {{L"", REG_SZ, SzData(L"not a name")}, {L";semi", REG_SZ, {}}, {L"a\"b", REG_SZ, {}}, {L"!x!", REG_SZ, {}},
                          {L"100%", REG_SZ, {}}, {L"x & y", REG_SZ, {}}, {L"bob", REG_SZ, {}}}},
                   {L"x & y\\Settings", {{L"pw", REG_BINARY, {1}}}}});
    const std::wstring kept = DumpMessengerTree({L";semi", L"a\"b", L"!x!", L"100%", L"x & y"});
    std::string output;
    EXPECT_EQ(run(scripts[1], L"chcp 850 >nul & ", L"bob & echo !errorlevel! & chcp", &output), 0U);
    EXPECT_TRUE(output.ends_with("\r\n0 \r\nActive code page: 850\r\n")) << output;
    EXPECT_EQ(DumpMessengerTree(), kept);
    const std::wstring zoe = L"Zo\u00EB", omega = L"\u03A9mega";
    ResetUsersKey({{L"", {{L"", REG_SZ, SzData(L"not a name")}, {zoe, REG_SZ, {}}, {omega, REG_SZ, {}}}}});
    const std::wstring cleared = DumpMessengerTree({zoe, omega});
    EXPECT_EQ(run(scripts[0], L"", L"", nullptr), 0U);
    EXPECT_EQ(DumpMessengerTree(), cleared);
    DeleteFileW(path.c_str());
    DeleteBackups();
    DeleteMessengerTree();
}

}  // namespace

#include <gtest/gtest.h>

#include "FakeWindow.h"
#include "cli/Cli.h"
#include "MemoryRegistry.h"
#include "registry/BackupFileName.h"
#include "registry/KeyTree.h"
#include "registry/NameArchive.h"
#include "registry/RegFileReader.h"
#include "registry/RegFileWriter.h"
#include "registry/ValueTypes.h"
#include "registry/UsersKey.h"
#include "registry/modMyRegistry.h"
#include "screennames/EnumerateValues.h"
#include "window/frmMain.h"

namespace {

using Names = std::vector<std::wstring>;
const std::wstring kUsers(USERS_KEY_PATH);
bool SameAscii(std::wstring_view a, std::wstring_view b) { return MemoryRegistry().SameName(a, b); }
const std::wstring kShellUsers = L"HKEY_CURRENT_USER\\" + kUsers;
// "[HKEY_CURRENT_USER\...\Users\alice\d\d...": a key `depth` levels below HKEY_CURRENT_USER.
std::wstring NestedKey(std::size_t depth) {
    std::wstring path = L"[" + kShellUsers + L"\\alice";
    for (std::size_t level = std::ranges::count(kUsers, L'\\') + 3; level <= depth; ++level) path += L"\\d";
    return path;
}

// The shell's paths split for the registry API; a path that would address a
// root's whole contents, or has an empty part, is refused.
TEST(ShellPath, SplitsOnlyPathsThatNameOneItem) {
    const struct {
        std::wstring path;
        std::optional<modMyRegistry::ShellPath> parsed;
    } rows[] = {
        {kShellUsers + L"\\alice", modMyRegistry::ShellPath{1, kUsers, L"alice", false}},
        {L"hklm\\a\\b\\", modMyRegistry::ShellPath{2, L"a\\b", L"", true}},
        {L"HKEY_CURRENT_USER", {}}, {L"HKCU\\", {}}, {L"HKEY_CURRENT_USER\\\\alice", {}}, {kShellUsers + L"\\\\", {}},
        {kShellUsers + L"\\alice\\\\", {}}, {L"NOT_A_ROOT\\" + kUsers + L"\\alice\\", {}}, {kUsers + L"\\alice\\", {}},
    };
    for (const auto& row : rows) {
        modMyRegistry::ShellPath parsed;
        const bool ok = modMyRegistry::ParseShellPath(row.path, parsed);
        EXPECT_TRUE(ok ? parsed == row.parsed : !row.parsed) << row.path.size();
    }
}

struct Output final : cli::Output {
    std::wstring out, err;
    bool fails = false;
    bool Out(std::wstring_view text) override { return out += text, !fails; }
    bool Err(std::wstring_view text) override { return err += text, !fails; }
};

int RunCli(MemoryRegistry& registry, std::vector<std::wstring_view> arguments) {
    Output output;
    return cli::Run(arguments, L"9.9", registry, registry, registry, output);
}

struct Form {
    MemoryRegistry registry;
    FakeWindow window;
    frmMain form{window, window, window, registry, registry, registry};
    explicit Form(const Names& names) { registry.values.insert(names.begin(), names.end()); }
};

// Every value name is listed in the registry's order, whatever its length or
// script, and whatever the key says its longest name is; keys are not; the
// count follows each name. A listing cut short by the registry says so.
TEST(Enumeration, ListsEveryValueNameWithTheCountAfterEach) {
    const std::wstring longest(reg::kLongestValueName, L'y');
    const struct {
        Names values;
        std::optional<std::uint32_t> reportedMax;
        Names listed;
        reg::Status openStatus = reg::kSuccess;
        std::optional<std::uint32_t> unreadableFrom = {};
    } cases[] = {
        {{L"gamma", L"Alpha", L"beta", L"\u00E9t\u00E9", L"\u00C9T\u00C9"}, {}, {L"Alpha", L"beta", L"gamma", L"\u00E9t\u00E9"}},
        {{L"", L"a", longest, L"\u03A9mega \U0001F600"}, {}, {L"a", longest, L"\u03A9mega \U0001F600"}},  // no default value
        {{L"a", std::wstring(300, L'x')}, 1, {L"a", std::wstring(300, L'x')}},
        {{L"a", L"b"}, 0xFFFFFFFF, {L"a", L"b"}},
        {{}, {}, {}},
        {{L"a", L"b"}, {}, {}, 5},
        {{L"a", L"b"}, {}, {}, reg::kFileNotFound},  // no key, no names: nothing to say
        {{L"a", L"b", L"c"}, {}, {L"a"}, reg::kSuccess, 1},
    };
    for (const auto& c : cases) {
        Form f(c.values);
        f.registry.keys = {L"delta"};
        f.registry.reportedMaxName = c.reportedMax;
        f.registry.openStatus = c.openStatus;
        f.registry.unreadableFrom = c.unreadableFrom;
        f.form.OnLoad();
        const bool cut = (c.openStatus != reg::kSuccess && c.openStatus != reg::kFileNotFound) || c.unreadableFrom;
        EXPECT_TRUE(f.window.items == c.listed) << c.listed.size();  // no 16,383-character printout
        EXPECT_EQ(f.window.statusTexts.size(), c.listed.size() + (cut ? 1 : 0));
        EXPECT_EQ(f.window.StatusText(), cut ? L"Could not read the screen names."
                                         : c.listed.empty() ? L"" : std::to_wstring(c.listed.size()) + L" ScreeNames(s) found.");
        // Beside it, why; or the leftover key "delta", where there is a Users key.
        EXPECT_EQ(f.window.reason, cut ? L"Access to the messenger's key is denied."
                                       : EnumerateValues::LeftoverText(c.openStatus == reg::kSuccess ? 1 : 0));
    }
}

// A minimised window keeps its layout; one smaller than the margins gets none.
TEST(Layout, FollowsTheOuterSizeUnlessMinimised) {
    for (const auto& [state, outerWidth, outerHeight, listed] :
         {std::tuple(WindowState::Minimised, 2400.0F, 450.0F, std::tuple(4695.0F, 5895.0F, 3500.0F)),
          std::tuple(WindowState::Normal, 60.0F, 300.0F, std::tuple(0.0F, 0.0F, 0.0F))}) {
        Form f({});
        f.window.outerWidth = outerWidth, f.window.outerHeight = outerHeight, f.window.state = state;
        f.form.OnResize();
        EXPECT_EQ(std::tuple(f.window.listWidth, f.window.listHeight, f.window.columnWidth), listed) << outerWidth;
    }
}

// The menu opens for the right button over a non-empty list, or from the
// keyboard at the selected item; "Remove ScreenName" only acts on a
// selection. An empty list offers it only while a removal can be undone.
TEST(PopupRule, RightButtonOrMenuKeyOverANonEmptyList) {
    using Popups = std::vector<std::pair<std::optional<int>, ListMenuState>>;
    const struct {
        short button;  // 0: Shift+F10 or the Menu key
        Names names;
        std::optional<int> selected;
        Popups popups;
        bool removeFirst = false;  // the first name, before the press
    } cases[] = {
        {kRightButton, {L"a", L"b"}, 2, {{std::nullopt, {true}}}},
        {kRightButton, {L"a", L"b"}, std::nullopt, {{std::nullopt, {false}}}},
        {kLeftButton, {L"a"}, 1, {}},
        {kRightButton, {}, std::nullopt, {}},
        {kRightButton, {L"a"}, std::nullopt, {{std::nullopt, {false, true}}}, true},
        {0, {L"a", L"b"}, 2, {{2, {true}}}},
        {0, {L"a", L"b"}, std::nullopt, {{0, {false}}}},
        {0, {}, std::nullopt, {}},
    };
    for (const auto& c : cases) {
        Form f(c.names);
        f.form.OnLoad();
        if (c.removeFirst) f.window.selected = 1, f.form.OnRemoveNameClick();
        f.window.selected = c.selected;
        if (c.button == 0) f.form.OnListContextMenuKey();
        else f.form.OnListMouseDown(c.button);
        EXPECT_EQ(f.window.popups, c.popups) << c.button << " with " << c.names.size() << " names";
    }
}

// A settings key that no value names is told of in the status bar and
// offered by the menu, even over an empty list; its removal backs up each
// key, and undo brings them back one at a time.
TEST(Leftover, ToldOfRemovedWithBackupsAndUndone) {
    Form f({L"a"});
    f.registry.keys = {L"a", L"old", L"Older"};
    f.form.OnLoad();
    EXPECT_EQ(f.window.reason, L"2 leftover settings keys (right-click: Remove leftover settings).");
    f.window.selected = 1, f.form.OnRemoveNameClick();
    f.form.OnListMouseDown(kRightButton);
    EXPECT_EQ(f.window.popups, (std::vector<std::pair<std::optional<int>, ListMenuState>>{{std::nullopt, {false, true, true}}}));
    f.form.OnRemoveLeftoverClick();
    EXPECT_EQ(f.registry.keys, MemoryRegistry::Names{});
    EXPECT_EQ(f.registry.backups, (Names{L"a", L"old", L"Older"}));
    EXPECT_EQ(f.window.reason, L"");
    f.form.OnUndoRemoveClick();
    EXPECT_EQ(f.registry.keys, MemoryRegistry::Names{L"Older"});
    EXPECT_EQ(f.window.reason, EnumerateValues::LeftoverText(1));
}

// A removal backs the name up, deletes its settings key and then its value,
// and the item leaves the list only when neither remains; names that would
// address other items, or that a backup cannot name, are refused untouched,
// and so is a name whose backup cannot be written, would not read back as it
// is, or that holds a link. A failure that changed nothing leaves no backup;
// one that took a part keeps it, and offers undo. Its message outlives the refresh that follows. What
// went comes back exactly by undo, by `restore NAME`, and by one `restore
// NAME` after a retry that went through; where something of the name differs
// from the backup, neither writes anything, but what another program added
// since stays as it is; an earlier, separate removal does not join a restore.
reg::NameSnapshot Beta(reg::KeyTree settings, std::uint32_t valueType = reg::kRegNone) {
    return {L"beta", reg::ValueData{L"beta", valueType, {}}, reg::KeyTree{L"BETA", {}, {std::move(settings)}}};
}

TEST(Removal, TakesExactlyTheChosenNameAndSaysSo) {
    using Arrange = void (*)(MemoryRegistry&);
    const std::wstring notBeta = L"Could not remove \"beta\".";
    const struct {
        const char* what;
        int item;
        const wchar_t* removed;  // its key goes, and its value unless valuesLocked; null: nothing may change
        Names backups;
        std::wstring status;
        Arrange setup = [](MemoryRegistry&) {};  // the delete walk takes the subkeys before a lockedSubkey
    } cases[] = {
        {"beta", 4, L"beta", {L"beta"}, L"6 ScreeNames(s) found."},
        {"gamma", 6, L"gamma", {L"gamma"}, L"6 ScreeNames(s) found."},
        {"shell cannot be made", 3, nullptr, {}, L"Could not remove \"alpha\".",
         [](auto& r) { r.shellCreationFails = true; }},
        {"backup cannot be written", 4, nullptr, {}, notBeta, [](auto& r) { r.backupFails = true; }},
        // The value stays with its key: the name is still listed, and a retry reaches both.
        {"settings key locked", 4, nullptr, {}, notBeta, [](auto& r) { r.keysLocked = true; }},
        {"value locked", 4, L"beta", {L"beta"}, notBeta, [](auto& r) { r.valuesLocked = true; }},
        {"subtree deleted in part", 4, nullptr, {L"beta"}, notBeta, [](auto& r) { r.lockedSubkey = L"s2"; }},
        {"link", 4, nullptr, {}, notBeta, [](auto& r) { r.snapshotStatus = reg::ArchiveStatus::kHoldsLink; }},
        {"backslash", 5, nullptr, {}, L"Could not remove \"dave\\evil\"."},
        {"NUL", 2, nullptr, {}, L"Could not remove \"" + std::wstring(L"a\0b", 3) + L"\"."},
        {"line break", 7, nullptr, {}, L"Could not remove \"l\nf\"."},
        // A backup that could not name a key, or would restore a link, is no backup.
        {"settings key named with LF", 4, nullptr, {}, notBeta, [](auto& r) { r.held = Beta({L"Buddy\nList", {}, {}}); }},
        // The reader's own refusal of a NUL: the writer puts it in the file as it is.
        {"NUL in a key's name", 4, nullptr, {}, notBeta, [](auto& r) { r.held = Beta({std::wstring(L"a\0b", 3), {}, {}}); }},
        {"Users value of REG_LINK", 4, nullptr, {}, notBeta, [](auto& r) { r.held = Beta({L"Buddy", {}, {}}, reg::kRegLink); }},
    };
    for (const auto& c : cases) {
        Form f({L"", L"a", std::wstring(L"a\0b", 3), L"alpha", L"beta", L"dave\\evil", L"gamma", L"l\nf"});
        f.registry.keys = {L"BETA", L"dave", L"gamma", L"a"};
        f.registry.trees[L"BETA"] = {L"BETA", {{L"v", reg::kRegDword, {1}}}, {{L"s1", {{L"w", reg::kRegSz, {}}}, {}}, {L"s2", {}, {}}}};
        f.registry.trees[L"gamma"] = {L"gamma", {{L"", reg::kRegSz, {}}}, {}};
        f.form.OnLoad();
        c.setup(f.registry);
        const bool partial = !f.registry.lockedSubkey.empty(), went = c.removed != nullptr || partial;
        MemoryRegistry original = f.registry, expected = f.registry;
        // A key is deleted by the name it is stored under.
        Names requests = f.registry.keysLocked || partial ? Names{kShellUsers + L"\\BETA\\"} : Names{}, left = f.window.items, listed = left;
        if (partial) expected.trees.at(L"BETA").subkeys.erase(expected.trees.at(L"BETA").subkeys.begin());
        if (c.removed != nullptr) {
            requests = {kShellUsers + L"\\" + *f.registry.keys.find(c.removed) + L"\\", kShellUsers + L"\\" + c.removed};
            expected.keys.erase(c.removed), expected.trees.erase(c.removed);
            if (!f.registry.valuesLocked) expected.values.erase(c.removed), std::erase(left, c.removed);
        }
        f.window.selected = c.item;
        f.form.OnRemoveNameClick();
        EXPECT_EQ(f.window.StatusText(), c.status) << c.what;
        f.form.OnRefresh();
        f.form.OnListContextMenuKey();

        EXPECT_EQ(f.registry.deleteRequests, requests) << c.what;
        const auto state = [](const MemoryRegistry& r) { return std::tie(r.values, r.keys, r.trees); };
        EXPECT_EQ(state(f.registry), state(expected)) << c.what;
        EXPECT_EQ(f.registry.backups, c.backups) << c.what;
        EXPECT_EQ(f.window.items, left) << c.what;
        EXPECT_EQ(f.window.StatusText(), c.status) << c.what;
        EXPECT_EQ(f.window.popups.at(0).second.canUndo, went) << c.what;
        // The window gives the command line's reason as a sentence, and both
        // stay through the watch's refreshes until the user acts.
        Output said;
        MemoryRegistry alike = original;
        const std::vector<std::wstring_view> remove = {L"remove", listed.at(static_cast<std::size_t>(c.item - 1))};
        cli::Run(remove, L"", alike, alike, alike, said);
        // Where no reason is shown, the leftover key "dave" is told of.
        const std::wstring why = f.window.reason, dave = EnumerateValues::LeftoverText(1);
        EXPECT_EQ(why == dave, said.err.empty()) << c.what;
        EXPECT_TRUE(why == dave || said.err.ends_with(why.substr(1) + L"\r\n")) << c.what;
        f.registry.values.insert(L"zz"), f.form.OnRefresh(), f.registry.values.erase(L"zz"), f.form.OnRefresh();
        EXPECT_EQ(f.window.StatusText(), c.status) << c.what;
        EXPECT_EQ(f.window.reason, why) << c.what;
        f.form.OnUserAction();
        EXPECT_EQ(f.window.StatusText(), EnumerateValues::FoundText(static_cast<int>(left.size()))) << c.what;
        EXPECT_EQ(f.window.reason, dave) << c.what;
        if (!went) continue;

        const std::wstring name = c.removed != nullptr ? c.removed : L"beta";
        MemoryRegistry restored = f.registry, retried = f.registry, differing = f.registry, added = f.registry;
        if (partial) {  // what another program added since stays, and what went comes back
            added.trees.at(name).values.push_back({L"new", reg::kRegSz, {}});
            EXPECT_EQ(RunCli(added, {L"restore", name}), 0) << c.what;
            EXPECT_EQ(added.trees.at(name).values.back().name, L"new") << c.what;
            EXPECT_EQ(added.trees.at(name).subkeys, original.trees.at(name).subkeys) << c.what;
        }
        f.form.OnUndoRemoveClick();
        EXPECT_EQ(state(f.registry), state(original)) << c.what;
        EXPECT_EQ(f.window.items, listed) << c.what;
        EXPECT_EQ(RunCli(restored, {L"restore", name}), 0) << c.what;
        EXPECT_EQ(state(restored), state(original)) << c.what;
        retried.valuesLocked = false, retried.lockedSubkey.clear();
        EXPECT_EQ(RunCli(retried, {L"remove", name}), 0) << c.what;
        EXPECT_EQ(RunCli(retried, {L"restore", name}), 0) << c.what;
        EXPECT_EQ(state(retried), state(original)) << c.what;
        // A setting deleted between two removals does not come back from the earlier one.
        retried.trees.at(name).values.clear();
        EXPECT_EQ(RunCli(retried, {L"remove", name}) + RunCli(retried, {L"restore", name}), 0) << c.what;
        EXPECT_TRUE(retried.trees.at(name).values.empty()) << c.what;
        // An item the backup holds, there again with other data: nothing is written.
        reg::ValueData other = original.trees.at(name).values.front();
        other.type ^= 1;
        differing.keys.insert(name), differing.trees[name].values = {other};
        const MemoryRegistry before = differing;
        EXPECT_EQ(RunCli(differing, {L"restore", name}), 1) << c.what;
        EXPECT_EQ(state(differing), state(before)) << c.what;
    }
}

// Every value form as regedit exports it, in the file that restores it, and
// read back from that file exactly. String data that the editor's import
// would change comes last, after a note that says so.
TEST(Backup, RegeditTextForEveryValueFormReadBackExactly) {
    using Bytes = std::vector<std::uint8_t>;
    const auto sz = [](std::string_view text) {
        Bytes bytes;
        for (const char ch : text) bytes.insert(bytes.end(), {static_cast<std::uint8_t>(ch), 0});
        return bytes.insert(bytes.end(), {0, 0}), bytes;
    };
    const auto repeat = [](std::wstring_view text, int times) {
        std::wstring out;
        while (times-- > 0) out += text;
        return out;
    };
    const struct {
        reg::ValueData value;
        std::wstring line;
        bool altered = false;  // by the registry editor's import
    } cases[] = {
        {{L"q\"u\\ote", reg::kRegSz, sz("a\"b\\c\t")}, L"\"q\\\"u\\\\ote\"=\"a\\\"b\\\\c\t\""},
        {{L"", reg::kRegSz, sz("x")}, L"@=\"x\""},
        {{L"@", reg::kRegSz, sz("")}, L"\"@\"=\"\""},
        {{L"odd", reg::kRegSz, {0x41, 0, 0x42}}, L"\"odd\"=hex(1):41,00,42", true},
        {{L"open", reg::kRegSz, {0x41, 0}}, L"\"open\"=hex(1):41,00", true},
        {{L"one", reg::kRegExpandSz, {0x41}}, L"\"one\"=hex(2):41", true},
        {{L"none", reg::kRegMultiSz, {}}, L"\"none\"=hex(7):", true},
        {{L"nul", reg::kRegSz, sz(std::string_view("a\0b", 3))}, L"\"nul\"=hex(1):61,00,00,00,62,00,00,00"},
        {{L"l\r\nf", reg::kRegSz, sz("\n")}, L"\"l\\r\\nf\"=hex(1):0a,00,00,00"},
        {{L"d", reg::kRegDword, {0x78, 0x56, 0x34, 0x12}}, L"\"d\"=dword:12345678"},
        {{L"d0", reg::kRegDword, {}}, L"\"d0\"=hex(4):"},
        {{L"e", reg::kRegExpandSz, sz("%P%")}, L"\"e\"=hex(2):25,00,50,00,25,00,00,00"},
        {{L"b", reg::kRegBinary, {}}, L"\"b\"=hex:"},
        {{L"n", reg::kRegNone, {0xab}}, L"\"n\"=hex(0):ab"},
        {{L"t", 0x1234567b, {1, 0xff}}, L"\"t\"=hex(1234567b):01,ff"},
        {{L"long", reg::kRegBinary, Bytes(50, 0xab)},
         L"\"long\"=hex:" + repeat(L"ab,", 22) + L"\\\r\n  " + repeat(L"ab,", 25) + L"\\\r\n  ab,ab,ab"},
    };
    const std::wstring head = L"Windows Registry Editor Version 5.00\r\n", users = L"\r\n[HKEY_CURRENT_USER\\" + kUsers;
    const std::wstring note =
        L"\r\n; The registry editor would change the values below (it adds a NUL to string data that lacks one and pads\r\n"
        L"; an odd length): tallowick-cli restore, or Restore in Tallowick's window menu, brings them back exactly.\r\n";
    const auto roundTrip = [](const reg::NameSnapshot& snapshot) {
        reg::NameSnapshot read;
        std::wstring why;
        const bool ok = reg::ReadBackup(reg::RegFileBytes(reg::RegExportText(kUsers, snapshot)), kUsers, SameAscii, read, why);
        EXPECT_TRUE(ok) << why.size();
        return read;
    };
    for (const auto& c : cases) {
        const reg::NameSnapshot snapshot{L"X", {}, reg::KeyTree{L"X", {c.value}, {}}};
        const std::wstring key = users + L"\\X]\r\n";
        EXPECT_EQ(reg::RegExportText(kUsers, snapshot), head + key + (c.altered ? note + key : L"") + c.line + L"\r\n\r\n");
        EXPECT_EQ(roundTrip(snapshot), snapshot);
    }
    const reg::NameSnapshot both{L"x", {{L"x", reg::kRegSz, sz("")}}, reg::KeyTree{L"X", {{L"", reg::kRegBinary, {1}}}, {{L"Empty", {}, {}}}}};
    EXPECT_EQ(reg::RegExportText(kUsers, both), head + users + L"]\r\n\"x\"=\"\"\r\n" + users + L"\\X]\r\n@=hex:01\r\n" +
                                                    users + L"\\X\\Empty]\r\n\r\n");
    EXPECT_EQ(roundTrip(both), both);
    // As many values and keys as a big file holds: a reader that searches
    // them all for each one would run for minutes under the sanitizers.
    reg::NameSnapshot many{L"x", {}, reg::KeyTree{L"x", {}, {}}};
    for (int i = 0; i < 100000; ++i) {
        many.key->values.push_back({L"v" + std::to_wstring(i), 4, {}});
        if (i % 10 == 0) many.key->subkeys.push_back({L"k" + std::to_wstring(i), {}, {}});
    }
    EXPECT_TRUE(roundTrip(many) == many);
}

// No two names share a backup's file name: what a file name cannot hold, and
// "%", is escaped by its code unit; a long name ends in a hash of the whole.
// The removal's time goes into the file, and orders backups before the file
// name's stamp and the time the file was written.
TEST(Backup, FileNamesAndTimesTellRemovalsApart) {
    const reg::Moment at{1796641201234, 60};  // 2026-12-07 12:00:01.234 local
    const std::wstring x42(42, L'x'), x59(59, L'x');
    const struct {
        std::wstring name, fileName;
    } names[] = {
        {L"a/b", L"a%2fb"}, {L"a:b", L"a%3ab"}, {L"a*b", L"a%2ab"}, {L"a_b", L"a_b"}, {L"a%2fb", L"a%252fb"},
        {L"<>\"\\|?\x01", L"%3c%3e%22%5c%7c%3f%01"}, {L"\xDE00" L"a\xD83D\xD83D\xDE00", L"%ude00a%ud83d\xD83D\xDE00"},
        {x59 + L"\xD83D\xDE00", x42 + L"%~"}, {x59 + L"\xD83D\xDE01", x42 + L"%~"}, {x42 + L"%", x42 + L"%25"},
    };
    std::set<std::wstring> made;
    for (const auto& row : names) {
        const std::wstring made1 = reg::BackupFileName(at, 1, row.name);
        EXPECT_TRUE(made1.starts_with(L"2026-12-07 12.00.01.234 " + row.fileName) && made1.size() <= 24 + 60 + 4) << row.fileName;
        EXPECT_TRUE(made.insert(made1).second) << row.fileName;
    }
    EXPECT_EQ(reg::BackupFileName(at, 2, L"a"), L"2026-12-07 12.00.01.234-2 a.reg");

    const reg::NameSnapshot snapshot{L"x", reg::ValueData{L"x", reg::kRegBinary, {}}, {}};
    const auto file = [&](std::optional<reg::Moment> removed) { return reg::RegFileBytes(reg::RegExportText(kUsers, snapshot, removed)); };
    std::vector<std::uint8_t> badRecord = reg::RegFileBytes(L"Windows Registry Editor Version 5.00\r\n; Removed 2026-13-07 12:00:01.234 UTC+01:00\r\n");
    const std::int64_t modified = at.utc + 86'400'000;
    const struct {
        std::vector<std::uint8_t> bytes;
        std::wstring path;
        std::int64_t utc;
        std::wstring local;
    } times[] = {
        {file(reg::Moment{at.utc, -330}), L"Removed\\2020-01-01 00.00.00.000 x.reg", at.utc, L"2026-12-07 05:30:01"},
        {file({}), L"Removed\\2026-12-07 12.00.01.234-2 x.reg", at.utc, L"2026-12-07 12:00:01"},
        {badRecord, L"Removed\\x.reg", modified, L"2026-12-08 12:00:01"},
        {file({}), L"Removed\\2026-02-30 12.00.01.234 x.reg", modified, L"2026-12-08 12:00:01"},
    };
    for (const auto& row : times) {
        const reg::RemovalTime when = reg::WhenRemoved(row.bytes, {row.path, {modified, 60}});
        EXPECT_EQ(when.utc, row.utc) << row.path;
        EXPECT_EQ(when.local, row.local) << row.path;
    }
    reg::NameSnapshot read;
    std::wstring why;
    EXPECT_TRUE(reg::ReadBackup(file(at), kUsers, SameAscii, read, why) && read == snapshot) << why;
}

// A file that would write anything but one screen name's value and key tree
// is refused whole, with a reason; so is one that is not a registry
// editor file, or is cut short, or is malformed.
TEST(Backup, RefusesEverythingButOneName) {
    const auto file = [](const std::wstring& body) {
        return reg::RegFileBytes(L"Windows Registry Editor Version 5.00\r\n\r\n" + body);
    };
    const std::wstring users = L"[HKEY_CURRENT_USER\\" + kUsers;
    const std::wstring good = users + L"]\n\"alice\"=\"\"\n" + users + L"\\ALICE\\Settings]\n\"a\"=dword:1\n";
    const reg::NameSnapshot alice{L"alice", reg::ValueData{L"alice", reg::kRegSz, {0, 0}},
                                  reg::KeyTree{L"ALICE", {}, {{L"Settings", {{L"a", reg::kRegDword, {1, 0, 0, 0}}, {L"", reg::kRegBinary, {0}}}, {}}}}};
    const struct {
        std::vector<std::uint8_t> bytes;
        std::wstring_view why;  // empty: read
    } rows[] = {
        {file(L"; comment\r\n" + good + L"@=hex:\\\n  00\n"), L""},
        {file(good + users + L"]\n\"bob\"=\"\"\n"), L"line 8: it holds more than one screen name"},
        {file(good + users + L"\\bob]\n"), L"line 7: it holds more than one screen name"},
        {file(good + L"[HKEY_CURRENT_USER\\Software]\n"), L"line 7: it names a key outside the messenger's Users key"},
        {file(good + L"[HKEY_LOCAL_MACHINE\\" + kUsers + L"\\alice]\n"), L"line 7: it names a key outside HKEY_CURRENT_USER"},
        {file(good + L"[-" + users.substr(1) + L"\\alice]\n"), L"line 7: it deletes a key"},
        {file(good + L"\"a\"=-\n"), L"line 7: it deletes a value"},
        {file(users + L"]\n@=\"\"\n"), L"line 4: it writes the Users key's default value"},
        {file(good + L"\"b\"=\"\\t\"\n"), L"line 7: a bad escape \\t"},
        {file(good + L"\"b\"=hex:0g\n"), L"line 7: a bad hex byte in a value's data"},
        {file(good + L"\"b\"=qword:1\n"), L"line 7: a value of a form this file type does not have"},
        {file(good + L"\"SymbolicLinkValue\"=hex(6):41,00\n"), L"line 7: it writes a registry link's value"},
        {file(good + L"\"b\"=hex:00,\\\n"), L"line 7: a bad hex byte in a value's data"},
        {file(good + L"\"b\"=\"open"), L"it is cut short: its last line does not end"},
        {file(good + NestedKey(513) + L"]\n"), L"line 7: a key lies more than 512 levels deep, deeper than the registry goes"},
        {file(L""), L"it holds no screen name"},
        {reg::RegFileBytes(L"REGEDIT4\r\n"), L"it is not a \"Windows Registry Editor Version 5.00\" file"},
        {{0x57, 0, 0x69, 0}, L"it is not UTF-16 text with a byte order mark, as the registry editor writes"},
        {{0xff, 0xfe, 0x57}, L"it is cut short in the middle of a character"},
        {std::vector<std::uint8_t>(reg::kLargestBackup + 1), L"it is larger than any backup of ours"},
    };
    for (const auto& row : rows) {
        reg::NameSnapshot read;
        std::wstring why;
        const bool ok = reg::ReadBackup(row.bytes, kUsers, SameAscii, read, why);
        EXPECT_EQ(why, row.why) << ok;
        EXPECT_EQ(read, ok ? alice : reg::NameSnapshot{});
    }
    reg::NameSnapshot deepest;
    std::wstring deepWhy;
    EXPECT_TRUE(reg::ReadBackup(file(NestedKey(512) + L"]\n"), kUsers, SameAscii, deepest, deepWhy)) << deepWhy;
    // A tree built deeper than that still goes without a call per level.
    reg::KeyTree tree;
    for (int level = 0; level < 300000; ++level) {
        reg::KeyTree parent{L"d", {}, {}};
        parent.subkeys.push_back(std::move(tree));
        tree = std::move(parent);
    }
}

// The command line's grammar, outputs and exit codes. A name is matched as
// the registry matches it; switches take / - or --; a name that stays says
// so each time it is asked for; a listing cut short is an error, not fewer
// names; and so is output that could not be written.
TEST(Cli, GrammarOutputsAndExitCodes) {
    const std::wstring usage(cli::Usage());
    const Names both = {L"alice", L"Bob"};
    const std::vector<std::vector<std::wstring_view>> removeBoth = {{L"remove", L"alice", L"Bob"}};
    const struct {
        std::vector<std::wstring_view> arguments;
        std::wstring out;
        int exitCode;
        Names removed;
        std::wstring_view err = L"";  // the start of what stderr says
        std::vector<std::vector<std::wstring_view>> before = {};
        std::optional<Names> backups = {};  // the names whose backups are left
        bool strays = false;  // the folder also holds "deep.reg", 300,000 keys deep, and a good backup named "x.registry"
        reg::Status openStatus = reg::kSuccess;
        bool outputFails = false;
    } rows[] = {
        {{L"list"}, L"-dash\r\nalice\r\nBob\r\n~dave~5Cevil\r\nv.reg\r\n", 0, {}},
        {{L"Remove", L"ALICE", L"bob", L"ghost", L"alice"}, L"Removed \"alice\".\r\nRemoved \"Bob\".\r\nNo screen name \"ghost\".\r\n", 0, both},
        {{L"remove", L"-ALL"}, L"Removed \"-dash\".\r\nRemoved \"alice\".\r\nRemoved \"Bob\".\r\nCould not remove \"~dave~5Cevil\".\r\nRemoved \"v.reg\".\r\n"
         L"Removed \"old\".\r\n", 1, {L"-dash", L"alice", L"Bob", L"v.reg", L"old"}, L"tallowick-cli: could not remove \"~dave~5Cevil\": it holds a backslash"},
        {{L"remove", L"/whatif", L"/all"},
         L"Would remove \"-dash\": 0 keys, 1 value, 0 bytes.\r\nWould remove \"alice\": 0 keys, 1 value, 0 bytes.\r\n"
         L"Would remove \"Bob\": 2 keys, 2 values, 3 bytes.\r\nWould not remove \"~dave~5Cevil\".\r\nWould remove \"v.reg\": 0 keys, 1 value, 0 bytes.\r\n"
         L"Would remove \"old\": 1 key, 0 values, 0 bytes.\r\n",
         1, {}, L"tallowick-cli: would not remove \"~dave~5Cevil\": it holds a backslash", {}, Names{}},
        // A settings key that no value names is listed apart, and removed by its name or with /all.
        {{L"list", L"/leftover"}, L"old\r\n", 0, {}},
        {{L"remove", L"OLD"}, L"Removed \"old\".\r\n", 0, {L"old"}},
        {{L"remove", L"/all", L"-all"}, L"", 2, {}, L"tallowick-cli: the switch /all is given twice."},
        {{L"list", L"/?"}, cli::Usage(L"list"), 0, {}},
        {{L"/version"}, L"tallowick-cli 9.9\r\n", 0, {}},
        {{L"remove", L"--", L"-dash"}, L"Removed \"-dash\".\r\n", 0, {L"-dash"}},
        {{L"remove", L"--all"}, L"", 1, {}, L"Could not read the screen names.\r\n", {}, {}, false, 5},
        {{L"list"}, L"", 1, {}, L"Could not read the screen names.\r\n", {}, {}, false, 5},
        {{L"list"}, L"-dash\r\nalice\r\nBob\r\n~dave~5Cevil\r\nv.reg\r\n", 1, {}, L"", {}, {}, false, reg::kSuccess, true},
        {{L"/?"}, usage, 0, {}},
        {{}, L"", 2, {}, L"tallowick-cli: say what to do."},
        {{L"remove", L"-dash"}, L"", 2, {}, L"tallowick-cli: unknown switch \"-dash\"."},
        {{L"remove", L"alice", L"/all"}, L"", 2, {}, L"tallowick-cli: name the"},
        {{L"list", L"alice"}, L"", 2, {}, L"tallowick-cli: list takes no arguments."},
        {{L"restore", L"ALICE", L"alice", L"Bob.reg", L"nosuch"}, L"Restored \"alice\".\r\nRestored \"Bob\".\r\nNo backup of \"nosuch\".\r\n",
         1, {}, L"", removeBoth, both},
        {{L"restore", L"alice"}, L"Could not restore \"alice\".\r\n", 1, {},
         L"tallowick-cli: could not restore \"alice\" from \"alice.reg\": all of it is there already, as the backup holds it.\r\n",
         {{L"remove", L"alice"}, {L"restore", L"alice"}}},
        // A name, else a file of that name in the backup folder; "v.reg" is a name.
        {{L"backups", L"-DELETE", L"alice.reg", L"BOB", L"carol"},
         L"Deleted \"Removed\\Bob.reg\".\r\nDeleted \"Removed\\alice.reg\".\r\nNo backup of \"carol\".\r\n", 0, both, L"", removeBoth, Names{}},
        {{L"restore", L"v.reg"}, L"Restored \"v.reg\".\r\n", 0, {}, L"", {{L"remove", L"v.reg"}}},
        // A file that is no backup is named, and stops no listing, restore or deletion.
        // The latest removal first, as the files record it, whenever they were written.
        {{L"backups"}, L"2026-12-07 12:00:02\tBob\tRemoved\\Bob.reg\r\n2026-12-07 12:00:01\talice\tRemoved\\alice.reg\r\n", 0, both,
         L"tallowick-cli: passed over \"Removed\\deep.reg\", which is no backup: line 2: a key lies more than 512 levels deep, deeper than the "
         L"registry goes.\r\n", removeBoth, {}, true},
        {{L"restore", L"alice"}, L"Restored \"alice\".\r\n", 0, {}, L"tallowick-cli: passed over \"Removed\\deep.reg\"",
         {{L"remove", L"alice"}}, {}, true},
        {{L"backups", L"/delete", L"/all"}, L"Deleted \"Removed\\Bob.reg\".\r\nDeleted \"Removed\\alice.reg\".\r\n", 0, both,
         L"tallowick-cli: passed over \"Removed\\deep.reg\"", removeBoth, Names{}, true},
        {{L"remove", L"alice", L"--nobackup"}, L"Removed \"alice\".\r\n", 0, {L"alice"}, L"", {}, Names{}},
        {{L"backups", L"/delete", L"C:\\x.reg", L"ghost"}, L"No backup file \"C:\\x.reg\" in the backup folder.\r\nNo backup of \"ghost\".\r\n", 1, {}},
        {{L"restore"}, L"", 2, {}, L"tallowick-cli: name the"},
        {{L"restore", L"/all"}, L"", 2, {}, L"tallowick-cli: unknown switch \"/all\"."},
        {{L"backups", L"alice"}, L"", 2, {}, L"tallowick-cli: backups lists"},
        {{L"backups", L"/delete"}, L"", 2, {}, L"tallowick-cli: name the"},
    };
    for (const auto& row : rows) {
        MemoryRegistry registry;
        registry.values = {L"", L"alice", L"Bob", L"dave\\evil", L"-dash", L"v.reg"};
        registry.keys = {L"Bob", L"old"};
        registry.trees[L"Bob"] = reg::KeyTree{L"Bob", {{L"pw", reg::kRegBinary, {1, 2, 3}}}, {{L"Sub", {}, {}}}};
        registry.openStatus = row.openStatus;
        if (row.strays)
            registry.files = {{L"Removed\\deep.reg", reg::RegFileBytes(L"Windows Registry Editor Version 5.00\r\n" + NestedKey(300000) + L"]\r\n")},
                              {L"Removed\\x.registry", reg::RegFileBytes(reg::RegExportText(kUsers, {L"carol", reg::ValueData{L"carol", reg::kRegBinary, {}}, {}}))}};
        MemoryRegistry expected = registry;
        for (const std::wstring& name : row.removed) expected.values.erase(name), expected.keys.erase(name);
        for (const auto& command : row.before) RunCli(registry, command);
        Output output;
        output.fails = row.outputFails;
        const int exitCode = cli::Run(row.arguments, L"9.9", registry, registry, registry, output);
        const std::wstring shown = row.arguments.empty() ? L"" : std::wstring(row.arguments.back());
        EXPECT_EQ(output.out, row.out) << shown.size();
        EXPECT_EQ(exitCode, row.exitCode) << shown.size();
        EXPECT_TRUE(output.err.starts_with(row.err)) << shown.size();
        EXPECT_EQ(output.err.empty(), row.err.empty() && exitCode != cli::kBadUsage) << shown.size();
        EXPECT_TRUE(exitCode != cli::kBadUsage || output.err.ends_with(usage));
        EXPECT_EQ(registry.values, expected.values) << shown.size();
        EXPECT_EQ(registry.keys, expected.keys) << shown.size();
        EXPECT_EQ(registry.backups, row.backups.value_or(registry.backups)) << shown.size();
        EXPECT_EQ(registry.files.count(L"Removed\\deep.reg") + registry.files.count(L"Removed\\x.registry"), row.strays ? 2U : 0U);
    }
    // Each line of list is one name, and means that name when passed back; "~y" typed by hand means itself.
    MemoryRegistry shown;
    shown.values = {L"a\tb", L"a\"b", L"a/b", L"c\r\nd", L"~a~2Fb", L"~x"};
    Output lines;
    EXPECT_EQ(cli::Run(std::vector<std::wstring_view>{L"list"}, L"", shown, shown, shown, lines), 0);
    EXPECT_EQ(lines.out, L"~a~09b\r\n~a~22b\r\n~a~2Fb\r\n~c~0D~0Ad\r\n~~7Ea~7E2Fb\r\n~x\r\n");
    EXPECT_EQ(RunCli(shown, {L"remove", L"~a~09b", L"~a~22b", L"~a~2Fb", L"~c~0D~0Ad", L"~~7Ea~7E2Fb", L"~x"}), 1);
    EXPECT_EQ(shown.values, MemoryRegistry::Names{L"c\r\nd"});
    // Console writes never split a surrogate pair.
    EXPECT_EQ(cli::ConsolePiece(std::wstring(10, L'x'), 8), 8U);
    EXPECT_EQ(cli::ConsolePiece(std::wstring(7, L'x') + L"\xD83D\xDE00", 8), 7U);
    EXPECT_EQ(cli::ConsolePiece(L"abc", 8), 3U);
}

}  // namespace

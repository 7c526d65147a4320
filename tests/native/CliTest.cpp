#include "Fixtures.h"

#include <iterator>
#include <sstream>

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
        // Every account's lines after its name and a tab; one whose hive fails stops no other.
        {{L"list", L"/allusers", L"/leftover"}, L"PC\\ann\told\r\nPC\\cy\told\r\n", 1, {},
         L"DOM\\ann\ttallowick-cli: could not load the account's registry \"C:\\Users\\ann.DOM\\NTUSER.DAT\": the file is damaged.\r\n"},
        {{L"list", L"/allusers"}, L"", 1, {}, L"tallowick-cli: /allusers needs an elevated prompt", {}, {}, false, 5},
        // One account: as its lines name it, by its SID, or by the user's name where only one account has it.
        {{L"remove", L"bob", L"ghost", L"/user:pc\\ANN", L"/whatif"},
         L"PC\\ann\tWould remove \"Bob\": 2 keys, 2 values, 3 bytes.\r\nPC\\ann\tNo screen name \"ghost\".\r\n", 0, {}, L"", {}, Names{}},
        {{L"remove", L"Bob", L"-user:S-1-5-21-3"}, L"PC\\cy\tRemoved \"Bob\".\r\n", 0, {L"Bob"}},
        {{L"restore", L"bob", L"/USER:.\\cy"}, L"PC\\cy\tRestored \"Bob\".\r\n", 0, {}, L"", {{L"remove", L"Bob"}}},
        {{L"backups", L"/delete", L"/all", L"/user:cy"}, L"PC\\cy\tDeleted \"Removed\\Bob.reg\".\r\nPC\\cy\tDeleted \"Removed\\alice.reg\".\r\n", 0, both,
         L"", removeBoth, Names{}},
        {{L"list", L"/user"}, L"", 2, {}, L"tallowick-cli: unknown switch \"/user\"; an account is named as /user:ACCOUNT."},
        {{L"list", L"/user:ann"}, L"", 2, {}, L"tallowick-cli: \"ann\" names more than one account (PC\\ann, DOM\\ann): give DOMAIN\\user or the SID."},
        {{L"list", L"/user:nobody"}, L"", 1, {}, L"tallowick-cli: no account \"nobody\" on this PC.\r\n"},
        {{L"remove", L"/all", L"/allusers", L"/user:cy"}, L"", 2, {}, L"tallowick-cli: give /allusers or /user:ACCOUNT, not both."},
        {{L"restore", L"alice", L"/allusers"}, L"", 2, {}, L"tallowick-cli: unknown switch \"/allusers\"."},
        {{L"list"}, L"-dash\r\nalice\r\nBob\r\n~dave~5Cevil\r\nv.reg\r\n", 1, {}, L"tallowick-cli: could not write the output.\r\n", {}, {}, false, reg::kSuccess, true},
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
        {{L"restore", L"a/b"}, L"Could not restore \"b\".\r\n", 1, {}, L"tallowick-cli: could not restore \"b\" from \"a/b\": the file does not exist.\r\n"},
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
        SomeAccounts accounts(registry);
        const int exitCode = cli::Run(row.arguments, L"9.9", registry, registry, registry, accounts, output);
        SCOPED_TRACE(testing::Message() << "tallowick-cli " << testing::PrintToString(row.arguments));
        EXPECT_EQ(output.out, row.out);
        EXPECT_EQ(exitCode, row.exitCode);
        EXPECT_TRUE(output.err.starts_with(row.err)) << testing::PrintToString(output.err) << " starts otherwise than " << testing::PrintToString(row.err);
        EXPECT_EQ(output.err.empty(), row.err.empty() && exitCode != cli::kBadUsage) << testing::PrintToString(output.err);
        EXPECT_TRUE(exitCode != cli::kBadUsage || output.err.ends_with(usage));
        EXPECT_EQ(registry.values, expected.values);
        EXPECT_EQ(registry.keys, expected.keys);
        EXPECT_EQ(registry.backups, row.backups.value_or(registry.backups));
        EXPECT_EQ(registry.files.count(L"Removed\\deep.reg") + registry.files.count(L"Removed\\x.registry"), row.strays ? 2U : 0U);
    }
    // Each line of list is one name, and means that name when passed back; "~y" typed by hand means itself.
    MemoryRegistry shown;
    shown.values = {L"a\tb", L"a\"b", L"a/b", L"c\r\nd", L"~a~2Fb", L"~x"};
    EXPECT_EQ(Said(shown, {L"list"}).out, L"~a~09b\r\n~a~22b\r\n~a~2Fb\r\n~c~0D~0Ad\r\n~~7Ea~7E2Fb\r\n~x\r\n");
    EXPECT_EQ(RunCli(shown, {L"remove", L"~a~09b", L"~a~22b", L"~a~2Fb", L"~c~0D~0Ad", L"~~7Ea~7E2Fb", L"~x"}), 1);
    EXPECT_EQ(shown.values, MemoryRegistry::Names{L"c\r\nd"});
    // Output that cannot be written is said once for the whole run, not once per account.
    Output lost;
    lost.fails = true;
    SomeAccounts accounts(shown);
    EXPECT_EQ(cli::Run(std::vector<std::wstring_view>{L"list", L"/allusers"}, L"9.9", shown, shown, shown, accounts, lost), 1);
    EXPECT_EQ(std::ranges::count(lost.err, L'\n'), 2) << testing::PrintToString(lost.err);
    // The window's help shows commands that the command line takes.
    Form help({});
    help.form.OnHelpClick();
    std::wistringstream helpLines(help.window.help);
    int commands = 0;
    for (std::wstring line; std::getline(helpLines, line);) {
        if (!line.starts_with(L"    tallowick-cli ")) continue;
        std::wistringstream words(line.substr(18));
        const std::vector<std::wstring> typed{std::istream_iterator<std::wstring, wchar_t>(words), {}};
        EXPECT_NE(RunCli(shown, {typed.begin(), typed.end()}), cli::kBadUsage) << testing::PrintToString(line);
        ++commands;
    }
    EXPECT_EQ(commands, 4);
    // Console writes never split a surrogate pair.
    EXPECT_EQ(cli::ConsolePiece(std::wstring(10, L'x'), 8), 8U);
    EXPECT_EQ(cli::ConsolePiece(std::wstring(7, L'x') + L"\xD83D\xDE00", 8), 7U);
    EXPECT_EQ(cli::ConsolePiece(L"abc", 8), 3U);
}

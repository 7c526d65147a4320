#include "Fixtures.h"
#include "registry/BackupFileName.h"
#include "registry/KeyTree.h"
#include "registry/RegFileReader.h"
#include "registry/RegFileWriter.h"

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
        EXPECT_TRUE(ok) << why;
        return read;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
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
        EXPECT_TRUE(made1.starts_with(L"2026-12-07 12.00.01.234 " + row.fileName) && made1.size() <= 24 + 60 + 4) << made1;
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
    const auto file = [](const std::wstring& body, std::wstring_view second = L"") {
        return reg::RegFileBytes(L"Windows Registry Editor Version 5.00\r\n" + std::wstring(second) + L"\r\n" + body);
    };
    const std::wstring users = L"[HKEY_CURRENT_USER\\" + kUsers;
    const std::wstring good = users + L"]\n\"alice\"=\"\"\n" + users + L"\\ALICE\\Settings]\n\"a\"=dword:1\n";
    const reg::NameSnapshot alice{L"alice", reg::ValueData{L"alice", reg::kRegSz, {0, 0}},
                                  reg::KeyTree{L"ALICE", {}, {{L"Settings", {{L"a", reg::kRegDword, {1, 0, 0, 0}}, {L"", reg::kRegBinary, {0}}}, {}}}}};
    const std::wstring written = reg::RegExportText(kUsers, alice, reg::Moment{});
    const struct {
        std::vector<std::uint8_t> bytes;
        std::wstring_view why;  // empty: read
    } rows[] = {
        {reg::RegFileBytes(written), L""},
        {reg::RegFileBytes(written.substr(0, written.rfind(L"@="))),
         L"it is cut short or was changed: it holds 2 keys, 2 values, but its second line names 2 keys, 3 values"},
        {file(good + L"@=hex:00\n", L"; Removed 2026-12-07 14:38:46.123 UTC+01:00"), L""},
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
        EXPECT_EQ(read, ok ? alice : reg::NameSnapshot{}) << std::wstring(row.why);
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

#include "Fixtures.h"
#include "registry/modMyRegistry.h"

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
        EXPECT_TRUE(ok ? parsed == row.parsed : !row.parsed) << row.path << (ok ? " was split otherwise" : " was refused");
    }
}

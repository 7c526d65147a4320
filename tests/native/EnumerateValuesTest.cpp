#include "Fixtures.h"

// Every value name is listed in the registry's order, whatever its length or
// script, and whatever the key says its longest name is; keys are not; the
// count follows each name. A listing cut short by the registry says so.
TEST(Enumeration, ListsEveryValueNameWithTheCountAfterEach) {
    const std::wstring longest(reg::kLongestValueName, L'y');
    const struct {
        const char* what;
        Names values;
        std::optional<std::uint32_t> reportedMax;
        Names listed;
        reg::Status openStatus = reg::kSuccess;
        std::optional<std::uint32_t> unreadableFrom = {};
    } cases[] = {
        {"order; case folded over all of Unicode", {L"gamma", L"Alpha", L"beta", L"\u00E9t\u00E9", L"\u00C9T\u00C9"}, {}, {L"Alpha", L"beta", L"gamma", L"\u00E9t\u00E9"}},
        {"long and non-BMP names; no default value", {L"", L"a", longest, L"\u03A9mega \U0001F600"}, {}, {L"a", longest, L"\u03A9mega \U0001F600"}},
        {"longest-name answer too short", {L"a", std::wstring(300, L'x')}, 1, {L"a", std::wstring(300, L'x')}},
        {"longest-name answer too long", {L"a", L"b"}, 0xFFFFFFFF, {L"a", L"b"}},
        {"no names", {}, {}, {}},
        {"the key denied", {L"a", L"b"}, {}, {}, 5},
        {"no Users key", {L"a", L"b"}, {}, {}, reg::kFileNotFound},
        {"listing denied part way", {L"a", L"b", L"c"}, {}, {L"a"}, reg::kSuccess, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Form f(c.values);
        f.registry.keys = {L"delta"};
        f.registry.reportedMaxName = c.reportedMax;
        f.registry.openStatus = c.openStatus;
        f.registry.unreadableFrom = c.unreadableFrom;
        f.form.OnLoad();
        const bool cut = (c.openStatus != reg::kSuccess && c.openStatus != reg::kFileNotFound) || c.unreadableFrom;
        EXPECT_TRUE(f.window.items == c.listed);  // no 16,383-character printout
        EXPECT_EQ(f.window.statusTexts.size(), c.listed.size() + (cut ? 1 : 0));
        EXPECT_EQ(f.window.StatusText(), cut ? EnumerateValues::CouldNotReadText()
                                         : c.listed.empty() ? L"" : std::to_wstring(c.listed.size()) + L" ScreeNames(s) found.");
        // Beside it, why, as the command line says it; or the leftover key "delta", where there is a Users key.
        const std::wstring leftover = EnumerateValues::LeftoverText(c.openStatus == reg::kSuccess ? 1 : 0);
        EXPECT_TRUE(cut ? SaysAsCli(f.window.reason, Said(f.registry, {L"list"}).err) : testing::AssertionResult(f.window.reason == leftover) << f.window.reason);
    }
}

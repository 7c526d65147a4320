#include "Fixtures.h"

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

#include "Fixtures.h"

namespace {

reg::NameSnapshot Beta(reg::KeyTree settings, std::uint32_t valueType = reg::kRegNone) {
    return {L"beta", reg::ValueData{L"beta", valueType, {}}, reg::KeyTree{L"BETA", {}, {std::move(settings)}}};
}

}  // namespace

// A removal backs the name up, deletes its settings key and then its value,
// and the item leaves the list only when neither remains; names that would
// address other items, or that a backup cannot name, are refused untouched,
// and so is a name whose backup cannot be written, would not read back as it
// is, or that holds a link. A failure that changed nothing leaves no backup;
// one that took a part keeps it, and offers undo. Its message outlives the refresh that follows. What
// went comes back exactly by undo, by `restore NAME`, and by one `restore
// NAME` after a retry that went through; what another program added since
// stays as it is; an earlier, separate removal does not join a restore.
TEST(Removal, TakesExactlyTheChosenNameAndSaysSo) {
    using Arrange = void (*)(MemoryRegistry&);
    const std::wstring notBeta = ScreenNames::CouldNotRemoveText(L"beta");
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
        {"shell cannot be made", 3, nullptr, {}, ScreenNames::CouldNotRemoveText(L"alpha"),
         [](auto& r) { r.shellCreationFails = true; }},
        {"backup cannot be written", 4, nullptr, {}, notBeta, [](auto& r) { r.backupFails = true; }},
        // The value stays with its key: the name is still listed, and a retry reaches both.
        {"settings key locked", 4, nullptr, {}, notBeta, [](auto& r) { r.keysLocked = true; }},
        {"value locked", 4, L"beta", {L"beta"}, notBeta, [](auto& r) { r.valuesLocked = true; }},
        {"subtree deleted in part", 4, nullptr, {L"beta"}, notBeta, [](auto& r) { r.lockedSubkey = L"s2"; }},
        {"link", 4, nullptr, {}, notBeta, [](auto& r) { r.snapshotStatus = reg::ArchiveStatus::kHoldsLink; }},
        {"backslash", 5, nullptr, {}, ScreenNames::CouldNotRemoveText(L"dave\\evil")},
        {"NUL", 2, nullptr, {}, ScreenNames::CouldNotRemoveText(std::wstring(L"a\0b", 3))},
        {"line break", 7, nullptr, {}, ScreenNames::CouldNotRemoveText(L"l\nf")},
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
        const Output said = Said(original, {L"remove", listed.at(static_cast<std::size_t>(c.item - 1))});
        // Where no reason is shown, the leftover key "dave" is told of.
        const std::wstring why = f.window.reason, dave = EnumerateValues::LeftoverText(1);
        EXPECT_TRUE(why == dave ? testing::AssertionResult(said.err.empty()) << said.err : SaysAsCli(why, said.err)) << c.what;
        f.registry.values.insert(L"zz"), f.form.OnRefresh(), f.registry.values.erase(L"zz"), f.form.OnRefresh();
        EXPECT_EQ(f.window.StatusText(), c.status) << c.what;
        EXPECT_EQ(f.window.reason, why) << c.what;
        f.form.OnUserAction();
        EXPECT_EQ(f.window.StatusText(), EnumerateValues::FoundText(static_cast<int>(left.size()))) << c.what;
        EXPECT_EQ(f.window.reason, dave) << c.what;
        if (!went) continue;

        const std::wstring name = c.removed != nullptr ? c.removed : L"beta";
        MemoryRegistry restored = f.registry, retried = f.registry, added = f.registry;
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
    }
}

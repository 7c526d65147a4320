#include "cli/Cli.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "registry/RegFile.h"
#include "registry/RegistryTypes.h"
#include "screennames/EnumerateValues.h"
#include "window/WindowOps.h"
#include "window/frmMain.h"

namespace cli {
namespace {

constexpr std::wstring_view kUsage =
    L"Lists or removes the messenger's saved screen names of the signed-in user.\r\n"
    L"\r\n"
    L"  tallowick-cli list                   every name, one per line (the default value is an empty line)\r\n"
    L"  tallowick-cli remove NAME [NAME...]  removes these names (case does not matter)\r\n"
    L"  tallowick-cli remove /all            removes every name that can be removed\r\n"
    L"  tallowick-cli /?                     this text (also -h, --help)\r\n"
    L"\r\n"
    L"Exit code: 0 all done, 1 at least one name stays, 2 bad usage.\r\n";

// The window's list with nothing to draw: the names as the load lists them.
class CollectedNames final : public ListOps, public StatusOps {
public:
    std::vector<std::wstring> names;

    void AddItem(std::wstring_view text, int /*icon*/) override { names.emplace_back(text); }
    void InsertItem(int item, std::wstring_view text, int /*icon*/) override { names.emplace(names.begin() + (item - 1), text); }
    int ItemCount() const override { return static_cast<int>(names.size()); }
    std::optional<int> SelectedItem() const override { return std::nullopt; }
    std::wstring ItemText(int item) const override { return names.at(static_cast<std::size_t>(item - 1)); }
    void RemoveItem(int item) override { names.erase(names.begin() + (item - 1)); }
    void Clear() override { names.clear(); }
    void SelectItem(int /*item*/) override {}
    float Width() const override { return 0; }
    void SetWidth(float /*twips*/) override {}
    void SetHeight(float /*twips*/) override {}
    void SetColumnWidth(int /*column*/, float /*twips*/) override {}
    void SetPanelText(int /*panel*/, std::wstring_view /*text*/) override {}
};

bool SameWord(std::wstring_view argument, std::wstring_view word) {
    return std::ranges::equal(argument, word, [](wchar_t a, wchar_t b) {
        const auto lower = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; };
        return lower(a) == lower(b);
    });
}

bool IsHelp(std::wstring_view argument) {
    return argument == L"/?" || argument == L"-?" || SameWord(argument, L"-h") || SameWord(argument, L"--help");
}

std::wstring Quoted(std::wstring_view name) { return L"\"" + std::wstring(name) + L"\"."; }

// Removes `name` as the window would, with the same backup file, and says
// how that went.
void Remove(reg::RegistryReader& registry, ScriptShellFactory& shells, reg::NameArchive& archive,
            std::wstring_view name, Outcome& outcome) {
    reg::NameSnapshot removed;
    if (RemoveScreenName(registry, shells, archive, name, removed)) {
        outcome.out += L"Removed " + Quoted(name) + L"\r\n";
        return;
    }
    outcome.out += frmMain::CouldNotRemoveText(name) + L"\r\n";
    outcome.exitCode = kNameStays;
}

}  // namespace

std::wstring_view Usage() { return kUsage; }

Outcome Run(std::span<const std::wstring_view> arguments, reg::RegistryReader& registry, ScriptShellFactory& shells,
            reg::NameArchive& archive) {
    if (arguments.size() == 1 && IsHelp(arguments[0])) return {std::wstring(kUsage), {}, kDone};
    const bool list = arguments.size() == 1 && SameWord(arguments[0], L"list");
    const bool remove = arguments.size() >= 2 && SameWord(arguments[0], L"remove");
    const auto names = remove ? arguments.subspan(1) : arguments.subspan(0, 0);
    const bool all = names.size() == 1 && SameWord(names[0], L"/all");
    const bool allAmongOthers = std::ranges::any_of(names, [](std::wstring_view n) { return SameWord(n, L"/all"); });
    if (!list && (!remove || (allAmongOthers && !all))) return {{}, std::wstring(kUsage), kBadUsage};

    CollectedNames listed;
    EnumerateValues::LoadScreenNames(registry, listed, listed);
    Outcome outcome;
    if (list) {
        for (const std::wstring& name : listed.names) outcome.out += name + L"\r\n";
    } else if (all) {
        for (const std::wstring& name : listed.names) Remove(registry, shells, archive, name, outcome);
    } else {
        // Each name is matched as the registry matches it, and removed in the
        // spelling the registry holds; a name already removed is not listed.
        for (const std::wstring_view asked : names) {
            const auto found = std::ranges::find_if(listed.names, [&](const std::wstring& n) { return registry.SameName(n, asked); });
            if (found == listed.names.end()) {
                outcome.out += L"No screen name " + Quoted(asked) + L"\r\n";
                continue;
            }
            const std::wstring name = *found;
            listed.names.erase(found);
            Remove(registry, shells, archive, name, outcome);
        }
    }
    return outcome;
}

}  // namespace cli

#pragma once

#include <gtest/gtest.h>

#include "FakeWindow.h"
#include "MemoryRegistry.h"
#include "cli/Cli.h"
#include "registry/UsersKey.h"
#include "registry/ValueTypes.h"
#include "screennames/EnumerateValues.h"
#include "screennames/ScreenNames.h"
#include "window/frmMain.h"

// What the native tests share: the Users key's paths, the command line run
// against the in-memory registry, and the window on both fakes.
using Names = std::vector<std::wstring>;
inline const std::wstring kUsers(USERS_KEY_PATH);
inline bool SameAscii(std::wstring_view a, std::wstring_view b) { return MemoryRegistry().SameName(a, b); }
inline const std::wstring kShellUsers = L"HKEY_CURRENT_USER\\" + kUsers;
// "[HKEY_CURRENT_USER\...\Users\alice\d\d...": a key `depth` levels below HKEY_CURRENT_USER.
inline std::wstring NestedKey(std::size_t depth) {
    std::wstring path = L"[" + kShellUsers + L"\\alice";
    for (std::size_t level = std::ranges::count(kUsers, L'\\') + 3; level <= depth; ++level) path += L"\\d";
    return path;
}

struct Output final : cli::Output {
    std::wstring out, err;
    bool fails = false;  // stdout's writes fail, as to a full disk
    bool Out(std::wstring_view text) override { return out += text, !fails; }
    bool Err(std::wstring_view text) override { return err += text, true; }
};

// Three accounts for /allusers: two on the registry `r`, and between them one
// whose hive is damaged. A denied registry stands for a token without the
// privileges.
struct SomeAccounts final : cli::Accounts {
    explicit SomeAccounts(MemoryRegistry& r) : registry(r) {}
    Visited ForEach(cli::AccountVisitor& visitor) override {
        if (registry.openStatus == reg::kAccessDenied) return Visited::kNotElevated;
        for (const cli::Account& account : visitor.Chosen({{L"PC\\ann", L"S-1-5-21-1", L"C:\\Users\\ann"},
                                                           {L"DOM\\ann", L"S-1-5-21-9", L"C:\\Users\\ann.DOM"},
                                                           {L"PC\\cy", L"S-1-5-21-3", L"C:\\Users\\cy"}})) {
            static const std::atomic<bool> kGoing = false;
            cli::AccountRegistry opened{registry, registry, registry, kGoing};
            if (account.sid == L"S-1-5-21-9") visitor.Failed(account, cli::AccountVisitor::Step::kNotLoaded, reg::kBadDb);
            else visitor.Opened(account, opened);
        }
        return Visited::kEvery;
    }
    MemoryRegistry& registry;
};
inline int RunCli(MemoryRegistry& r, std::vector<std::wstring_view> arguments) { Output o; SomeAccounts a(r); return cli::Run(arguments, L"9.9", r, r, r, a, o); }
// What the command line says, run on a copy of the registry.
inline Output Said(MemoryRegistry r, std::vector<std::wstring_view> arguments) { Output o; SomeAccounts a(r); return cli::Run(arguments, L"9.9", r, r, r, a, o), o; }

// The window gives a failure's reason as the command line gives it, as a sentence.
inline testing::AssertionResult SaysAsCli(const std::wstring& reason, const std::wstring& err) {
    return testing::AssertionResult(reason.size() > 1 && err.ends_with(reason.substr(1) + L"\r\n"))
           << "the window says " << testing::PrintToString(reason) << ", the command line " << testing::PrintToString(err);
}

struct Form {
    MemoryRegistry registry;
    FakeWindow window;
    frmMain form{window, window, window, registry, registry, registry};
    explicit Form(const Names& names) { registry.values.insert(names.begin(), names.end()); }
};

// A failing row shows both sides as text rather than as bytes.
namespace reg {
using testing::PrintToString;
inline void PrintTo(const ValueData& v, std::ostream* out) { *out << PrintToString(v.name) << " type " << v.type << " " << PrintToString(v.bytes); }
inline void PrintTo(const KeyTree& k, std::ostream* out) { *out << PrintToString(k.name) << PrintToString(k.values) << PrintToString(k.subkeys); }
inline void PrintTo(const NameSnapshot& s, std::ostream* out) { *out << PrintToString(s.name) << PrintToString(s.value) << PrintToString(s.key); }
}  // namespace reg
inline void PrintTo(const ListMenuState& m, std::ostream* out) { *out << "{remove " << m.canRemove << ", undo " << m.canUndo << ", leftover " << m.canRemoveLeftover << "}"; }

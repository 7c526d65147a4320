#pragma once

#include <atomic>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "registry/RegistryTypes.h"

namespace reg {
class NameArchive;
}
class ScriptShellFactory;

// tallowick-cli: the window's listing, refusals and removals for scripts.
namespace cli {

inline constexpr int kDone = 0;
inline constexpr int kNameStays = 1;
inline constexpr int kBadUsage = 2;

// An account's hive is loaded under HKEY_USERS as this and its SID; never as
// the SID itself, under which the system loads it when the user signs in.
inline constexpr std::wstring_view kHiveKeyPrefix = L"Tallowick-";

// Where the lines go as they happen, with their CRLF: a script killed
// halfway still leaves a record of what was done. False when the text
// could not be written.
class Output {
public:
    virtual ~Output() = default;
    virtual bool Out(std::wstring_view text) = 0;
    virtual bool Err(std::wstring_view text) = 0;
};

// One account of the PC: its name as the lines print it (DOMAIN\user, or the
// SID where no account of that SID is known), its SID, and its profile folder.
struct Account {
    std::wstring name, sid, folder;
};

// One account's registry, as the platform opened it for /allusers.
struct AccountRegistry {
    reg::RegistryReader& registry;
    ScriptShellFactory& shells;
    reg::NameArchive& archive;        // that account's own backups
    const std::atomic<bool>& stopping;  // set by Ctrl+C: no further name is taken
};

// Told of each account in turn. `Failed` names a step the platform could not
// take for it: kNotLoaded (its registry was not read) or kNotUnloaded.
class AccountVisitor {
public:
    enum class Step { kNotLoaded, kNotUnloaded };
    virtual ~AccountVisitor() = default;
    // Asked once, before any account's registry is loaded: those to visit.
    virtual std::vector<Account> Chosen(std::vector<Account> every) = 0;
    virtual void Opened(const Account& account, AccountRegistry& registry) = 0;
    virtual void Failed(const Account& account, Step step, reg::Status status) = 0;
};

// Every account of the PC, each account's registry held only while it is
// visited.
class Accounts {
public:
    enum class Visited { kEvery, kNotElevated, kNoProfileList, kStopped };
    virtual ~Accounts() = default;
    // kNotElevated having read nothing; kStopped when the user stopped the
    // run between accounts.
    virtual Visited ForEach(AccountVisitor& visitor) = 0;
};

// The whole usage text, or only a verb's.
std::wstring Usage(std::wstring_view verb = {});
// Runs the command and returns its exit code. `arguments` leaves out the
// program's own name; `version` is what /version prints.
int Run(std::span<const std::wstring_view> arguments, std::wstring_view version, reg::RegistryReader& registry,
        ScriptShellFactory& shells, reg::NameArchive& archive, Accounts& accounts, Output& output);

// How much of `text` one console write takes: at most `limit` UTF-16 units,
// never half a surrogate pair.
std::size_t ConsolePiece(std::wstring_view text, std::size_t limit);

}  // namespace cli

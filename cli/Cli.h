#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

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

// Where the lines go as they happen, with their CRLF: a script killed
// halfway still leaves a record of what was done. False when the text
// could not be written.
class Output {
public:
    virtual ~Output() = default;
    virtual bool Out(std::wstring_view text) = 0;
    virtual bool Err(std::wstring_view text) = 0;
};

// One account's registry, as the platform opened it for /allusers.
struct AccountRegistry {
    reg::RegistryReader& registry;
    ScriptShellFactory& shells;
    reg::NameArchive& archive;
};

// Told of each account in turn. `Failed` names a step the platform could not
// take for it: kNotLoaded (its registry was not read) or kNotUnloaded.
class AccountVisitor {
public:
    enum class Step { kNotLoaded, kNotUnloaded };
    virtual ~AccountVisitor() = default;
    virtual void Opened(std::wstring_view account, AccountRegistry& registry) = 0;
    virtual void Failed(std::wstring_view account, Step step, reg::Status status) = 0;
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

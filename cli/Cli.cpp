#include "cli/Cli.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "registry/RegFile.h"
#include "registry/RegistryTypes.h"
#include "screennames/EnumerateValues.h"
#include "screennames/ScreenNames.h"

namespace cli {
namespace {

using namespace ScreenNames;

constexpr std::wstring_view kUsage =
    L"Lists, removes and restores the messenger's saved screen names of the signed-in user.\r\n"
    L"\r\n"
    L"  tallowick-cli list                      every name, one per line (the default value is an empty line)\r\n"
    L"  tallowick-cli remove NAME [NAME...]     removes these names (case does not matter), each after a backup\r\n"
    L"  tallowick-cli remove /all               removes every name that can be removed\r\n"
    L"  tallowick-cli remove ... /nobackup      removes without writing a backup file\r\n"
    L"  tallowick-cli restore NAME [NAME...]    brings each name back from its backups\r\n"
    L"  tallowick-cli restore FILE.reg [...]    brings back the name that each backup file holds\r\n"
    L"  tallowick-cli backups                   the backup files, newest first: date and time, name, file\r\n"
    L"  tallowick-cli backups /delete NAME...   deletes every backup of these names (/all: every backup)\r\n"
    L"  tallowick-cli /?                        this text (also -h, --help)\r\n"
    L"\r\n"
    L"Switches take / - or --; names after -- may begin with / or -.\r\n"
    L"Exit code: 0 all done, 1 a name stays or is not back, or the names could not be read, 2 bad usage.\r\n";

using reg::SameAsciiNoCase;

bool IsHelp(std::wstring_view argument) {
    return argument == L"/?" || argument == L"-?" || SameAsciiNoCase(argument, L"-h") || SameAsciiNoCase(argument, L"--help");
}

// As reg.exe takes its switches with / or -; --all too, as other tools spell it.
bool IsSwitch(std::wstring_view argument) { return argument.starts_with(L'/') || argument.starts_with(L'-'); }
bool IsSwitch(std::wstring_view argument, std::wstring_view word) {
    for (const std::wstring_view lead : {L"/", L"-", L"--"})
        if (argument.size() == lead.size() + word.size() && argument.starts_with(lead) &&
            SameAsciiNoCase(argument.substr(lead.size()), word))
            return true;
    return false;
}

// What follows the verb: its switches, and the names (or files) after them
// or after "--".
struct Arguments {
    std::vector<std::wstring_view> switches, names;
};

Arguments Split(std::span<const std::wstring_view> rest) {
    Arguments split;
    bool switches = true;
    for (const std::wstring_view argument : rest) {
        if (switches && argument == L"--") switches = false;
        else if (switches && IsSwitch(argument)) split.switches.push_back(argument);
        else split.names.push_back(argument);
    }
    return split;
}

bool EndsInReg(std::wstring_view path) { return path.size() >= 4 && SameAsciiNoCase(path.substr(path.size() - 4), L".reg"); }

// A backup is named by its file when the argument looks like one.
bool IsFile(std::wstring_view argument) { return argument.find_first_of(L"\\/") != std::wstring_view::npos || EndsInReg(argument); }


std::wstring InQuotes(std::wstring_view name) { return L"\"" + std::wstring(name) + L"\""; }

std::wstring_view ReasonFor(RemoveResult result, std::wstring_view name) {
    switch (result) {
    case RemoveResult::kRefusedName: break;
    case RemoveResult::kHoldsLink: return L"its settings key, or a key on the path to it, is or holds a registry link, which may lead outside the messenger's key";
    case RemoveResult::kUnreadable: return L"part of it could not be read (access denied?), so it could not be backed up";
    case RemoveResult::kNoBackupFolder: return L"there is no folder for its backup: %LOCALAPPDATA% and the local application data folder are unavailable";
    case RemoveResult::kBackupNotWritten: return L"its backup file could not be written";
    case RemoveResult::kChanged: return L"another program changed it while it was read or removed, and what it changed stays";
    case RemoveResult::kBackupWouldNotRestore:
        return L"its backup would not bring it back as it is (its settings hold a name that a backup file cannot say, "
               L"a registry link's value, or more than a backup file may hold), so no file was written";
    case RemoveResult::kStays:
    case RemoveResult::kRemoved: return L"the registry kept part of it (access denied, or another program holds it)";
    }
    switch (CheckName(name)) {
    case NameRule::kDefaultValue: return L"it is the key's default value, whose paths would name the whole Users key";
    case NameRule::kBackslash: return L"it holds a backslash, so its paths would name another name's settings";
    case NameRule::kLineBreak: return L"it holds a line break, which a backup file cannot name";
    case NameRule::kNul:
    case NameRule::kAddressable: break;
    }
    return L"it holds a NUL character, which would cut it short to another name";
}

struct Backup {
    reg::BackupFile file;
    std::optional<std::wstring> held;  // the name it holds, once read; empty: no backup
};

class Command {
public:
    Command(reg::RegistryReader& registry, ScriptShellFactory& shells, reg::NameArchive& archive, Output& output)
        : registry_(registry), shells_(shells), archive_(archive), output_(output) {}

    int BadUsage(std::wstring_view why) {
        Err(L"tallowick-cli: " + std::wstring(why) + L"\r\n\r\n");
        Err(kUsage);
        return kBadUsage;
    }

    // The names as the window lists them; false, said on stderr, when they
    // could not all be read: a name unseen must not pass for one not there.
    bool ReadNames(std::vector<std::wstring>& names) {
        const reg::Status read = EnumerateValues::ListScreenNames(registry_, names);
        if (read == reg::kSuccess) return true;
        Err(EnumerateValues::CouldNotReadText() + L"\r\n");
        if (read == reg::kLinkOnPath)
            Err(L"tallowick-cli: a key on the path to the messenger's key is a registry link, which may lead anywhere in "
                L"the registry; nothing was read or changed.\r\n");
        exitCode_ = kNameStays;
        return false;
    }

    void List(const std::vector<std::wstring>& names) {
        for (const std::wstring& name : names) Out(name + L"\r\n");
    }

    // Removes `name` as the window would, with the same backup file, and says
    // how that went: the outcome on stdout, the reason on stderr.
    bool Remove(std::wstring_view name, bool backUp) {
        reg::NameSnapshot removed;
        const RemoveResult result = RemoveScreenName(registry_, shells_, archive_, name, removed, backUp);
        if (result == RemoveResult::kRemoved) {
            Out(L"Removed " + InQuotes(name) + L".\r\n");
            return true;
        }
        Out(CouldNotRemoveText(name) + L"\r\n");
        Err(L"tallowick-cli: could not remove " + InQuotes(name) + L": " + std::wstring(ReasonFor(result, name)) + L".\r\n");
        exitCode_ = kNameStays;
        return false;
    }

    void NotListed(std::wstring_view name) { Out(L"No screen name " + InQuotes(name) + L".\r\n"); }

    // The backup folder's files, newest first; each is read when a command
    // first needs the name it holds. "*.reg" finds a file by its short name
    // too, so "x.registry" is passed over by its long one.
    std::vector<Backup>& Backups() {
        if (!backups_) {
            backups_.emplace();
            for (reg::BackupFile& file : archive_.Backups())
                if (EndsInReg(file.path)) backups_->push_back({std::move(file), std::nullopt});
        }
        return *backups_;
    }

    // The screen name the file holds; empty for a file that is no backup,
    // which is named once on stderr with why, and stops nothing else.
    const std::wstring& Held(Backup& backup) {
        if (!backup.held) {
            std::vector<std::uint8_t> bytes;
            reg::NameSnapshot held;
            std::wstring why = L"the file could not be read";
            const bool read = archive_.ReadBackupFile(backup.file.path, bytes) && ReadBackupFile(registry_, bytes, held, why);
            if (!read) Err(L"tallowick-cli: passed over " + InQuotes(backup.file.path) + L", which is no backup: " + why + L".\r\n");
            backup.held = read ? held.name : std::wstring();
        }
        return *backup.held;
    }

    // Whether the file is a backup of `name`, matched as the registry matches names.
    bool Holds(Backup& backup, std::wstring_view name) {
        const std::wstring& held = Held(backup);
        return !held.empty() && registry_.SameName(held, name);
    }

    void ListBackups() {
        for (Backup& backup : Backups())
            if (!Held(backup).empty()) Out(backup.file.written + L"\t" + *backup.held + L"\t" + backup.file.path + L"\r\n");
    }

    // From the backups that hold the name, newest first, where older ones of
    // the same removal complete the newest; or from the file given, reading
    // no other.
    void Restore(std::wstring_view asked) {
        std::vector<std::wstring> paths;
        if (IsFile(asked)) paths.emplace_back(asked);
        else
            for (Backup& backup : Backups())
                if (Holds(backup, asked)) paths.push_back(backup.file.path);
        if (paths.empty()) {
            Out(L"No backup of " + InQuotes(asked) + L".\r\n");
            exitCode_ = kNameStays;
            return;
        }
        std::vector<std::vector<std::uint8_t>> files(paths.size());
        reg::NameSnapshot restored;
        std::wstring why = L"the file could not be read";
        const RestoreResult result = archive_.ReadBackupFile(paths.front(), files.front())
                                         ? RestoreScreenName(registry_, archive_, ReadAfterFirst(paths, files), restored, why)
                                         : RestoreResult::kRefusedFile;
        const std::wstring name = restored.name.empty() && IsFile(asked) ? FileNameOf(asked) : restored.name;
        if (result == RestoreResult::kRestored) {
            Out(L"Restored " + InQuotes(name) + L".\r\n");
            return;
        }
        Out(CouldNotRestoreText(name) + L"\r\n");
        Err(L"tallowick-cli: could not restore " + InQuotes(name) + L" from " + InQuotes(FileNameOf(paths.front())) + L": " + why + L".\r\n");
        exitCode_ = kNameStays;
    }

    // The older backups as far as they read; the first that does not ends
    // the run that the newest may merge.
    std::span<const std::vector<std::uint8_t>> ReadAfterFirst(const std::vector<std::wstring>& paths,
                                                              std::vector<std::vector<std::uint8_t>>& files) {
        std::size_t read = 1;
        while (read < paths.size() && archive_.ReadBackupFile(paths[read], files[read])) ++read;
        return std::span(files).first(read);
    }

    // Only files that read as backups go, /all or not.
    void DeleteBackups(const std::vector<std::wstring_view>& names, bool all) {
        for (Backup& backup : Backups()) {
            const std::wstring& path = backup.file.path;
            const bool asked = all ? !Held(backup).empty() : std::ranges::any_of(names, [&](std::wstring_view n) { return Holds(backup, n); });
            if (!asked) continue;
            if (archive_.DeleteBackup(path)) {
                Out(L"Deleted " + InQuotes(path) + L".\r\n");
            } else {
                Err(L"tallowick-cli: could not delete " + InQuotes(path) + L".\r\n");
                exitCode_ = kNameStays;
            }
        }
        for (const std::wstring_view name : names)
            if (std::ranges::none_of(Backups(), [&](Backup& b) { return Holds(b, name); }))
                Out(L"No backup of " + InQuotes(name) + L".\r\n");
    }

    void Out(std::wstring_view text) { Track(output_.Out(text)); }
    void Err(std::wstring_view text) { Track(output_.Err(text)); }
    int ExitCode() const { return exitCode_; }

private:
    // Output that is lost is a failure too: a script must not take silence
    // for "nothing to do".
    void Track(bool written) {
        if (!written) exitCode_ = std::max(exitCode_, kNameStays);
    }

    reg::RegistryReader& registry_;
    ScriptShellFactory& shells_;
    reg::NameArchive& archive_;
    Output& output_;
    int exitCode_ = kDone;
    std::optional<std::vector<Backup>> backups_;  // listed on first need
};

}  // namespace

std::wstring_view Usage() { return kUsage; }

int Run(std::span<const std::wstring_view> arguments, reg::RegistryReader& registry, ScriptShellFactory& shells,
        reg::NameArchive& archive, Output& output) {
    Command command(registry, shells, archive, output);
    if (arguments.empty()) return command.BadUsage(L"say what to do.");
    if (arguments.size() == 1 && IsHelp(arguments[0])) {
        command.Out(kUsage);
        return command.ExitCode();
    }
    const std::wstring_view verb = arguments[0];
    const Arguments rest = Split(arguments.subspan(1));
    const auto onlySwitches = [&](std::initializer_list<std::wstring_view> allowed) {
        return std::ranges::find_if(rest.switches, [&](std::wstring_view given) {
            return std::ranges::none_of(allowed, [&](std::wstring_view word) { return IsSwitch(given, word); });
        });
    };
    const auto badSwitch = [&](std::initializer_list<std::wstring_view> allowed) -> std::optional<int> {
        if (const auto bad = onlySwitches(allowed); bad != rest.switches.end())
            return command.BadUsage(L"unknown switch " + InQuotes(*bad) + L".");
        return std::nullopt;
    };
    const auto has = [&](std::wstring_view word) {
        return std::ranges::any_of(rest.switches, [&](std::wstring_view given) { return IsSwitch(given, word); });
    };
    std::vector<std::wstring> listed;

    if (SameAsciiNoCase(verb, L"list")) {
        if (const auto bad = badSwitch({})) return *bad;
        if (!rest.names.empty()) return command.BadUsage(L"list takes no arguments.");
        if (command.ReadNames(listed)) command.List(listed);
        return command.ExitCode();
    }
    if (SameAsciiNoCase(verb, L"restore")) {
        if (const auto bad = badSwitch({})) return *bad;
        if (rest.names.empty()) return command.BadUsage(L"name the screen names or backup files to restore.");
        // Nothing is written where the names cannot be read.
        if (!command.ReadNames(listed)) return command.ExitCode();
        for (const std::wstring_view asked : rest.names) command.Restore(asked);
        return command.ExitCode();
    }
    if (SameAsciiNoCase(verb, L"backups")) {
        if (const auto bad = badSwitch({L"delete", L"all"})) return *bad;
        const bool all = has(L"all");
        if (!has(L"delete")) {
            if (!rest.switches.empty() || !rest.names.empty()) return command.BadUsage(L"backups lists them all; /delete deletes.");
            command.ListBackups();
            return command.ExitCode();
        }
        if (all == !rest.names.empty()) return command.BadUsage(L"name the screen names whose backups to delete, or /all alone.");
        command.DeleteBackups(rest.names, all);
        return command.ExitCode();
    }
    if (!SameAsciiNoCase(verb, L"remove")) return command.BadUsage(L"unknown command " + InQuotes(verb) + L".");

    if (const auto bad = badSwitch({L"all", L"nobackup"})) return *bad;
    const bool all = has(L"all"), backUp = !has(L"nobackup");
    if (all == !rest.names.empty()) return command.BadUsage(L"name the screen names to remove, or /all alone.");
    if (!command.ReadNames(listed)) return command.ExitCode();

    if (all) {
        for (const std::wstring& name : listed) command.Remove(name, backUp);
        return command.ExitCode();
    }
    // Each name is matched as the registry matches it, and removed in the
    // spelling the registry holds. A removed name is not listed any more; a
    // name that stays is, and says so again when asked again.
    for (const std::wstring_view name : rest.names) {
        const auto found = std::ranges::find_if(listed, [&](const std::wstring& n) { return registry.SameName(n, name); });
        if (found == listed.end()) {
            command.NotListed(name);
            continue;
        }
        if (command.Remove(*found, backUp)) listed.erase(found);
    }
    return command.ExitCode();
}

std::size_t ConsolePiece(std::wstring_view text, std::size_t limit) {
    if (text.size() <= limit) return text.size();
    const bool splitsPair = limit > 1 && (text[limit - 1] & 0xFC00) == 0xD800;
    return splitsPair ? limit - 1 : limit;
}

}  // namespace cli

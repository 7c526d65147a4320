#include "cli/Cli.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "registry/BackupFileName.h"
#include "registry/KeyTree.h"
#include "registry/NameArchive.h"
#include "registry/RegistryTypes.h"
#include "registry/Surrogates.h"
#include "screennames/EnumerateValues.h"
#include "screennames/ScreenNames.h"

namespace cli {
namespace {

using namespace ScreenNames;

constexpr std::wstring_view kAbout =
    L"Lists, removes and restores the messenger's saved screen names of the signed-in user, or, from an elevated prompt, "
    L"of any account of the PC.\r\n";

// Each verb's lines, which "VERB /?" prints alone.
constexpr struct {
    std::wstring_view verb, lines;
} kVerbUsage[] = {
    {L"list",
     L"  tallowick-cli list                      every name, one per line\r\n"
     L"  tallowick-cli list /leftover            the settings keys that no name's value names, one per line\r\n"
     L"  tallowick-cli list ... /allusers        the same for every account of the PC (elevated): ACCOUNT<tab>line\r\n"
     L"  tallowick-cli list ... /user:ACCOUNT    the same for one account (DOMAIN\\user, user or SID; elevated)\r\n"},
    {L"remove",
     L"  tallowick-cli remove NAME [NAME...]     removes these names (case does not matter), each after a backup\r\n"
     L"  tallowick-cli remove /all               removes every name that can be removed, and every leftover key\r\n"
     L"  tallowick-cli remove ... /nobackup      removes without writing a backup file\r\n"
     L"  tallowick-cli remove ... /whatif        says what would be removed (keys, values, bytes) and changes nothing\r\n"
     L"  tallowick-cli remove ... /allusers      from every account of the PC (elevated), each backup in that account's folder\r\n"
     L"  tallowick-cli remove ... /user:ACCOUNT  from that account alone (elevated)\r\n"},
    {L"restore",
     L"  tallowick-cli restore NAME [NAME...]    brings each name back from its backups\r\n"
     L"  tallowick-cli restore PATH\\FILE.reg     brings back the name that the file holds (an argument with \\ or /)\r\n"
     L"  tallowick-cli restore ... /user:ACCOUNT into that account, from its own backups (elevated)\r\n"},
    {L"backups",
     L"  tallowick-cli backups                   the backup files, latest removal first: its date and time, name, file\r\n"
     L"  tallowick-cli backups /delete NAME...   deletes every backup of these names (/all: every backup)\r\n"
     L"  tallowick-cli backups ... /allusers     the same for every account of the PC, or /user:ACCOUNT for one (elevated)\r\n"},
};

constexpr std::wstring_view kOthers =
    L"  tallowick-cli /version                  the version\r\n"
    L"  tallowick-cli /?                        this text (also -h, --help); VERB /? that verb's alone\r\n";

constexpr std::wstring_view kRules =
    L"\r\n"
    L"Switches take / - or --, each once; names after -- may begin with / or -. The same name twice is one name.\r\n"
    L"A name holding a control character (tab, CR, LF...), \", / or \\ is written, and read, as ~ and the name with each\r\n"
    L"such character and each ~ as ~ and two hex digits: \"a<tab>b\" is ~a~09b, a\"b is ~a~22b, a/b is ~a~2Fb.\r\n"
    L"Exit code: 0 all done, 1 a name stays or is not back, or the names could not be read, 2 bad usage.\r\n";

using reg::SameAsciiNoCase;

bool IsHelp(std::wstring_view argument) {
    return argument == L"/?" || argument == L"-?" || SameAsciiNoCase(argument, L"-h") || SameAsciiNoCase(argument, L"--help");
}

// As reg.exe takes its switches with / or -; --all too, as other tools spell it.
bool IsSwitch(std::wstring_view argument) { return argument.starts_with(L'/') || argument.starts_with(L'-'); }
// What follows a switch that takes a value ("user:" in /user:ACCOUNT), or
// nothing where `argument` is not that switch; a switch without a value
// answers an empty text.
std::optional<std::wstring_view> SwitchValue(std::wstring_view argument, std::wstring_view word) {
    const bool takesValue = word.ends_with(L':');
    for (const std::wstring_view lead : {L"/", L"-", L"--"})
        if (argument.starts_with(lead) && argument.size() >= lead.size() + word.size() &&
            (takesValue || argument.size() == lead.size() + word.size()) &&
            SameAsciiNoCase(argument.substr(lead.size(), word.size()), word))
            return argument.substr(lead.size() + word.size());
    return std::nullopt;
}
bool IsSwitch(std::wstring_view argument, std::wstring_view word) { return SwitchValue(argument, word).has_value(); }

// One line of output holds one name, and reads back as that name: a name
// holding a control character (a tab, CR or LF would split or blur the line),
// a double quote (which a script's "%%n", and Windows PowerShell 5.1's
// arguments, would end early) or a slash or backslash (which would make it a
// file's path to restore) is written with a leading ~, and each such
// character, and each ~, as ~ and two hex digits. So is a name that would
// itself read as that form, such as "~a~09b"; "~keep" reads as itself.
constexpr wchar_t kEscape = L'~';
bool Unsafe(wchar_t ch) { return ch < 0x20 || (ch >= 0x7F && ch <= 0x9F) || ch == L'"' || ch == L'/' || ch == L'\\'; }

std::wstring FromShown(std::wstring_view argument);

std::wstring Shown(std::wstring_view name) {
    if (std::ranges::none_of(name, Unsafe) && (!name.starts_with(kEscape) || FromShown(name) == name)) return std::wstring(name);
    constexpr std::wstring_view kHex = L"0123456789ABCDEF";
    std::wstring shown(1, kEscape);
    for (const wchar_t ch : name)
        if (Unsafe(ch) || ch == kEscape) shown += {kEscape, kHex[(ch >> 4) & 0xF], kHex[ch & 0xF]};
        else shown += ch;
    return shown;
}

// An argument in that form means the name it stands for; any other, as "~x"
// typed by hand, means itself. What is not a hex digit after a ~ reads as some
// digit, which the last check, that the name is shown as the argument, refuses.
std::wstring FromShown(std::wstring_view argument) {
    if (!argument.starts_with(kEscape)) return std::wstring(argument);
    const auto digit = [](wchar_t ch) {
        return static_cast<int>(std::wstring_view(L"0123456789ABCDEF0123456789abcdef").find(ch) % 16);
    };
    std::wstring name;
    for (std::size_t at = 1; at < argument.size(); ++at) {
        if (argument[at] != kEscape) {
            name += argument[at];
            continue;
        }
        if (at + 2 >= argument.size()) return std::wstring(argument);
        name += static_cast<wchar_t>(digit(argument[at + 1]) * 16 + digit(argument[at + 2]));
        at += 2;
    }
    return SameAsciiNoCase(Shown(name), argument) ? name : std::wstring(argument);
}

// What follows the verb: its switches, and the names (or files) after them
// or after "--", read back from the form they are listed in, each once as the
// registry compares names.
struct Arguments {
    std::vector<std::wstring_view> switches;
    std::vector<std::wstring> names;
    std::vector<std::wstring> files;  // those of the names typed as a path, which name a backup file
    bool help = false;
    bool IsFile(std::wstring_view name) const { return std::ranges::find(files, name) != files.end(); }
};

Arguments Split(std::span<const std::wstring_view> rest, const reg::RegistryReader& registry) {
    Arguments split;
    bool switches = true;
    for (const std::wstring_view argument : rest) {
        if (switches && argument == L"--") {
            switches = false;
        } else if (switches && IsHelp(argument)) {
            split.help = true;
        } else if (switches && IsSwitch(argument)) {
            split.switches.push_back(argument);
        } else {
            std::wstring name = FromShown(argument);
            if (name == argument && name.find_first_of(L"\\/") != std::wstring::npos) split.files.push_back(name);
            if (std::ranges::none_of(split.names, [&](const std::wstring& n) { return registry.SameName(n, name); }))
                split.names.push_back(std::move(name));
        }
    }
    return split;
}

bool EndsInReg(std::wstring_view path) { return path.size() >= 4 && SameAsciiNoCase(path.substr(path.size() - 4), L".reg"); }



// A path, a switch or a command, as typed; and a name, as listed.
std::wstring Quoted(std::wstring_view text) { return L"\"" + std::wstring(text) + L"\""; }
std::wstring InQuotes(std::wstring_view name) { return Quoted(Shown(name)); }

std::wstring Count(std::size_t count, std::wstring_view thing) {
    return std::to_wstring(count) + L" " + std::wstring(thing) + (count == 1 ? L"" : L"s");
}

// "3 keys, 6 values, 120 bytes": the settings key and every key below it, the
// name's value and theirs, and the data those values hold.
std::wstring Measure(const reg::NameSnapshot& snapshot) {
    std::size_t keys = 0, values = 0, bytes = 0;
    const auto value = [&](const reg::ValueData& data) { ++values, bytes += data.bytes.size(); };
    if (snapshot.value) value(*snapshot.value);
    std::vector<const reg::KeyTree*> pending;
    if (snapshot.key) pending.push_back(&*snapshot.key);
    while (!pending.empty()) {
        const reg::KeyTree& key = *pending.back();
        pending.pop_back();
        ++keys;
        std::ranges::for_each(key.values, value);
        for (const reg::KeyTree& subkey : key.subkeys) pending.push_back(&subkey);
    }
    return Count(keys, L"key") + L", " + Count(values, L"value") + L", " + Count(bytes, L"byte");
}

struct Backup {
    reg::BackupFile file;
    std::wstring held;  // the name it holds; empty: no backup
    reg::RemovalTime removed;
    std::optional<std::vector<std::uint8_t>> bytes;  // as read, for a restore to read no file twice; none: unread
};

class Command {
public:
    // `whole`: the command run for every account, of which this is one
    // account's part.
    Command(reg::RegistryReader& registry, ScriptShellFactory& shells, reg::NameArchive& archive, Output& output,
            Command* whole = nullptr, const std::atomic<bool>* stopping = nullptr)
        : registry_(registry), shells_(shells), archive_(archive), output_(output), whole_(whole), stopping_(stopping) {}

    int BadUsage(std::wstring_view why) {
        Err(L"tallowick-cli: " + std::wstring(why) + L"\r\n\r\n");
        Err(Usage());
        return kBadUsage;
    }

    // False, said on stderr, when the names could not all be read: a name
    // unseen must not pass for one not there.
    bool Read(reg::Status status) {
        if (status == reg::kSuccess) return true;
        Err(EnumerateValues::CouldNotReadText() + L"\r\n");
        Err(L"tallowick-cli: " + EnumerateValues::CouldNotReadReason(status) + L".\r\n");
        exitCode_ = kNameStays;
        return false;
    }

    // The names as the window lists them. With `leftover`, the settings keys
    // that no name's value names follow: removing every name must not leave
    // a password behind in one of them.
    bool ReadNames(std::vector<std::wstring>& names, bool leftover = false) {
        std::vector<std::wstring> keys;
        if (!Read(EnumerateValues::ListScreenNames(registry_, names)) ||
            (leftover && !Read(EnumerateValues::ListLeftoverSettings(registry_, keys))))
            return false;
        names.insert(names.end(), keys.begin(), keys.end());
        return true;
    }

    bool ReadLeftovers(std::vector<std::wstring>& keys) { return Read(EnumerateValues::ListLeftoverSettings(registry_, keys)); }

    void List(bool leftover) {
        std::vector<std::wstring> names;
        if (!leftover ? ReadNames(names) : ReadLeftovers(names))
            for (const std::wstring& name : names) Out(Shown(name) + L"\r\n");
    }

    // Removes `name` as the window would, with the same backup file, and says
    // how that went: the outcome on stdout, the reason on stderr. With
    // `whatIf`, reads and checks it as a removal would, and says what would go.
    void Remove(std::wstring_view name, bool backUp, bool whatIf) {
        Report(whatIf ? PlanRemoval(registry_, archive_, name, backUp) : RemoveScreenName(registry_, shells_, archive_, name, backUp));
    }

    // Every outcome of the core in the command line's words: what happened
    // on stdout, why not on stderr, and exit code 1 for a name that stays or
    // is not back. `file` is the backup that a restore read first.
    void Report(const Outcome& outcome, std::wstring_view file = {}) {
        const std::wstring name = InQuotes(outcome.snapshot.name);
        const auto failed = [&](std::wstring_view stdoutLine, std::wstring_view what) {
            Out(std::wstring(stdoutLine) + L"\r\n");
            Err(L"tallowick-cli: " + std::wstring(what) + L": " + outcome.why + L".\r\n");
            exitCode_ = kNameStays;
        };
        switch (outcome.job) {
        case Job::kRemove:
            if (outcome.Done()) Out(L"Removed " + name + L".\r\n");
            else failed(CouldNotRemoveText(Shown(outcome.snapshot.name)), L"could not remove " + name);
            break;
        case Job::kPlan:
            if (outcome.Done()) Out(L"Would remove " + name + L": " + Measure(outcome.snapshot) + L".\r\n");
            else failed(L"Would not remove " + name + L".", L"would not remove " + name);
            break;
        case Job::kRestore:
            if (outcome.Done()) Out(L"Restored " + name + L".\r\n");
            else failed(CouldNotRestoreText(Shown(outcome.snapshot.name)), L"could not restore " + name + L" from " + Quoted(file));
            break;
        }
    }

    void NotListed(std::wstring_view name) { Out(L"No screen name " + InQuotes(name) + L".\r\n"); }

    // The names asked for, matched as the registry matches them and removed
    // in the spelling it holds; or with `all`, every name and leftover key.
    void RemoveNames(const Arguments& asked, bool all, bool backUp, bool whatIf) {
        std::vector<std::wstring> listed;
        if (!ReadNames(listed, true)) return;
        if (all) {
            for (const std::wstring& name : listed)
                if (!Stopped()) Remove(name, backUp, whatIf);
            return;
        }
        for (const std::wstring_view name : asked.names) {
            if (Stopped()) return;
            const auto found = std::ranges::find_if(listed, [&](const std::wstring& n) { return registry_.SameName(n, name); });
            if (found == listed.end()) NotListed(name);
            else Remove(*found, backUp, whatIf);
        }
    }

    // Nothing is written where the names cannot be read.
    void RestoreNames(const Arguments& asked) {
        std::vector<std::wstring> listed;
        if (!ReadNames(listed)) return;
        for (const std::wstring_view name : asked.names)
            if (!Stopped()) Restore(name, asked.IsFile(name));
    }

    // True once the user stopped the run, and this account's work is cut short.
    bool Stopped() {
        if (stopping_ == nullptr || !*stopping_) return false;
        cut_ = true;
        return true;
    }
    bool Cut() const { return cut_; }

    // The backup folder's files, the latest removal first, each read once:
    // a copy, an unzip or a touch changes when a file was written, not when
    // its name was removed. A file that is no backup is named once on stderr
    // with why, and stops nothing else. "*.reg" finds a file by its short
    // name too, so "x.registry" is passed over by its long one.
    std::vector<Backup>& Backups() {
        if (backups_) return *backups_;
        backups_.emplace();
        // No folder known is not a folder without backups.
        if (std::wstring folder; archive_.BackupFolder(folder) != reg::ArchiveStatus::kDone && folder.empty()) {
            Err(L"tallowick-cli: no backup can be found: " + std::wstring(kNoBackupFolder) + L".\r\n");
            exitCode_ = kNameStays;
        }
        for (reg::BackupFile& file : archive_.Backups()) {
            if (!EndsInReg(file.path)) continue;
            std::vector<std::uint8_t> bytes;
            reg::NameSnapshot held;
            std::wstring why(kFileUnread);
            const bool fileRead = archive_.ReadBackupFile(file.path, bytes) == reg::FileRead::kRead;
            const bool read = fileRead && ReadBackupFile(registry_, bytes, held, why);
            if (!read) Err(L"tallowick-cli: passed over " + Quoted(file.path) + L", which is no backup: " + why + L".\r\n");
            reg::RemovalTime removed = reg::WhenRemoved(bytes, file);
            backups_->push_back({std::move(file), read ? held.name : std::wstring(), std::move(removed),
                                 fileRead ? std::optional(std::move(bytes)) : std::nullopt});
        }
        std::ranges::stable_sort(*backups_, std::ranges::greater{}, [](const Backup& backup) { return backup.removed.utc; });
        return *backups_;
    }

    // Whether the file is a backup of `name`, matched as the registry matches names.
    bool Holds(const Backup& backup, std::wstring_view name) const {
        return !backup.held.empty() && registry_.SameName(backup.held, name);
    }

    // The folder's files that an argument names: a screen name its backups,
    // the latest removal first, or where it has none, the file of that name
    // as `backups` shows it; a path that one file. Files are matched without
    // case, as Windows matches them.
    std::vector<Backup*> Named(std::wstring_view asked, bool file) {
        std::vector<Backup*> named;
        for (Backup& backup : Backups())
            if (!file && Holds(backup, asked)) named.push_back(&backup);
        if (named.empty())
            for (Backup& backup : Backups())
                if (registry_.SameName(file ? backup.file.path : FileNameOf(backup.file.path), asked)) return {&backup};
        return named;
    }

    void ListBackups() {
        for (const Backup& backup : Backups())
            if (!backup.held.empty()) Out(backup.removed.local + L"\t" + Shown(backup.held) + L"\t" + backup.file.path + L"\r\n");
    }

    // From the backups that hold the name, where older ones of the same
    // removal complete the latest, as the listing read them; or from the one
    // file named, reading no other.
    void Restore(std::wstring_view asked, bool file) {
        if (file) {
            Report(RestoreScreenName(registry_, archive_, BackupPath{std::wstring(asked)}), asked);
            return;
        }
        const std::vector<Backup*> named = Named(asked, false);
        if (named.empty()) {
            Out(L"No backup of " + InQuotes(asked) + L".\r\n");
            exitCode_ = kNameStays;
            return;
        }
        // The older backups as far as they read; the first that does not
        // ends the run that the newest may merge.
        NameBackups backups{std::wstring(asked), {}};
        for (const Backup* backup : named) {
            if (!backup->bytes) break;
            backups.newestFirst.push_back(*backup->bytes);
        }
        Report(RestoreScreenName(registry_, archive_, std::move(backups)), FileNameOf(named.front()->file.path));
    }

    // Only files that read as backups go, /all or not; names are taken as
    // restore takes them.
    void DeleteBackups(const Arguments& asked, bool all) {
        std::vector<const Backup*> chosen;
        std::vector<std::wstring_view> none;
        for (const Backup& backup : Backups())
            if (all && !backup.held.empty()) chosen.push_back(&backup);
        for (const std::wstring_view name : asked.names) {
            const std::size_t before = chosen.size();
            for (const Backup* backup : Named(name, asked.IsFile(name)))
                if (!backup->held.empty()) chosen.push_back(backup);
            if (chosen.size() == before) none.push_back(name);
        }
        for (const Backup& backup : Backups()) {
            if (std::ranges::find(chosen, &backup) == chosen.end()) continue;
            if (archive_.DeleteBackup(backup.file.path)) {
                Out(L"Deleted " + Quoted(backup.file.path) + L".\r\n");
            } else {
                Err(L"tallowick-cli: could not delete " + Quoted(backup.file.path) + L".\r\n");
                exitCode_ = kNameStays;
            }
        }
        // A file named by its path that is no backup in the folder is left
        // alone, and a script hears that it stays.
        for (const std::wstring_view name : none) {
            const bool file = asked.IsFile(name);
            Out((file ? L"No backup file " + Quoted(name) + L" in the backup folder." : L"No backup of " + InQuotes(name) + L".") + L"\r\n");
            if (file) exitCode_ = kNameStays;
        }
    }

    // Said once, where stderr can still be written: an exit code alone reads
    // as a failure of the command, not of the output.
    void Out(std::wstring_view text) {
        const bool written = output_.Out(text);
        Track(written);
        if (!written && !std::exchange(OutLost(), true)) Err(L"tallowick-cli: could not write the output.\r\n");
    }
    void Err(std::wstring_view text) { Track(output_.Err(text)); }
    int ExitCode() const { return exitCode_; }
    void Fail(int exitCode = kNameStays) { exitCode_ = std::max(exitCode_, exitCode); }
    bool SameName(std::wstring_view a, std::wstring_view b) const { return registry_.SameName(a, b); }

private:
    // Output that is lost is a failure too: a script must not take silence
    // for "nothing to do".
    void Track(bool written) {
        if (!written) exitCode_ = std::max(exitCode_, kNameStays);
    }
    // Said once for the whole run, not once per account.
    bool& OutLost() { return whole_ != nullptr ? whole_->OutLost() : outLost_; }

    reg::RegistryReader& registry_;
    ScriptShellFactory& shells_;
    reg::NameArchive& archive_;
    Output& output_;
    Command* whole_;
    const std::atomic<bool>* stopping_;
    int exitCode_ = kDone;
    bool cut_ = false;
    bool outLost_ = false;
    std::optional<std::vector<Backup>> backups_;  // listed on first need
};

// Each line that a command prints for one account, on stdout or stderr,
// begins with the account and a tab: a script splits it at the first tab.
class AccountLines final : public Output {
public:
    AccountLines(Output& output, std::wstring_view account) : output_(output), account_(account) {}
    bool Out(std::wstring_view text) override { return output_.Out(Prefixed(text, outLineStart_)); }
    bool Err(std::wstring_view text) override { return output_.Err(Prefixed(text, errLineStart_)); }

private:
    std::wstring Prefixed(std::wstring_view text, bool& lineStart) const {
        std::wstring lines;
        for (const wchar_t ch : text) {
            if (lineStart) lines += account_ + L'\t';
            lines += ch;
            lineStart = ch == L'\n';
        }
        return lines;
    }
    Output& output_;
    std::wstring account_;
    bool outLineStart_ = true, errLineStart_ = true;
};

std::wstring AccountFailure(const Account& account, AccountVisitor::Step step, reg::Status status) {
    std::wstring why = L"error " + std::to_wstring(status);
    if (status == reg::kAccessDenied) why = L"access denied";
    if (status == reg::kSharingViolation) why = L"the file is in use";
    if (status == reg::kFileNotFound || status == reg::kPathNotFound) why = L"there is no such file";
    if (status == reg::kAlreadyExists)
        why = L"it is already loaded under HKEY_USERS as " + std::wstring(kHiveKeyPrefix) + account.sid +
              L", by another run or by one that was ended; when no other run is going, reg unload it and try again";
    if (status == reg::kBadDb || status == reg::kRegistryCorrupt || status == reg::kNotRegistryFile) why = L"the file is damaged";
    if (status == reg::kBadPathname) why = L"its profile folder in ProfileList is no full path of its own";
    const std::wstring hive = Quoted(account.folder + L"\\NTUSER.DAT");
    return step == AccountVisitor::Step::kNotLoaded ? L"could not load the account's registry " + hive + L": " + why
                                                     : L"could not unload the account's registry " + hive + L": " + why;
}

// A command run for every account, or for the one that /user: names, each
// account's lines after its name; the exit code the worst of them.
class EveryAccount final : public AccountVisitor {
public:
    using Job = std::function<void(Command&)>;
    EveryAccount(Command& whole, Output& output, std::optional<std::wstring_view> only, Job job)
        : whole_(whole), output_(output), only_(only), job_(std::move(job)) {}

    // An account is named as its lines print it (DOMAIN\user, or the SID), by
    // its SID, or by the user's name alone where no other account has it.
    std::vector<Account> Chosen(std::vector<Account> every) override {
        if (!only_) return every;
        const auto fully = [&](const Account& account) {
            return whole_.SameName(account.name, *only_) || whole_.SameName(account.sid, *only_);
        };
        // .\user, as runas takes a local account, names the user alone.
        const std::wstring_view user = only_->starts_with(L".\\") ? only_->substr(2) : *only_;
        const auto byUser = [&](const Account& account) {
            return whole_.SameName(std::wstring_view(account.name).substr(account.name.rfind(L'\\') + 1), user);
        };
        std::vector<Account> chosen;
        std::ranges::copy_if(every, std::back_inserter(chosen), fully);
        if (chosen.empty()) std::ranges::copy_if(every, std::back_inserter(chosen), byUser);
        if (chosen.empty()) {
            whole_.Err(L"tallowick-cli: no account " + Quoted(*only_) + L" on this PC.\r\n");
            whole_.Fail();
        }
        if (chosen.size() > 1) {
            std::wstring names;
            for (const Account& account : chosen) names += (names.empty() ? L"" : L", ") + account.name;
            whole_.Fail(whole_.BadUsage(Quoted(*only_) + L" names more than one account (" + names +
                                        L"): give DOMAIN\\user or the SID."));
            chosen.clear();
        }
        return chosen;
    }
    void Opened(const Account& account, AccountRegistry& opened) override {
        AccountLines lines(output_, account.name);
        Command command(opened.registry, opened.shells, opened.archive, lines, &whole_, &opened.stopping);
        job_(command);
        whole_.Fail(command.ExitCode());
        cut_ = cut_ || command.Cut();
    }
    bool Cut() const { return cut_; }
    void Failed(const Account& account, Step step, reg::Status status) override {
        AccountLines lines(output_, account.name);
        lines.Err(L"tallowick-cli: " + AccountFailure(account, step, status) + L".\r\n");
        whole_.Fail();
    }

private:
    Command& whole_;
    Output& output_;
    std::optional<std::wstring_view> only_;
    Job job_;
    bool cut_ = false;
};

}  // namespace

std::wstring Usage(std::wstring_view verb) {
    std::wstring usage = verb.empty() ? std::wstring(kAbout) + L"\r\n" : L"";
    for (const auto& [name, lines] : kVerbUsage)
        if (verb.empty() || SameAsciiNoCase(verb, name)) usage += lines;
    return usage + (verb.empty() ? std::wstring(kOthers) : L"") + std::wstring(kRules);
}

int Run(std::span<const std::wstring_view> arguments, std::wstring_view version, reg::RegistryReader& registry,
        ScriptShellFactory& shells, reg::NameArchive& archive, Accounts& accounts, Output& output) {
    Command command(registry, shells, archive, output);
    if (arguments.empty()) return command.BadUsage(L"say what to do.");
    if (arguments.size() == 1 && (IsHelp(arguments[0]) || IsSwitch(arguments[0], L"version"))) {
        command.Out(IsHelp(arguments[0]) ? Usage() : L"tallowick-cli " + std::wstring(version) + L"\r\n");
        return command.ExitCode();
    }
    const std::wstring_view verb = arguments[0];
    if (std::ranges::none_of(kVerbUsage, [&](const auto& known) { return SameAsciiNoCase(verb, known.verb); }))
        return command.BadUsage(L"unknown command " + Quoted(verb) + L".");
    const Arguments rest = Split(arguments.subspan(1), registry);
    if (rest.help) {
        command.Out(Usage(verb));
        return command.ExitCode();
    }
    const auto given = [&](std::wstring_view word) {
        return std::ranges::count_if(rest.switches, [&](std::wstring_view switchGiven) { return IsSwitch(switchGiven, word); });
    };
    const auto has = [&](std::wstring_view word) { return given(word) != 0; };
    // /user:ACCOUNT, where given.
    std::optional<std::wstring_view> only;
    for (const std::wstring_view switchGiven : rest.switches)
        if (const auto account = SwitchValue(switchGiven, L"user:")) only = *account;
    // An unknown switch, one given twice, or accounts named in two ways or
    // not at all, is bad usage: each is a slip that the script's author would
    // want to hear of.
    const auto badSwitch = [&](std::initializer_list<std::wstring_view> allowed) -> std::optional<int> {
        for (const std::wstring_view switchGiven : rest.switches)
            if (std::ranges::none_of(allowed, [&](std::wstring_view word) { return IsSwitch(switchGiven, word); }))
                return command.BadUsage(L"unknown switch " + Quoted(switchGiven) +
                                        (IsSwitch(switchGiven, L"user") ? L"; an account is named as /user:ACCOUNT." : L"."));
        for (const std::wstring_view word : allowed)
            if (given(word) > 1) return command.BadUsage(L"the switch /" + std::wstring(word) + L" is given twice.");
        if (only && only->empty()) return command.BadUsage(L"say which account after /user:, as DOMAIN\\user, user or its SID.");
        if (only && has(L"allusers")) return command.BadUsage(L"give /allusers or /user:ACCOUNT, not both.");
        return std::nullopt;
    };

    EveryAccount::Job job;
    if (SameAsciiNoCase(verb, L"list")) {
        if (const auto bad = badSwitch({L"leftover", L"allusers", L"user:"})) return *bad;
        if (!rest.names.empty()) return command.BadUsage(L"list takes no arguments.");
        job = [leftover = has(L"leftover")](Command& account) { account.List(leftover); };
    } else if (SameAsciiNoCase(verb, L"restore")) {
        if (const auto bad = badSwitch({L"user:"})) return *bad;
        if (rest.names.empty()) return command.BadUsage(L"name the screen names or backup files to restore.");
        job = [&](Command& account) { account.RestoreNames(rest); };
    } else if (SameAsciiNoCase(verb, L"backups")) {
        if (const auto bad = badSwitch({L"delete", L"all", L"allusers", L"user:"})) return *bad;
        const bool all = has(L"all");
        if (!has(L"delete") && (all || !rest.names.empty())) return command.BadUsage(L"backups lists them all; /delete deletes.");
        if (has(L"delete") && all == !rest.names.empty())
            return command.BadUsage(L"name the screen names whose backups to delete, or /all alone.");
        job = [&, all, remove = has(L"delete")](Command& account) {
            if (remove) account.DeleteBackups(rest, all);
            else account.ListBackups();
        };
    } else {
        if (const auto bad = badSwitch({L"all", L"nobackup", L"whatif", L"allusers", L"user:"})) return *bad;
        const bool all = has(L"all");
        if (all == !rest.names.empty()) return command.BadUsage(L"name the screen names to remove, or /all alone.");
        job = [&, all, backUp = !has(L"nobackup"), whatIf = has(L"whatif")](Command& account) {
            account.RemoveNames(rest, all, backUp, whatIf);
        };
    }
    if (!only && !has(L"allusers")) {
        job(command);
        return command.ExitCode();
    }
    EveryAccount visitor(command, output, only, job);
    const Accounts::Visited visited = accounts.ForEach(visitor);
    if (visited == Accounts::Visited::kNotElevated)
        command.Err(L"tallowick-cli: " + std::wstring(only ? L"/user:" : L"/allusers") +
                    L" needs an elevated prompt (Run as administrator) or the SYSTEM account.\r\n");
    if (visited == Accounts::Visited::kNoProfileList)
        command.Err(L"tallowick-cli: the list of the PC's profiles (HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList) "
                    L"could not be read.\r\n");
    if (visited == Accounts::Visited::kStopped || visitor.Cut())
        command.Err(L"tallowick-cli: stopped before all was done; no account's registry is left loaded.\r\n");
    if (visited != Accounts::Visited::kEvery || visitor.Cut()) command.Fail();
    return command.ExitCode();
}

std::size_t ConsolePiece(std::wstring_view text, std::size_t limit) {
    if (text.size() <= limit) return text.size();
    const bool splitsPair = limit > 1 && reg::IsHighSurrogate(text[limit - 1]);
    return splitsPair ? limit - 1 : limit;
}

}  // namespace cli

#include "platform/cli/Win32Accounts.h"

#include <windows.h>

#include <sddl.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <string>
#include <vector>

#include "platform/common/NewerApis.h"
#include "platform/common/Win32Archive.h"
#include "platform/common/Win32Handles.h"
#include "platform/common/Win32Registry.h"
#include "platform/common/Win32Shell.h"

namespace {

constexpr wchar_t kProfileList[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";

using Profile = cli::Account;

// An administrator's token, and SYSTEM's, hold both; loading and unloading a
// hive needs them enabled. Without them nothing is read at all.
bool EnableHivePrivileges() {
    UniqueHandleObject token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put())) return false;
    for (const wchar_t* name : {SE_BACKUP_NAME, SE_RESTORE_NAME}) {
        TOKEN_PRIVILEGES privileges{1, {{{0, 0}, SE_PRIVILEGE_ENABLED}}};
        // AdjustTokenPrivileges succeeds for a privilege the token lacks, and says so only by the last error.
        if (!LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid) ||
            !AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr) || GetLastError() != ERROR_SUCCESS)
            return false;
    }
    return true;
}

bool IsFullPath(std::wstring_view path) {
    return path.starts_with(L"\\\\") || (path.size() >= 3 && path[1] == L':' && path[2] == L'\\');
}

// A full path of an account's, its machine's variables (%SystemDrive%)
// expanded; or none. Any other variable, such as %USERNAME% or %HOMEPATH%,
// would be this process's, and lead to another account's folder; so would a
// relative path, to the current folder.
std::wstring MachineExpanded(const std::wstring& path) {
    constexpr std::array<std::wstring_view, 6> kMachine = {L"SystemDrive",     L"SystemRoot", L"windir", L"ProgramData",
                                                           L"ALLUSERSPROFILE", L"PUBLIC"};
    for (std::size_t open = path.find(L'%'), close = 0; open != std::wstring::npos; open = path.find(L'%', close + 1)) {
        close = path.find(L'%', open + 1);
        if (close == std::wstring::npos) break;  // a lone % stays as it is
        const std::wstring_view name = std::wstring_view(path).substr(open + 1, close - open - 1);
        if (std::ranges::none_of(kMachine, [&](std::wstring_view machine) { return NewerApis::Get().SameNameNoCase(name, machine); }))
            return {};
    }
    std::array<wchar_t, std::size_t{4} * MAX_PATH> expanded{};
    const DWORD length = ExpandEnvironmentStringsW(path.c_str(), expanded.data(), static_cast<DWORD>(expanded.size()));
    const std::wstring folder = length == 0 || length > expanded.size() ? std::wstring() : std::wstring(expanded.data());
    return IsFullPath(folder) ? folder : std::wstring();
}

// A folder's path as the registry stores it, unexpanded; empty where the
// value is missing or holds no text.
std::wstring StoredPath(HKEY parent, const wchar_t* key, const wchar_t* value) {
    std::array<wchar_t, std::size_t{4} * MAX_PATH> stored{};
    DWORD size = sizeof stored - sizeof(wchar_t), type = REG_NONE;
    UniqueHKey opened;
    if (RegOpenKeyExW(parent, key, 0, KEY_QUERY_VALUE, opened.put()) != ERROR_SUCCESS ||
        RegQueryValueExW(opened.get(), value, nullptr, &type, reinterpret_cast<BYTE*>(stored.data()), &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return {};
    return stored.data();
}

// The profile's folder; where it is no full path of its own, as stored, which
// no account is then loaded from.
bool ProfileFolder(HKEY list, const std::wstring& sid, std::wstring& folder) {
    const std::wstring stored = StoredPath(list, sid.c_str(), L"ProfileImagePath");
    folder = MachineExpanded(stored);
    if (folder.empty()) folder = stored;
    return !folder.empty();
}

// ERROR_SUCCESS, or why ProfileList cannot be read whole.
LSTATUS ReadProfiles(std::vector<Profile>& profiles) {
    UniqueHKey list;
    if (const LSTATUS opened = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProfileList, 0, KEY_READ, list.put()); opened != ERROR_SUCCESS)
        return opened;
    std::array<wchar_t, 256> name{};
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(name.size());
        const LSTATUS status = RegEnumKeyExW(list.get(), index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
        if (status != ERROR_SUCCESS) return status;
        Profile profile{{}, std::wstring(name.data(), length), {}};
        // LocalSystem, LocalService and NetworkService: the system's own.
        if (profile.sid == L"S-1-5-18" || profile.sid == L"S-1-5-19" || profile.sid == L"S-1-5-20") continue;
        // Windows renames a profile it could not load to "SID.bak": no account.
        if (UniqueLocal sid; !ConvertStringSidToSidW(profile.sid.c_str(), sid.put())) continue;
        if (ProfileFolder(list.get(), profile.sid, profile.folder)) profiles.push_back(std::move(profile));
    }
}

// DOMAIN\user, or the SID where no account of that SID is known (a deleted
// account, a domain out of reach).
std::wstring AccountName(const std::wstring& sidText) {
    UniqueLocal sid;
    std::array<wchar_t, 256> name{}, domain{};
    DWORD nameLength = static_cast<DWORD>(name.size()), domainLength = static_cast<DWORD>(domain.size());
    SID_NAME_USE use{};
    if (!ConvertStringSidToSidW(sidText.c_str(), sid.put()) ||
        !LookupAccountSidW(nullptr, sid.get(), name.data(), &nameLength, domain.data(), &domainLength, &use))
        return sidText;
    return domainLength != 0 ? std::wstring(domain.data()) + L'\\' + name.data() : std::wstring(name.data());
}

// One account's registry. RegUnLoadKeyW fails while any handle into the
// hive is open, so the root is closed first, and every handle below it was
// closed with the objects that used it.
class AccountHive {
public:
    AccountHive() = default;
    AccountHive(const AccountHive&) = delete;
    AccountHive& operator=(const AccountHive&) = delete;
    ~AccountHive() { Unload(); }

    // A signed-in user's hive is used where the system loaded it: a second
    // copy would be written back over the first.
    LSTATUS Open(const Profile& profile) {
        const LSTATUS signedIn = RegOpenKeyExW(HKEY_USERS, profile.sid.c_str(), 0, KEY_READ | KEY_WRITE, root_.put());
        shellRoot_ = L"HKEY_USERS\\" + profile.sid;
        if (signedIn != ERROR_FILE_NOT_FOUND) return signedIn;
        const std::wstring key = std::wstring(cli::kHiveKeyPrefix) + profile.sid;
        // A key of that name is another run's hive, or one left by a run that
        // was ended: never ours to load over or to unload.
        if (UniqueHKey held; RegOpenKeyExW(HKEY_USERS, key.c_str(), 0, KEY_QUERY_VALUE, held.put()) == ERROR_SUCCESS)
            return ERROR_ALREADY_EXISTS;
        const LSTATUS loaded = RegLoadKeyW(HKEY_USERS, key.c_str(), (profile.folder + L"\\NTUSER.DAT").c_str());
        if (loaded != ERROR_SUCCESS) {
            // Wine leaves the key made, and empty, when the file is no hive;
            // on Windows there is nothing to unload, and the call says so.
            // ERROR_ALREADY_EXISTS: another run loaded it since we looked.
            if (loaded != ERROR_ALREADY_EXISTS) RegUnLoadKeyW(HKEY_USERS, key.c_str());
            return loaded;
        }
        loadedAs_ = key;
        shellRoot_ = L"HKEY_USERS\\" + key;
        return RegOpenKeyExW(HKEY_USERS, key.c_str(), 0, KEY_READ | KEY_WRITE, root_.put());
    }
    HKEY Root() const { return root_.get(); }
    const std::wstring& ShellRoot() const { return shellRoot_; }

    // ERROR_SUCCESS too where nothing was loaded.
    LSTATUS Unload() {
        root_.reset();
        if (loadedAs_.empty()) return ERROR_SUCCESS;
        const LSTATUS status = RegUnLoadKeyW(HKEY_USERS, loadedAs_.c_str());
        loadedAs_.clear();
        return status;
    }

private:
    UniqueHKey root_;
    std::wstring loadedAs_, shellRoot_;
};

// Held while an account is visited, from the load of its hive to the unload.
// Ctrl+C, Ctrl+Break and the console's closing run the handler on a thread of
// their own, which stops the run before its next name, then waits here for
// the account's hive to be unloaded, and lets no other be loaded: the run then
// stops, or the process ends, with no hive left loaded.
struct StopLock {
    StopLock() { InitializeCriticalSection(&section); }
    CRITICAL_SECTION section{};
    std::atomic<bool> stopped = false;
};
StopLock& Stop() {
    static StopLock lock;
    return lock;
}

class Held {
public:
    Held() { EnterCriticalSection(&Stop().section); }
    ~Held() { LeaveCriticalSection(&Stop().section); }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
};

// Stopped first, then held: the run, between two accounts, may take the lock
// again before this thread does, and must then see that it is to stop.
BOOL WINAPI OnConsoleControl(DWORD) {
    Stop().stopped = true;
    const Held held;
    return TRUE;
}

class ConsoleControlHandler {
public:
    ConsoleControlHandler() { SetConsoleCtrlHandler(OnConsoleControl, TRUE); }
    ~ConsoleControlHandler() { SetConsoleCtrlHandler(OnConsoleControl, FALSE); }
    ConsoleControlHandler(const ConsoleControlHandler&) = delete;
    ConsoleControlHandler& operator=(const ConsoleControlHandler&) = delete;
};

// A folder as a profile's registry names it, or none: %USERPROFILE% is that
// account's profile folder, not the profile of whoever runs this.
std::wstring ExpandedFor(const Profile& profile, std::wstring path) {
    constexpr std::wstring_view kProfile = L"%USERPROFILE%";
    if (NewerApis::Get().SameNameNoCase(std::wstring_view(path).substr(0, kProfile.size()), kProfile))
        path.replace(0, kProfile.size(), profile.folder);
    return MachineExpanded(path);
}

// The account's own local application data folder: where its shell folders
// say, or else where Windows puts it, AppData\Local since Vista and Local
// Settings\Application Data on XP.
std::wstring LocalAppDataOf(HKEY root, const Profile& profile) {
    if (const std::wstring stored =
            StoredPath(root, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders", L"Local AppData");
        !stored.empty())
        return ExpandedFor(profile, stored);
    const std::wstring vista = profile.folder + L"\\AppData\\Local";
    const DWORD attributes = GetFileAttributesW(vista.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0
               ? vista
               : profile.folder + L"\\Local Settings\\Application Data";
}

}  // namespace

cli::Accounts::Visited Win32Accounts::ForEach(cli::AccountVisitor& visitor) {
    using Step = cli::AccountVisitor::Step;
    std::vector<Profile> profiles;
    if (!EnableHivePrivileges()) return Visited::kNotElevated;
    if (const LSTATUS read = ReadProfiles(profiles); read != ERROR_SUCCESS)
        return read == ERROR_ACCESS_DENIED ? Visited::kNotElevated : Visited::kNoProfileList;
    for (Profile& profile : profiles) profile.name = AccountName(profile.sid);
    const ConsoleControlHandler handler;
    for (const Profile& profile : visitor.Chosen(std::move(profiles))) {
        const Held held;
        if (Stop().stopped) return Visited::kStopped;
        AccountHive hive;
        if (const LSTATUS status = IsFullPath(profile.folder) ? hive.Open(profile) : ERROR_BAD_PATHNAME; status != ERROR_SUCCESS) {
            visitor.Failed(profile, Step::kNotLoaded, status);
            continue;
        }
        {
            // Backups go where the account itself keeps them, owned by it,
            // so that its user can restore them signed in.
            const std::wstring local = LocalAppDataOf(hive.Root(), profile);
            Win32Registry registry(hive.Root());
            AutomationOrApiShellFactory shells(hive.ShellRoot());
            Win32Archive archive(hive.Root(), local.empty() ? local : local + L"\\" + std::wstring(kRemovedFolder), profile.sid);
            cli::AccountRegistry opened{registry, shells, archive, Stop().stopped};
            visitor.Opened(profile, opened);
        }
        if (const LSTATUS status = hive.Unload(); status != ERROR_SUCCESS) visitor.Failed(profile, Step::kNotUnloaded, status);
    }
    return Visited::kEvery;
}

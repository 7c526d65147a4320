#include "platform/common/Win32Archive.h"

#include <sddl.h>
#include <shlobj.h>

#include <algorithm>
#include <array>
#include <cwchar>
#include <string>

#include "platform/common/NewerApis.h"
#include "platform/common/Win32Handles.h"
#include "platform/common/Win32Registry.h"
#include "platform/common/Win32Shell.h"
#include "registry/BackupFileName.h"
#include "registry/RegFileReader.h"
#include "registry/RegFileWriter.h"
#include "registry/ValueTypes.h"

// The logic folders name value types by these numbers, having no Win32 header.
static_assert(reg::kRegNone == REG_NONE && reg::kRegSz == REG_SZ && reg::kRegExpandSz == REG_EXPAND_SZ &&
              reg::kRegBinary == REG_BINARY && reg::kRegDword == REG_DWORD && reg::kRegLink == REG_LINK &&
              reg::kRegMultiSz == REG_MULTI_SZ && reg::kRegQword == REG_QWORD);

namespace {

// Every key is opened without following a link: read through one, the
// backup would hold the target's data, and the removal delete it.
// Enumeration answers ERROR_MORE_DATA when another process made a name or
// data longer since the key's sizes were asked: the sizes are asked again
// and the same index read anew.
LSTATUS ReadTree(HKEY key, reg::KeyTree& tree) {
    DWORD maxSubkey = 0, maxValueName = 0, maxData = 0;
    for (DWORD index = 0;;) {
        if (const LSTATUS status = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, &maxSubkey, nullptr,
                                                    nullptr, &maxValueName, &maxData, nullptr, nullptr);
            status != ERROR_SUCCESS)
            return status;
        std::vector<wchar_t> name(maxValueName + 1);
        std::vector<BYTE> data(maxData + 1);
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD size = static_cast<DWORD>(data.size());
        DWORD type = 0;
        const LSTATUS status = RegEnumValueW(key, index, name.data(), &nameLength, nullptr, &type, data.data(), &size);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status == ERROR_MORE_DATA) continue;
        if (status != ERROR_SUCCESS) return status;
        tree.values.push_back({std::wstring(name.data(), nameLength), type,
                               std::vector<std::uint8_t>(data.begin(), data.begin() + size)});
        ++index;
    }
    for (DWORD index = 0;;) {
        std::vector<wchar_t> name(maxSubkey + 1);
        DWORD nameLength = static_cast<DWORD>(name.size());
        const LSTATUS status = RegEnumKeyExW(key, index, name.data(), &nameLength, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status == ERROR_MORE_DATA) {
            if (const LSTATUS info = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, &maxSubkey, nullptr,
                                                      nullptr, nullptr, nullptr, nullptr, nullptr);
                info != ERROR_SUCCESS)
                return info;
            continue;
        }
        if (status != ERROR_SUCCESS) return status;
        tree.subkeys.push_back({std::wstring(name.data(), nameLength), {}, {}});
        ++index;
    }
    for (reg::KeyTree& subkey : tree.subkeys) {
        UniqueHKey child;
        if (const LSTATUS status = RegOpenKeyExW(key, subkey.name.c_str(), REG_OPTION_OPEN_LINK, KEY_READ, child.put());
            status != ERROR_SUCCESS)
            return status;
        if (const LSTATUS status = ReadTree(child.get(), subkey); status != ERROR_SUCCESS) return status;
    }
    return ERROR_SUCCESS;
}

// A link read without following it shows its target as a REG_LINK value;
// no settings of the messenger's are of that type.
bool HoldsLink(const reg::KeyTree& tree) {
    return std::ranges::any_of(tree.values, [](const reg::ValueData& value) { return value.type == REG_LINK; }) ||
           std::ranges::any_of(tree.subkeys, HoldsLink);
}

LSTATUS ReadValue(HKEY key, const std::wstring& name, reg::ValueData& value) {
    DWORD size = 0;
    for (LSTATUS status = RegQueryValueExW(key, name.c_str(), nullptr, nullptr, nullptr, &size);;) {
        if (status != ERROR_SUCCESS) return status;
        // One byte at least: with no buffer the call only measures.
        std::vector<BYTE> data(size + 1);
        size = static_cast<DWORD>(data.size());
        DWORD type = 0;
        status = RegQueryValueExW(key, name.c_str(), nullptr, &type, data.data(), &size);
        if (status == ERROR_MORE_DATA) {
            status = ERROR_SUCCESS;
            continue;
        }
        if (status != ERROR_SUCCESS) return status;
        value = {name, type, std::vector<std::uint8_t>(data.begin(), data.begin() + size)};
        return ERROR_SUCCESS;
    }
}

// The key's name as the registry spells it, which a case-insensitive open
// does not tell: the last part of its full name. Only ntdll answers that.
std::wstring NameAsStored(HKEY key, const std::wstring& asOpened) {
    using QueryKey = LONG(NTAPI*)(HANDLE, int, PVOID, ULONG, PULONG);
    constexpr int kKeyNameInformation = 3;
    const auto query = FindExport<QueryKey>(GetModuleHandleW(L"ntdll.dll"), "NtQueryKey");
    if (query == nullptr) return asOpened;
    std::vector<ULONG> buffer(1024);
    ULONG needed = 0;
    if (query(key, kKeyNameInformation, buffer.data(), static_cast<ULONG>(buffer.size() * sizeof(ULONG)), &needed) < 0)
        return asOpened;
    const std::wstring_view full(reinterpret_cast<const wchar_t*>(buffer.data() + 1), buffer[0] / sizeof(wchar_t));
    const std::wstring_view last = full.substr(full.rfind(L'\\') + 1);
    return NewerApis::Get().SameNameNoCase(last, asOpened) ? std::wstring(last) : asOpened;
}

// The registry "adds" a terminating NUL to string data whose next character
// in memory happens to be NUL: two bytes that are not NUL follow the data, so
// that every value is stored with exactly its own bytes.
LSTATUS WriteValue(HKEY key, const reg::ValueData& value) {
    std::vector<BYTE> data(value.bytes.begin(), value.bytes.end());
    data.insert(data.end(), {0xFF, 0xFF});
    return RegSetValueExW(key, value.name.c_str(), 0, value.type, data.data(), static_cast<DWORD>(value.bytes.size()));
}

// What one restore wrote, so that a conflict or a failed write takes back
// exactly that and nothing another program made meanwhile: the values it
// wrote, then the keys it made, deepest first, each only while it is empty.
class RestoreWrites {
public:
    RestoreWrites() = default;
    RestoreWrites(const RestoreWrites&) = delete;
    RestoreWrites& operator=(const RestoreWrites&) = delete;
    ~RestoreWrites() {
        if (kept_) return;
        for (std::size_t i = values_.size(); i-- > 0;) RegDeleteValueW(values_[i].first, values_[i].second.c_str());
        for (std::size_t i = made_.size(); i-- > 0;) {
            const MadeKey& made = made_[i];
            DWORD subkeys = 1, values = 1;
            if (RegQueryInfoKeyW(made.key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                                 nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
                subkeys == 0 && values == 0)
                RegDeleteKeyW(made.parent, made.name.c_str());
        }
    }
    void Keep() { kept_ = true; }

    // A key that was there at the check is opened, and must still be; any
    // other is made, and one that another program made since stops it.
    HKEY OpenOrMake(HKEY parent, const std::wstring& name, bool existed) {
        UniqueHKey key;
        DWORD disposition = 0;
        const LSTATUS status =
            existed ? OpenWithoutLinks(parent, name, KEY_READ | KEY_WRITE, key)
                    : RegCreateKeyExW(parent, name.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, key.put(),
                                      &disposition);
        if (status != ERROR_SUCCESS || (!existed && disposition != REG_CREATED_NEW_KEY)) return nullptr;
        if (!existed) made_.push_back({parent, name, key.get()});
        return open_.emplace_back(std::move(key)).get();
    }

    // The last look before the write: a value there now appeared since the
    // check, and is never written over.
    bool WriteNew(HKEY key, const reg::ValueData& value) {
        if (RegQueryValueExW(key, value.name.c_str(), nullptr, nullptr, nullptr, nullptr) != ERROR_FILE_NOT_FOUND ||
            WriteValue(key, value) != ERROR_SUCCESS)
            return false;
        values_.emplace_back(key, value.name);
        return true;
    }

private:
    struct MadeKey {
        HKEY parent;
        std::wstring name;
        HKEY key;
    };
    std::vector<UniqueHKey> open_;
    std::vector<std::pair<HKEY, std::wstring>> values_;
    std::vector<MadeKey> made_;
    bool kept_ = false;
};

const reg::KeyTree* Subkey(const reg::KeyTree* tree, const std::wstring& name) {
    if (tree == nullptr) return nullptr;
    const auto found = std::ranges::find_if(
        tree->subkeys, [&](const reg::KeyTree& subkey) { return NewerApis::Get().SameNameNoCase(subkey.name, name); });
    return found == tree->subkeys.end() ? nullptr : &*found;
}

// The Users key, made one key at a time where it is missing, so that a
// restore that fails takes back the path it made as well. A link on the path
// stops it: made through one, the keys would land wherever it leads.
HKEY OpenOrMakePath(RestoreWrites& writes, HKEY root, std::wstring_view path) {
    HKEY key = root;
    for (std::size_t start = 0; key != nullptr && start <= path.size();) {
        const std::size_t end = std::min(path.find(L'\\', start), path.size());
        const std::wstring part(path.substr(start, end - start));
        UniqueHKey probe;
        const LSTATUS found = OpenWithoutLinks(key, part, KEY_READ, probe);
        if (found != ERROR_SUCCESS && found != ERROR_FILE_NOT_FOUND) return nullptr;
        key = writes.OpenOrMake(key, part, found == ERROR_SUCCESS);
        start = end + 1;
    }
    return key;
}

bool WriteMissing(RestoreWrites& writes, HKEY parent, const reg::KeyTree& missing, const reg::KeyTree* present) {
    HKEY key = writes.OpenOrMake(parent, missing.name, present != nullptr);
    if (key == nullptr) return false;
    for (const reg::ValueData& value : missing.values)
        if (!writes.WriteNew(key, value)) return false;
    for (const reg::KeyTree& subkey : missing.subkeys)
        if (!WriteMissing(writes, key, subkey, Subkey(present, subkey.name))) return false;
    return true;
}

// The file API takes a path of any length after \\?\ (\\?\UNC\ for a share),
// which it then takes literally: it is made whole first.
std::wstring ForFileApi(const std::wstring& path) {
    constexpr std::size_t kLongestDirectory = MAX_PATH - 12;
    if (path.size() < kLongestDirectory || path.starts_with(L"\\\\?\\")) return path;
    std::wstring full(GetFullPathNameW(path.c_str(), 0, nullptr, nullptr), L'\0');
    full.resize(GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr));
    if (full.empty()) return path;
    return full.starts_with(L"\\\\") ? L"\\\\?\\UNC\\" + full.substr(2) : L"\\\\?\\" + full;
}

bool MakeFolder(const std::wstring& path, SECURITY_ATTRIBUTES* security) {
    return CreateDirectoryW(ForFileApi(path).c_str(), security) || GetLastError() == ERROR_ALREADY_EXISTS;
}

// Owned by the account, and open to it, SYSTEM and the Administrators alone,
// as its own local application data folder is: made by an administrator's run
// as they would be by default, the backups would be the administrator's.
// Setting another account as owner takes SeRestorePrivilege, which a run over
// every account has enabled. No SID: the folder's own access is inherited.
class OwnedBy {
public:
    OwnedBy(const std::wstring& sid, bool folder) {
        if (sid.empty()) return;
        std::wstring sddl = L"O:" + sid + L"D:P";
        for (const std::wstring_view trustee : {std::wstring_view(sid), std::wstring_view(L"SY"), std::wstring_view(L"BA")})
            sddl.append(L"(A;").append(folder ? L"OICI" : L"").append(L";FA;;;").append(trustee).append(L")");
        made_ = ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, descriptor_.put(), nullptr) != 0;
        attributes_.lpSecurityDescriptor = descriptor_.get();
    }
    bool Made() const { return made_; }
    SECURITY_ATTRIBUTES* Attributes() { return descriptor_ ? &attributes_ : nullptr; }

private:
    UniqueLocal descriptor_;
    SECURITY_ATTRIBUTES attributes_{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
    bool made_ = true;
};

// The logon sets %LOCALAPPDATA%, except for batch and S4U logons and
// runas /noprofile: then the shell tells the folder. shell32 is loaded only
// then, from System32: linked, it would load at every start, removal or not.
std::wstring LocalAppData() {
    std::wstring folder(MAX_PATH, L'\0');
    for (DWORD length = 0;;) {
        length = GetEnvironmentVariableW(L"LOCALAPPDATA", folder.data(), static_cast<DWORD>(folder.size()));
        if (length < folder.size()) {
            folder.resize(length);
            break;
        }
        folder.resize(length);
    }
    if (!folder.empty()) return folder;
    using GetFolderPath = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPWSTR);
    static const auto getFolderPath = FindExport<GetFolderPath>(LoadFromSystem32(L"shell32.dll"), "SHGetFolderPathW");
    if (getFolderPath == nullptr) return {};
    std::array<wchar_t, MAX_PATH> shellFolder{};
    if (FAILED(getFolderPath(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT,
                             shellFolder.data())))
        return {};
    return shellFolder.data();
}

}  // namespace

reg::ArchiveStatus Win32Archive::Snapshot(std::wstring_view usersKeyPath, std::wstring_view name,
                                          reg::NameSnapshot& snapshot) {
    using enum reg::ArchiveStatus;
    snapshot = {std::wstring(name), {}, {}};
    UniqueHKey users;
    const LSTATUS opened = OpenWithoutLinks(root_, usersKeyPath, KEY_READ, users);
    if (opened == ERROR_FILE_NOT_FOUND) return kDone;
    if (opened == reg::kLinkOnPath) return kHoldsLink;
    if (opened != ERROR_SUCCESS) return kUnreadable;

    reg::ValueData value;
    const LSTATUS read = ReadValue(users.get(), snapshot.name, value);
    if (read == ERROR_SUCCESS) snapshot.value = std::move(value);
    else if (read != ERROR_FILE_NOT_FOUND) return kUnreadable;

    UniqueHKey key;
    const LSTATUS keyOpened = RegOpenKeyExW(users.get(), snapshot.name.c_str(), REG_OPTION_OPEN_LINK, KEY_READ, key.put());
    if (NoSuchKey(keyOpened, name)) return kDone;
    if (keyOpened != ERROR_SUCCESS) return kUnreadable;
    snapshot.key = reg::KeyTree{NameAsStored(key.get(), snapshot.name), {}, {}};
    if (ReadTree(key.get(), *snapshot.key) != ERROR_SUCCESS) return kUnreadable;
    return HoldsLink(*snapshot.key) ? kHoldsLink : kDone;
}

namespace {

// ntdll's, on every NT: the one call that deletes the key a handle holds,
// where every other takes a path, which is looked up anew. Found at run
// time, as NtQueryKey is: the exes import nothing from ntdll.
LONG DeleteKeyByHandle(HKEY key) {
    using DeleteKey = LONG(NTAPI*)(HANDLE);
    static const auto deleteKey = FindExport<DeleteKey>(GetModuleHandleW(L"ntdll.dll"), "NtDeleteKey");
    return deleteKey != nullptr ? deleteKey(key) : -1;
}

// Each key is opened without following a link and compared with what was
// saved, its subkeys gone first; then deleted through that same handle. By a
// path looked up again, a key swapped for a link meanwhile would lead
// elsewhere, and a setting written meanwhile would go with no copy anywhere.
reg::ArchiveStatus DeleteAsSaved(HKEY parent, const reg::KeyTree& saved) {
    using enum reg::ArchiveStatus;
    UniqueHKey key;
    const LSTATUS opened =
        RegOpenKeyExW(parent, saved.name.c_str(), REG_OPTION_OPEN_LINK, KEY_READ | DELETE, key.put());
    if (NoSuchKey(opened, saved.name)) return kDone;
    if (opened != ERROR_SUCCESS) return kDenied;
    if (IsRegistryLink(key.get())) return kHoldsLink;
    for (const reg::KeyTree& subkey : saved.subkeys)
        if (const reg::ArchiveStatus status = DeleteAsSaved(key.get(), subkey); status != kDone) return status;
    reg::KeyTree now{saved.name, {}, {}};
    if (ReadTree(key.get(), now) != ERROR_SUCCESS) return kDenied;
    if (now.values != saved.values || !now.subkeys.empty()) return kChanged;
    return DeleteKeyByHandle(key.get()) >= 0 ? kDone : kDenied;
}

}  // namespace

reg::ArchiveStatus Win32Archive::DeleteSavedKey(std::wstring_view usersKeyPath, const reg::KeyTree& saved) {
    UniqueHKey users;
    const LSTATUS opened = OpenWithoutLinks(root_, usersKeyPath, KEY_READ, users);
    if (opened == ERROR_FILE_NOT_FOUND) return reg::ArchiveStatus::kDone;
    if (opened == reg::kLinkOnPath) return reg::ArchiveStatus::kHoldsLink;
    return opened == ERROR_SUCCESS ? DeleteAsSaved(users.get(), saved) : reg::ArchiveStatus::kDenied;
}

std::wstring RemovedFolder() {
    const std::wstring local = LocalAppData();
    return local.empty() ? local : local + L'\\' + std::wstring(kRemovedFolder);
}

namespace {

// FileTimeToLocalFileTime takes the local clock's offset as it is now,
// summer time or not.
reg::Moment MomentOf(const FILETIME& time) {
    constexpr ULONGLONG kTicksTo1970 = 116444736000000000ULL, kTicksPerMillisecond = 10000;
    FILETIME local{};
    FileTimeToLocalFileTime(&time, &local);
    const auto ticks = [](const FILETIME& t) { return static_cast<LONGLONG>(ULONGLONG{t.dwHighDateTime} << 32 | t.dwLowDateTime); };
    return {(ticks(time) - static_cast<LONGLONG>(kTicksTo1970)) / static_cast<LONGLONG>(kTicksPerMillisecond),
            static_cast<std::int32_t>((ticks(local) - ticks(time)) / (60 * 10'000'000LL))};
}

}  // namespace

reg::Moment Win32Archive::Now() {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    return MomentOf(now);
}

// One new file per removal; a second removal of the name within the same
// millisecond gets a number after the time rather than overwriting the first.
reg::ArchiveStatus Win32Archive::SaveBackup(std::wstring_view name, const reg::Moment& removed,
                                            const std::vector<std::uint8_t>& fileBytes, std::wstring& path) {
    using enum reg::ArchiveStatus;
    const std::wstring folder = Folder();
    OwnedBy folderAccess(ownerSid_, true), fileAccess(ownerSid_, false);
    if (folder.empty() || !folderAccess.Made() || !fileAccess.Made()) return kNoBackupFolder;
    if (!MakeFolder(folder.substr(0, folder.rfind(L'\\')), folderAccess.Attributes()) || !MakeFolder(folder, folderAccess.Attributes()))
        return kNoBackupFolder;

    for (int attempt = 1; attempt < 100; ++attempt) {
        path = folder + L'\\' + reg::BackupFileName(removed, attempt, name);
        UniqueFile file(CreateFileW(ForFileApi(path).c_str(), GENERIC_WRITE, 0, fileAccess.Attributes(), CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            if (GetLastError() == ERROR_FILE_EXISTS) continue;
            return kNotWritten;
        }
        DWORD written = 0;
        const bool complete = WriteFile(file.get(), fileBytes.data(), static_cast<DWORD>(fileBytes.size()), &written,
                                        nullptr) &&
                              written == fileBytes.size() && FlushFileBuffers(file.get()) && CloseHandle(file.release());
        if (!complete) {
            file.reset();
            DeleteFileW(ForFileApi(path).c_str());
        }
        return complete ? kDone : kNotWritten;
    }
    return kNotWritten;
}

// The folder, Tallowick's folder above it, or the local application data
// folder above that must be there: SaveBackup makes only Tallowick's two.
reg::ArchiveStatus Win32Archive::BackupFolder(std::wstring& folder) {
    using enum reg::ArchiveStatus;
    folder = Folder();
    std::wstring there = folder;
    for (int level = 0; level < 3 && !there.empty(); ++level) {
        if (const DWORD attributes = GetFileAttributesW(ForFileApi(there).c_str()); attributes != INVALID_FILE_ATTRIBUTES)
            return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? kDone : kNoBackupFolder;
        const std::size_t up = there.rfind(L'\\');
        there.resize(up == std::wstring::npos ? 0 : up);
    }
    return kNoBackupFolder;
}

bool Win32Archive::DeleteBackup(const std::wstring& path) { return DeleteFileW(ForFileApi(path).c_str()) != 0; }

// The last written first: the order of backups whose removals record the
// same time.
std::vector<reg::BackupFile> Win32Archive::Backups() {
    std::vector<reg::BackupFile> found;
    const std::wstring folder = Folder();
    WIN32_FIND_DATAW data{};
    HANDLE search = folder.empty() ? INVALID_HANDLE_VALUE : FindFirstFileW(ForFileApi(folder + L"\\*.reg").c_str(), &data);
    for (bool more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &data) != 0)
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            found.push_back({folder + L'\\' + data.cFileName, MomentOf(data.ftLastWriteTime)});
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
    std::ranges::stable_sort(found, std::ranges::greater{}, [](const reg::BackupFile& file) { return file.modified.utc; });
    return found;
}

void Win32Archive::MarkPartial(const std::wstring& path) {
    const UniqueFile file(CreateFileW(ForFileApi(path).c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    const std::vector<std::uint8_t> mark = reg::PartialRemovalMark();
    DWORD written = 0;
    if (file) WriteFile(file.get(), mark.data(), static_cast<DWORD>(mark.size()), &written, nullptr);
}

reg::FileRead Win32Archive::ReadBackupFile(const std::wstring& path, std::vector<std::uint8_t>& bytes) {
    const UniqueFile file(CreateFileW(ForFileApi(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    const DWORD error = GetLastError();
    if (!file && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)) return reg::FileRead::kMissing;
    LARGE_INTEGER size{};
    if (!file || !GetFileSizeEx(file.get(), &size) || static_cast<ULONGLONG>(size.QuadPart) > reg::kLargestBackup)
        return reg::FileRead::kUnreadable;
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
    DWORD read = 0;
    const bool whole = bytes.empty() || (ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) &&
                                         read == bytes.size());
    return whole ? reg::FileRead::kRead : reg::FileRead::kUnreadable;
}

// The tree before the value, so that the name is listed only once its
// settings are back.
bool Win32Archive::Restore(std::wstring_view usersKeyPath, const reg::NameSnapshot& missing,
                           const reg::NameSnapshot& present) {
    RestoreWrites writes;
    HKEY users = OpenOrMakePath(writes, root_, usersKeyPath);
    if (users == nullptr) return false;
    if (missing.key && !WriteMissing(writes, users, *missing.key, present.key ? &*present.key : nullptr)) return false;
    if (missing.value && !writes.WriteNew(users, *missing.value)) return false;
    writes.Keep();
    return true;
}

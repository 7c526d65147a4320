#include "bench/ScratchUsersKey.h"

#include <array>
#include <cstdio>

#include "screennames/EnumerateValues.h"

namespace bench {
namespace {

// Keys are deleted from the last one back: Wine keeps a key's values and
// subkeys in a sorted array and closes the gap after each deletion, so
// deleting the first one over and over (as RegDeleteTree does) costs time
// quadratic in their number.
LSTATUS DeleteSubkeysFromLast(HKEY key) {
    std::array<wchar_t, 256> name{};
    for (;;) {
        DWORD subkeys = 0;
        LSTATUS status = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                                          nullptr, nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS) return status;
        if (subkeys == 0) return ERROR_SUCCESS;
        for (DWORD index = subkeys; index-- > 0;) {
            DWORD length = static_cast<DWORD>(name.size());
            status = RegEnumKeyExW(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
            if (status == ERROR_NO_MORE_ITEMS) break;  // the key changed under us: count again
            if (status != ERROR_SUCCESS) return status;
            if ((status = RegDeleteTreeW(key, name.data())) != ERROR_SUCCESS) return status;
        }
    }
}

LSTATUS DeleteValuesFromLast(HKEY key) {
    std::vector<wchar_t> name(16384);
    for (;;) {
        DWORD values = 0;
        LSTATUS status = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                                          nullptr, nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS) return status;
        if (values == 0) return ERROR_SUCCESS;
        for (DWORD index = values; index-- > 0;) {
            DWORD length = static_cast<DWORD>(name.size());
            status = RegEnumValueW(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
            if (status == ERROR_NO_MORE_ITEMS) break;
            if (status != ERROR_SUCCESS) return status;
            if ((status = RegDeleteValueW(key, name.data())) != ERROR_SUCCESS) return status;
        }
    }
}

LSTATUS SetString(HKEY key, const wchar_t* name, std::wstring_view text) {
    const std::wstring copy(text);
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(copy.c_str()),
                          static_cast<DWORD>((copy.size() + 1) * sizeof(wchar_t)));
}

LSTATUS SetDword(HKEY key, const wchar_t* name, DWORD value) {
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

}  // namespace

ScratchUsersKey::~ScratchUsersKey() {
    if (!users_) return;
    const LSTATUS emptied = Empty();
    users_.reset();
    LSTATUS removed = ERROR_SUCCESS;
    if (emptied == ERROR_SUCCESS && !createdRoot_.empty()) removed = RegDeleteTreeW(HKEY_CURRENT_USER, createdRoot_.c_str());
    if (emptied != ERROR_SUCCESS || (removed != ERROR_SUCCESS && removed != ERROR_FILE_NOT_FOUND))
        std::fprintf(stderr, "bench: could not delete the scratch names (error %lu); run again with --force\n",
                     static_cast<unsigned long>(emptied != ERROR_SUCCESS ? emptied : removed));
}

ClaimResult ScratchUsersKey::Claim(bool force, std::wstring& why) {
    const std::wstring usersPath(USERS_KEY_PATH);
    // The first missing key on the way down is the one to delete at the end.
    for (std::size_t end = usersPath.find(L'\\'); createdRoot_.empty(); end = usersPath.find(L'\\', end + 1)) {
        const std::wstring prefix = usersPath.substr(0, end);
        UniqueHKey probe;
        const LSTATUS status = RegOpenKeyExW(HKEY_CURRENT_USER, prefix.c_str(), 0, KEY_READ, probe.put());
        if (status == ERROR_FILE_NOT_FOUND) createdRoot_ = prefix;
        else if (status != ERROR_SUCCESS) {
            why = L"cannot open HKCU\\" + prefix + L" (error " + std::to_wstring(status) + L")";
            return ClaimResult::Failed;
        }
        if (end == std::wstring::npos) break;
    }
    options_ = createdRoot_.empty() ? REG_OPTION_NON_VOLATILE : REG_OPTION_VOLATILE;

    const LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, usersPath.c_str(), 0, nullptr, options_,
                                           KEY_READ | KEY_WRITE, nullptr, users_.put(), nullptr);
    if (status != ERROR_SUCCESS) {
        createdRoot_.clear();
        why = L"cannot create the Users key (error " + std::to_wstring(status) + L")";
        return ClaimResult::Failed;
    }
    DWORD subkeys = 0, values = 0;
    RegQueryInfoKeyW(users_.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                     nullptr, nullptr);
    if (values != 0 || subkeys != 0) {
        why = L"the Users key already holds " + std::to_wstring(values) + L" value(s) and " + std::to_wstring(subkeys) +
              L" subkey(s)";
        if (!force) {
            users_.reset();  // nothing of ours to delete
            return ClaimResult::Occupied;
        }
        if (const LSTATUS emptied = Empty(); emptied != ERROR_SUCCESS) {
            why += L"; emptying it failed (error " + std::to_wstring(emptied) + L")";
            return ClaimResult::Failed;
        }
    }
    return ClaimResult::Claimed;
}

LSTATUS ScratchUsersKey::CreateKey(HKEY parent, std::wstring_view name, UniqueHKey& key) const {
    return RegCreateKeyExW(parent, std::wstring(name).c_str(), 0, nullptr, options_,
                           KEY_WRITE, nullptr, key.put(), nullptr);
}

LSTATUS ScratchUsersKey::AddName(std::wstring_view name, bool withSettings) {
    const std::wstring value(name);
    const std::array<BYTE, 8> data{0x01, 0x00, 0x00, 0x00, static_cast<BYTE>(value.size()), 0x00, 0x00, 0x00};
    LSTATUS status = RegSetValueExW(users_.get(), value.c_str(), 0, REG_BINARY, data.data(),
                                    static_cast<DWORD>(data.size()));
    if (status != ERROR_SUCCESS || !withSettings) return status;

    // Two levels with a couple of values each, as a saved login's settings.
    UniqueHKey settings, preferences;
    if ((status = CreateKey(users_.get(), name, settings)) != ERROR_SUCCESS) return status;
    if ((status = SetDword(settings.get(), L"Version", 0x0500)) != ERROR_SUCCESS) return status;
    if ((status = SetString(settings.get(), L"Profile", value)) != ERROR_SUCCESS) return status;
    if ((status = CreateKey(settings.get(), L"Preferences", preferences)) != ERROR_SUCCESS) return status;
    if ((status = SetDword(preferences.get(), L"Sounds", 1)) != ERROR_SUCCESS) return status;
    return SetString(preferences.get(), L"AwayMessage", L"I am away from my computer right now.");
}

LSTATUS ScratchUsersKey::Fill(const std::vector<std::wstring>& names) {
    if (const LSTATUS status = Empty(); status != ERROR_SUCCESS) return status;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (const LSTATUS status = AddName(names[i], i % 2 == 0); status != ERROR_SUCCESS) return status;
    }
    return ERROR_SUCCESS;
}

LSTATUS ScratchUsersKey::Empty() {
    if (const LSTATUS status = DeleteSubkeysFromLast(users_.get()); status != ERROR_SUCCESS) return status;
    return DeleteValuesFromLast(users_.get());
}

bool ScratchUsersKey::HasValue(std::wstring_view name) const {
    return RegQueryValueExW(users_.get(), std::wstring(name).c_str(), nullptr, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS;
}

}  // namespace bench

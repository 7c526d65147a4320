#include "platform/common/Win32Registry.h"

#include <algorithm>
#include <array>
#include <string>

#include "platform/common/NewerApis.h"
#include "platform/common/Win32Handles.h"

namespace {

constexpr std::size_t kLongestKeyName = 255;

// The logic's result codes are the registry's own.
static_assert(reg::kSuccess == ERROR_SUCCESS && reg::kFileNotFound == ERROR_FILE_NOT_FOUND &&
              reg::kMoreData == ERROR_MORE_DATA && reg::kNoMoreItems == ERROR_NO_MORE_ITEMS &&
              reg::kPathNotFound == ERROR_PATH_NOT_FOUND && reg::kSharingViolation == ERROR_SHARING_VIOLATION &&
              reg::kBadDb == ERROR_BADDB && reg::kRegistryCorrupt == ERROR_REGISTRY_CORRUPT &&
              reg::kNotRegistryFile == ERROR_NOT_REGISTRY_FILE && reg::kAccessDenied == ERROR_ACCESS_DENIED &&
              reg::kAlreadyExists == ERROR_ALREADY_EXISTS && reg::kBadPathname == ERROR_BAD_PATHNAME);

class Win32Key final : public reg::OpenedKey {
public:
    explicit Win32Key(UniqueHKey key) : key_(std::move(key)) {}

    reg::Status QueryMaxValueNameLength(std::uint32_t& chars) override {
        DWORD maxName = 0;
        const LSTATUS status = RegQueryInfoKeyW(key_.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                nullptr, &maxName, nullptr, nullptr, nullptr);
        chars = maxName;
        return status;
    }

    // No type and no data are asked for: a value whose data is larger than a
    // buffer must not cost us its name.
    reg::Status EnumValueName(std::uint32_t index, std::span<wchar_t> buffer, std::uint32_t& length) override {
        DWORD chars = static_cast<DWORD>(std::min<std::size_t>(length, buffer.size()));
        const LSTATUS status =
            RegEnumValueW(key_.get(), index, buffer.data(), &chars, nullptr, nullptr, nullptr, nullptr);
        length = chars;
        return status;
    }

    reg::Status EnumSubkeyName(std::uint32_t index, std::wstring& name) override {
        std::array<wchar_t, kLongestKeyName + 2> buffer{};
        DWORD chars = buffer.size();
        const LSTATUS status =
            RegEnumKeyExW(key_.get(), index, buffer.data(), &chars, nullptr, nullptr, nullptr, nullptr);
        name.assign(buffer.data(), status == ERROR_SUCCESS ? chars : 0);
        return status;
    }

    bool HoldsValue(std::wstring_view name) override {
        return RegQueryValueExW(key_.get(), std::wstring(name).c_str(), nullptr, nullptr, nullptr, nullptr) !=
               ERROR_FILE_NOT_FOUND;
    }

private:
    UniqueHKey key_;
};

}  // namespace

// Opened with REG_OPTION_OPEN_LINK, a link shows its target as this value;
// an ordinary key holding such a value is taken for a link too.
bool IsRegistryLink(HKEY key) {
    DWORD type = REG_NONE;
    return RegQueryValueExW(key, L"SymbolicLinkValue", nullptr, &type, nullptr, nullptr) == ERROR_SUCCESS &&
           type == REG_LINK;
}

// REG_OPTION_OPEN_LINK holds for the last key of a path only: a link above it
// would be followed. So each key is opened below the one before, and looked at.
LSTATUS OpenWithoutLinks(HKEY root, std::wstring_view path, REGSAM access, UniqueHKey& key) {
    UniqueHKey reached;
    for (std::size_t start = 0; start <= path.size();) {
        const std::size_t end = std::min(path.find(L'\\', start), path.size());
        UniqueHKey next;
        const REGSAM asked = (end == path.size() ? access : 0) | KEY_QUERY_VALUE;
        if (const LSTATUS status = RegOpenKeyExW(reached ? reached.get() : root, std::wstring(path.substr(start, end - start)).c_str(),
                                                 REG_OPTION_OPEN_LINK, asked, next.put());
            status != ERROR_SUCCESS)
            return status;
        if (IsRegistryLink(next.get())) return reg::kLinkOnPath;
        reached = std::move(next);
        start = end + 1;
    }
    key = std::move(reached);
    return ERROR_SUCCESS;
}

std::unique_ptr<reg::OpenedKey> Win32Registry::OpenCurrentUser(std::wstring_view keyPath, reg::Status& status) {
    UniqueHKey key;
    status = OpenWithoutLinks(root_, keyPath, KEY_READ, key);
    if (status != ERROR_SUCCESS) return nullptr;
    return std::make_unique<Win32Key>(std::move(key));
}

// Anything but a clear "not there" counts as remaining: an item that we cannot
// see must not be reported as removed.
bool Win32Registry::NameRemains(std::wstring_view keyPath, std::wstring_view name) {
    UniqueHKey parent;
    const LSTATUS opened = OpenWithoutLinks(root_, keyPath, KEY_READ, parent);
    if (opened == ERROR_FILE_NOT_FOUND) return false;
    if (opened != ERROR_SUCCESS) return true;

    const std::wstring item(name);
    const LSTATUS value = RegQueryValueExW(parent.get(), item.c_str(), nullptr, nullptr, nullptr, nullptr);
    if (value != ERROR_FILE_NOT_FOUND) return true;
    UniqueHKey subkey;
    return !NoSuchKey(RegOpenKeyExW(parent.get(), item.c_str(), 0, KEY_QUERY_VALUE, subkey.put()), name);
}

// Key names stop at 255 characters (Wine's at 256), value names do not: the
// registry refuses to open a longer name as a key (ERROR_INVALID_PARAMETER,
// or another error) rather than answer "not there", and no key of that name
// can exist.
bool NoSuchKey(LSTATUS opened, std::wstring_view name) {
    return opened == ERROR_FILE_NOT_FOUND || (name.size() > kLongestKeyName && opened != ERROR_SUCCESS);
}

bool Win32Registry::SameName(std::wstring_view a, std::wstring_view b) const {
    return NewerApis::Get().SameNameNoCase(a, b);
}

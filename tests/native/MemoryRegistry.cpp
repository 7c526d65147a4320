#include "MemoryRegistry.h"

#include <algorithm>
#include <clocale>
#include <cwctype>
#include <iterator>

namespace {

std::vector<std::wstring_view> SplitPath(std::wstring_view path) {
    std::vector<std::wstring_view> parts;
    for (std::size_t slash = 0; slash != std::wstring_view::npos; path.remove_prefix(slash + 1)) {
        slash = path.find(L'\\');
        parts.push_back(path.substr(0, slash));
        if (slash == std::wstring_view::npos) break;
    }
    return parts;
}

// The registry folds case over all of Unicode ("é" and "É" are one name);
// the C locale's towupper folds ASCII only.
std::wint_t Upper(wchar_t c) {
    static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    return towupper_l(static_cast<std::wint_t>(c), utf8);
}

}  // namespace

bool MemoryRegistry::NoCaseLess::operator()(std::wstring_view a, std::wstring_view b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](wchar_t x, wchar_t y) { return Upper(x) < Upper(y); });
}

class MemoryRegistry::Handle final : public reg::OpenedKey {
public:
    Handle(const Key& key, std::optional<std::uint32_t> reportedMax) : key_(key), reportedMax_(reportedMax) {}

    reg::Status QueryMaxValueNameLength(std::uint32_t& chars) override {
        chars = 0;
        for (const std::wstring& name : key_.values) chars = std::max(chars, static_cast<std::uint32_t>(name.size()));
        chars = reportedMax_.value_or(chars);
        return reg::kSuccess;
    }

    reg::Status EnumValueName(std::uint32_t index, std::span<wchar_t> buffer, std::uint32_t& length) override {
        if (index >= key_.values.size()) return reg::kNoMoreItems;
        const std::wstring& name = *std::next(key_.values.begin(), index);
        if (name.size() + 1 > std::min<std::size_t>(length, buffer.size())) return reg::kMoreData;
        std::copy(name.begin(), name.end(), buffer.begin());
        buffer[name.size()] = L'\0';
        length = static_cast<std::uint32_t>(name.size());
        return reg::kSuccess;
    }

private:
    const Key& key_;
    std::optional<std::uint32_t> reportedMax_;
};

class MemoryRegistry::Shell final : public ScriptShell {
public:
    explicit Shell(MemoryRegistry& registry) : registry_(registry) { ++registry_.liveShells; }
    ~Shell() override { --registry_.liveShells; }
    Shell(const Shell&) = delete;
    Shell& operator=(const Shell&) = delete;
    bool RegDelete(std::wstring_view path) override {
        registry_.deleteRequests.emplace_back(path);
        return registry_.Delete(path);
    }

private:
    MemoryRegistry& registry_;
};

MemoryRegistry::Key& MemoryRegistry::CreateKey(std::wstring_view path) {
    Key* key = &root_;
    for (const std::wstring_view part : SplitPath(path))
        if (!part.empty()) key = &key->subkeys[std::wstring(part)];
    return *key;
}

const MemoryRegistry::Key* MemoryRegistry::FindKey(std::wstring_view path) const {
    const Key* key = &root_;
    for (const std::wstring_view part : SplitPath(path)) {
        if (part.empty()) continue;
        const auto found = key->subkeys.find(part);
        if (found == key->subkeys.end()) return nullptr;
        key = &found->second;
    }
    return key;
}

std::unique_ptr<reg::OpenedKey> MemoryRegistry::OpenCurrentUser(std::wstring_view keyPath, reg::Status& status) {
    const Key* key = FindKey(keyPath);
    status = key != nullptr ? reg::kSuccess : reg::kFileNotFound;
    return key != nullptr ? std::make_unique<Handle>(*key, reportedMaxName) : nullptr;
}

bool MemoryRegistry::NameRemains(std::wstring_view keyPath, std::wstring_view name) {
    const Key* key = FindKey(keyPath);
    return key != nullptr && (key->values.contains(name) || key->subkeys.contains(name));
}

std::unique_ptr<ScriptShell> MemoryRegistry::Create() {
    return shellCreationFails ? nullptr : std::make_unique<Shell>(*this);
}

// The shell's path convention: HKEY_CURRENT_USER, the key path, then a
// trailing backslash for a key or a value's name after the last backslash.
// Empty parts name nothing.
bool MemoryRegistry::Delete(std::wstring_view path) {
    constexpr std::wstring_view kRoot = L"HKEY_CURRENT_USER\\";
    if (!path.starts_with(kRoot)) return false;
    path.remove_prefix(kRoot.size());
    const bool namesKey = path.ends_with(L'\\');
    if (namesKey) path.remove_suffix(1);
    const std::vector<std::wstring_view> parts = SplitPath(path);
    if (std::ranges::any_of(parts, &std::wstring_view::empty)) return false;
    const std::size_t lastSlash = path.rfind(L'\\');
    const std::wstring_view parentPath = lastSlash == std::wstring_view::npos ? L"" : path.substr(0, lastSlash);
    Key* parent = const_cast<Key*>(FindKey(parentPath));
    if (parent == nullptr) return false;
    const auto erase = [&parts](auto& items) {
        const auto found = items.find(parts.back());
        if (found == items.end()) return false;
        items.erase(found);
        return true;
    };
    return namesKey ? erase(parent->subkeys) : erase(parent->values);
}

namespace {

reg::KeyTree ToTree(const std::wstring& name, const MemoryRegistry::Key& key) {
    reg::KeyTree tree{name, {}, {}};
    for (const std::wstring& value : key.values) tree.values.push_back({value, 0, {}});
    for (const auto& [subName, subkey] : key.subkeys) tree.subkeys.push_back(ToTree(subName, subkey));
    return tree;
}

MemoryRegistry::Key FromTree(const reg::KeyTree& tree) {
    MemoryRegistry::Key key;
    for (const reg::ValueData& value : tree.values) key.values.insert(value.name);
    for (const reg::KeyTree& subkey : tree.subkeys) key.subkeys[subkey.name] = FromTree(subkey);
    return key;
}

}  // namespace

bool MemoryRegistry::Snapshot(std::wstring_view usersKeyPath, std::wstring_view name, reg::NameSnapshot& snapshot) {
    snapshot = {std::wstring(name), {}, {}};
    const Key* users = FindKey(usersKeyPath);
    if (users == nullptr) return true;
    if (const auto value = users->values.find(name); value != users->values.end()) snapshot.value = {{*value, 0, {}}};
    if (const auto key = users->subkeys.find(name); key != users->subkeys.end())
        snapshot.key = ToTree(key->first, key->second);
    return true;
}

bool MemoryRegistry::SaveBackup(std::wstring_view name, const std::vector<std::uint8_t>& /*fileBytes*/) {
    if (!backupFails) backups.emplace_back(name);
    return !backupFails;
}

bool MemoryRegistry::Restore(std::wstring_view usersKeyPath, const reg::NameSnapshot& snapshot) {
    Key& users = CreateKey(usersKeyPath);
    if (NameRemains(usersKeyPath, snapshot.name)) return false;
    if (snapshot.value) users.values.insert(snapshot.value->name);
    if (snapshot.key) users.subkeys[snapshot.key->name] = FromTree(*snapshot.key);
    return true;
}

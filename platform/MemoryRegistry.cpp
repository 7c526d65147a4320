#include "platform/MemoryRegistry.h"

#include <algorithm>
#include <cwctype>
#include <iterator>

namespace {

std::vector<std::wstring_view> SplitPath(std::wstring_view path) {
    std::vector<std::wstring_view> parts;
    for (;;) {
        const std::size_t slash = path.find(L'\\');
        parts.push_back(path.substr(0, slash));
        if (slash == std::wstring_view::npos) return parts;
        path.remove_prefix(slash + 1);
    }
}

// wchar_t is signed on Linux and unsigned on Windows; towupper takes wint_t.
std::wint_t Upper(wchar_t c) { return std::towupper(static_cast<std::wint_t>(c)); }

bool IsCurrentUserRoot(std::wstring_view root) {
    constexpr std::wstring_view kRoot = L"HKEY_CURRENT_USER";
    return std::equal(root.begin(), root.end(), kRoot.begin(), kRoot.end(),
                      [](wchar_t a, wchar_t b) { return Upper(a) == Upper(b); });
}

}  // namespace

bool MemoryRegistry::CaseInsensitiveLess::operator()(const std::wstring& a, const std::wstring& b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](wchar_t x, wchar_t y) {
        return Upper(x) < Upper(y);
    });
}

class MemoryRegistry::Handle final : public reg::OpenKey {
public:
    explicit Handle(const Key& key) : key_(key) {}

    reg::Status QueryMaxValueNameLength(std::uint32_t& chars) override {
        chars = 0;
        for (const auto& [name, size] : key_.values) chars = std::max(chars, static_cast<std::uint32_t>(name.size()));
        return reg::kSuccess;
    }

    reg::Status EnumValueName(std::uint32_t index, std::span<wchar_t> buffer, std::uint32_t& length) override {
        if (index >= key_.values.size()) return reg::kNoMoreItems;
        const std::wstring& name = std::next(key_.values.begin(), index)->first;
        const std::size_t capacity = std::min<std::size_t>(length, buffer.size());
        if (name.size() + 1 > capacity) return reg::kMoreData;
        std::copy(name.begin(), name.end(), buffer.begin());
        buffer[name.size()] = L'\0';
        length = static_cast<std::uint32_t>(name.size());
        return reg::kSuccess;
    }

private:
    // The tests keep the registry alive for as long as any key is open.
    const Key& key_;
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
    Key* key = &currentUser_;
    for (const std::wstring_view part : SplitPath(path)) {
        if (!part.empty()) key = &key->subkeys[std::wstring(part)];
    }
    return *key;
}

void MemoryRegistry::SetValue(std::wstring_view keyPath, std::wstring_view name, std::size_t dataSize) {
    CreateKey(keyPath).values[std::wstring(name)] = dataSize;
}

const MemoryRegistry::Key* MemoryRegistry::FindKey(std::wstring_view path) const {
    return FindIn(currentUser_, path);
}

MemoryRegistry::Key* MemoryRegistry::FindMutableKey(std::wstring_view path) { return FindIn(currentUser_, path); }

template <typename K>
K* MemoryRegistry::FindIn(K& root, std::wstring_view path) {
    K* key = &root;
    for (const std::wstring_view part : SplitPath(path)) {
        if (part.empty()) continue;
        const auto found = key->subkeys.find(std::wstring(part));
        if (found == key->subkeys.end()) return nullptr;
        key = &found->second;
    }
    return key;
}

bool MemoryRegistry::RemoveKey(std::wstring_view path) {
    const std::size_t slash = path.rfind(L'\\');
    const std::wstring_view parentPath = slash == std::wstring_view::npos ? std::wstring_view() : path.substr(0, slash);
    const std::wstring leaf(slash == std::wstring_view::npos ? path : path.substr(slash + 1));
    Key* parent = FindMutableKey(parentPath);
    return !leaf.empty() && parent != nullptr && parent->subkeys.erase(leaf) != 0;
}

std::unique_ptr<reg::OpenKey> MemoryRegistry::OpenCurrentUser(std::wstring_view keyPath, reg::Status& status) {
    const Key* key = FindKey(keyPath);
    status = key != nullptr ? reg::kSuccess : reg::kFileNotFound;
    return key != nullptr ? std::make_unique<Handle>(*key) : nullptr;
}

bool MemoryRegistry::NameRemains(std::wstring_view keyPath, std::wstring_view name) {
    const Key* key = FindKey(keyPath);
    const std::wstring wanted(name);
    return key != nullptr && (key->values.contains(wanted) || key->subkeys.contains(wanted));
}

std::unique_ptr<ScriptShell> MemoryRegistry::Create() {
    return shellCreationFails ? nullptr : std::make_unique<Shell>(*this);
}

// The shell's path convention: root, key path, then a trailing backslash for
// a key or a value name after the last backslash. Empty parts name nothing.
bool MemoryRegistry::Delete(std::wstring_view path) {
    const std::size_t rootEnd = path.find(L'\\');
    if (rootEnd == std::wstring_view::npos || !IsCurrentUserRoot(path.substr(0, rootEnd))) return false;
    const std::wstring_view rest = path.substr(rootEnd + 1);
    const bool namesKey = rest.ends_with(L'\\');
    const std::wstring_view item = namesKey ? rest.substr(0, rest.size() - 1) : rest;
    const std::vector<std::wstring_view> parts = SplitPath(item);
    if (std::ranges::any_of(parts, &std::wstring_view::empty)) return false;
    if (namesKey) return RemoveKey(item);
    const std::size_t lastSlash = item.rfind(L'\\');
    Key* key = lastSlash == std::wstring_view::npos ? &currentUser_ : FindMutableKey(item.substr(0, lastSlash));
    return key != nullptr && key->values.erase(std::wstring(item.substr(lastSlash + 1))) != 0;
}

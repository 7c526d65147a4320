#pragma once

#include <algorithm>
#include <clocale>
#include <cwctype>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "registry/KeyTree.h"
#include "registry/NameArchive.h"
#include "registry/RegFileWriter.h"
#include "registry/RegistryTypes.h"
#include "registry/ScriptShell.h"
#include "registry/UsersKey.h"

// The Users key held in memory, with the real registry's results: names
// compared without case over all of Unicode, 259 at the end of a list, 234
// when a name does not fit its buffer. A name's settings key is a name, with
// a tree where a test gives one; values hold no data: the bytes, and a
// restore racing another program's write, are the Wine tests' business.
class MemoryRegistry final : public reg::RegistryReader, public ScriptShellFactory, public reg::NameArchive {
public:
    // The registry folds case over all of Unicode ("é" and "É" are one name);
    // the C locale's towupper folds ASCII only.
    struct NoCaseLess {
        static std::wint_t Upper(wchar_t c) {
            static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
            return towupper_l(static_cast<std::wint_t>(c), utf8);
        }
        bool operator()(std::wstring_view a, std::wstring_view b) const {
            return std::ranges::lexicographical_compare(a, b, [](wchar_t x, wchar_t y) { return Upper(x) < Upper(y); });
        }
        using is_transparent = void;
    };
    using Names = std::set<std::wstring, NoCaseLess>;

    Names values, keys;  // below the Users key
    std::map<std::wstring, reg::KeyTree, NoCaseLess> trees;  // what a settings key holds, where a test says
    std::wstring lockedSubkey;  // a subkey of this name stops the delete walk there
    // What the tests set and look at.
    std::optional<std::uint32_t> reportedMaxName;  // a wrong answer to the longest-name query
    bool shellCreationFails = false, backupFails = false, keysLocked = false, valuesLocked = false;
    reg::Status openStatus = reg::kSuccess;          // the Users key's open answers this (2: it is missing)
    std::optional<std::uint32_t> unreadableFrom;     // listing from this index is denied
    reg::ArchiveStatus snapshotStatus = reg::ArchiveStatus::kDone;
    std::optional<reg::NameSnapshot> held;  // what a snapshot of any name gives, data and all
    std::vector<std::wstring> deleteRequests, backups;  // the names backed up, in "Removed\NAME.reg"
    std::map<std::wstring, std::vector<std::uint8_t>> files;
    bool unreadable = false;  // every backup file is there but cannot be read
    std::int64_t clock = 1796641200000;  // 2026-12-07 12:00:00 at UTC+01:00, a second on at each removal

    std::unique_ptr<reg::OpenedKey> OpenCurrentUser(std::wstring_view keyPath, reg::Status& status) override {
        const bool found = keyPath == USERS_KEY_PATH && openStatus == reg::kSuccess;
        status = found ? reg::kSuccess : openStatus;
        return found ? std::make_unique<Handle>(*this) : nullptr;
    }
    bool NameRemains(std::wstring_view /*keyPath*/, std::wstring_view name) override {
        return values.contains(name) || keys.contains(name);
    }
    bool SameName(std::wstring_view a, std::wstring_view b) const override {
        return !NoCaseLess{}(a, b) && !NoCaseLess{}(b, a);
    }
    std::unique_ptr<ScriptShell> Create() override { return shellCreationFails ? nullptr : std::make_unique<Handle>(*this); }
    reg::ArchiveStatus Snapshot(std::wstring_view /*usersKeyPath*/, std::wstring_view name, reg::NameSnapshot& snapshot) override {
        snapshot = {std::wstring(name), {}, {}};
        if (const auto value = values.find(name); value != values.end()) snapshot.value = {{*value, 0, {}}};
        if (const auto key = keys.find(name); key != keys.end())
            snapshot.key = trees.contains(*key) ? trees.at(*key) : reg::KeyTree{*key, {}, {}};
        snapshot = held.value_or(snapshot);
        return snapshotStatus;
    }
    reg::Moment Now() override { return {clock += 1000, 60}; }
    reg::ArchiveStatus SaveBackup(std::wstring_view name, const reg::Moment& /*removed*/, const std::vector<std::uint8_t>& fileBytes,
                                  std::wstring& path) override {
        if (backupFails) return reg::ArchiveStatus::kNotWritten;
        const std::wstring stem = std::wstring(name) + (std::ranges::count(backups, name) == 0 ? L"" : L"-" + std::to_wstring(backups.size()));
        path = L"Removed\\" + stem + L".reg";
        backups.push_back(stem);
        files[path] = fileBytes;
        return reg::ArchiveStatus::kDone;
    }
    reg::ArchiveStatus BackupFolder(std::wstring& folder) override { return folder = L"Removed", reg::ArchiveStatus::kDone; }
    // Asked as the shell is asked for a key, and as locked.
    reg::ArchiveStatus DeleteSavedKey(std::wstring_view /*usersKeyPath*/, const reg::KeyTree& saved) override {
        const std::unique_ptr<ScriptShell> shell = Create();
        const bool deleted = shell && shell->RegDelete(L"HKEY_CURRENT_USER\\" + std::wstring(USERS_KEY_PATH) + L"\\" + saved.name + L"\\");
        return deleted || !keys.contains(saved.name) ? reg::ArchiveStatus::kDone : reg::ArchiveStatus::kDenied;
    }
    void MarkPartial(const std::wstring& path) override {
        const std::vector<std::uint8_t> mark = reg::PartialRemovalMark();
        files[path].insert(files[path].end(), mark.begin(), mark.end());
    }
    bool DeleteBackup(const std::wstring& path) override {
        std::erase(backups, path.substr(8, path.size() - 12));
        return files.erase(path) != 0;
    }
    // Files that no removal wrote (copied in, or found by a short name) were
    // written last; the others were copied back oldest last, so only the
    // time each records puts them in order.
    std::vector<reg::BackupFile> Backups() override {
        std::vector<reg::BackupFile> found;
        for (const auto& file : files)
            if (std::ranges::none_of(backups, [&](const std::wstring& name) { return L"Removed\\" + name + L".reg" == file.first; }))
                found.push_back({file.first, {clock + 59'000, 60}});
        for (std::size_t i = 0; i < backups.size(); ++i)
            found.push_back({L"Removed\\" + backups[i] + L".reg", {clock + static_cast<std::int64_t>(backups.size() - i) * 1000, 60}});
        return found;
    }
    reg::FileRead ReadBackupFile(const std::wstring& path, std::vector<std::uint8_t>& bytes) override {
        const auto found = files.find(path);
        if (unreadable) return reg::FileRead::kUnreadable;
        if (found == files.end()) return reg::FileRead::kMissing;
        return bytes = found->second, reg::FileRead::kRead;
    }
    bool Restore(std::wstring_view /*usersKeyPath*/, const reg::NameSnapshot& missing, const reg::NameSnapshot& /*present*/) override {
        if (missing.value) values.insert(missing.value->name);
        if (missing.key) keys.insert(missing.key->name), Merge(trees[missing.key->name], *missing.key);
        return true;
    }
    // Subkeys in the registry's order, as a snapshot reads them. The tests'
    // trees lose whole subkeys only, so a missing one is never merged deeper.
    static void Merge(reg::KeyTree& into, const reg::KeyTree& missing) {
        into.name = missing.name;
        into.values.insert(into.values.end(), missing.values.begin(), missing.values.end());
        into.subkeys.insert(into.subkeys.end(), missing.subkeys.begin(), missing.subkeys.end());
        std::ranges::sort(into.subkeys, NoCaseLess{}, &reg::KeyTree::name);
    }

private:
    // The open Users key, and the shell that knows its paths: a Users value
    // ("...\Users\NAME") or a settings key ("...\Users\NAME\"); any other path
    // deletes nothing.
    class Handle final : public reg::OpenedKey, public ScriptShell {
    public:
        explicit Handle(MemoryRegistry& registry) : registry_(registry) {}
        reg::Status QueryMaxValueNameLength(std::uint32_t& chars) override {
            chars = 0;
            for (const std::wstring& name : registry_.values) chars = std::max(chars, static_cast<std::uint32_t>(name.size()));
            chars = registry_.reportedMaxName.value_or(chars);
            return reg::kSuccess;
        }
        reg::Status EnumValueName(std::uint32_t index, std::span<wchar_t> buffer, std::uint32_t& length) override {
            if (index >= registry_.unreadableFrom.value_or(index + 1)) return 5;  // access denied
            if (index >= registry_.values.size()) return reg::kNoMoreItems;
            const std::wstring& name = *std::next(registry_.values.begin(), index);
            if (name.size() + 1 > std::min<std::size_t>(length, buffer.size())) return reg::kMoreData;
            std::ranges::copy(name, buffer.begin());
            buffer[name.size()] = L'\0';
            length = static_cast<std::uint32_t>(name.size());
            return reg::kSuccess;
        }
        reg::Status EnumSubkeyName(std::uint32_t index, std::wstring& name) override {
            if (index >= registry_.keys.size()) return reg::kNoMoreItems;
            name = *std::next(registry_.keys.begin(), index);
            return reg::kSuccess;
        }
        bool HoldsValue(std::wstring_view name) override { return registry_.values.contains(name); }
        bool RegDelete(std::wstring_view path) override {
            registry_.deleteRequests.emplace_back(path);
            const std::wstring users = L"HKEY_CURRENT_USER\\" + std::wstring(USERS_KEY_PATH) + L"\\";
            if (!path.starts_with(users)) return false;
            path.remove_prefix(users.size());
            const bool namesKey = path.ends_with(L'\\');
            if (namesKey) path.remove_suffix(1);
            if (path.empty() || path.find(L'\\') != std::wstring_view::npos || (namesKey ? registry_.keysLocked : registry_.valuesLocked))
                return false;
            Names& names = namesKey ? registry_.keys : registry_.values;
            const auto found = names.find(path);
            if (found == names.end()) return false;
            if (const auto tree = registry_.trees.find(path); namesKey && tree != registry_.trees.end()) {
                auto& subkeys = tree->second.subkeys;
                subkeys.erase(subkeys.begin(), std::ranges::find(subkeys, registry_.lockedSubkey, &reg::KeyTree::name));
                if (!subkeys.empty()) return false;
                registry_.trees.erase(tree);
            }
            return names.erase(found), true;
        }

    private:
        MemoryRegistry& registry_;
    };
};

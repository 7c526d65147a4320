#pragma once

#include <windows.h>

#include <string>

#include "registry/NameArchive.h"

// Tallowick\Removed in the local application data folder; empty when there
// is none.
std::wstring RemovedFolder();

// A name's value and key tree read and written back through the registry
// API below `root` (the current user's, or another account's hive, which must
// outlive this), never through a registry link, and its backups in
// `removedFolder`, or RemovedFolder() where none is given.
class Win32Archive final : public reg::NameArchive {
public:
    explicit Win32Archive(HKEY root = HKEY_CURRENT_USER, std::wstring removedFolder = {})
        : root_(root), removedFolder_(std::move(removedFolder)) {}
    reg::ArchiveStatus Snapshot(std::wstring_view usersKeyPath, std::wstring_view name,
                                reg::NameSnapshot& snapshot) override;
    reg::Moment Now() override;
    reg::ArchiveStatus SaveBackup(std::wstring_view name, const reg::Moment& removed,
                                  const std::vector<std::uint8_t>& fileBytes, std::wstring& path) override;
    reg::ArchiveStatus DeleteSavedKey(std::wstring_view usersKeyPath, const reg::KeyTree& saved) override;
    bool DeleteBackup(const std::wstring& path) override;
    void MarkPartial(const std::wstring& path) override;
    std::vector<reg::BackupFile> Backups() override;
    reg::FileRead ReadBackupFile(const std::wstring& path, std::vector<std::uint8_t>& bytes) override;
    bool Restore(std::wstring_view usersKeyPath, const reg::NameSnapshot& missing,
                 const reg::NameSnapshot& present) override;

private:
    std::wstring Folder() const { return removedFolder_.empty() ? RemovedFolder() : removedFolder_; }
    HKEY root_;
    std::wstring removedFolder_;
};

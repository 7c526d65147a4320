#pragma once

#include <windows.h>

#include <string>

#include "registry/NameArchive.h"

// The backup folder, below a local application data folder.
inline constexpr std::wstring_view kRemovedFolder = L"Tallowick\\Removed";

// Tallowick\Removed in the local application data folder; empty when there
// is none.
std::wstring RemovedFolder();

// A name's value and key tree read and written back through the registry
// API below a root key, never through a registry link, and its backups.
class Win32Archive final : public reg::NameArchive {
public:
    // The current user's, with backups in RemovedFolder().
    Win32Archive() = default;
    // Another account's: its hive's root (which must outlive this), its backup
    // folder (empty: none), and its SID, which owns the backups made there.
    Win32Archive(HKEY root, std::wstring removedFolder, std::wstring ownerSid)
        : root_(root), removedFolder_(std::move(removedFolder)), ownerSid_(std::move(ownerSid)) {}
    reg::ArchiveStatus Snapshot(std::wstring_view usersKeyPath, std::wstring_view name,
                                reg::NameSnapshot& snapshot) override;
    reg::Moment Now() override;
    reg::ArchiveStatus SaveBackup(std::wstring_view name, const reg::Moment& removed,
                                  const std::vector<std::uint8_t>& fileBytes, std::wstring& path) override;
    reg::ArchiveStatus DeleteSavedKey(std::wstring_view usersKeyPath, const reg::KeyTree& saved) override;
    reg::ArchiveStatus BackupFolder(std::wstring& folder) override;
    bool DeleteBackup(const std::wstring& path) override;
    void MarkPartial(const std::wstring& path) override;
    std::vector<reg::BackupFile> Backups() override;
    reg::FileRead ReadBackupFile(const std::wstring& path, std::vector<std::uint8_t>& bytes) override;
    bool Restore(std::wstring_view usersKeyPath, const reg::NameSnapshot& missing,
                 const reg::NameSnapshot& present) override;

private:
    std::wstring Folder() const { return ownerSid_.empty() ? RemovedFolder() : removedFolder_; }
    HKEY root_ = HKEY_CURRENT_USER;
    std::wstring removedFolder_, ownerSid_;
};

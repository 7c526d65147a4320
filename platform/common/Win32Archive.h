#pragma once

#include <string>

#include "registry/NameArchive.h"

// Tallowick\Removed in the local application data folder; empty when there
// is none.
std::wstring RemovedFolder();

// A name's value and key tree read and written back through the registry
// API, never through a registry link, and its backups in RemovedFolder().
class Win32Archive final : public reg::NameArchive {
public:
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
};

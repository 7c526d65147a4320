#pragma once

#include "registry/RegFile.h"

// A name's value and key tree read and written back through the registry
// API, never through a registry link, and its backup written to
// Tallowick\Removed in the local application data folder.
class Win32Archive final : public reg::NameArchive {
public:
    reg::ArchiveStatus Snapshot(std::wstring_view usersKeyPath, std::wstring_view name,
                                reg::NameSnapshot& snapshot) override;
    reg::ArchiveStatus SaveBackup(std::wstring_view name, const std::vector<std::uint8_t>& fileBytes,
                                  std::wstring& path) override;
    void DeleteBackup(const std::wstring& path) override;
    bool Restore(std::wstring_view usersKeyPath, const reg::NameSnapshot& snapshot) override;
};

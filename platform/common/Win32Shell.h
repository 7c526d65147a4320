#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "registry/ScriptShell.h"
#include "registry/modMyRegistry.h"

// The scripting shell's RegDelete of the path, carried out with the registry
// API. A key goes with everything below it.
LSTATUS RegistryApiDelete(std::wstring_view path);

// A system DLL loaded by its full path, never found beside the exe.
HMODULE LoadFromSystem32(const wchar_t* name);

// How many deletes in this process took the registry API: where the object
// works (Windows, a test's stand-in) there should be none.
unsigned RegistryApiFallbacks();

// Makes the automation object "WScript.Shell" for each delete, asked
// late-bound to RegDelete; or the registry API where the object cannot be
// made or does not implement RegDelete (as under Wine). The user's keys are
// those below `userRoot`: HKEY_CURRENT_USER, or another account's hive as
// HKEY_USERS\KEY.
class AutomationOrApiShellFactory final : public ScriptShellFactory {
public:
    explicit AutomationOrApiShellFactory(std::wstring userRoot = modMyRegistry::RootKeyName(modMyRegistry::kCurrentUser))
        : userRoot_(std::move(userRoot)) {}
    std::unique_ptr<ScriptShell> Create() override;

private:
    std::wstring userRoot_;
};

#pragma once

#include <windows.h>

#include <string_view>

#include "registry/ScriptShell.h"

// The automation object "WScript.Shell", made for this one call and asked,
// late-bound, to RegDelete the path. A key goes with everything below it.
HRESULT AutomationRegDelete(std::wstring_view path);

// The same request carried out with the registry API.
LSTATUS RegistryApiDelete(std::wstring_view path);

// How many deletes in this process took the registry API: where the object
// works (Windows, a test's stand-in) there should be none.
unsigned RegistryApiFallbacks();

// The shell Tallowick uses: the automation object, or the registry API where
// the object cannot be made or does not implement RegDelete (as under Wine).
class ProductionShellFactory final : public ScriptShellFactory {
public:
    std::unique_ptr<ScriptShell> Create() override;
};

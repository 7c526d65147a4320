#pragma once

#include <memory>
#include <string_view>

// The scripting shell's registry delete. A path is the root key's full name,
// the key path and the item; a trailing backslash names a key (deleted with
// everything below it), otherwise the text after the last backslash names a
// value of the key before it.
class ScriptShell {
public:
    virtual ~ScriptShell() = default;
    virtual bool RegDelete(std::wstring_view path) = 0;
};

// Makes one shell per delete, as the automation object is made per call.
class ScriptShellFactory {
public:
    virtual ~ScriptShellFactory() = default;
    virtual std::unique_ptr<ScriptShell> Create() = 0;
};

#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "platform/MainWindow.h"
#include "platform/Win32Archive.h"
#include "platform/Win32Registry.h"
#include "platform/Win32Shell.h"

// The production window on the production registry and shell, created
// hidden, read back and driven through its controls as a user would.
class WindowUnderTest {
public:
    WindowUnderTest();
    bool Created() const { return list_ != nullptr && status_ != nullptr; }
    HWND Hwnd() const { return window_.hwnd(); }
    std::vector<std::wstring> Items() const;
    std::wstring StatusText() const;
    // Selects the item (0-based) and picks "Remove ScreenName" for it.
    void Remove(int index);
    void Select(int index) { window_.Names().SelectItem(index + 1); }
    std::optional<int> Selected() const;
    // What the message loop does when the registry changes: waits up to
    // `ms` for the watch, and takes the change.
    void FollowRegistry(DWORD ms);
    // Press F5 and Ctrl+Z through the window's accelerator table.
    void PressF5();
    void Undo();

private:
    void PressKey(WPARAM key, bool control);
    Win32Registry registry_;
    AutomationOrApiShellFactory shells_;
    Win32Archive archive_;
    MainWindow window_{registry_, shells_, archive_};
    HWND list_ = nullptr;
    HWND status_ = nullptr;
};

// The Users key's value names in the registry's own order; none when the
// key is missing.
std::vector<std::wstring> UsersValueNames();
// Runs `commandLine` as another process and returns its exit code; with
// `out` and `err`, what it wrote to its stdout and stderr (pipes).
DWORD RunOtherProcess(const std::wstring& commandLine, std::string* out = nullptr, std::string* err = nullptr);
// A diagnostic in UTF-8: long text is cut, control characters escaped.
std::string Shown(const std::wstring& text);

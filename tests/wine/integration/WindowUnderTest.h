#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "platform/MainWindow.h"
#include "platform/ScriptShells.h"
#include "platform/Win32Registry.h"
#include "platform/resource.h"

// The real main window on the real registry and shells, hidden. Its list is
// read through the ListOps it implements, its status bar through messages.
class WindowUnderTest {
public:
    WindowUnderTest() {
        const INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
        InitCommonControlsEx(&controls);
        created_ = window_.Create(GetModuleHandleW(nullptr), SW_HIDE);
    }

    bool Created() const { return created_; }

    std::vector<std::wstring> Items() const {
        std::vector<std::wstring> items;
        for (int item = 1; item <= window_.ItemCount(); ++item) items.push_back(window_.ItemText(item));
        return items;
    }

    std::wstring StatusText() const {
        const HWND status = FindWindowExW(window_.hwnd(), nullptr, STATUSCLASSNAMEW, nullptr);
        const auto length = LOWORD(SendMessageW(status, SB_GETTEXTLENGTHW, 0, 0));
        std::wstring text(length + 1U, L'\0');
        SendMessageW(status, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text.data()));
        text.resize(length);
        return text;
    }

    // Selects the listed name and chooses "Remove ScreenName" as the menu
    // would; false when the name is not listed.
    bool Remove(const std::wstring& name) {
        const std::vector<std::wstring> items = Items();
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (items[i] != name) continue;
            window_.SelectItem(static_cast<int>(i) + 1);
            SendMessageW(window_.hwnd(), WM_COMMAND, MAKEWPARAM(IDM_REMOVENAME, 0), 0);
            return true;
        }
        return false;
    }

private:
    Win32Registry registry_;
    ProductionShellFactory shells_;
    MainWindow window_{registry_, shells_};
    bool created_ = false;
};

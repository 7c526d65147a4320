#pragma once

#include <windows.h>
#include <commctrl.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/Win32Handles.h"

// Reads tallowick.exe's window from another process, as a person sees it.
// The common controls read and write their answers through pointers into
// their own address space, so each request that carries a buffer is staged
// in memory allocated inside the target process.

struct ListItem {
    std::wstring text;
    int image = -1;
    bool operator==(const ListItem&) const = default;
};

class Probe {
public:
    // The visible main window of that process, or null.
    static HWND FindMainWindow(DWORD processId);
    // The screen rectangle of that process's visible pop-up menu, if one is open.
    static std::optional<RECT> OpenMenu(DWORD processId);

    explicit Probe(HWND window);

    HWND Window() const { return window_; }
    std::wstring Caption() const;
    std::vector<ListItem> Items() const;
    std::optional<int> Selected() const;  // zero-based
    std::optional<int> Focused() const;   // the item the list's keys move from
    // Whether the list holds the keyboard focus of its thread.
    bool ListHasFocus() const;
    // `part` is LVIR_BOUNDS, LVIR_ICON or LVIR_LABEL.
    RECT ItemRect(int item, int part = LVIR_BOUNDS) const;
    std::wstring HeaderText() const;
    int ColumnWidth() const;
    std::wstring StatusText() const;

    // All in screen coordinates; the list's and the status bar's include their borders.
    RECT WindowRect() const;
    RECT ClientRect() const;
    RECT ListRect() const;
    RECT StatusRect() const;
    RECT HeaderRect() const;

private:
    std::optional<int> NextItem(UINT flags) const;

    HWND window_;
    HWND list_;
    HWND status_;
    UniqueHandleObject process_;
};

std::wstring ToString(const RECT& rect);

#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "screennames/ListingOps.h"

// What the window code does to the main window and its controls. Sizes are
// in twips (1440 per inch); item, column and panel numbers start at 1.

enum class WindowState { Normal = 0, Minimised = 1, Maximised = 2 };

enum MouseButton : short { kLeftButton = 1, kRightButton = 2, kMiddleButton = 4 };

// What mnuList offers when it opens: a command that cannot act is greyed.
struct ListMenuState {
    bool canRemove = false;
    bool canUndo = false;
    bool canRemoveLeftover = false;
    bool operator==(const ListMenuState&) const = default;
};

class FormOps {
public:
    virtual ~FormOps() = default;
    virtual float OuterWidth() const = 0;
    virtual float OuterHeight() const = 0;
    virtual WindowState State() const = 0;
    // Shows mnuList and returns when it closes; a chosen item raises its click.
    virtual void PopupListMenuAtCursor(ListMenuState state) = 0;
    virtual void PopupListMenuAtItem(int item, ListMenuState state) = 0;
    // The backup file the user picks in the Open dialog, if any.
    virtual std::optional<std::wstring> ChooseBackupFile() = 0;
    // A short text of help, which the user closes.
    virtual void ShowHelp(std::wstring_view text) = 0;
};

class ListOps : public NameListOps {
public:
    // Before the item now at `item`; one past the last appends.
    virtual void InsertItem(int item, std::wstring_view text, int icon) = 0;
    virtual std::optional<int> SelectedItem() const = 0;
    virtual std::wstring ItemText(int item) const = 0;
    virtual void RemoveItem(int item) = 0;
    virtual void Clear() = 0;
    virtual void SelectItem(int item) = 0;
    virtual float Width() const = 0;
    virtual void SetWidth(float twips) = 0;
    virtual void SetHeight(float twips) = 0;
    virtual void SetColumnWidth(int column, float twips) = 0;
};

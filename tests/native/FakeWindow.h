#pragma once

#include <optional>
#include <string>
#include <vector>

#include "window/WindowOps.h"

// The main window and its controls as plain data, with a record of the
// status texts and pop-ups asked for.
struct FakeWindow final : FormOps, ListOps, StatusOps {
    float outerWidth = 4770, outerHeight = 6660;
    WindowState state = WindowState::Normal;
    std::vector<std::wstring> items;
    std::optional<int> selected;
    float listWidth = 4695, listHeight = 5895, columnWidth = 3500;
    std::vector<std::wstring> statusTexts;
    std::wstring reason;  // the second panel's
    std::vector<std::pair<std::optional<int>, ListMenuState>> popups;  // at the item, or at the cursor
    std::vector<std::optional<std::wstring>> chosenFiles;  // the Open dialog's answers in turn: a path, or cancel
    std::size_t answered = 0;

    float OuterWidth() const override { return outerWidth; }
    float OuterHeight() const override { return outerHeight; }
    WindowState State() const override { return state; }
    void PopupListMenuAtCursor(ListMenuState menu) override { popups.emplace_back(std::nullopt, menu); }
    void PopupListMenuAtItem(int item, ListMenuState menu) override { popups.emplace_back(item, menu); }
    std::optional<std::wstring> ChooseBackupFile() override { return answered < chosenFiles.size() ? chosenFiles[answered++] : std::nullopt; }
    void ShowHelp(std::wstring_view text) override { help = text; }
    std::wstring help;

    void AddItem(std::wstring_view text, int icon) override { InsertItem(ItemCount() + 1, text, icon); }
    // The selection stays with its item, as a list view keeps it.
    void InsertItem(int item, std::wstring_view text, int /*icon*/) override {
        items.emplace(items.begin() + (item - 1), text), selected = selected >= item ? *selected + 1 : selected;
    }
    int ItemCount() const override { return static_cast<int>(items.size()); }
    std::optional<int> SelectedItem() const override { return selected; }
    std::wstring ItemText(int item) const override { return items.at(static_cast<std::size_t>(item - 1)); }
    void RemoveItem(int item) override { items.erase(items.begin() + (item - 1)), selected.reset(); }
    void Clear() override { items.clear(), selected.reset(); }
    void SelectItem(int item) override { selected = item; }
    float Width() const override { return listWidth; }
    void SetWidth(float twips) override { listWidth = twips; }
    void SetHeight(float twips) override { listHeight = twips; }
    void SetColumnWidth(int column, float twips) override { columnWidth = column == 1 ? twips : columnWidth; }
    void SetPanelText(int panel, std::wstring_view text) override {
        if (panel == 1) statusTexts.emplace_back(text);
        else reason = text;
    }
    std::wstring StatusText() const { return statusTexts.empty() ? L"" : statusTexts.back(); }
};

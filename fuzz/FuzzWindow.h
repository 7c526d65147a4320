#pragma once

#include <optional>
#include <string>
#include <vector>

#include "window/WindowOps.h"

// The list and status bar as plain data; the form's size and pop-ups play no
// part in listing or removing.
struct FuzzWindow final : FormOps, ListOps, StatusOps {
    std::vector<std::wstring> items;
    std::optional<int> selected;
    std::optional<std::wstring> statusText;

    float OuterWidth() const override { return 4770; }
    float OuterHeight() const override { return 6660; }
    WindowState State() const override { return WindowState::Normal; }
    void PopupListMenuAtCursor() override {}
    void PopupListMenuAtItem(int /*item*/) override {}

    void AddItem(std::wstring_view text, int /*largeIcon*/, int /*smallIcon*/) override { items.emplace_back(text); }
    int ItemCount() const override { return static_cast<int>(items.size()); }
    std::optional<int> SelectedItem() const override { return selected; }
    std::wstring ItemText(int item) const override { return items.at(static_cast<std::size_t>(item - 1)); }
    void RemoveItem(int item) override {
        items.erase(items.begin() + (item - 1));
        selected.reset();
    }
    void SelectItem(int item) override { selected = item; }
    float Width() const override { return 4695; }
    void SetWidth(float /*twips*/) override {}
    void SetHeight(float /*twips*/) override {}
    void SetColumnWidth(int /*column*/, float /*twips*/) override {}

    void SetPanelText(int panel, std::wstring_view text) override {
        if (panel == 1) statusText = std::wstring(text);
    }
};

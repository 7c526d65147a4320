#pragma once

#include <optional>
#include <string>
#include <vector>

#include "window/WindowOps.h"

// The main window's controls as plain data, with a record of the status
// texts and pop-ups the code asked for.
struct FakeWindow final : FormOps, ListOps, StatusOps {
    struct Item {
        std::wstring text;
        int largeIcon, smallIcon;
    };

    float outerWidth = 4770, outerHeight = 6660;
    WindowState state = WindowState::Normal;
    std::vector<Item> items;
    std::optional<int> selected;
    float listWidth = 4695, listHeight = 5895, columnWidth = 3500;
    std::wstring statusText;
    std::vector<std::wstring> statusHistory;
    std::vector<std::wstring> popups;

    float OuterWidth() const override { return outerWidth; }
    float OuterHeight() const override { return outerHeight; }
    WindowState State() const override { return state; }
    void PopupListMenuAtCursor() override { popups.push_back(L"cursor"); }
    void PopupListMenuAtItem(int item) override { popups.push_back(L"item " + std::to_wstring(item)); }

    void AddItem(std::wstring_view text, int large, int small) override { items.push_back({std::wstring(text), large, small}); }
    int ItemCount() const override { return static_cast<int>(items.size()); }
    std::optional<int> SelectedItem() const override { return selected; }
    std::wstring ItemText(int item) const override { return items.at(static_cast<std::size_t>(item - 1)).text; }
    void RemoveItem(int item) override {
        items.erase(items.begin() + (item - 1));
        selected.reset();
    }
    void SelectItem(int item) override { selected = item; }
    float Width() const override { return listWidth; }
    void SetWidth(float twips) override { listWidth = twips; }
    void SetHeight(float twips) override { listHeight = twips; }
    void SetColumnWidth(int column, float twips) override {
        if (column == 1) columnWidth = twips;
    }

    void SetPanelText(int panel, std::wstring_view text) override {
        if (panel != 1) return;
        statusText = text;
        statusHistory.push_back(statusText);
    }

    std::vector<std::wstring> Texts() const {
        std::vector<std::wstring> texts;
        for (const Item& item : items) texts.push_back(item.text);
        return texts;
    }
};

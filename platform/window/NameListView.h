#pragma once

#include <windows.h>

#include <cmath>
#include <string>
#include <vector>

#include "window/WindowOps.h"

// Sizes cross the window code in twips (1440 per inch) and are drawn in
// pixels at a window's DPI.
inline int TwipsToPixels(float twips, UINT dpi) {
    return static_cast<int>(std::lround(twips * static_cast<float>(dpi) / 1440.0F));
}
inline float PixelsToTwips(int pixels, UINT dpi) { return static_cast<float>(pixels) * 1440.0F / static_cast<float>(dpi); }

// The list lstNames as the window code sees it: its items, its selection and
// its size, at the DPI of the window that holds it.
class NameListView final : public ListOps {
public:
    explicit NameListView(const UINT& dpi) : dpi_(dpi) {}
    void Attach(HWND list) { list_ = list; }

    void AddItem(std::wstring_view text, int icon) override;
    void InsertItem(int item, std::wstring_view text, int icon) override;
    int ItemCount() const override;
    std::optional<int> SelectedItem() const override;
    std::wstring ItemText(int item) const override;
    void RemoveItem(int item) override;
    void Clear() override;
    void SelectItem(int item) override;
    float Width() const override;
    void SetWidth(float twips) override;
    void SetHeight(float twips) override;
    void SetColumnWidth(int column, float twips) override;

private:
    HWND list_ = nullptr;
    const UINT& dpi_;
    std::vector<std::wstring> names_;  // the items' names, in the list's order
};

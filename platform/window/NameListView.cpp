#include "platform/window/NameListView.h"

#include <commctrl.h>

// The list's own copy of the names counts its items without a message to
// the list view, which the window's subclass would see for every name listed.
void NameListView::AddItem(std::wstring_view text, int icon) { InsertItem(ItemCount() + 1, text, icon); }

void NameListView::InsertItem(int item, std::wstring_view text, int icon) {
    std::wstring copy(text);
    LVITEMW row{};
    row.mask = LVIF_TEXT | LVIF_IMAGE;
    row.iItem = item - 1;
    row.pszText = copy.data();
    row.iImage = icon - 1;
    const int at = ListView_InsertItem(list_, &row);
    if (at >= 0) names_.insert(names_.begin() + at, std::move(copy));
}

int NameListView::ItemCount() const { return static_cast<int>(names_.size()); }

std::optional<int> NameListView::SelectedItem() const {
    const int index = ListView_GetNextItem(list_, -1, LVNI_SELECTED);
    if (index < 0) return std::nullopt;
    return index + 1;
}

// The names as listed, not as the list view shows them: it cuts a text at
// a NUL, and a name read back from it could then be another name.
std::wstring NameListView::ItemText(int item) const { return names_.at(static_cast<std::size_t>(item - 1)); }

void NameListView::RemoveItem(int item) {
    ListView_DeleteItem(list_, item - 1);
    names_.erase(names_.begin() + (item - 1));
}

void NameListView::Clear() {
    ListView_DeleteAllItems(list_);
    names_.clear();
}

void NameListView::SelectItem(int item) {
    constexpr UINT kState = LVIS_SELECTED | LVIS_FOCUSED;
    ListView_SetItemState(list_, item - 1, kState, kState);
    ListView_EnsureVisible(list_, item - 1, FALSE);
}

float NameListView::Width() const {
    RECT bounds{};
    GetWindowRect(list_, &bounds);
    return PixelsToTwips(bounds.right - bounds.left, dpi_);
}

void NameListView::SetWidth(float twips) {
    RECT bounds{};
    GetWindowRect(list_, &bounds);
    SetWindowPos(list_, nullptr, 0, 0, TwipsToPixels(twips, dpi_), bounds.bottom - bounds.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void NameListView::SetHeight(float twips) {
    RECT bounds{};
    GetWindowRect(list_, &bounds);
    SetWindowPos(list_, nullptr, 0, 0, bounds.right - bounds.left, TwipsToPixels(twips, dpi_),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void NameListView::SetColumnWidth(int column, float twips) { ListView_SetColumnWidth(list_, column - 1, TwipsToPixels(twips, dpi_)); }

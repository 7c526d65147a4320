#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstddef>

namespace bench {

// A hidden top-level window holding a list view and a status bar made as
// MainWindow makes its own (styles, font, image list, column, size), for the
// listing done with nothing of the product in between.
class BaselineWindow {
public:
    BaselineWindow() = default;
    ~BaselineWindow();
    BaselineWindow(const BaselineWindow&) = delete;
    BaselineWindow& operator=(const BaselineWindow&) = delete;

    // `likeList` is MainWindow's list: its size, font and column are copied.
    bool Create(HINSTANCE instance, HWND likeList);
    HWND list() const { return list_; }
    HWND status() const { return status_; }

private:
    HWND window_ = nullptr;
    HWND list_ = nullptr;
    HWND status_ = nullptr;
    HIMAGELIST images_ = nullptr;
};

// The listing as plain platform calls: open the Users key, ask for its
// longest name, then per value its name, an inserted item and the count in
// the status bar. Returns the number of items listed, or -1 when the key
// cannot be opened.
long ListDirect(HWND list, HWND status);

// The parts of that listing alone, for where the time goes.
struct ListingParts {
    double enumerateMs = 0;  // RegEnumValueW over all values
    double insertMs = 0;     // LVM_INSERTITEMW of all names
    double insertNoRedrawMs = 0;  // the same with the list's WM_SETREDRAW off
    double statusMs = 0;     // SB_SETTEXTW per name
    double countMs = 0;      // LVM_GETITEMCOUNT, as often as the product asks it
};
ListingParts TimeListingParts(HWND list, HWND status, HWND productList);

}  // namespace bench

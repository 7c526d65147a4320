#pragma once

#include <string_view>

// What the listing writes to: the list of names and the status bar's panels.
// Item and panel numbers start at 1.
class NameListOps {
public:
    virtual ~NameListOps() = default;
    // Appends after the last item, showing the given image of the list.
    virtual void AddItem(std::wstring_view text, int icon) = 0;
    virtual int ItemCount() const = 0;
};

class StatusOps {
public:
    virtual ~StatusOps() = default;
    virtual void SetPanelText(int panel, std::wstring_view text) = 0;
};

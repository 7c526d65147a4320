#pragma once

#include <windows.h>

#include <string>

namespace bench {

struct Launch {
    bool ok = false;
    double visibleMs = 0;          // CreateProcess to a visible window (holding the items)
    SIZE_T peakWorkingSet = 0;     // of the started process, once visible
    std::wstring error;
};

// Starts `exe`, waits until it shows a top-level window of `windowClass`
// whose list view holds at least `items` items (items < 0: no list to wait
// for), then closes it with WM_CLOSE and waits for it to exit.
Launch TimeLaunch(const std::wstring& exe, const wchar_t* windowClass, long items, DWORD timeoutMs);

}  // namespace bench

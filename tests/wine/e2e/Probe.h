#pragma once

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "platform/Win32Handles.h"
#include "platform/resource.h"

// Reads tallowick.exe's window from another process, as a person sees it.
// The common controls read and write their answers through pointers into
// their own address space, so each request that carries a buffer is staged
// in memory allocated inside the target process.

struct ListItem {
    std::wstring text;
    int image = -1;
    bool operator==(const ListItem&) const = default;
};

inline RECT ScreenRect(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    return rect;
}

// The first visible top-level window of the class that the process owns.
inline HWND FindVisible(DWORD processId, const wchar_t* className) {
    struct Search {
        DWORD processId;
        const wchar_t* className;
        HWND found;
    } search{processId, className, nullptr};
    EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(param);
            DWORD owner = 0;
            wchar_t name[64] = {};
            GetWindowThreadProcessId(window, &owner);
            GetClassNameW(window, name, 64);
            if (owner == s.processId && IsWindowVisible(window) && wcscmp(name, s.className) == 0) s.found = window;
            return s.found == nullptr;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

class Probe {
public:
    explicit Probe(HWND window)
        : window_(window), list_(GetDlgItem(window, IDC_NAMES)), status_(GetDlgItem(window, IDC_STATUS)) {
        DWORD processId = 0;
        GetWindowThreadProcessId(window, &processId);
        process_.reset(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId));
        memory_ = static_cast<BYTE*>(
            VirtualAllocEx(process_.get(), nullptr, kRequestBytes + sizeof(Text), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        if (memory_ == nullptr || list_ == nullptr || status_ == nullptr) ADD_FAILURE() << "cannot probe the window";
    }
    ~Probe() {
        if (memory_ != nullptr) VirtualFreeEx(process_.get(), memory_, 0, MEM_RELEASE);
    }
    Probe(const Probe&) = delete;
    Probe& operator=(const Probe&) = delete;

    HWND Window() const { return window_; }
    std::wstring Caption() const {
        wchar_t text[256] = {};
        GetWindowTextW(window_, text, 256);
        return text;
    }
    // What a read that the window's own changes cut short has seen; callers wait for the whole list.
    std::vector<ListItem> Items() const {
        std::vector<ListItem> items;
        const auto count = static_cast<int>(SendMessageW(list_, LVM_GETITEMCOUNT, 0, 0));
        for (int index = 0; index < count; ++index) {
            LVITEMW item{};
            item.mask = LVIF_TEXT | LVIF_IMAGE;
            item.iItem = index;
            item.pszText = RemoteText();
            item.cchTextMax = kChars;
            if (Call(list_, LVM_GETITEMW, 0, item) == 0) break;
            // The control may answer with a pointer to its own copy of the text.
            items.push_back({ReadText(item.pszText), item.iImage});
        }
        return items;
    }
    int Selected() const { return static_cast<int>(SendMessageW(list_, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED)); }
    RECT ItemRect(int index) const {
        RECT rect{LVIR_BOUNDS, 0, 0, 0};
        Call(list_, LVM_GETITEMRECT, static_cast<WPARAM>(index), rect);
        MapWindowPoints(list_, nullptr, reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    }
    std::wstring HeaderText() const {
        HDITEMW item{};
        item.mask = HDI_TEXT;
        item.pszText = RemoteText();
        item.cchTextMax = kChars;
        Call(reinterpret_cast<HWND>(SendMessageW(list_, LVM_GETHEADER, 0, 0)), HDM_GETITEMW, 0, item);
        return ReadText(item.pszText);
    }
    int ColumnWidth() const { return static_cast<int>(SendMessageW(list_, LVM_GETCOLUMNWIDTH, 0, 0)); }
    std::wstring StatusText() const {
        Text text{};
        Call(status_, SB_GETTEXTW, 0, text);
        return text.data();
    }
    // In screen coordinates; the list's and the status bar's include their borders.
    RECT WindowRect() const { return ScreenRect(window_); }
    RECT ListRect() const { return ScreenRect(list_); }
    RECT StatusRect() const { return ScreenRect(status_); }
    RECT ClientRect() const {
        RECT rect{};
        GetClientRect(window_, &rect);
        MapWindowPoints(window_, nullptr, reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    }

private:
    static constexpr int kChars = 256;  // the tests' names and texts are short
    static constexpr std::size_t kRequestBytes = 256;
    using Text = std::array<wchar_t, kChars>;

    wchar_t* RemoteText() const { return reinterpret_cast<wchar_t*>(memory_ + kRequestBytes); }
    // Sends the message with `request` staged in the target's memory, and
    // reads back what the control left there.
    template <typename T>
    LRESULT Call(HWND control, UINT message, WPARAM wParam, T& request) const {
        WriteProcessMemory(process_.get(), memory_, &request, sizeof request, nullptr);
        const LRESULT result = SendMessageW(control, message, wParam, reinterpret_cast<LPARAM>(memory_));
        ReadProcessMemory(process_.get(), memory_, &request, sizeof request, nullptr);
        return result;
    }
    std::wstring ReadText(const wchar_t* at) const {
        Text text{};
        ReadProcessMemory(process_.get(), at, text.data(), sizeof text - sizeof(wchar_t), nullptr);
        return text.data();
    }

    HWND window_;
    HWND list_;
    HWND status_;
    UniqueHandleObject process_;
    BYTE* memory_ = nullptr;
};

inline std::wstring ToString(const RECT& rect) {
    return L"(" + std::to_wstring(rect.left) + L"," + std::to_wstring(rect.top) + L")-(" +
           std::to_wstring(rect.right) + L"," + std::to_wstring(rect.bottom) + L")";
}

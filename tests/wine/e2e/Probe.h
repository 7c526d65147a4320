#pragma once

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <utility>
#include <vector>

#include "platform/resource.h"

// Reads tallowick.exe's window from another process, as a person sees it.
// The common controls read and write their answers through pointers into
// their own address space, so each request that carries a buffer is staged
// in memory allocated inside the target process.

// A visible top-level window of the class that the process owns, or null.
inline HWND FindVisible(DWORD processId, const wchar_t* className) {
    for (HWND window = nullptr; (window = FindWindowExW(nullptr, window, className, nullptr)) != nullptr;) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId && IsWindowVisible(window)) return window;
    }
    return nullptr;
}

// In screen coordinates, borders included.
inline RECT ScreenRect(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    return rect;
}

using ListItem = std::pair<std::wstring, int>;  // text, image

class Probe {
public:
    const HWND window, list, status;

    // `process` may write and read the target's memory. What the probe
    // stages there lives as long as the process: each test's ends with it.
    Probe(HWND main, HANDLE process)
        : window(main), list(GetDlgItem(main, IDC_NAMES)), status(GetDlgItem(main, IDC_STATUS)), process_(process) {
        memory_ = static_cast<BYTE*>(
            VirtualAllocEx(process, nullptr, kRequestBytes + sizeof(Text), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        if (memory_ == nullptr || list == nullptr || status == nullptr) ADD_FAILURE() << "cannot probe the window";
    }

    // What a read that the window's own changes cut short has seen; callers wait for the whole list.
    std::vector<ListItem> Items() const {
        std::vector<ListItem> items;
        for (int index = 0; index < ListView_GetItemCount(list); ++index) {
            LVITEMW item{};
            item.mask = LVIF_TEXT | LVIF_IMAGE;
            item.iItem = index;
            item.pszText = RemoteText();
            item.cchTextMax = kChars;
            if (Call(list, LVM_GETITEMW, 0, item) == 0) break;
            // The control may answer with a pointer to its own copy of the text.
            items.emplace_back(ReadText(item.pszText), item.iImage);
        }
        return items;
    }
    RECT ItemRect(int index) const {
        RECT rect{LVIR_BOUNDS, 0, 0, 0};
        Call(list, LVM_GETITEMRECT, static_cast<WPARAM>(index), rect);
        MapWindowPoints(list, nullptr, reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    }
    std::wstring HeaderText() const {
        HDITEMW item{};
        item.mask = HDI_TEXT;
        item.pszText = RemoteText();
        item.cchTextMax = kChars;
        Call(ListView_GetHeader(list), HDM_GETITEMW, 0, item);
        return ReadText(item.pszText);
    }
    std::wstring StatusText() const {
        Text text{};
        Call(status, SB_GETTEXTW, 0, text);
        return text.data();
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
        WriteProcessMemory(process_, memory_, &request, sizeof request, nullptr);
        const LRESULT result = SendMessageW(control, message, wParam, reinterpret_cast<LPARAM>(memory_));
        ReadProcessMemory(process_, memory_, &request, sizeof request, nullptr);
        return result;
    }
    std::wstring ReadText(const wchar_t* at) const {
        Text text{};
        ReadProcessMemory(process_, at, text.data(), sizeof text - sizeof(wchar_t), nullptr);
        return text.data();
    }

    HANDLE process_;
    BYTE* memory_ = nullptr;
};

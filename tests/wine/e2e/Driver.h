#pragma once

#include <windows.h>
#include <wincodec.h>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Probe.h"

// Starts tallowick.exe and drives it with input, as a person would. The
// machine may be busy: everything waits for what it expects, never a fixed time.

inline constexpr DWORD kTimeoutMs = 20000;
// How long a menu that should not appear is given to appear anyway.
inline constexpr DWORD kNoMenuMs = 700;

inline bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs = kTimeoutMs) {
    for (const ULONGLONG deadline = GetTickCount64() + timeoutMs; !condition(); Sleep(10))
        if (GetTickCount64() >= deadline) return false;
    return true;
}

inline void Send(std::vector<INPUT> inputs) {
    ASSERT_EQ(SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)), inputs.size());
}

inline INPUT Mouse(DWORD flags, LONG dx = 0, LONG dy = 0) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi = {dx, dy, 0, flags, 0, 0};
    return input;
}

// Moves the pointer as a mouse would, then presses and releases a button.
inline void Click(POINT at, DWORD down) {
    // Absolute positions are in 1/65536 of the screen; rounding up lands on the pixel itself.
    const LONG width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    Send({Mouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, (at.x * 65536 + width - 1) / width,
                (at.y * 65536 + height - 1) / height)});
    POINT cursor{};
    ASSERT_TRUE(WaitFor([&] { return GetCursorPos(&cursor) && cursor.x == at.x && cursor.y == at.y; }));
    // Each button's up flag is twice its down flag.
    Send({Mouse(down), Mouse(down * 2)});
}

// Holds the keys down in order, then lets them go in reverse, as a chord is typed.
inline void Type(std::vector<WORD> keys) {
    std::vector<INPUT> inputs(keys.size() * 2);
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const bool up = i >= keys.size();
        const WORD key = up ? keys[inputs.size() - 1 - i] : keys[i];
        inputs[i].type = INPUT_KEYBOARD;
        inputs[i].ki = {key, static_cast<WORD>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC)),
                        (up ? KEYEVENTF_KEYUP : 0u) | (key == VK_APPS ? KEYEVENTF_EXTENDEDKEY : 0u), 0, 0};
    }
    Send(inputs);
}

inline POINT Centre(const RECT& rect) { return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2}; }

// Wine runs the test with a Unix path; Z: is its root.
inline std::wstring WindowsPath(std::wstring path) {
    if (!path.starts_with(L'/')) return path;
    for (wchar_t& ch : path)
        if (ch == L'/') ch = L'\\';
    return L"Z:" + path;
}

// One running tallowick.exe; ended by force only if a test left it running.
class App {
public:
    App() {
        const std::wstring exe = WindowsPath(L"" TALLOWICK_EXE);
        std::wstring commandLine = L"\"" + exe + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &info))
            return;
        process_.reset(info.hProcess);
        CloseHandle(info.hThread);
        id_ = info.dwProcessId;
        HWND window = nullptr;
        if (WaitFor([&] { return (window = FindVisible(id_, TALLOWICK_WINDOW_CLASS)) != nullptr; }))
            probe_.emplace(window);
    }
    ~App() {
        if (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) TerminateProcess(process_.get(), 1);
    }
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    bool Ready() const { return probe_.has_value(); }
    const Probe& probe() const { return *probe_; }
    // The screen rectangle of the process's open pop-up menu, if one is open.
    std::optional<RECT> Menu() const {
        const HWND menu = FindVisible(id_, L"#32768");
        return menu == nullptr ? std::nullopt : std::optional(ScreenRect(menu));
    }
    // As the close box does; the exit code, or STILL_ACTIVE when it does not end.
    DWORD Close() {
        PostMessageW(probe_->Window(), WM_CLOSE, 0, 0);
        DWORD code = STILL_ACTIVE;
        if (WaitForSingleObject(process_.get(), kTimeoutMs) == WAIT_OBJECT_0) GetExitCodeProcess(process_.get(), &code);
        return code;
    }

private:
    UniqueHandleObject process_;
    DWORD id_ = 0;
    std::optional<Probe> probe_;
};

// What the screen shows inside `rect`, written as a PNG by WIC's encoder.
inline HRESULT SaveScreenPng(const RECT& rect, const std::wstring& path) {
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    const HDC screen = GetDC(nullptr);
    const UniqueHandle<HDC, NullInvalidTraits<HDC, DeleteDC>> memory(CreateCompatibleDC(screen));
    const UniqueHandle<HBITMAP, NullInvalidTraits<HBITMAP, DeleteObject>> bitmap(
        CreateCompatibleBitmap(screen, width, height));
    const HGDIOBJ old = SelectObject(memory.get(), bitmap.get());
    const BOOL copied = BitBlt(memory.get(), 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory.get(), old);
    ReleaseDC(nullptr, screen);
    if (!copied) return E_FAIL;

    ComPtr<IWICImagingFactory> factory;
    ComPtr<IWICBitmap> source;
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                  factory.put_void());
    if (SUCCEEDED(hr)) hr = factory->CreateBitmapFromHBITMAP(bitmap.get(), nullptr, WICBitmapIgnoreAlpha, source.put());
    if (SUCCEEDED(hr)) hr = factory->CreateStream(stream.put());
    if (SUCCEEDED(hr)) hr = stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE);
    if (SUCCEEDED(hr)) hr = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.put());
    if (SUCCEEDED(hr)) hr = encoder->Initialize(stream.get(), WICBitmapEncoderNoCache);
    if (SUCCEEDED(hr)) hr = encoder->CreateNewFrame(frame.put(), nullptr);
    if (SUCCEEDED(hr)) hr = frame->Initialize(nullptr);
    if (SUCCEEDED(hr)) hr = frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height));
    if (SUCCEEDED(hr)) hr = frame->SetPixelFormat(&format);
    if (SUCCEEDED(hr)) hr = frame->WriteSource(source.get(), nullptr);
    if (SUCCEEDED(hr)) hr = frame->Commit();
    if (SUCCEEDED(hr)) hr = encoder->Commit();
    return hr;
}

#include "Driver.h"

#include <wincodec.h>

#include <cmath>

namespace {

// Wine's own setting for one program: without a window manager, closing a
// managed window waits two seconds for one to withdraw it. Unmanaged, the
// window is placed, sized and minimised by Wine alone.
constexpr wchar_t kWineX11Key[] = L"Software\\Wine\\AppDefaults\\tallowick.exe\\X11 Driver";

void Send(std::vector<INPUT> inputs) {
    const UINT sent = SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    ASSERT_EQ(sent, inputs.size()) << "SendInput failed: " << GetLastError();
}

INPUT Mouse(DWORD flags, LONG dx = 0, LONG dy = 0) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi = {dx, dy, 0, flags, 0, 0};
    return input;
}

}  // namespace

std::wstring WindowsPath(std::wstring path) {
    if (path.starts_with(L'/')) {
        for (wchar_t& ch : path)
            if (ch == L'/') ch = L'\\';
        path.insert(0, L"Z:");
    }
    return path;
}

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition()) return true;
        if (GetTickCount64() >= deadline) return false;
        Sleep(10);
    }
}

POINT Centre(const RECT& rect) { return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2}; }

void Click(POINT at, DWORD down, DWORD up) {
    // Absolute positions are in 1/65536 of the screen; rounding up lands on the pixel itself.
    const LONG width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    Send({Mouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, (at.x * 65536 + width - 1) / width,
                (at.y * 65536 + height - 1) / height)});
    POINT cursor{};
    ASSERT_TRUE(WaitFor([&] { return GetCursorPos(&cursor) && cursor.x == at.x && cursor.y == at.y; }))
        << "the pointer stays at " << cursor.x << "," << cursor.y;
    Send({Mouse(down), Mouse(up)});
}

// Holds the keys down in order, then lets them go in reverse, as a chord is typed.
void Type(std::vector<WORD> keys) {
    std::vector<INPUT> inputs(keys.size() * 2);
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const bool up = i >= keys.size();
        const WORD key = up ? keys[inputs.size() - 1 - i] : keys[i];
        inputs[i].type = INPUT_KEYBOARD;
        inputs[i].ki.wVk = key;
        inputs[i].ki.wScan = static_cast<WORD>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC));
        inputs[i].ki.dwFlags = (up ? KEYEVENTF_KEYUP : 0) | (key == VK_APPS ? KEYEVENTF_EXTENDEDKEY : 0);
    }
    Send(inputs);
}

App::App() {
    const std::wstring exe = WindowsPath(L"" TALLOWICK_EXE);
    std::wstring commandLine = L"\"" + exe + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info)) {
        ADD_FAILURE() << "cannot start " << exe << ": " << GetLastError();
        return;
    }
    process_.reset(info.hProcess);
    CloseHandle(info.hThread);
    id_ = info.dwProcessId;
    WaitForInputIdle(process_.get(), kTimeoutMs);
    HWND window = nullptr;
    if (WaitFor([&] { return (window = Probe::FindMainWindow(id_)) != nullptr; })) probe_.emplace(window);
}

App::~App() {
    if (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
        TerminateProcess(process_.get(), 1);
        WaitForSingleObject(process_.get(), kTimeoutMs);
    }
}

DWORD App::Close() {
    PostMessageW(probe_->Window(), WM_CLOSE, 0, 0);
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(process_.get(), kTimeoutMs) == WAIT_OBJECT_0) GetExitCodeProcess(process_.get(), &code);
    return code;
}

std::wstring LayoutFault(const Probe& probe, UINT dpi) {
    const RECT client = probe.ClientRect(), list = probe.ListRect(), status = probe.StatusRect();
    const double column = (list.right - list.left) - 95.0 * dpi / kTwipsPerInch;
    std::wstring fault;
    if (list.left != client.left || list.top != client.top || list.right != client.right)
        fault += L" list not across the client's top;";
    if (status.left != client.left || status.right != client.right || status.bottom != client.bottom)
        fault += L" status bar not along the client's bottom;";
    if (list.bottom > status.top || status.top - list.bottom > 2) fault += L" list does not end at the status bar;";
    if (std::abs(probe.ColumnWidth() - column) > 1) fault += L" column width " + std::to_wstring(probe.ColumnWidth());
    if (fault.empty()) return fault;
    return fault + L" client " + ToString(client) + L" list " + ToString(list) + L" status " + ToString(status);
}

template <typename T, auto Close>
using Gdi = UniqueHandle<T, NullInvalidTraits<T, Close>>;

HRESULT SaveScreenPng(const RECT& rect, const std::wstring& path) {
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    const HDC screen = GetDC(nullptr);
    const Gdi<HDC, DeleteDC> memory(CreateCompatibleDC(screen));
    const Gdi<HBITMAP, DeleteObject> bitmap(CreateCompatibleBitmap(screen, width, height));
    const HGDIOBJ old = SelectObject(memory.get(), bitmap.get());
    const BOOL copied = BitBlt(memory.get(), 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory.get(), old);
    ReleaseDC(nullptr, screen);
    if (!copied) return HRESULT_FROM_WIN32(GetLastError());

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

TestValue Sz(const std::wstring& name, const std::wstring& data) { return {name, REG_SZ, SzData(data)}; }

std::vector<std::wstring> Texts(const Probe& probe) {
    std::vector<std::wstring> texts;
    for (const ListItem& item : probe.Items()) texts.push_back(item.text);
    return texts;
}

bool UnderWine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

void E2e::SetUpTestSuite() {
    // Coordinates of the other process's window in pixels, whatever it scales.
    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    if (UnderWine()) RegSetKeyValueW(HKEY_CURRENT_USER, kWineX11Key, L"Managed", REG_SZ, L"N", 2 * sizeof(wchar_t));
}

void E2e::TearDownTestSuite() {
    if (UnderWine()) RegDeleteKeyValueW(HKEY_CURRENT_USER, kWineX11Key, L"Managed");
}

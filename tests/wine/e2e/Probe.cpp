#include "Probe.h"

#include <commctrl.h>
#include <gtest/gtest.h>

namespace {

constexpr int kListId = 100;
constexpr int kStatusId = 101;
constexpr std::size_t kTextCapacity = 1024;  // characters; the tests' names are short

// A block of the target's memory: a request struct followed by its text buffer.
class RemoteMemory {
public:
    RemoteMemory(HANDLE process, std::size_t size)
        : process_(process), base_(VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)) {
        if (base_ == nullptr) ADD_FAILURE() << "VirtualAllocEx failed: " << GetLastError();
    }
    ~RemoteMemory() {
        if (base_ != nullptr) VirtualFreeEx(process_, base_, 0, MEM_RELEASE);
    }
    RemoteMemory(const RemoteMemory&) = delete;
    RemoteMemory& operator=(const RemoteMemory&) = delete;

    explicit operator bool() const { return base_ != nullptr; }
    BYTE* At(std::size_t offset) const { return static_cast<BYTE*>(base_) + offset; }
    LPARAM Param() const { return reinterpret_cast<LPARAM>(base_); }

    template <typename T>
    void Write(const T& value) const {
        if (!WriteProcessMemory(process_, base_, &value, sizeof value, nullptr))
            ADD_FAILURE() << "WriteProcessMemory failed: " << GetLastError();
    }
    template <typename T>
    T Read() const {
        T value{};
        ReadFrom(base_, &value, sizeof value);
        return value;
    }
    // Up to `capacity` characters, ending at the first NUL.
    std::wstring ReadText(const void* at, std::size_t capacity) const {
        std::wstring text(capacity, L'\0');
        ReadFrom(at, text.data(), capacity * sizeof(wchar_t));
        text.resize(wcsnlen(text.c_str(), capacity));
        return text;
    }

private:
    void ReadFrom(const void* at, void* into, std::size_t size) const {
        if (!ReadProcessMemory(process_, at, into, size, nullptr))
            ADD_FAILURE() << "ReadProcessMemory failed: " << GetLastError();
    }

    HANDLE process_;
    void* base_;
};

RECT ScreenRect(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    return rect;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

// The first visible top-level window of the class owned by the process.
HWND FindVisible(DWORD processId, const wchar_t* className) {
    struct Search {
        DWORD processId;
        const wchar_t* className;
        HWND found;
    } search{processId, className, nullptr};
    EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(param);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            const bool match = owner == s.processId && IsWindowVisible(window) && ClassOf(window) == s.className;
            if (match) s.found = window;
            return !match;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace

HWND Probe::FindMainWindow(DWORD processId) { return FindVisible(processId, L"TallowickMainWindow"); }

std::optional<RECT> Probe::OpenMenu(DWORD processId) {
    const HWND menu = FindVisible(processId, L"#32768");
    if (menu == nullptr) return std::nullopt;
    return ScreenRect(menu);
}

Probe::Probe(HWND window)
    : window_(window), list_(GetDlgItem(window, kListId)), status_(GetDlgItem(window, kStatusId)) {
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    process_.reset(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId));
    if (!process_ || list_ == nullptr || status_ == nullptr) ADD_FAILURE() << "cannot probe the main window";
}

std::wstring Probe::Caption() const {
    wchar_t text[256] = {};
    GetWindowTextW(window_, text, 256);
    return text;
}

// The list may change while it is read (a removal the test waits for): a
// read that saw it change is taken again.
std::vector<ListItem> Probe::Items() const {
    const RemoteMemory memory(process_.get(), sizeof(LVITEMW) + kTextCapacity * sizeof(wchar_t));
    for (int attempt = 0; memory && attempt < 5; ++attempt) {
        std::vector<ListItem> items;
        const auto count = static_cast<int>(SendMessageW(list_, LVM_GETITEMCOUNT, 0, 0));
        for (int index = 0; index < count; ++index) {
            LVITEMW request{};
            request.mask = LVIF_TEXT | LVIF_IMAGE;
            request.iItem = index;
            request.pszText = reinterpret_cast<wchar_t*>(memory.At(sizeof(LVITEMW)));
            request.cchTextMax = static_cast<int>(kTextCapacity);
            memory.Write(request);
            if (SendMessageW(list_, LVM_GETITEMW, 0, memory.Param()) == 0) break;
            const auto answer = memory.Read<LVITEMW>();
            // The control may answer with a pointer to its own copy of the text.
            items.push_back({memory.ReadText(answer.pszText, kTextCapacity), answer.iImage});
        }
        if (items.size() == static_cast<std::size_t>(count) && SendMessageW(list_, LVM_GETITEMCOUNT, 0, 0) == count)
            return items;
    }
    ADD_FAILURE() << "cannot read the list's items";
    return {};
}

std::optional<int> Probe::Selected() const { return NextItem(LVNI_SELECTED); }
std::optional<int> Probe::Focused() const { return NextItem(LVNI_FOCUSED); }

std::optional<int> Probe::NextItem(UINT flags) const {
    const auto index = static_cast<int>(SendMessageW(list_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), flags));
    if (index < 0) return std::nullopt;
    return index;
}

bool Probe::ListHasFocus() const {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(GetWindowThreadProcessId(list_, nullptr), &info) && info.hwndFocus == list_;
}

RECT Probe::ItemRect(int item, int part) const {
    const RemoteMemory memory(process_.get(), sizeof(RECT));
    RECT rect{part, 0, 0, 0};
    if (!memory) return rect;
    memory.Write(rect);
    if (SendMessageW(list_, LVM_GETITEMRECT, static_cast<WPARAM>(item), memory.Param()) == 0)
        ADD_FAILURE() << "LVM_GETITEMRECT " << item;
    rect = memory.Read<RECT>();
    MapWindowPoints(list_, nullptr, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

std::wstring Probe::HeaderText() const {
    const RemoteMemory memory(process_.get(), sizeof(HDITEMW) + kTextCapacity * sizeof(wchar_t));
    if (!memory) return {};
    HDITEMW request{};
    request.mask = HDI_TEXT;
    request.pszText = reinterpret_cast<wchar_t*>(memory.At(sizeof(HDITEMW)));
    request.cchTextMax = static_cast<int>(kTextCapacity);
    memory.Write(request);
    const auto header = reinterpret_cast<HWND>(SendMessageW(list_, LVM_GETHEADER, 0, 0));
    if (SendMessageW(header, HDM_GETITEMW, 0, memory.Param()) == 0) ADD_FAILURE() << "HDM_GETITEMW";
    return memory.ReadText(memory.Read<HDITEMW>().pszText, kTextCapacity);
}

int Probe::ColumnWidth() const { return static_cast<int>(SendMessageW(list_, LVM_GETCOLUMNWIDTH, 0, 0)); }

std::wstring Probe::StatusText() const {
    const auto length = LOWORD(SendMessageW(status_, SB_GETTEXTLENGTHW, 0, 0));
    const RemoteMemory memory(process_.get(), (length + 1u) * sizeof(wchar_t));
    if (!memory) return {};
    SendMessageW(status_, SB_GETTEXTW, 0, memory.Param());
    return memory.ReadText(memory.At(0), length);
}

RECT Probe::WindowRect() const { return ScreenRect(window_); }
RECT Probe::ListRect() const { return ScreenRect(list_); }
RECT Probe::StatusRect() const { return ScreenRect(status_); }
RECT Probe::HeaderRect() const { return ScreenRect(reinterpret_cast<HWND>(SendMessageW(list_, LVM_GETHEADER, 0, 0))); }

RECT Probe::ClientRect() const {
    RECT rect{};
    GetClientRect(window_, &rect);
    MapWindowPoints(window_, nullptr, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

std::wstring ToString(const RECT& rect) {
    return L"(" + std::to_wstring(rect.left) + L"," + std::to_wstring(rect.top) + L")-(" +
           std::to_wstring(rect.right) + L"," + std::to_wstring(rect.bottom) + L")";
}

#include "bench/StartUp.h"

#include <commctrl.h>
#include <psapi.h>

#include "bench/Clock.h"
#include "platform/Win32Handles.h"

namespace bench {
namespace {

// The process's own window of that class; the bench has hidden windows of
// the product's class too.
HWND FindProcessWindow(DWORD processId, const wchar_t* windowClass) {
    for (HWND window = FindWindowExW(nullptr, nullptr, windowClass, nullptr); window != nullptr;
         window = FindWindowExW(nullptr, window, windowClass, nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId) return window;
    }
    return nullptr;
}

// A window created hidden is filled before it is shown, but a sent message
// would wait for the listing to end: ask the list only once it is visible.
bool IsReady(HWND window, long items) {
    if (window == nullptr || !IsWindowVisible(window)) return false;
    if (items < 0) return true;
    HWND list = FindWindowExW(window, nullptr, WC_LISTVIEWW, nullptr);
    DWORD_PTR count = 0;
    if (list == nullptr ||
        SendMessageTimeoutW(list, LVM_GETITEMCOUNT, 0, 0, SMTO_ABORTIFHUNG, 2000, &count) == 0)
        return false;
    return static_cast<long>(count) >= items;
}

}  // namespace

Launch TimeLaunch(const std::wstring& exe, const wchar_t* windowClass, long items, DWORD timeoutMs) {
    Launch launch;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::wstring commandLine = L"\"" + exe + L"\"";

    const double start = NowMs();
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        launch.error = L"CreateProcess failed (error " + std::to_wstring(GetLastError()) + L")";
        return launch;
    }
    const UniqueHandleObject processHandle(process.hProcess), threadHandle(process.hThread);

    HWND window = nullptr;
    for (;;) {
        window = FindProcessWindow(process.dwProcessId, windowClass);
        if (IsReady(window, items)) {
            launch.visibleMs = NowMs() - start;
            launch.ok = true;
            break;
        }
        // Doubles as the poll interval: a millisecond, or the process's end.
        if (WaitForSingleObject(process.hProcess, 1) == WAIT_OBJECT_0) {
            launch.error = L"the program exited before its window was seen";
            return launch;
        }
        if (NowMs() - start > timeoutMs) {
            launch.error = L"no visible window after " + std::to_wstring(timeoutMs) + L" ms";
            break;
        }
    }

    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    if (GetProcessMemoryInfo(process.hProcess, &memory, sizeof memory)) launch.peakWorkingSet = memory.PeakWorkingSetSize;

    if (window != nullptr) PostMessageW(window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process.hProcess, 15000) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, 5000);
        if (launch.error.empty()) launch.error = L"did not exit after WM_CLOSE";
        launch.ok = false;
    }
    return launch;
}

}  // namespace bench

#include <windows.h>
#include <commctrl.h>

#include <array>
#include <string>

#include "platform/common/Guarded.h"
#include "platform/window/MainWindow.h"
#include "platform/common/Win32Archive.h"
#include "platform/common/NewerApis.h"
#include "platform/common/Win32Shell.h"
#include "platform/common/Win32Registry.h"
#include "screennames/ScreenNames.h"

namespace {

int RunWindow(HINSTANCE instance, int showCommand) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);

    Win32Registry registry;
    AutomationOrApiShellFactory shells;
    Win32Archive archive;
    MainWindow window(registry, shells, archive);
    if (!window.Create(instance, showCommand)) return 1;

    // Messages first, so that a command the pop-up menu posted acts on the
    // list it was chosen from; then the registry's changes. A batch has a
    // limit: a queue that never empties (a control's timers, a stream of
    // mouse moves) must not keep the list from following the registry, and
    // the wait below answers for a signalled watch before waiting input.
    const std::array<HANDLE, 2> changed = window.RegistryChangedEvents();
    const DWORD watched = changed[0] != nullptr ? 2 : 0;
    for (;;) {
        MSG message{};
        for (int batch = 0; batch < 64 && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); ++batch) {
            if (message.message == WM_QUIT) return static_cast<int>(message.wParam);
            if (window.TranslateKeys(message)) continue;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (MsgWaitForMultipleObjectsEx(watched, changed.data(), INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE) <
            WAIT_OBJECT_0 + watched)
            window.OnRegistryChanged();
    }
}

}  // namespace

// NOLINTNEXTLINE(readability-inconsistent-declaration-parameter-name): winbase.h names them in Hungarian.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/, int showCommand) {
    // DLLs come from System32 only, never from beside a downloaded exe.
    NewerApis::Get().RestrictDllSearch();
    HeapSetInformation(nullptr, HeapEnableTerminationOnCorruption, nullptr, 0);

    // The window's handlers answer their own errors in the status bar; what
    // reaches here left no window to go on with.
    return Guarded([&] { return RunWindow(instance, showCommand); },
                   [](bool outOfMemory) {
                       // The closed window posted WM_QUIT, which would end the
                       // message box before it is seen.
                       MSG quit{};
                       PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
                       const std::wstring text = L"Tallowick stopped: " +
                                                 std::wstring(ScreenNames::UnfinishedReason(outOfMemory)) + L".";
                       MessageBoxW(nullptr, text.c_str(), L"Tallowick", MB_OK | MB_ICONERROR);
                       return 1;
                   });
}

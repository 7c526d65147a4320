#include <windows.h>
#include <commctrl.h>

#include "platform/MainWindow.h"
#include "platform/NewerApis.h"
#include "platform/Win32Shell.h"
#include "platform/Win32Registry.h"

// NOLINTNEXTLINE(readability-inconsistent-declaration-parameter-name): winbase.h names them in Hungarian.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/, int showCommand) {
    // DLLs come from System32 only, never from beside a downloaded exe.
    NewerApis::Get().RestrictDllSearch();
    HeapSetInformation(nullptr, HeapEnableTerminationOnCorruption, nullptr, 0);

    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);

    Win32Registry registry;
    ProductionShellFactory shells;
    MainWindow window(registry, shells);
    if (!window.Create(instance, showCommand)) return 1;

    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

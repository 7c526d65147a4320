#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "platform/NewerApis.h"
#include "platform/Win32Archive.h"
#include "platform/Win32Registry.h"
#include "platform/Win32Shell.h"

namespace {

// A console gets the text as it is; a file or a pipe gets UTF-8 without a
// byte order mark, so that "tallowick-cli list > names.txt" keeps every name.
void Write(DWORD which, const std::wstring& text) {
    HANDLE handle = GetStdHandle(which);
    if (text.empty() || handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(handle, &mode)) {
        WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr, nullptr);
    WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // DLLs come from System32 only, never from beside a downloaded exe.
    NewerApis::Get().RestrictDllSearch();
    HeapSetInformation(nullptr, HeapEnableTerminationOnCorruption, nullptr, 0);

    const std::vector<std::wstring_view> arguments(argv + std::min(argc, 1), argv + argc);
    Win32Registry registry;
    ProductionShellFactory shells;
    Win32Archive archive;
    const cli::Outcome outcome = cli::Run(arguments, registry, shells, archive);
    Write(STD_OUTPUT_HANDLE, outcome.out);
    Write(STD_ERROR_HANDLE, outcome.err);
    return outcome.exitCode;
}

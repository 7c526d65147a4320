#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "screennames/ScreenNames.h"
#include "platform/common/Guarded.h"
#include "platform/common/NewerApis.h"
#include "platform/common/Win32Archive.h"
#include "platform/common/Win32Registry.h"
#include "platform/common/Win32Shell.h"
#include "platform/cli/Win32Accounts.h"
#include "version.h"

// The runtime would otherwise expand "a*b" against the current folder on
// some MinGW builds: a screen name is passed on as typed.
extern "C" {
int _dowildcard = 0;  // NOLINT(bugprone-reserved-identifier): the runtime's own switch
}

namespace {

// Windows 7's console fails a WriteConsoleW of more than about 26,000
// characters (its 64 KB heap), so text goes out in pieces.
constexpr std::size_t kConsolePiece = 8192;

// A console gets the text as it is; a file or a pipe gets UTF-8 without a
// byte order mark, so that "tallowick-cli list > names.txt" keeps every name.
// Every write is checked: a full disk or a closed pipe is a failure.
bool Write(HANDLE handle, std::wstring_view text) {
    if (text.empty()) return true;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode)) {
        while (!text.empty()) {
            const std::size_t piece = cli::ConsolePiece(text, kConsolePiece);
            DWORD written = 0;
            if (!WriteConsoleW(handle, text.data(), static_cast<DWORD>(piece), &written, nullptr) || written == 0)
                return false;
            text.remove_prefix(std::min<std::size_t>(written, piece));
        }
        return true;
    }
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (size <= 0) return false;
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr, nullptr);
    DWORD written = 0;
    return WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

// WriteFile and WriteConsoleW keep nothing back: each line is out when the
// call returns.
class StandardStreams final : public cli::Output {
public:
    bool Out(std::wstring_view text) override { return Write(GetStdHandle(STD_OUTPUT_HANDLE), text); }
    bool Err(std::wstring_view text) override { return Write(GetStdHandle(STD_ERROR_HANDLE), text); }
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // DLLs come from System32 only, never from beside a downloaded exe.
    NewerApis::Get().RestrictDllSearch();
    HeapSetInformation(nullptr, HeapEnableTerminationOnCorruption, nullptr, 0);

    StandardStreams output;
    return Guarded(
        [&] {
            const std::vector<std::wstring_view> arguments(argv + std::min(argc, 1), argv + argc);
            Win32Registry registry;
            AutomationOrApiShellFactory shells;
            Win32Archive archive;
            Win32Accounts accounts;
            return cli::Run(arguments, L"" TALLOWICK_VERSION_TEXT, registry, shells, archive, accounts, output);
        },
        // In pieces, so that the line takes no memory to put together.
        [&](bool outOfMemory) {
            output.Err(L"tallowick-cli: could not finish: ");
            output.Err(ScreenNames::UnfinishedReason(outOfMemory));
            output.Err(L".\r\n");
            return 1;
        });
}

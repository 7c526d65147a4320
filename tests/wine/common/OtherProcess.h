#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "Deadline.h"
#include "platform/common/Win32Handles.h"

// Another program at work on the registry while Tallowick runs: started by
// its command line, as a script would, and waited for.

// Runs `commandLine` as another process and returns its exit code; with
// `output`, what it wrote to stdout and stderr, through one pipe. With
// `meanwhile`, the process gets a console of its own, to which a console
// control event can be sent, and `meanwhile` is called with its id before
// any of its output is read.
inline DWORD RunOtherProcess(const std::wstring& commandLine, std::string* output = nullptr,
                             const std::function<void(DWORD)>& meanwhile = {}) {
    // Its pipe and its exit alike: a child that hangs keeps both open.
    const Deadline deadline("the process " + testing::PrintToString(commandLine) + " to end", 60);
    std::wstring line = commandLine;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    UniqueHandleObject read, write;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (output != nullptr && CreatePipe(read.put(), write.put(), &inherit, 0))
        startup.dwFlags = STARTF_USESTDHANDLES, startup.hStdOutput = startup.hStdError = write.get();
    PROCESS_INFORMATION process{};
    if (meanwhile) startup.dwFlags |= STARTF_USESHOWWINDOW, startup.wShowWindow = SW_HIDE;
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, output != nullptr, meanwhile ? CREATE_NEW_CONSOLE : CREATE_NO_WINDOW,
                        nullptr, nullptr, &startup, &process))
        return GetLastError() | 0x80000000U;
    const UniqueHandleObject processHandle(process.hProcess), threadHandle(process.hThread);
    write.reset();
    if (meanwhile) meanwhile(process.dwProcessId);
    char buffer[4096];
    for (DWORD got = 0; read && ReadFile(read.get(), buffer, sizeof buffer, &got, nullptr) && got != 0;) output->append(buffer, got);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    return exitCode;
}

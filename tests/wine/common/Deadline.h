#pragma once

#include <windows.h>

#include <cstdio>
#include <string>
#include <utility>

// A limit of its own for a wait that cannot time out by itself (a window
// procedure, a COM call, a message sent to another process, a child's pipe),
// below ctest's: when the limit passes, the test process says what it waited
// for and ends, so a hang in CI names its cause rather than running into
// ctest's timeout with nothing printed.
class Deadline {
public:
    Deadline(std::string what, DWORD seconds) : what_(std::move(what)), seconds_(seconds) {
        if (!CreateTimerQueueTimer(&timer_, nullptr, Expired, this, seconds * 1000, 0, WT_EXECUTEONLYONCE)) timer_ = nullptr;
    }
    ~Deadline() {
        // Waits for a callback under way, which ends the process anyway.
        if (timer_ != nullptr) DeleteTimerQueueTimer(nullptr, timer_, INVALID_HANDLE_VALUE);
    }
    Deadline(const Deadline&) = delete;
    Deadline& operator=(const Deadline&) = delete;

private:
    static void CALLBACK Expired(void* context, BOOLEAN) {
        const auto* self = static_cast<const Deadline*>(context);
        std::fflush(stdout);
        std::fprintf(stderr, "\ngave up after %lu s waiting for %s\n", self->seconds_, self->what_.c_str());
        std::fflush(stderr);
        // Not ExitProcess: the thread that hangs may hold a lock that the
        // process's exit would wait for.
        TerminateProcess(GetCurrentProcess(), 3);
    }

    std::string what_;
    DWORD seconds_;
    HANDLE timer_ = nullptr;
};

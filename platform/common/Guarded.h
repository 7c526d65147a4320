#pragma once

#include <new>

// Runs `fn` and returns its result; whatever it throws stops here, and
// `onError(outOfMemory)` answers instead. The system calls window
// procedures, wmain and COM methods through its own frames, which an
// exception must never unwind: some Windows versions end the process then
// without a word.
template <typename Fn, typename OnError>
auto Guarded(Fn&& fn, OnError&& onError) noexcept -> decltype(fn()) {
    try {
        return fn();
    } catch (const std::bad_alloc&) {
        return onError(true);
    } catch (...) {
        return onError(false);
    }
}

#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace bench {

struct Options {
    std::size_t maxN = 100000;
    bool quick = false;
    bool force = false;
    bool help = false;
    std::wstring exe;  // empty: tallowick.exe next to the bench
    int reps = 0;      // 0: as many as each size needs
};

// `args` leaves out the program name. On a bad argument: nullopt, and `error` says why.
std::optional<Options> ParseOptions(std::span<const std::wstring_view> args, std::wstring& error);

// The listing sizes the options ask for, smallest first.
std::vector<std::size_t> ListingSizes(const Options& options);

// Repetitions of one measurement at `n` items: more where a run is short and
// noise weighs more, never fewer than five outside --quick.
int RepetitionsFor(const Options& options, std::size_t n);

extern const wchar_t kUsage[];

}  // namespace bench

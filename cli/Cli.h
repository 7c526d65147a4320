#pragma once

#include <span>
#include <string>
#include <string_view>

namespace reg {
class RegistryReader;
class NameArchive;
}
class ScriptShellFactory;

// tallowick-cli: the window's listing, refusals and removals for scripts.
// What it prints is returned whole, with CRLF line ends, and written out by
// the platform's main.
namespace cli {

inline constexpr int kDone = 0;
inline constexpr int kNameStays = 1;
inline constexpr int kBadUsage = 2;

struct Outcome {
    std::wstring out;
    std::wstring err;
    int exitCode = kDone;
};

std::wstring_view Usage();
// `arguments` leaves out the program's own name.
Outcome Run(std::span<const std::wstring_view> arguments, reg::RegistryReader& registry, ScriptShellFactory& shells,
            reg::NameArchive& archive);

}  // namespace cli

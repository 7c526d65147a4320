#include "bench/Options.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace bench {
namespace {

constexpr std::array<std::size_t, 4> kFullSizes{100, 1000, 10000, 100000};
constexpr std::array<std::size_t, 2> kQuickSizes{100, 1000};
constexpr int kQuickReps = 3;

std::optional<std::size_t> ParseCount(std::wstring_view text) {
    std::string narrow;
    for (wchar_t c : text) {
        if (c == L',' || c == L'_') continue;  // 10,000 and 10_000 read as written
        if (c < L'0' || c > L'9') return std::nullopt;
        narrow += static_cast<char>(c);
    }
    std::size_t value = 0;
    const auto [end, error] = std::from_chars(narrow.data(), narrow.data() + narrow.size(), value);
    if (narrow.empty() || error != std::errc{} || end != narrow.data() + narrow.size()) return std::nullopt;
    return value;
}

}  // namespace

const wchar_t kUsage[] =
    L"usage: tallowick-bench [--quick] [--max-n N] [--reps K] [--exe PATH] [--force]\n"
    L"  --quick    smoke run: N = 100 and 1,000, three repetitions\n"
    L"  --max-n N  list no more than N names (100, 1,000, 10,000, 100,000)\n"
    L"  --reps K   repetitions of each measurement (at least 1)\n"
    L"  --exe PATH tallowick.exe to start (default: next to this program)\n"
    L"  --force    run although the Users key already holds names; THEY ARE DELETED\n"
    L"The bench fills HKCU\\Software\\America Online\\AOL Instant Messenger (TM)\\\n"
    L"CurrentVersion\\Users with made-up names and deletes them at the end.\n";

std::optional<Options> ParseOptions(std::span<const std::wstring_view> args, std::wstring& error) {
    Options options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::wstring_view arg = args[i];
        const auto value = [&]() -> std::optional<std::wstring_view> {
            if (i + 1 >= args.size()) return std::nullopt;
            return args[++i];
        };
        if (arg == L"--quick") {
            options.quick = true;
        } else if (arg == L"--force") {
            options.force = true;
        } else if (arg == L"--help" || arg == L"-h" || arg == L"/?") {
            options.help = true;
        } else if (arg == L"--max-n" || arg == L"--reps") {
            const std::optional<std::wstring_view> text = value();
            const std::optional<std::size_t> count = text ? ParseCount(*text) : std::nullopt;
            if (!count) {
                error = std::wstring(arg) + L" needs a number";
                return std::nullopt;
            }
            if (arg == L"--max-n") {
                if (*count < kFullSizes.front()) {
                    error = L"--max-n must be at least 100";
                    return std::nullopt;
                }
                options.maxN = *count;
            } else {
                if (*count < 1 || *count > 1000) {
                    error = L"--reps must be between 1 and 1000";
                    return std::nullopt;
                }
                options.reps = static_cast<int>(*count);
            }
        } else if (arg == L"--exe") {
            const std::optional<std::wstring_view> path = value();
            if (!path || path->empty()) {
                error = L"--exe needs a path";
                return std::nullopt;
            }
            options.exe = *path;
        } else {
            error = L"unknown argument: " + std::wstring(arg);
            return std::nullopt;
        }
    }
    return options;
}

std::vector<std::size_t> ListingSizes(const Options& options) {
    std::vector<std::size_t> sizes;
    const std::span<const std::size_t> candidates =
        options.quick ? std::span<const std::size_t>(kQuickSizes) : std::span<const std::size_t>(kFullSizes);
    std::copy_if(candidates.begin(), candidates.end(), std::back_inserter(sizes),
                 [&](std::size_t n) { return n <= options.maxN; });
    return sizes;
}

int RepetitionsFor(const Options& options, std::size_t n) {
    if (options.reps > 0) return options.reps;
    if (options.quick) return kQuickReps;
    if (n <= 100) return 21;
    if (n <= 1000) return 15;
    if (n <= 10000) return 9;
    return 5;
}

}  // namespace bench

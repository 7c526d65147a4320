// tallowick-bench: what the product's listing, removal and start-up cost,
// next to the same platform calls made with nothing of ours in between.
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bench/BaselineList.h"
#include "bench/Clock.h"
#include "bench/Options.h"
#include "bench/ScratchUsersKey.h"
#include "bench/ScreenNames.h"
#include "bench/Stats.h"
#include "bench/StartUp.h"
#include "platform/MainWindow.h"
#include "platform/Win32Archive.h"
#include "platform/ScriptShells.h"
#include "platform/Win32Handles.h"
#include "platform/Win32Registry.h"
#include "platform/resource.h"
#include "screennames/EnumerateValues.h"

namespace {

using namespace bench;

constexpr std::uint32_t kNameSeed = 1997;
constexpr std::size_t kStartUpItems = 1000;
constexpr std::size_t kRemovalItems = 10000;
constexpr int kStartUpRuns = 7;
constexpr int kQuickStartUpRuns = 3;

std::string Utf8(std::wstring_view text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                         nullptr);
    std::string result(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size, nullptr, nullptr);
    return result;
}

void Progress(const char* format, auto... args) {
    std::fprintf(stderr, format, args...);
    std::fflush(stderr);
}

// Nothing waits on the hidden windows' queues, but what comctl32 posts to
// them should not pile up between runs.
void PumpMessages() {
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

std::wstring ProgramDirectory() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

bool FileExists(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The product's window, created hidden as the product creates it, and the
// controls inside it that the bench clears between runs.
struct ProductWindow {
    Win32Registry registry;
    ProductionShellFactory shells;
    Win32Archive archive;
    MainWindow window{registry, shells, archive};
    HWND list = nullptr;
    HWND status = nullptr;

    bool Create() {
        if (!window.Create(GetModuleHandleW(nullptr), SW_HIDE)) return false;
        list = FindWindowExW(window.hwnd(), nullptr, WC_LISTVIEWW, nullptr);
        status = FindWindowExW(window.hwnd(), nullptr, STATUSCLASSNAMEW, nullptr);
        return list != nullptr && status != nullptr;
    }
};

void ClearList(HWND list, HWND status) {
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    SendMessageW(status, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(L""));
    PumpMessages();
}

struct ListingRow {
    std::size_t n = 0;
    int reps = 0;
    double fillS = 0;
    double oursMs = 0;
    double directMs = 0;
    double baseMs = 0;
    ListingParts parts;
    double Ratio() const { return baseMs > 0 ? oursMs / baseMs : 0; }
    double DirectRatio() const { return baseMs > 0 ? directMs / baseMs : 0; }
    double OursUs() const { return oursMs * 1000.0 / static_cast<double>(n); }
    double BaseUs() const { return baseMs * 1000.0 / static_cast<double>(n); }
};

struct RemovalRow {
    std::size_t n = 0;
    int reps = 0;
    double oursMs = 0;
    double baseMs = 0;
};

struct StartUpRow {
    bool ran = false;
    std::wstring skipped;
    std::size_t items = 0;
    int runs = 0;
    double oursMs = 0;
    double emptyMs = 0;
    double bareMs = 0;        // tallowick.exe with no names
    double emptyAgainMs = 0;  // the empty window in that second set of rounds
    double controlsMs = 0;    // the empty window with comctl32's list view and status bar
    SIZE_T oursPeak = 0;
    SIZE_T emptyPeak = 0;
};

struct MemoryRow {
    std::size_t n = 0;
    SIZE_T benchPeak = 0;
    bool productRan = false;
    std::wstring productSkipped;
    SIZE_T productPeak = 0;
    double productVisibleMs = 0;
};

class Bench {
public:
    Bench(const Options& options, ScratchUsersKey& scratch, ProductWindow& product, BaselineWindow& baseline)
        : options_(options), scratch_(scratch), product_(product), baseline_(baseline) {}

    bool Listing(std::size_t n, std::vector<std::wstring>& names, ListingRow& row) {
        row.n = n;
        row.reps = RepetitionsFor(options_, n);
        names = MakeScreenNames(n, kNameSeed);
        const double fillStart = NowMs();
        if (const LSTATUS status = scratch_.Fill(names); status != ERROR_SUCCESS) {
            error_ = L"filling the Users key failed (error " + std::to_wstring(status) + L")";
            return false;
        }
        row.fillS = (NowMs() - fillStart) / 1000.0;
        Progress("bench: N = %zu: filled in %.1f s; %d repetitions\n", n, row.fillS, row.reps);

        std::vector<double> ours, direct, base;
        // A first run of each warms caches and is not counted; runs of the
        // largest size take long enough to need none.
        for (int rep = n < 100000 ? -1 : 0; rep < row.reps; ++rep) {
            double oursMs = 0, directMs = 0, baseMs = 0;
            // Alternating which goes first shares out drift and noise.
            const bool oursFirst = rep % 2 == 0;
            if (oursFirst && (!RunOurs(n, true, oursMs) || !RunOurs(n, false, directMs))) return false;
            if (!RunBaseline(n, baseMs)) return false;
            if (!oursFirst && (!RunOurs(n, false, directMs) || !RunOurs(n, true, oursMs))) return false;
            if (rep < 0) continue;
            ours.push_back(oursMs);
            direct.push_back(directMs);
            base.push_back(baseMs);
        }
        row.oursMs = Median(ours);
        row.directMs = Median(direct);
        row.baseMs = Median(base);
        // The parts, each the median of three runs (of one at the largest size).
        std::vector<double> enumerate, insert, insertNoRedraw, status, count;
        for (int run = 0; run < (n < 100000 ? 3 : 1); ++run) {
            const ListingParts parts = TimeListingParts(baseline_.list(), baseline_.status(), product_.list);
            ClearList(baseline_.list(), baseline_.status());
            enumerate.push_back(parts.enumerateMs);
            insert.push_back(parts.insertMs);
            insertNoRedraw.push_back(parts.insertNoRedrawMs);
            status.push_back(parts.statusMs);
            count.push_back(parts.countMs);
        }
        row.parts = {Median(enumerate), Median(insert), Median(insertNoRedraw), Median(status), Median(count)};
        Progress("bench: N = %zu: ours %.2f ms, direct %.2f ms, baseline %.2f ms, ratio %.2f\n", n, row.oursMs,
                 row.directMs, row.baseMs, row.Ratio());
        return true;
    }

    // One removal through the menu command, on a name in the middle of the
    // list that has its settings subtree; the name is put back afterwards.
    bool Removal(std::size_t n, const std::vector<std::wstring>& names, RemovalRow& row) {
        row.n = n;
        row.reps = std::max(RepetitionsFor(options_, n), options_.quick ? 3 : 9);
        const std::wstring& name = names[(n / 2) & ~std::size_t{1}];  // even positions have subtrees

        ClearList(product_.list, product_.status);
        product_.window.LoadNames();
        std::vector<double> ours, base;
        for (int rep = -1; rep < row.reps; ++rep) {
            double oursMs = 0, baseMs = 0;
            const bool oursFirst = rep % 2 == 0;
            if (oursFirst && !RemoveOnce(name, n, true, oursMs)) return false;
            if (!RemoveOnce(name, n, false, baseMs)) return false;
            if (!oursFirst && !RemoveOnce(name, n, true, oursMs)) return false;
            if (rep < 0) continue;
            ours.push_back(oursMs);
            base.push_back(baseMs);
        }
        ClearList(product_.list, product_.status);
        row.oursMs = Median(ours);
        row.baseMs = Median(base);
        Progress("bench: removal at N = %zu: ours %.3f ms, platform calls %.3f ms\n", n, row.oursMs, row.baseMs);
        return true;
    }

    // The product against an empty window with the Users key as the
    // listing left it; then, with the key emptied, the product without names
    // and a window with comctl32's empty controls, which show where the
    // difference goes. The key is refilled afterwards.
    void StartUp(const std::vector<std::wstring>& names, StartUpRow& row) {
        row.items = names.size();
        row.runs = options_.quick ? kQuickStartUpRuns : std::max(kStartUpRuns, options_.reps);
        const std::wstring directory = ProgramDirectory();
        Program product{options_.exe.empty() ? directory + L"tallowick.exe" : options_.exe, L"TallowickMainWindow",
                        static_cast<long>(names.size()), {}};
        Program empty{directory + L"bench-empty-window.exe", L"TallowickBenchEmptyWindow", -1, {}};
        Program controls{directory + L"bench-controls-window.exe", L"TallowickBenchControlsWindow", -1, {}};
        for (const Program* program : {&product, &empty, &controls}) {
            if (!FileExists(program->exe)) {
                row.skipped = program->exe + L" not found";
                return;
            }
        }
        std::vector<Program*> withNames{&product, &empty};
        if (!Rotate(withNames, row.runs, row.skipped)) return;
        row.oursMs = Median(product.samples);
        row.emptyMs = Median(empty.samples);
        row.oursPeak = product.peak;
        row.emptyPeak = empty.peak;

        Program bare = product;
        bare.items = 0;
        bare.samples.clear();
        Program emptyAgain = empty;
        emptyAgain.samples.clear();
        std::vector<Program*> withoutNames{&bare, &emptyAgain, &controls};
        const bool emptied = scratch_.Empty() == ERROR_SUCCESS;
        const bool rotated = emptied && Rotate(withoutNames, row.runs, row.skipped);
        if (scratch_.Fill(names) != ERROR_SUCCESS) {
            row.skipped = L"refilling the Users key failed";
            return;
        }
        if (!rotated) return;
        row.bareMs = Median(bare.samples);
        row.emptyAgainMs = Median(emptyAgain.samples);
        row.controlsMs = Median(controls.samples);
        row.ran = true;
        Progress("bench: start-up: tallowick.exe %.1f ms, empty window %.1f ms\n", row.oursMs, row.emptyMs);
    }

    void Memory(std::size_t n, MemoryRow& row) {
        row.n = n;
        PROCESS_MEMORY_COUNTERS memory{};
        memory.cb = sizeof memory;
        if (GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory)) row.benchPeak = memory.PeakWorkingSetSize;

        const std::wstring exe = options_.exe.empty() ? ProgramDirectory() + L"tallowick.exe" : options_.exe;
        if (!FileExists(exe)) {
            row.productSkipped = exe + L" not found";
            return;
        }
        const Launch launch = TimeLaunch(exe, L"TallowickMainWindow", static_cast<long>(n), 600000);
        if (!launch.ok) {
            row.productSkipped = launch.error;
            return;
        }
        row.productRan = true;
        row.productPeak = launch.peakWorkingSet;
        row.productVisibleMs = launch.visibleMs;
    }

    const std::wstring& error() const { return error_; }

private:
    struct Program {
        std::wstring exe;
        const wchar_t* windowClass;
        long items;
        std::vector<double> samples;
        SIZE_T peak = 0;
    };

    // Each round starts every program once, the first one changing from
    // round to round so that none always follows the same one. A first
    // round warms the file cache and is not counted.
    static bool Rotate(std::vector<Program*>& programs, int runs, std::wstring& error) {
        for (int round = -1; round < runs; ++round) {
            for (std::size_t k = 0; k < programs.size(); ++k) {
                Program& program = *programs[(k + static_cast<std::size_t>(round + 1)) % programs.size()];
                const Launch launch = TimeLaunch(program.exe, program.windowClass, program.items, 60000);
                PumpMessages();
                if (!launch.ok) {
                    error = program.exe + L": " + launch.error;
                    return false;
                }
                if (round < 0) continue;
                program.samples.push_back(launch.visibleMs);
                program.peak = std::max(program.peak, launch.peakWorkingSet);
            }
        }
        return true;
    }

    // `asLoaded`: the window's own load, as tallowick.exe runs it at start;
    // otherwise the listing function called on its own, whose platform calls
    // are the baseline's.
    bool RunOurs(std::size_t n, bool asLoaded, double& ms) {
        ClearList(product_.list, product_.status);
        const double start = NowMs();
        if (asLoaded) product_.window.LoadNames();
        else EnumerateValues::LoadScreenNames(product_.registry, product_.window, product_.window);
        ms = NowMs() - start;
        const auto listed = static_cast<std::size_t>(product_.window.ItemCount());
        ClearList(product_.list, product_.status);
        return Check(listed, n, L"the product's listing");
    }

    bool RunBaseline(std::size_t n, double& ms) {
        ClearList(baseline_.list(), baseline_.status());
        const double start = NowMs();
        const long listed = ListDirect(baseline_.list(), baseline_.status());
        ms = NowMs() - start;
        ClearList(baseline_.list(), baseline_.status());
        return Check(static_cast<std::size_t>(std::max(0L, listed)), n, L"the baseline listing");
    }

    bool Check(std::size_t listed, std::size_t n, const wchar_t* what) {
        if (listed == n) return true;
        error_ = std::wstring(what) + L" listed " + std::to_wstring(listed) + L" of " + std::to_wstring(n) + L" names";
        return false;
    }

    bool RemoveOnce(const std::wstring& name, std::size_t n, bool ours, double& ms) {
        std::wstring text = name;
        LVFINDINFOW find{};
        find.flags = LVFI_STRING;
        find.psz = text.c_str();
        const int index = static_cast<int>(SendMessageW(product_.list, LVM_FINDITEMW, static_cast<WPARAM>(-1),
                                                        reinterpret_cast<LPARAM>(&find)));
        if (index < 0) {
            error_ = L"the name to remove is not in the list";
            return false;
        }
        product_.window.SelectItem(index + 1);
        PumpMessages();

        const double start = NowMs();
        if (ours) {
            SendMessageW(product_.window.hwnd(), WM_COMMAND, MAKEWPARAM(IDM_REMOVENAME, 0), 0);
        } else {
            // The same effects as plain platform calls: value, subtree, item,
            // and the neighbour selected.
            const std::wstring users(USERS_KEY_PATH);
            RegDeleteKeyValueW(HKEY_CURRENT_USER, users.c_str(), name.c_str());
            RegDeleteTreeW(HKEY_CURRENT_USER, (users + L'\\' + name).c_str());
            SendMessageW(product_.list, LVM_DELETEITEM, static_cast<WPARAM>(index), 0);
            ListView_SetItemState(product_.list, index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
            ListView_EnsureVisible(product_.list, index, FALSE);
        }
        ms = NowMs() - start;

        const auto left = static_cast<std::size_t>(product_.window.ItemCount());
        if (left != n - 1 || scratch_.HasValue(name)) {
            error_ = L"the removal of " + name + L" did not happen";
            return false;
        }
        if (const LSTATUS status = scratch_.AddName(name, true); status != ERROR_SUCCESS) {
            error_ = L"re-creating " + name + L" failed (error " + std::to_wstring(status) + L")";
            return false;
        }
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_IMAGE;
        item.iItem = index;
        item.pszText = text.data();
        SendMessageW(product_.list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        PumpMessages();
        return true;
    }

    const Options& options_;
    ScratchUsersKey& scratch_;
    ProductWindow& product_;
    BaselineWindow& baseline_;
    std::wstring error_;
};

double Mib(SIZE_T bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

void PrintTable(const std::vector<ListingRow>& listings, const std::optional<RemovalRow>& removal,
                const StartUpRow& startUp, const std::optional<MemoryRow>& memory) {
    std::printf("\n1. Listing N names into a hidden window; medians, the variants alternating\n");
    std::printf("   ours:   MainWindow::LoadNames (frmMain::OnLoad -> EnumerateValues::LoadScreenNames,\n"
                "           Win32Registry, the list's redraw off), as tallowick.exe loads\n");
    std::printf("   direct: EnumerateValues::LoadScreenNames into the same MainWindow, nothing around it\n");
    std::printf("   base:   RegOpenKeyExW, RegQueryInfoKeyW, per value RegEnumValueW + LVM_INSERTITEMW +\n"
                "           SB_SETTEXTW into an identical hidden list view and status bar\n");
    std::printf("%9s %5s %10s %10s %10s %7s %8s %11s %11s\n", "N", "reps", "ours ms", "direct ms", "base ms",
                "ratio", "dir/base", "ours µs/it", "base µs/it");
    for (const ListingRow& row : listings)
        std::printf("%9zu %5d %10.2f %10.2f %10.2f %7.2f %8.2f %11.2f %11.2f\n", row.n, row.reps, row.oursMs,
                    row.directMs, row.baseMs, row.Ratio(), row.DirectRatio(), row.OursUs(), row.BaseUs());
    std::printf("   ratio = ours / base\n");
    std::printf("   where the baseline's time goes, µs per item (each part alone, median of 3; 1 at 100,000):\n");
    std::printf("%9s %12s %12s %14s %12s %17s %8s\n", "N", "RegEnumValue", "LVM_INSERT", "INSERT no-redr",
                "SB_SETTEXT", "2x LVM_GETCOUNT*", "fill s");
    for (const ListingRow& row : listings) {
        const auto perItem = [&](double ms) { return ms * 1000.0 / static_cast<double>(row.n); };
        std::printf("%9zu %12.2f %12.2f %14.2f %12.2f %17.2f %8.1f\n", row.n, perItem(row.parts.enumerateMs),
                    perItem(row.parts.insertMs), perItem(row.parts.insertNoRedrawMs), perItem(row.parts.statusMs),
                    perItem(row.parts.countMs), row.fillS);
    }
    std::printf("   * the two item counts per name the product asks for, sent to its subclassed list\n");

    std::printf("\n2. Removal: one name with its settings subtree, list and registry together\n");
    if (removal) {
        std::printf("   N = %zu, median of %d: OnRemoveNameClick (production shell) %.3f ms;"
                    " same effects as plain platform calls %.3f ms\n",
                    removal->n, removal->reps, removal->oursMs, removal->baseMs);
    } else {
        std::printf("   not run\n");
    }

    std::printf("\n3. Start-up: CreateProcess to a visible window (tallowick.exe: holding all its names)\n");
    if (startUp.ran) {
        const auto ratio = [](double ms, double base) { return base > 0 ? ms / base : 0.0; };
        std::printf("   median of %d each, alternating: tallowick.exe with %zu names %.1f ms, empty window %.1f ms,"
                    " ratio %.2f\n",
                    startUp.runs, startUp.items, startUp.oursMs, startUp.emptyMs, ratio(startUp.oursMs, startUp.emptyMs));
        std::printf("   where it goes (Users key empty; the three rotating, median of %d each):\n", startUp.runs);
        std::printf("     %-52s %8.1f ms  %5.2f\n", "empty window", startUp.emptyAgainMs, 1.0);
        std::printf("     %-52s %8.1f ms  %5.2f\n", "empty window + empty list view and status bar (v6)",
                    startUp.controlsMs, ratio(startUp.controlsMs, startUp.emptyAgainMs));
        std::printf("     %-52s %8.1f ms  %5.2f\n", "tallowick.exe, no names", startUp.bareMs,
                    ratio(startUp.bareMs, startUp.emptyAgainMs));
        std::printf("   peak working set: tallowick.exe %.1f MiB, empty window %.1f MiB\n", Mib(startUp.oursPeak),
                    Mib(startUp.emptyPeak));
    } else {
        std::printf("   skipped: %s\n", Utf8(startUp.skipped).c_str());
    }

    std::printf("\n4. Memory: peak working set (PeakWorkingSetSize)\n");
    if (memory) {
        std::printf("   bench process after the N = %zu listing (both lists, names, fill): %.1f MiB\n", memory->n,
                    Mib(memory->benchPeak));
        if (memory->productRan)
            std::printf("   tallowick.exe alone, listing %zu names: %.1f MiB (visible after %.0f ms)\n", memory->n,
                        Mib(memory->productPeak), memory->productVisibleMs);
        else
            std::printf("   tallowick.exe: skipped: %s\n", Utf8(memory->productSkipped).c_str());
    }
}

int Run(const Options& options) {
    const ComInit com;
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);

    ScratchUsersKey scratch;
    std::wstring why;
    switch (scratch.Claim(options.force, why)) {
    case ClaimResult::Claimed:
        if (!why.empty()) Progress("bench: --force: %s; deleted them\n", Utf8(why).c_str());
        break;
    case ClaimResult::Occupied:
        std::fprintf(stderr,
                     "bench: refusing to run: %s.\n"
                     "The bench fills that key with made-up names and deletes them afterwards; it would\n"
                     "destroy a real user's saved names. Run it in a throwaway Wine prefix or account,\n"
                     "or pass --force to delete what the key holds.\n",
                     Utf8(why).c_str());
        return 2;
    case ClaimResult::Failed:
        std::fprintf(stderr, "bench: %s\n", Utf8(why).c_str());
        return 1;
    }

    ProductWindow product;
    BaselineWindow baseline;
    if (!product.Create() || !baseline.Create(GetModuleHandleW(nullptr), product.list)) {
        std::fprintf(stderr, "bench: cannot create the hidden windows (error %lu)\n", GetLastError());
        return 1;
    }

    Bench bench(options, scratch, product, baseline);
    const std::vector<std::size_t> sizes = ListingSizes(options);
    const std::size_t largest = sizes.back();
    const std::size_t startUpAt = std::min(kStartUpItems, largest);
    const std::size_t removalAt = std::min(kRemovalItems, largest);

    std::vector<ListingRow> listings;
    std::optional<RemovalRow> removal;
    StartUpRow startUp;
    std::optional<MemoryRow> memory;
    std::vector<std::wstring> names;
    for (const std::size_t n : sizes) {
        ListingRow row;
        if (!bench.Listing(n, names, row)) {
            std::fprintf(stderr, "bench: %s\n", Utf8(bench.error()).c_str());
            return 1;
        }
        listings.push_back(row);
        if (n == startUpAt) bench.StartUp(names, startUp);
        if (n == removalAt) {
            RemovalRow removed;
            if (!bench.Removal(n, names, removed)) {
                std::fprintf(stderr, "bench: %s\n", Utf8(bench.error()).c_str());
                return 1;
            }
            removal = removed;
        }
        if (n == largest) {
            MemoryRow used;
            bench.Memory(n, used);
            memory = used;
        }
    }

    PrintTable(listings, removal, startUp, memory);
    const auto tenThousand = std::find_if(listings.begin(), listings.end(), [](const ListingRow& row) {
        return row.n == 10000;
    });
    const ListingRow& last = tenThousand != listings.end() ? *tenThousand : listings.back();
    std::printf("ratio_%zu %.2f\n", last.n, last.Ratio());
    std::fflush(stdout);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    SetConsoleOutputCP(CP_UTF8);
    // Lines end in \n alone, so that the last one reads exactly "ratio_... X" in a pipe too.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    std::vector<std::wstring_view> args(argv + 1, argv + argc);
    std::wstring error;
    const std::optional<Options> options = ParseOptions(args, error);
    if (!options || options->help) {
        if (!options) std::fprintf(stderr, "bench: %s\n", Utf8(error).c_str());
        std::fprintf(options ? stdout : stderr, "%s", Utf8(kUsage).c_str());
        return options ? 0 : 2;
    }
    return Run(*options);
}

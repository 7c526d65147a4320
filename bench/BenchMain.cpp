// tallowick-bench: what Tallowick's load, start-up and memory cost next to
// the least the platform needs to do the same, and next to a bare program
// that shows as many names. The last line it prints is "ratio_N X",
// Tallowick's load over the platform floor.
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/window/MainWindow.h"
#include "platform/common/Win32Handles.h"
#include "platform/common/Win32Archive.h"
#include "platform/common/Win32Registry.h"
#include "platform/common/Win32Shell.h"
#include "platform/window/resource.h"
#include "registry/UsersKey.h"
#include "screennames/EnumerateValues.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// One run slowed by another developer's build does not move the median.
double Median(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    const std::size_t middle = samples.size() / 2;
    return samples.size() % 2 != 0 ? samples[middle] : (samples[middle - 1] + samples[middle]) / 2;
}

double Mib(SIZE_T bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

// Nothing waits on the hidden windows' queues, but what comctl32 posts to
// them should not pile up between runs.
void PumpMessages() {
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

// Made-up names of 8 to 17 characters. The number up front keeps them in the
// order in which Wine keeps a key's values, so that each one is appended.
std::wstring ScreenName(std::size_t index) {
    static constexpr std::array<const wchar_t*, 5> kTails{L"", L"Dude", L"_kitty", L"Rider88", L"xXangelXx"};
    return L"Sn" + std::to_wstring(100000 + index) + kTails[index % kTails.size()];
}

// The messenger's Users key, borrowed for made-up names: only when it holds
// nothing (or with --force), and what the bench adds goes again at the end.
class ScratchUsers {
public:
    ScratchUsers() = default;
    ScratchUsers(const ScratchUsers&) = delete;
    ScratchUsers& operator=(const ScratchUsers&) = delete;
    ~ScratchUsers() {
        if (!users_) return;
        const bool emptied = Resize(0);
        users_.reset();
        if (!emptied || (!createdRoot_.empty() && RegDeleteTreeW(HKEY_CURRENT_USER, createdRoot_.c_str()) != 0))
            std::fprintf(stderr, "bench: could not delete the made-up names; run again with --force\n");
    }

    // 0 when the key is ours; otherwise the exit code, the reason printed.
    int Claim(bool force) {
        const std::wstring path(USERS_KEY_PATH);
        // The first key missing on the way down goes at the end, with everything below it.
        std::size_t end = 0;
        do {
            end = path.find(L'\\', end + 1);
            UniqueHKey probe;
            if (RegOpenKeyExW(HKEY_CURRENT_USER, path.substr(0, end).c_str(), 0, KEY_READ, probe.put()) ==
                ERROR_FILE_NOT_FOUND)
                createdRoot_ = path.substr(0, end);
        } while (end != std::wstring::npos && createdRoot_.empty());
        const LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE,
                                               nullptr, users_.put(), nullptr);
        if (status != ERROR_SUCCESS) {
            std::fprintf(stderr, "bench: cannot open the Users key (error %ld)\n", static_cast<long>(status));
            return 1;
        }
        DWORD subkeys = 0, values = 0;
        RegQueryInfoKeyW(users_.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                         nullptr, nullptr, nullptr);
        if (subkeys + values == 0) return 0;
        if (!force) {
            users_.reset();
            std::fprintf(stderr,
                         "bench: refusing to run: the Users key holds %lu value(s) and %lu subkey(s), someone's\n"
                         "saved screen names. Run it in a throwaway Wine prefix or account, or pass --force\n"
                         "to delete them.\n",
                         static_cast<unsigned long>(values), static_cast<unsigned long>(subkeys));
            return 2;
        }
        std::fprintf(stderr, "bench: --force: deleting the Users key's %lu value(s) and %lu subkey(s)\n",
                     static_cast<unsigned long>(values), static_cast<unsigned long>(subkeys));
        return RegDeleteTreeW(users_.get(), nullptr) == ERROR_SUCCESS ? 0 : 1;
    }

    // Holds the first `count` names: added at the end, or deleted from it.
    bool Resize(std::size_t count) {
        static constexpr BYTE kData[8] = {1, 0, 0, 0, 8, 0, 0, 0};
        for (; size_ < count; ++size_) {
            if (RegSetValueExW(users_.get(), ScreenName(size_).c_str(), 0, REG_BINARY, kData, sizeof kData) != 0)
                return false;
        }
        for (; size_ > count; --size_) {
            if (RegDeleteValueW(users_.get(), ScreenName(size_ - 1).c_str()) != ERROR_SUCCESS) return false;
        }
        return true;
    }

private:
    UniqueHKey users_;
    std::wstring createdRoot_;  // below HKCU; empty when the whole path was there before
    std::size_t size_ = 0;
};

enum Variant { kOurs, kFloor, kNaive, kVariants };

// Two of Tallowick's hidden windows: one loads as tallowick.exe does, the
// other lends its identical list view (size, font, column, image list) and
// status bar to the platform calls made directly.
class Listing {
public:
    bool Create() {
        const HINSTANCE instance = GetModuleHandleW(nullptr);
        if (!ours_.Create(instance, SW_HIDE) || !floor_.Create(instance, SW_HIDE)) return false;
        floorList_ = GetDlgItem(floor_.hwnd(), IDC_NAMES);
        floorStatus_ = GetDlgItem(floor_.hwnd(), IDC_STATUS);
        // The floor's list answers directly, not through Tallowick's mouse hook.
        SetWindowLongPtrW(floorList_, GWLP_WNDPROC, static_cast<LONG_PTR>(GetClassLongPtrW(floorList_, GCLP_WNDPROC)));
        return floorList_ != nullptr && floorStatus_ != nullptr;
    }

    // Milliseconds, or -1 when not all `n` names were listed.
    double Run(Variant variant, std::size_t n) {
        HWND list = variant == kOurs ? GetDlgItem(ours_.hwnd(), IDC_NAMES) : floorList_;
        HWND status = variant == kOurs ? GetDlgItem(ours_.hwnd(), IDC_STATUS) : floorStatus_;
        // Tallowick's list is emptied as its refresh empties it, its copy of
        // the names too: left behind, each run inserted among all earlier ones.
        if (variant == kOurs) ours_.Names().Clear();
        else SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
        SendMessageW(status, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(L""));
        PumpMessages();
        const Clock::time_point start = Clock::now();
        if (variant == kOurs) ours_.LoadNames();
        else PlatformCalls(variant == kNaive);
        const double ms = MsSince(start);
        const auto listed = static_cast<std::size_t>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
        return listed == n ? ms : -1;
    }

private:
    // The same registry calls as Win32Registry makes, names only. The floor
    // inserts with the list's redraw off and sets the status text once; the
    // naive listing lets the list redraw and counts in the status bar per name.
    void PlatformCalls(bool naive) {
        UniqueHKey key;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, std::wstring(USERS_KEY_PATH).c_str(), 0, KEY_READ, key.put()) != 0) return;
        DWORD longest = 0;
        RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &longest, nullptr,
                         nullptr, nullptr);
        std::vector<wchar_t> name(longest + 1);
        if (!naive) SendMessageW(floorList_, WM_SETREDRAW, FALSE, 0);
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_IMAGE;
        for (DWORD index = 0;; ++index) {
            DWORD length = static_cast<DWORD>(name.size());
            if (RegEnumValueW(key.get(), index, name.data(), &length, nullptr, nullptr, nullptr, nullptr) != 0) break;
            item.iItem = static_cast<int>(index);
            item.pszText = name.data();
            SendMessageW(floorList_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
            if (naive) SetStatus(static_cast<int>(index) + 1);
        }
        if (naive) return;
        SendMessageW(floorList_, WM_SETREDRAW, TRUE, 0);
        SetStatus(static_cast<int>(SendMessageW(floorList_, LVM_GETITEMCOUNT, 0, 0)));
    }

    void SetStatus(int count) {
        const std::wstring text = EnumerateValues::FoundText(count);
        SendMessageW(floorStatus_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }

    Win32Registry registry_;
    AutomationOrApiShellFactory shells_;
    Win32Archive archive_;
    MainWindow ours_{registry_, shells_, archive_};
    MainWindow floor_{registry_, shells_, archive_};
    HWND floorList_ = nullptr;
    HWND floorStatus_ = nullptr;
};

// A top-level window of the process and class, or null; the bench has
// hidden windows of Tallowick's class of its own.
HWND FindProcessWindow(DWORD processId, const wchar_t* windowClass) {
    HWND window = nullptr;
    while ((window = FindWindowExW(nullptr, window, windowClass, nullptr)) != nullptr) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId) return window;
    }
    return nullptr;
}

// A visible window whose list holds all `items` and answers: the window has
// then finished showing itself, which the bare program must do too (it is
// visible halfway through ShowWindow). The list is asked only once the window
// shows: until then it is busy loading.
bool IsReady(HWND window, int items) {
    if (window == nullptr || !IsWindowVisible(window)) return false;
    DWORD_PTR count = 0;
    HWND list = FindWindowExW(window, nullptr, WC_LISTVIEWW, nullptr);
    return list != nullptr && SendMessageTimeoutW(list, LVM_GETITEMCOUNT, 0, 0, SMTO_ABORTIFHUNG, 2000, &count) != 0 &&
           static_cast<int>(count) >= items;
}

struct Program {
    const wchar_t* file;
    const wchar_t* windowClass;
    int items;  // the names in the Users key when it starts; its list shows them all
    std::vector<double> ms;
    std::vector<double> peakMib;
};

// CreateProcess until the program's window is ready, then WM_CLOSE. False,
// with the reason printed, when it never is or does not exit.
bool Launch(ScratchUsers& users, Program& program) {
    if (!users.Resize(static_cast<std::size_t>(program.items))) {
        std::fprintf(stderr, "bench: cannot write the made-up names\n");
        return false;
    }
    std::wstring exe(32768, L'\0');
    exe.resize(GetModuleFileNameW(nullptr, exe.data(), static_cast<DWORD>(exe.size())));
    exe = exe.substr(0, exe.find_last_of(L"\\/") + 1) + program.file;
    std::wstring commandLine = L"\"" + exe + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const Clock::time_point start = Clock::now();
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        std::fprintf(stderr, "bench: cannot start %ls (error %lu)\n", program.file, GetLastError());
        return false;
    }
    const UniqueHandleObject processHandle(process.hProcess), threadHandle(process.hThread);
    HWND window = nullptr;
    // The wait doubles as the poll interval: a millisecond, or the program's end.
    while (!IsReady(window = FindProcessWindow(process.dwProcessId, program.windowClass), program.items)) {
        if (WaitForSingleObject(process.hProcess, 1) == WAIT_OBJECT_0 || MsSince(start) > 60000) {
            std::fprintf(stderr, "bench: %ls showed no window with %d names\n", program.file, program.items);
            TerminateProcess(process.hProcess, 1);
            return false;
        }
    }
    program.ms.push_back(MsSince(start));
    // The peak once the window has painted and waits for input.
    WaitForInputIdle(process.hProcess, 5000);
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    if (GetProcessMemoryInfo(process.hProcess, &memory, sizeof memory))
        program.peakMib.push_back(Mib(memory.PeakWorkingSetSize));
    PostMessageW(window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process.hProcess, 15000) == WAIT_OBJECT_0) return true;
    std::fprintf(stderr, "bench: %ls did not exit after WM_CLOSE\n", program.file);
    TerminateProcess(process.hProcess, 1);
    return false;
}

// Rounds in which every program starts once, the first one changing from
// round to round; a first round warms the file cache and is not counted.
bool Rotate(ScratchUsers& users, const std::vector<Program*>& programs, int rounds) {
    for (int round = -1; round < rounds; ++round) {
        for (std::size_t k = 0; k < programs.size(); ++k) {
            Program& program = *programs[(k + static_cast<std::size_t>(round + 1)) % programs.size()];
            if (!Launch(users, program)) return false;
            if (round >= 0) continue;
            program.ms.clear();
            program.peakMib.clear();
        }
    }
    return true;
}

// "name value", and where it has a goal, "goal <= G met" or "MISSED" after
// them; a script reads the first two fields.
void PrintFigure(const std::string& name, double value, double goal) {
    std::printf("%-20s %.3f", name.c_str(), value);
    if (goal > 0) std::printf("   goal <= %.2f %s", goal, value <= goal ? "met" : "MISSED");
    std::printf("\n");
}

int Run(bool quick, bool force) {
    const std::size_t n = quick ? 1000 : 10000;
    const int listingReps = quick ? 3 : 9;
    // The naive listing takes some 30 times as long: a few of its runs do.
    constexpr int kNaiveReps = 3;
    const int startUpRounds = quick ? 3 : 25;

    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    ScratchUsers users;
    if (const int refused = users.Claim(force); refused != 0) return refused;
    // Created while the key is empty: their own first load costs nothing.
    Listing listing;
    if (!listing.Create()) {
        std::fprintf(stderr, "bench: cannot create the hidden windows (error %lu)\n", GetLastError());
        return 1;
    }

    // Each against the bare program with as many names.
    Program ours10{L"tallowick.exe", TALLOWICK_WINDOW_CLASS, 10, {}, {}};
    Program bare10{L"bench-bare-window.exe", L"TallowickBenchWindow", 10, {}, {}};
    Program ours1000{L"tallowick.exe", TALLOWICK_WINDOW_CLASS, 1000, {}, {}};
    Program bare1000{L"bench-bare-window.exe", L"TallowickBenchWindow", 1000, {}, {}};
    std::fprintf(stderr, "bench: start-up, %d rounds\n", startUpRounds);
    if (!Rotate(users, {&ours10, &bare10, &ours1000, &bare1000}, startUpRounds)) {
        std::fprintf(stderr, "bench: the start-up could not be measured\n");
        return 1;
    }

    std::fprintf(stderr, "bench: listing %zu names, %d runs each\n", n, listingReps);
    if (!users.Resize(n)) {
        std::fprintf(stderr, "bench: cannot write the made-up names\n");
        return 1;
    }
    std::array<std::vector<double>, kVariants> samples;
    // Rounds as for the start-up: the order rotates, the first is not counted.
    for (int rep = -1; rep < listingReps; ++rep) {
        for (int k = 0; k < kVariants; ++k) {
            const auto variant = static_cast<Variant>((k + rep + 1) % kVariants);
            if (variant == kNaive && rep >= kNaiveReps) continue;
            const double ms = listing.Run(variant, n);
            if (ms < 0) {
                std::fprintf(stderr, "bench: a listing did not list all %zu names\n", n);
                return 1;
            }
            if (rep >= 0) samples[variant].push_back(ms);
        }
    }

    const double oursMs = Median(samples[kOurs]), floorMs = Median(samples[kFloor]), naiveMs = Median(samples[kNaive]);
    const double ours10Up = Median(ours10.ms), bare10Up = Median(bare10.ms);
    const double ours1000Up = Median(ours1000.ms), bare1000Up = Median(bare1000.ms);
    const double ours1000Peak = Median(ours1000.peakMib), bare1000Peak = Median(bare1000.peakMib);
    const double perName = 1000.0 / static_cast<double>(n);
    std::printf("Listing %zu names into a hidden window, median of %d (naive: %d), alternating:\n", n, listingReps,
                std::min(listingReps, kNaiveReps));
    std::printf("  %-58s %9.1f ms %6.1f us/name\n", "Tallowick (MainWindow::LoadNames)", oursMs, oursMs * perName);
    std::printf("  %-58s %9.1f ms %6.1f us/name\n", "floor (RegEnumValueW, LVM_INSERTITEMW, redraw off, 1 status)",
                floorMs, floorMs * perName);
    std::printf("  %-58s %9.1f ms %6.1f us/name\n", "naive (redraw on, status text per name)", naiveMs,
                naiveMs * perName);
    std::printf("Start-up, CreateProcess to a shown window that answers, median of %d, alternating:\n", startUpRounds);
    const auto startUp = [](const char* what, double ms, const Program& program) {
        std::printf("  %-58s %9.1f ms %6.1f MiB peak\n", what, ms, Median(program.peakMib));
    };
    startUp("tallowick.exe, 10 names", ours10Up, ours10);
    startUp("bare program (list view, status bar), 10 names", bare10Up, bare10);
    startUp("tallowick.exe, 1000 names", ours1000Up, ours1000);
    startUp("bare program (list view, status bar), 1000 names", bare1000Up, bare1000);
    // The goals hold for a full run: --quick's few rounds, with a tenth of
    // the load, only show that all of it runs, and are held to none.
    const auto goal = [quick](double full) { return quick ? 0 : full; };
    PrintFigure("floor_ratio_" + std::to_string(n), oursMs / floorMs, goal(1.05));
    PrintFigure("naive_ratio_" + std::to_string(n), oursMs / naiveMs, 0);
    PrintFigure("startup_ratio_10", ours10Up / bare10Up, goal(1.10));
    PrintFigure("startup_ratio_1000", ours1000Up / bare1000Up, goal(1.10));
    PrintFigure("peak_ratio_1000", ours1000Peak / bare1000Peak, goal(1.05));
    std::printf("peak_mib_1000 %.1f\n", ours1000Peak);
    std::printf("ratio_%zu %.3f\n", n, oursMs / floorMs);
    std::fflush(stdout);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // Lines end in \n alone, so that the last one reads "ratio_N X" in a pipe too.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    bool quick = false, force = false;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        quick = quick || arg == L"--quick";
        force = force || arg == L"--force";
        if (arg != L"--quick" && arg != L"--force") {
            std::fprintf(stderr, "usage: tallowick-bench [--quick] [--force]\n");
            return 2;
        }
    }
    return Run(quick, force);
}

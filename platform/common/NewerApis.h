#pragma once

#include <windows.h>

#include <string_view>

// GetProcAddress hands back every export as one generic type; the caller
// names the export's own. Null stays null.
template <typename Function>
Function ExportAs(FARPROC found) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

// The export `name` of `module` as `Function`, or nullptr when either is missing.
template <typename Function>
Function FindExport(HMODULE module, const char* name) {
    return module != nullptr ? ExportAs<Function>(GetProcAddress(module, name)) : nullptr;
}

// Calls that Windows XP lacks (the oldest system Tallowick starts on), looked
// up at run time; where one is missing, what XP has stands in.
class NewerApis {
public:
    // Finds an export of an already loaded system DLL, or nullptr.
    using Resolver = FARPROC (*)(const wchar_t* module, const char* name);
    explicit NewerApis(Resolver resolve);
    // Resolved through GetProcAddress, once per process.
    static const NewerApis& Get();
    // Makes Get(), and every other lookup of a newer call, resolve through
    // `resolve` instead; only before the first.
    static void ResolveWith(Resolver resolve);
    // What the lookups of newer calls go through: GetProcAddress, or ResolveWith's.
    static Resolver CurrentResolver();

    // DLLs come from System32 only; without KB2533623, the closest XP and
    // Windows 7 get: no current directory in the DLL or SearchPath order.
    void RestrictDllSearch() const;
    // Whether two registry names are the same name: equal after the system's
    // upper-case table (no locale), as the registry compares them.
    bool SameNameNoCase(std::wstring_view a, std::wstring_view b) const;

private:
    BOOL(WINAPI* setDefaultDllDirectories_)(DWORD) = nullptr;
    BOOL(WINAPI* setSearchPathMode_)(DWORD) = nullptr;
    int(WINAPI* compareStringOrdinal_)(LPCWCH, int, LPCWCH, int, BOOL) = nullptr;
};

#include "platform/common/NewerApis.h"

#include <algorithm>

namespace {

template <typename Function>
void Resolve(NewerApis::Resolver resolve, const wchar_t* module, const char* name, Function& out) {
    out = ExportAs<Function>(resolve(module, name));
}

FARPROC FromLoadedModule(const wchar_t* module, const char* name) {
    const HMODULE loaded = GetModuleHandleW(module);
    return loaded != nullptr ? GetProcAddress(loaded, name) : nullptr;
}

NewerApis::Resolver resolver = FromLoadedModule;

// What the registry itself compares names with (ntdll has it on every NT).
struct CountedString {
    USHORT length, maximumLength;
    const wchar_t* buffer;
};
using CompareCounted = LONG(NTAPI*)(const CountedString*, const CountedString*, BOOLEAN);

CompareCounted RtlCompareUnicodeString() {
    static const auto compare = ExportAs<CompareCounted>(FromLoadedModule(L"ntdll.dll", "RtlCompareUnicodeString"));
    return compare;
}

}  // namespace

NewerApis::NewerApis(Resolver resolve) {
    Resolve(resolve, L"kernel32.dll", "SetDefaultDllDirectories", setDefaultDllDirectories_);
    Resolve(resolve, L"kernel32.dll", "SetSearchPathMode", setSearchPathMode_);
    Resolve(resolve, L"kernel32.dll", "CompareStringOrdinal", compareStringOrdinal_);
}

const NewerApis& NewerApis::Get() {
    static const NewerApis apis(resolver);
    return apis;
}

void NewerApis::ResolveWith(Resolver resolve) {
    resolver = resolve;
}

NewerApis::Resolver NewerApis::CurrentResolver() { return resolver; }

void NewerApis::RestrictDllSearch() const {
    if (setDefaultDllDirectories_ != nullptr && setDefaultDllDirectories_(LOAD_LIBRARY_SEARCH_SYSTEM32)) return;
    SetDllDirectoryW(L"");
    if (setSearchPathMode_ != nullptr)
        setSearchPathMode_(BASE_SEARCH_PATH_ENABLE_SAFE_SEARCHMODE | BASE_SEARCH_PATH_PERMANENT);
}

bool NewerApis::SameNameNoCase(std::wstring_view a, std::wstring_view b) const {
    if (compareStringOrdinal_ != nullptr)
        return compareStringOrdinal_(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()),
                                     TRUE) == CSTR_EQUAL;
    // The table maps each UTF-16 unit to one unit, so lengths must agree, and
    // names longer than a counted string holds compare piece by piece.
    const CompareCounted compare = RtlCompareUnicodeString();
    if (a.size() != b.size() || compare == nullptr) return a == b;
    constexpr size_t kPiece = 0x7FFF;
    for (size_t at = 0; at < a.size(); at += kPiece) {
        const auto bytes = static_cast<USHORT>(std::min(kPiece, a.size() - at) * sizeof(wchar_t));
        const CountedString left{bytes, bytes, a.data() + at}, right{bytes, bytes, b.data() + at};
        if (compare(&left, &right, TRUE) != 0) return false;
    }
    return true;
}

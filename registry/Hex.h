#pragma once

#include <cstdint>
#include <string>

namespace reg {

// Lower case, as regedit writes its data.
inline constexpr wchar_t kHexDigits[] = L"0123456789abcdef";

// `number` in hex, padded with zeros to at least `digits`.
inline std::wstring Hex(std::uint32_t number, int digits) {
    std::wstring out;
    do {
        out.insert(out.begin(), kHexDigits[number & 0xF]);
        number >>= 4;
    } while (--digits > 0 || number != 0);
    return out;
}

}  // namespace reg

#pragma once

#include <cstdint>

// The registry's value types, by the numbers Win32 gives them (REG_SZ and the
// rest): the registry stores them, a backup file writes them as hex(N), and
// the logic folders see no Win32 header to take them from. platform/ checks
// that they are Win32's.
namespace reg {

inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegLink = 6;
inline constexpr std::uint32_t kRegMultiSz = 7;
inline constexpr std::uint32_t kRegQword = 11;

}  // namespace reg

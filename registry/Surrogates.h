#pragma once

// The two UTF-16 code units of a character past U+FFFF: a high one, then a
// low one. Either alone is no character, and a cut between them splits one.
namespace reg {

constexpr bool IsHighSurrogate(wchar_t ch) { return (ch & 0xFC00) == 0xD800; }
constexpr bool IsLowSurrogate(wchar_t ch) { return (ch & 0xFC00) == 0xDC00; }

}  // namespace reg

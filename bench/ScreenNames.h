#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace bench {

// `count` distinct screen names of the kind people pick: 3 to 16 letters,
// digits and underscores, no two equal when case is ignored (the registry
// would take them for one value). They come sorted by LessIgnoringCase, the
// order in which Wine keeps a key's values, so that filling a key appends
// each one instead of shifting all the others. The same seed gives the same
// names.
std::vector<std::wstring> MakeScreenNames(std::size_t count, std::uint32_t seed);

bool IsPlausibleScreenName(std::wstring_view name);
bool LessIgnoringCase(std::wstring_view a, std::wstring_view b);

}  // namespace bench

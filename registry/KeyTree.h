#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A screen name as the registry holds it, read in full before it is
// removed: enough to put it back byte for byte.
namespace reg {

struct ValueData {
    std::wstring name;  // empty: the key's default value
    std::uint32_t type = 0;  // one of ValueTypes.h, or any other number the registry was given
    std::vector<std::uint8_t> bytes;
    bool operator==(const ValueData&) const = default;
};

struct KeyTree {
    std::wstring name;  // as the registry spells it, which may differ in case from the screen name
    std::vector<ValueData> values;
    std::vector<KeyTree> subkeys;

    KeyTree() = default;
    KeyTree(std::wstring keyName, std::vector<ValueData> keyValues, std::vector<KeyTree> keySubkeys);
    KeyTree(const KeyTree&) = default;
    KeyTree(KeyTree&&) noexcept = default;
    KeyTree& operator=(const KeyTree&) = default;
    KeyTree& operator=(KeyTree&&) noexcept = default;
    ~KeyTree();
    bool operator==(const KeyTree&) const = default;
};

struct NameSnapshot {
    std::wstring name;
    std::optional<ValueData> value;  // the value under the Users key
    std::optional<KeyTree> key;      // the settings key of that name
    bool Empty() const { return !value && !key; }
    bool operator==(const NameSnapshot&) const = default;
};

}  // namespace reg

#include "registry/KeyTree.h"

#include <iterator>
#include <utility>

namespace reg {

KeyTree::KeyTree(std::wstring keyName, std::vector<ValueData> keyValues, std::vector<KeyTree> keySubkeys)
    : name(std::move(keyName)), values(std::move(keyValues)), subkeys(std::move(keySubkeys)) {}

// Freed one call per level, a tree would need as much stack as it is deep,
// whoever built it; a loop takes its levels apart instead.
KeyTree::~KeyTree() {
    std::vector<KeyTree> pending = std::move(subkeys);
    while (!pending.empty()) {
        std::vector<KeyTree> below = std::move(pending.back().subkeys);
        pending.pop_back();
        pending.insert(pending.end(), std::make_move_iterator(below.begin()), std::make_move_iterator(below.end()));
    }
}

}  // namespace reg

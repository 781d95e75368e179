#include "lowercase.h"

#include <QChar>

#include <bit>
#include <cstdint>
#include <functional>
#include <vector>

namespace lexivane::mkdb {

bool isLowercaseWord(std::u16string_view word) {
    if (word.empty()) return false;
    for (char16_t c : word)
        if (!QChar::isLower(char32_t{c})) return false;
    return true;
}

Words keepLowercaseOnly(const Words& words) {
    // Open addressing over indexes into `kept`: no allocation per word.
    Words kept;
    kept.reserve(words.size(), words.characters());
    const std::size_t buckets = std::bit_ceil(words.size() * 2 + 2);
    constexpr std::uint32_t kEmpty = 0xFFFFFFFF;
    std::vector<std::uint32_t> table(buckets, kEmpty);
    const std::hash<std::u16string_view> hash;
    for (std::u16string_view word : words) {
        if (!isLowercaseWord(word)) continue;
        std::size_t slot = hash(word) & (buckets - 1);
        bool duplicate = false;
        while (table[slot] != kEmpty) {
            if (kept[table[slot]] == word) {
                duplicate = true;
                break;
            }
            slot = (slot + 1) & (buckets - 1);
        }
        if (duplicate) continue;
        table[slot] = static_cast<std::uint32_t>(kept.size());
        kept.add(word);
    }
    return kept;
}

} // namespace lexivane::mkdb

#include "lowercase.h"

#include <QChar>

#include <unordered_set>

namespace lexivane::mkdb {

bool isLowercaseWord(std::u16string_view word) {
    if (word.empty()) return false;
    for (char16_t c : word)
        if (!QChar::isLower(char32_t{c})) return false;
    return true;
}

std::vector<std::u16string> keepLowercaseOnly(std::vector<std::u16string> words) {
    // Views point into `words`, so mark first and move afterwards.
    std::vector<bool> keep(words.size(), false);
    std::unordered_set<std::u16string_view> seen;
    seen.reserve(words.size());
    for (std::size_t i = 0; i < words.size(); ++i)
        keep[i] = isLowercaseWord(words[i]) && seen.insert(words[i]).second;
    std::vector<std::u16string> kept;
    kept.reserve(seen.size());
    for (std::size_t i = 0; i < words.size(); ++i)
        if (keep[i]) kept.push_back(std::move(words[i]));
    return kept;
}

} // namespace lexivane::mkdb

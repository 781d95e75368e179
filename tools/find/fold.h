#pragma once

// The first level of the word order, as text: a word "folded" is the sequence of letters the
// order compares first, one code point per letter. Case and accents are gone (É -> e),
// apostrophes and hyphens are left out, æ, œ and ß count as two letters (ae, oe, ss), ø, ł
// and đ as o, l and d, and digits as their value (٣ -> 3). Other letters fold by their case
// folding, symbols stay as they are.
//
// Two words are equal at the first level exactly when their folded forms are equal, and the
// order of folded forms by foldedWeight() is the first level of the order: words sorted by
// db::compareWords have non-decreasing folded forms.

#include "utf8.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace lexivane::find {

// The folded letters of one character: 0, 1 or 2 code points written to out. A combining
// mark folds to nothing when a letter came before it in the same text (it accents that
// letter), and to itself at the start.
int foldChar(char32_t c, bool afterLetter, char32_t out[2]);

// Appends the folded form of `text` to `out` (UTF-8); returns the number of letters.
size_t appendFolded(std::string_view text, std::string& out);

// Where a folded code point sorts at the first level (a strictly increasing map).
uint32_t foldedWeight(char32_t folded);

// Folded forms compared letter by letter by weight, a proper prefix first: <0, 0, >0.
int compareFolded(std::string_view a, std::string_view b);

// 0 when `folded` starts with `prefix`; otherwise the sign of compareFolded(folded, prefix).
// Along sorted words it never decreases, so the words with a prefix are one run.
int comparePrefix(std::string_view folded, std::string_view prefix);

} // namespace lexivane::find

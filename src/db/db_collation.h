#pragma once

// The order `order by word` gives: Access's "General" order. Letters compare without regard
// to case or accents first, then accents, then case; apostrophes and hyphens only break ties
// (so "cant" and "can't" sit together); last, code points, so that two texts compare equal
// only when they are identical. Digits sort before letters, other symbols before digits.

#include <cstddef>
#include <cstdint>

struct sqlite3;

namespace lexivane::db {

inline constexpr const char* kCollationName = "lexi_general";

// UTF-8 in, <0 / 0 / >0 out. Takes a quick path when both texts are plain ASCII.
int compareWords(const char* a, size_t na, const char* b, size_t nb);
// The general path on its own, whatever the texts hold (tests compare the two).
int compareWordsGeneral(const char* a, size_t na, const char* b, size_t nb);

// A number that orders words as their first letters do at the first level: when the numbers
// of two words differ, the word with the smaller one sorts first; equal numbers decide nothing.
// Lets a sort compare most pairs as integers and ask compareWords only for the ties.
uint64_t sortPrefix(const char* s, size_t n);

// Registers the collation under kCollationName; returns an SQLite result code.
int registerCollation(sqlite3* db);

} // namespace lexivane::db

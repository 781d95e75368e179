#pragma once

// The order `order by word` gives: Access's "General" order. Letters compare without regard
// to case or accents first, then accents, then case; apostrophes and hyphens only break ties
// (so "cant" and "can't" sit together); last, code points, so that two texts compare equal
// only when they are identical. Digits sort before letters, other symbols before digits.

#include <cstddef>

struct sqlite3;

namespace lexivane::db {

inline constexpr const char* kCollationName = "lexi_general";

// UTF-8 in, <0 / 0 / >0 out. Takes a quick path when both texts are plain ASCII.
int compareWords(const char* a, size_t na, const char* b, size_t nb);
// The general path on its own, whatever the texts hold (tests compare the two).
int compareWordsGeneral(const char* a, size_t na, const char* b, size_t nb);

// Registers the collation under kCollationName; returns an SQLite result code.
int registerCollation(sqlite3* db);

} // namespace lexivane::db

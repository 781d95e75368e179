#pragma once

// The in-memory SQLite copy of the word table the queries run on:
//   create table words(word text collate lexi_general)
// with an index on word and one on (len(word), word), so neither the whole sorted list nor
// one length needs a scan and a sort.

#include "lookup/db_reader.h"

#include <QString>
#include <cstdint>
#include <vector>

struct sqlite3;

namespace lexivane::db {

// A new in-memory database with len() and the collation registered. Throws AppError.
sqlite3* openStore();

// Creates and fills table `words` (and its indexes) from `table`. Throws AppError.
void loadWords(sqlite3* db, const WordTable& table);

// The order loadWords inserts the rows in, as row numbers of `table`: NULLs first, then by
// length in characters, then by the collation (the order of words_by_len).
std::vector<uint32_t> insertionOrder(const WordTable& table);

// Registers len(x): characters (code points) of x as text, NULL for NULL.
int registerLen(sqlite3* db);

} // namespace lexivane::db

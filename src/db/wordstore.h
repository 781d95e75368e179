#pragma once

// The in-memory SQLite copy of the word table the queries run on:
//   create table words(word text collate lexi_general)
// with an index on word and one on (len(word), word), so neither the whole sorted list nor
// one length needs a scan and a sort.

#include "db_reader.h"

#include <QString>
#include <cstdint>
#include <vector>

struct sqlite3;

namespace lexivane::db {

// A new in-memory database with len() and the collation registered. Throws AppError.
sqlite3* openStore();

// Creates table `words` (and its indexes) holding the rows of `table`, row k under rowid
// k + 1. Throws AppError.
void loadWords(sqlite3* db, const WordTable& table);

// The rows in the collation's order, as `order by word` returns them: NULLs first in stored
// order, identical words by row. With each row's len(word) (-1 for NULL) worked out on the way.
struct WordOrder {
    std::vector<uint32_t> rows;
    std::vector<int> lengths; // by row number
};
WordOrder wordOrder(const WordTable& table);

// The two orders the indexes hold.
struct StoreOrders {
    // Row numbers of `table` by the collation; NULLs first; identical words by row (the rowid
    // breaks their tie).
    std::vector<uint32_t> byWord;
    // NULLs first, then by length in characters, each length in the order of byWord. Each
    // entry carries what the index needs, so that writing it reads them in turn rather than
    // jumping about the table.
    struct LengthEntry {
        uint32_t row;
        uint32_t offset, bytes; // the row's slot
        int chars;              // len(word), -1 for NULL
    };
    std::vector<LengthEntry> byLength;
};
StoreOrders storeOrders(const WordTable& table);

// Registers len(x): characters (code points) of x as text, NULL for NULL.
int registerLen(sqlite3* db);

} // namespace lexivane::db

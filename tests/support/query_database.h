#pragma once

// An in-memory connection with the word table and a len() (bytes are enough here): what the
// queries of the Display buttons need to be prepared, for checks of the SQL they send.

#include <sqlite3.h>

inline sqlite3* openQueryDatabase() {
    sqlite3* db = nullptr;
    if (sqlite3_open(":memory:", &db) != SQLITE_OK) return nullptr;
    sqlite3_exec(db, "create table words(word text)", nullptr, nullptr, nullptr);
    sqlite3_create_function(
        db, "len", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
        [](sqlite3_context* c, int, sqlite3_value** v) {
            sqlite3_result_int(c, sqlite3_value_bytes(v[0]));
        },
        nullptr, nullptr);
    return db;
}

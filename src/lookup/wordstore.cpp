#include "lookup/wordstore.h"

#include "lookup/db_collation.h"
#include "shell/apperror.h"

#include <algorithm>
#include <numeric>
#include <sqlite3.h>

namespace lexivane::db {
namespace {

void lenFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const auto* s = sqlite3_value_text(argv[0]);
    const int n = sqlite3_value_bytes(argv[0]);
    sqlite3_int64 chars = 0;
    for (int i = 0; i < n; ++i)
        chars += (s[i] & 0xC0) != 0x80; // count lead bytes only
    sqlite3_result_int64(ctx, chars);
}

[[noreturn]] void fail(sqlite3* db, const char* what) {
    throw AppError(QStringLiteral("The word store cannot be built (%1): %2")
                       .arg(QString::fromUtf8(what), QString::fromUtf8(sqlite3_errmsg(db))));
}

void exec(sqlite3* db, const char* sql) {
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) fail(db, sql);
}

} // namespace

int registerLen(sqlite3* db) {
    return sqlite3_create_function_v2(db, "len", 1,
                                      SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS,
                                      nullptr, lenFunction, nullptr, nullptr, nullptr);
}

sqlite3* openStore() {
    sqlite3* db = nullptr;
    const int rc =
        sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK || registerCollation(db) != SQLITE_OK || registerLen(db) != SQLITE_OK) {
        QString msg =
            db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_close(db);
        throw AppError(QStringLiteral("The word store cannot be created: %1").arg(msg));
    }
    try {
        // Nothing here outlives the process, so no journal and no syncing.
        exec(db, "pragma journal_mode=off; pragma synchronous=off; pragma temp_store=memory;"
                 "pragma locking_mode=exclusive");
    } catch (...) {
        sqlite3_close(db);
        throw;
    }
    return db;
}

void loadWords(sqlite3* db, const WordTable& table) {
    // Sorting here, once, lets every index below be filled in key order.
    const auto& rows = table.rows;
    std::vector<uint32_t> order(rows.size());
    std::iota(order.begin(), order.end(), 0u);
    const char* text = table.text.data();
    std::sort(order.begin(), order.end(), [&](uint32_t x, uint32_t y) {
        const auto& a = rows[x];
        const auto& b = rows[y];
        if (a.length == WordTable::kNull || b.length == WordTable::kNull)
            return a.length == WordTable::kNull && b.length != WordTable::kNull;
        return compareWords(text + a.offset, a.length, text + b.offset, b.length) < 0;
    });

    exec(db, "begin");
    exec(db, "create table words(word text collate lexi_general)");
    exec(db, "create index words_by_word on words(word)");
    exec(db, "create index words_by_len on words(len(word), word)");
    sqlite3_stmt* insert = nullptr;
    if (sqlite3_prepare_v2(db, "insert into words(word) values(?1)", -1, &insert, nullptr) !=
        SQLITE_OK)
        fail(db, "prepare insert");
    for (uint32_t i : order) {
        const auto& r = rows[i];
        if (r.length == WordTable::kNull)
            sqlite3_bind_null(insert, 1);
        else
            sqlite3_bind_text(insert, 1, text + r.offset, static_cast<int>(r.length),
                              SQLITE_STATIC);
        if (sqlite3_step(insert) != SQLITE_DONE) {
            sqlite3_finalize(insert);
            fail(db, "insert");
        }
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    exec(db, "commit");
}

} // namespace lexivane::db

// Whatever a reader helper writes, the program either refuses it with a description or takes
// rows that are exactly the stream's values: each valid UTF-8, within the size caps, and the word
// table built from them is sound and orders and counts them consistently.

#include "apperror.h"
#include "db_collation.h"
#include "db_reader.h"
#include "wordstore.h"

#include <QList>
#include <QString>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sqlite3.h>
#include <string>
#include <vector>

using namespace lexivane;
using db::WordTable;

namespace {

[[noreturn]] void fault(const char* what) {
    std::fprintf(stderr, "fuzz_raw_stream: %s\n", what);
    std::abort();
}

// A second reading of the stream, kept naive on purpose: what the parser must agree with.
struct Expected {
    bool ok = false;
    bool badText = false; // refused only because a value is not UTF-8
    std::vector<std::string> values;
    std::vector<bool> nulls;
};

uint32_t u32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

bool roundTrips(const std::string& v) {
    const QByteArray back = QString::fromUtf8(v.data(), static_cast<qsizetype>(v.size())).toUtf8();
    return back.size() == static_cast<qsizetype>(v.size()) &&
           std::memcmp(back.constData(), v.data(), v.size()) == 0;
}

Expected expect(const uint8_t* d, size_t n) {
    Expected e;
    if (n > db::kMaxStreamBytes || n < 4 || std::memcmp(d, "LXW1", 4) != 0) return e;
    size_t at = 4;
    while (at < n) {
        const uint8_t tag = d[at++];
        if (tag == 0x00) {
            e.values.emplace_back();
            e.nulls.push_back(true);
        } else if (tag == 0x01) {
            if (at + 4 > n) return e;
            const uint32_t len = u32(d + at);
            at += 4;
            if (len > db::kMaxValueBytes || at + len > n) return e;
            std::string v(reinterpret_cast<const char*>(d + at), len);
            at += len;
            if (!roundTrips(v)) {
                e.badText = true;
                return e;
            }
            e.values.push_back(std::move(v));
            e.nulls.push_back(false);
        } else if (tag == 0xFF) {
            e.ok = at + 4 == n && u32(d + at) == e.values.size();
            return e;
        } else {
            return e;
        }
        if (e.values.size() > db::kMaxRows) return e;
    }
    return e;
}

// Builds the word table the queries run on and checks what the two queries the program relies
// on give: every row once, sorted by the collation, len() as characters.
void checkStore(const WordTable& table, const Expected& e) {
    sqlite3* db = db::openStore();
    try {
        db::loadWords(db, table);
    } catch (const AppError&) {
        sqlite3_close(db);
        fault("a table the parser took cannot be loaded");
    }
    sqlite3_stmt* st = nullptr;
    // The file is laid out by our own code: SQLite's own check of every page and index.
    if (sqlite3_prepare_v2(db, "pragma integrity_check", -1, &st, nullptr) != SQLITE_OK ||
        sqlite3_step(st) != SQLITE_ROW ||
        std::strcmp(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)), "ok") != 0)
        fault("the word table fails SQLite's integrity check");
    sqlite3_finalize(st);
    st = nullptr;
    if (sqlite3_prepare_v2(db, "select word, len(word) from words order by word", -1, &st,
                           nullptr) != SQLITE_OK)
        fault("cannot query the word table");
    std::vector<std::string> got;
    size_t nulls = 0;
    bool seenText = false;
    std::string previous;
    while (sqlite3_step(st) == SQLITE_ROW) {
        if (sqlite3_column_type(st, 0) == SQLITE_NULL) {
            if (seenText) fault("NULL after a word in the sorted list");
            ++nulls;
            continue;
        }
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        std::string w(p, static_cast<size_t>(sqlite3_column_bytes(st, 0)));
        const qsizetype chars =
            QString::fromUtf8(w.data(), static_cast<qsizetype>(w.size())).toUcs4().size();
        if (sqlite3_column_int64(st, 1) != chars) fault("len() is not the number of characters");
        if (seenText) {
            const int forward =
                db::compareWords(previous.data(), previous.size(), w.data(), w.size());
            const int backward =
                db::compareWords(w.data(), w.size(), previous.data(), previous.size());
            if (forward > 0) fault("the sorted list is out of order");
            if ((forward < 0) != (backward > 0) || (forward == 0) != (previous == w))
                fault("the collation is not a consistent order");
        }
        seenText = true;
        previous = w;
        got.push_back(std::move(w));
    }
    sqlite3_finalize(st);
    sqlite3_close(db);

    std::vector<std::string> want;
    size_t wantNulls = 0;
    for (size_t i = 0; i < e.values.size(); ++i) {
        if (e.nulls[i])
            ++wantNulls;
        else
            want.push_back(e.values[i]);
    }
    std::sort(want.begin(), want.end());
    std::sort(got.begin(), got.end());
    if (nulls != wantNulls || got != want) fault("the word table does not hold the stream's rows");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Expected e = expect(data, size);
    WordTable table;
    const QString wrong =
        db::parseRawStream(std::string(reinterpret_cast<const char*>(data), size), table);
    if (!e.ok) {
        if (wrong.isEmpty()) fault("a stream the second reading refuses was taken");
        if (e.badText != wrong.contains(QLatin1String("not UTF-8")))
            fault("text that is not UTF-8 and the refusal disagree");
        return 0;
    }
    if (!wrong.isEmpty()) fault("a well-formed stream was refused");
    if (table.rows.size() != e.values.size()) fault("row count differs");
    for (size_t i = 0; i < table.rows.size(); ++i) {
        const WordTable::Slot& r = table.rows[i];
        if (e.nulls[i] != (r.length == WordTable::kNull)) fault("NULL and text mixed up");
        if (e.nulls[i]) continue;
        if (size_t(r.offset) + r.length > table.text.size()) fault("slot past the text");
        if (table.text.compare(r.offset, r.length, e.values[i]) != 0) fault("value differs");
    }
    // The store costs far more than the parse; small tables say as much about it.
    if (table.rows.size() <= 2000) checkStore(table, e);
    return 0;
}

#include "wordstore.h"

#include "apperror.h"
#include "db_collation.h"
#include "huge_pages.h"
#include "store_image.h"
#include "utf8.h"

#include <algorithm>
#include <array>
#include <future>
#include <mutex>
#include <sqlite3.h>
#include <utility>

namespace lexivane::db {
namespace {

void lenFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const auto* s = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    const int n = sqlite3_value_bytes(argv[0]);
    sqlite3_result_int(ctx, static_cast<int>(charCount({s, static_cast<size_t>(n)})));
}

// Room for n elements, huge pages preferred: these arrays hold a value or two per word.
template <typename T> void reserveLarge(std::vector<T>& v, size_t n) {
    v.reserve(n);
    preferHugePages(v.data(), n * sizeof(T));
}

[[noreturn]] void fail(sqlite3* db, const char* what) {
    throw AppError(QStringLiteral("The word store cannot be built (%1): %2")
                       .arg(QString::fromUtf8(what), QString::fromUtf8(sqlite3_errmsg(db))));
}

void exec(sqlite3* db, const char* sql) {
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) fail(db, sql);
}

// Sorts [first, last) by `less`, cheaply when the range is already nearly in order: finds
// the ascending runs and merges them pairwise.
template <typename Less>
void sortMostlySorted(std::vector<uint32_t>& v, size_t first, size_t last, Less less) {
    std::vector<size_t> runs{first};
    for (size_t i = first + 1; i < last; ++i)
        if (less(v[i], v[i - 1])) runs.push_back(i);
    if (runs.size() > 64) { // far from sorted: a plain sort is cheaper
        std::sort(v.begin() + static_cast<std::ptrdiff_t>(first),
                  v.begin() + static_cast<std::ptrdiff_t>(last), less);
        return;
    }
    runs.push_back(last);
    while (runs.size() > 2) {
        std::vector<size_t> merged{runs[0]};
        for (size_t k = 0; k + 1 < runs.size(); k += 2) {
            const size_t mid = runs[k + 1];
            const size_t end = k + 2 < runs.size() ? runs[k + 2] : mid;
            if (end != mid)
                std::inplace_merge(v.begin() + static_cast<std::ptrdiff_t>(runs[k]),
                                   v.begin() + static_cast<std::ptrdiff_t>(mid),
                                   v.begin() + static_cast<std::ptrdiff_t>(end), less);
            merged.push_back(end);
        }
        if (merged.back() != last) merged.push_back(last);
        runs.swap(merged);
    }
}

struct Keyed {
    uint64_t key;
    uint32_t row;
};

// Stable LSD radix sort of v by key, a byte at a time; bytes every key shares are skipped
// (short words leave the low bytes zero).
void radixSort(std::vector<Keyed>& v, std::vector<Keyed>& scratch) {
    reserveLarge(scratch, v.size());
    scratch.resize(v.size());
    for (int shift = 0; shift < 64; shift += 8) {
        std::array<size_t, 256> count{};
        for (const Keyed& k : v)
            ++count[(k.key >> shift) & 0xFF];
        if (count[(v.front().key >> shift) & 0xFF] == v.size()) continue;
        size_t at = 0;
        for (size_t& c : count)
            at += std::exchange(c, at);
        for (const Keyed& k : v)
            scratch[count[(k.key >> shift) & 0xFF]++] = k;
        v.swap(scratch);
    }
}

} // namespace

WordOrder wordOrder(const WordTable& table) {
    const auto& rows = table.rows;
    const char* text = table.text.data();
    WordOrder out;
    reserveLarge(out.lengths, rows.size());
    out.lengths.resize(rows.size());
    reserveLarge(out.rows, rows.size());
    std::vector<Keyed> keyed, scratch;
    reserveLarge(keyed, rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        const auto& r = rows[i];
        if (r.length == WordTable::kNull) {
            out.lengths[i] = -1;
            out.rows.push_back(static_cast<uint32_t>(i)); // NULLs first, as stored
            continue;
        }
        out.lengths[i] = static_cast<int>(charCount({text + r.offset, r.length}));
        keyed.push_back({sortPrefix(text + r.offset, r.length), static_cast<uint32_t>(i)});
    }
    // Each word's sort prefix orders it among the others as an integer; only words with the
    // same prefix are compared through the collation, and identical words keep their stored
    // order (the row decides, as the rowid in the index does). A list in order costs a pass.
    bool inOrder = true;
    for (size_t i = 1; i < keyed.size() && inOrder; ++i)
        inOrder = keyed[i - 1].key <= keyed[i].key;
    if (!inOrder) radixSort(keyed, scratch);
    const size_t nulls = out.rows.size();
    for (const Keyed& k : keyed)
        out.rows.push_back(k.row);
    auto less = [&](uint32_t x, uint32_t y) {
        const auto& a = rows[x];
        const auto& b = rows[y];
        const int c = compareWords(text + a.offset, a.length, text + b.offset, b.length);
        return c < 0 || (c == 0 && x < y);
    };
    auto& order = out.rows;
    for (size_t i = nulls; i < order.size();) {
        size_t end = i + 1;
        while (end < order.size() && keyed[end - nulls].key == keyed[i - nulls].key)
            ++end;
        if (end - i > 16) {
            sortMostlySorted(order, i, end, less);
        } else {
            for (size_t k = i + 1; k < end; ++k)
                for (size_t j = k; j > i && less(order[j], order[j - 1]); --j)
                    std::swap(order[j], order[j - 1]);
        }
        i = end;
    }
    return out;
}

StoreOrders storeOrders(const WordTable& table) {
    const auto& rows = table.rows;
    WordOrder sorted = wordOrder(table);
    StoreOrders out;
    // By length, NULLs (no length) first, each length in the order above: a stable counting
    // sort of it.
    int longest = -1;
    for (int n : sorted.lengths)
        longest = std::max(longest, n);
    std::vector<size_t> start(static_cast<size_t>(longest) + 3, 0);
    for (int n : sorted.lengths)
        ++start[static_cast<size_t>(n + 2)];
    for (size_t b = 1; b < start.size(); ++b)
        start[b] += start[b - 1];
    reserveLarge(out.byLength, sorted.rows.size());
    out.byLength.resize(sorted.rows.size());
    for (uint32_t row : sorted.rows) {
        const int n = sorted.lengths[row];
        out.byLength[start[static_cast<size_t>(n + 1)]++] = {row, rows[row].offset,
                                                             rows[row].length, n};
    }
    out.byWord = std::move(sorted.rows);
    return out;
}

int registerLen(sqlite3* db) {
    return sqlite3_create_function_v2(db, "len", 1,
                                      SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS,
                                      nullptr, lenFunction, nullptr, nullptr, nullptr);
}

sqlite3* openStore() {
    // Allocation statistics cost a global mutex on every allocation and nothing here reads
    // them. Only possible before SQLite starts; if something started it already, no harm.
    static std::once_flag once;
    std::call_once(once, [] { sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0); });
    sqlite3* db = nullptr;
    // One thread at a time uses it (the build, then the queries), so no lock per call.
    int rc = sqlite3_open_v2(
        ":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc == SQLITE_OK) rc = registerCollation(db);
    if (rc == SQLITE_OK) rc = registerLen(db);
    if (rc != SQLITE_OK) {
        QString msg =
            db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_close(db);
        throw AppError(QStringLiteral("The word store cannot be created: %1").arg(msg));
    }
    return db;
}

void loadWords(sqlite3* db, const WordTable& table) {
    // The file is written as SQLite would leave it after the inserts and the two CREATE INDEX
    // statements, every b-tree laid out in its final order, and then taken over whole: no
    // statement per row and no sort through the collation callback. Each tree is counted
    // before it is written, so that it can be written straight into its place: the table
    // while the words are sorted, then the two indexes side by side.
    const auto& rows = table.rows;
    const size_t n = rows.size();
    auto addWord = [&](Record& r, uint32_t row) {
        const WordTable::Slot& s = rows[row];
        if (s.length == WordTable::kNull)
            r.addNull();
        else
            r.addText(table.text.data() + s.offset, s.length);
    };
    const BTreeImage::Fill tableRow = [&](size_t k, Record& r) { addWord(r, uint32_t(k)); };

    // Each std::async future waits for its thread when it goes, also on the way out by an
    // exception, so nothing here outlives what it uses.
    std::future<StoreOrders> sorting =
        std::async(std::launch::async, [&] { return storeOrders(table); });
    BTreeImage tableCount;
    tableCount.buildTable(n, tableRow);
    const uint32_t tablePages = tableCount.pageCount();
    // Each index takes a little more than the table.
    StoreFile file(1 + tablePages * 3 + tablePages / 4);
    BTreeImage words(file.data(), 2, tablePages);
    words.buildTable(n, tableRow);
    const StoreOrders orders = sorting.get();

    const BTreeImage::Fill lengthEntry = [&](size_t e, Record& r) {
        const StoreOrders::LengthEntry& x = orders.byLength[e];
        if (x.chars < 0) {
            r.addNull();
            r.addNull();
        } else {
            r.addInt(x.chars);
            r.addText(table.text.data() + x.offset, x.bytes);
        }
        r.addInt(int64_t(x.row) + 1);
    };
    const BTreeImage::Fill wordEntry = [&](size_t e, Record& r) {
        const uint32_t row = orders.byWord[e];
        addWord(r, row);
        r.addInt(int64_t(row) + 1);
    };
    std::future<uint32_t> countingLengths = std::async(std::launch::async, [&] {
        BTreeImage count;
        count.buildIndex(n, lengthEntry);
        return count.pageCount();
    });
    BTreeImage wordCount;
    wordCount.buildIndex(n, wordEntry);
    const uint32_t wordPages = wordCount.pageCount();
    const uint32_t lengthPages = countingLengths.get();

    const uint32_t lengthFirst = 2 + tablePages, wordFirst = lengthFirst + lengthPages;
    const size_t pages = size_t(wordFirst) + wordPages - 1;
    file.reserve(pages);
    std::future<uint32_t> writingLengths = std::async(std::launch::async, [&] {
        BTreeImage tree(file.data(), lengthFirst, lengthPages);
        tree.buildIndex(n, lengthEntry);
        return tree.root();
    });
    BTreeImage byWord(file.data(), wordFirst, wordPages);
    byWord.buildIndex(n, wordEntry);
    const uint32_t lengthRoot = writingLengths.get();

    int64_t size = 0;
    unsigned char* image = file.finish(pages,
                                       {{"table", "words", "words", words.root(),
                                         "CREATE TABLE words(word text collate lexi_general)"},
                                        {"index", "words_by_len", "words", lengthRoot,
                                         "CREATE INDEX words_by_len on words(len(word), word)"},
                                        {"index", "words_by_word", "words", byWord.root(),
                                         "CREATE INDEX words_by_word on words(word)"}},
                                       size);
    // Read-only: nothing changes the words once they are in.
    if (sqlite3_deserialize(db, "main", image, size, size,
                            SQLITE_DESERIALIZE_FREEONCLOSE | SQLITE_DESERIALIZE_READONLY) !=
        SQLITE_OK)
        fail(db, "deserialize");
    // Pages are read where they lie rather than copied into the page cache.
    exec(db, "pragma mmap_size=2147418112");
}

} // namespace lexivane::db

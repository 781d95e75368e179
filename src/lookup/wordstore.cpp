#include "lookup/wordstore.h"

#include "lookup/db_collation.h"
#include "shell/apperror.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>
#include <sqlite3.h>
#include <utility>

namespace lexivane::db {
namespace {

int charCount(const char* s, size_t n) {
    int chars = 0;
    for (size_t i = 0; i < n; ++i)
        chars += (static_cast<unsigned char>(s[i]) & 0xC0) != 0x80;
    return chars;
}

void lenFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const auto* s = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    const int n = sqlite3_value_bytes(argv[0]);
    sqlite3_result_int(ctx, charCount(s, static_cast<size_t>(n)));
}

[[noreturn]] void fail(sqlite3* db, const char* what) {
    throw AppError(QStringLiteral("The word store cannot be built (%1): %2")
                       .arg(QString::fromUtf8(what), QString::fromUtf8(sqlite3_errmsg(db))));
}

void exec(sqlite3* db, const char* sql) {
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) fail(db, sql);
}

// ---- feeding the rows in: eponymous virtual table lexi_feed(word) ----
// It yields the rows of the load in progress, in insertion order, and nothing otherwise.

struct Feed {
    const WordTable* table = nullptr;
    std::vector<uint32_t> order;
};

struct FeedModule {
    const Feed* feed = nullptr;
};

struct FeedCursor : sqlite3_vtab_cursor {
    const Feed* feed = nullptr;
    size_t at = 0;
};

int feedConnect(sqlite3* db, void*, int, const char* const*, sqlite3_vtab** out, char**) {
    const int rc = sqlite3_declare_vtab(db, "create table x(word text)");
    if (rc != SQLITE_OK) return rc;
    *out = new sqlite3_vtab{};
    return SQLITE_OK;
}

int feedBestIndex(sqlite3_vtab*, sqlite3_index_info* info) {
    info->estimatedCost = 1e6;
    return SQLITE_OK;
}

int feedDisconnect(sqlite3_vtab* vtab) {
    delete vtab;
    return SQLITE_OK;
}

int feedOpen(sqlite3_vtab*, sqlite3_vtab_cursor** out) {
    *out = new FeedCursor{};
    return SQLITE_OK;
}

int feedClose(sqlite3_vtab_cursor* c) {
    delete static_cast<FeedCursor*>(c);
    return SQLITE_OK;
}

// The load in progress on this thread; loadWords sets it for the one INSERT that reads it.
thread_local const FeedModule* t_loading = nullptr;

int feedFilter(sqlite3_vtab_cursor* c, int, const char*, int, sqlite3_value**) {
    auto* cur = static_cast<FeedCursor*>(c);
    cur->feed = t_loading ? t_loading->feed : nullptr;
    cur->at = 0;
    return SQLITE_OK;
}

int feedNext(sqlite3_vtab_cursor* c) {
    ++static_cast<FeedCursor*>(c)->at;
    return SQLITE_OK;
}

int feedEof(sqlite3_vtab_cursor* c) {
    auto* cur = static_cast<FeedCursor*>(c);
    return !cur->feed || cur->at >= cur->feed->order.size();
}

int feedColumn(sqlite3_vtab_cursor* c, sqlite3_context* ctx, int) {
    auto* cur = static_cast<FeedCursor*>(c);
    const WordTable& t = *cur->feed->table;
    const WordTable::Slot& r = t.rows[cur->feed->order[cur->at]];
    if (r.length == WordTable::kNull)
        sqlite3_result_null(ctx);
    else
        sqlite3_result_text(ctx, t.text.data() + r.offset, static_cast<int>(r.length),
                            SQLITE_STATIC);
    return SQLITE_OK;
}

int feedRowid(sqlite3_vtab_cursor* c, sqlite3_int64* rowid) {
    *rowid = static_cast<sqlite3_int64>(static_cast<FeedCursor*>(c)->at);
    return SQLITE_OK;
}

sqlite3_module makeFeedModule() {
    sqlite3_module m{};
    m.xConnect = feedConnect; // no xCreate: eponymous only
    m.xBestIndex = feedBestIndex;
    m.xDisconnect = feedDisconnect;
    m.xOpen = feedOpen;
    m.xClose = feedClose;
    m.xFilter = feedFilter;
    m.xNext = feedNext;
    m.xEof = feedEof;
    m.xColumn = feedColumn;
    m.xRowid = feedRowid;
    return m;
}
const sqlite3_module kFeedModule = makeFeedModule();

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

// NULLs first (len(NULL) is NULL), then by length, then by the collation: the order of
// words_by_len, so inserting in it only ever appends. Inside a length, each word's sort
// prefix orders it among the others as an integer; only words with the same prefix are
// compared through the collation. A list already in order costs one pass.
std::vector<uint32_t> insertionOrder(const WordTable& table) {
    const auto& rows = table.rows;
    const char* text = table.text.data();
    std::vector<int> lengths(rows.size());
    std::vector<uint64_t> prefixes(rows.size(), 0);
    int longest = -1;
    for (size_t i = 0; i < rows.size(); ++i) {
        const auto& r = rows[i];
        if (r.length == WordTable::kNull) {
            lengths[i] = -1;
            continue;
        }
        lengths[i] = charCount(text + r.offset, r.length);
        prefixes[i] = sortPrefix(text + r.offset, r.length);
        longest = std::max(longest, lengths[i]);
    }
    // Stable counting sort by length (bucket 0 holds the NULLs) keeps the stored order inside
    // a length.
    std::vector<size_t> start(static_cast<size_t>(longest) + 3, 0);
    for (int n : lengths)
        ++start[static_cast<size_t>(n + 2)];
    for (size_t b = 1; b < start.size(); ++b)
        start[b] += start[b - 1];
    std::vector<uint32_t> order(rows.size());
    {
        std::vector<size_t> next(start.begin(), start.end() - 1);
        for (size_t i = 0; i < rows.size(); ++i)
            order[next[static_cast<size_t>(lengths[i] + 1)]++] = static_cast<uint32_t>(i);
    }
    auto less = [&](uint32_t x, uint32_t y) {
        const auto& a = rows[x];
        const auto& b = rows[y];
        return compareWords(text + a.offset, a.length, text + b.offset, b.length) < 0;
    };
    std::vector<Keyed> keyed, scratch;
    for (size_t b = 1; b + 1 < start.size(); ++b) {
        const size_t first = start[b], last = start[b + 1];
        if (last - first < 2) continue;
        bool inOrder = true;
        for (size_t i = first + 1; i < last && inOrder; ++i)
            inOrder = prefixes[order[i - 1]] <= prefixes[order[i]];
        if (!inOrder) {
            keyed.clear();
            for (size_t i = first; i < last; ++i)
                keyed.push_back({prefixes[order[i]], order[i]});
            radixSort(keyed, scratch);
            for (size_t i = first; i < last; ++i)
                order[i] = keyed[i - first].row;
        }
        // Equal prefixes: the collation decides; their stored order is kept as the start.
        for (size_t i = first; i < last;) {
            size_t end = i + 1;
            while (end < last && prefixes[order[end]] == prefixes[order[i]])
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
    }
    return order;
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
    int rc = sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc == SQLITE_OK) rc = registerCollation(db);
    if (rc == SQLITE_OK) rc = registerLen(db);
    if (rc == SQLITE_OK)
        rc = sqlite3_create_module_v2(db, "lexi_feed", &kFeedModule, nullptr, nullptr);
    if (rc != SQLITE_OK) {
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
    // Rows go in once, in (len(word), word) order, through one INSERT ... SELECT: the table
    // and words_by_len are then only ever appended to, which SQLite does fastest. The index
    // words_by_word is built afterwards by SQLite's sorter, which costs less than inserting
    // into it out of order.
    Feed feed;
    feed.table = &table;
    feed.order = insertionOrder(table);
    FeedModule module;
    module.feed = &feed;
    struct Loading {
        explicit Loading(const FeedModule* m) { t_loading = m; }
        ~Loading() { t_loading = nullptr; }
    } loading(&module);
    exec(db, "begin");
    exec(db, "create table words(word text collate lexi_general);"
             "create index words_by_len on words(len(word), word);"
             "insert into words(word) select word from lexi_feed;"
             "create index words_by_word on words(word);");
    exec(db, "commit");
}

} // namespace lexivane::db

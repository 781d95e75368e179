// damage_run: makes damaged copies of Access files, the same ones for the same seed, and runs
// each through the reader helper, started as the program starts it, and through the program's
// Open. Prints a table of what became of them; any end other than a read, a refusal with a
// report or a stop by one of the limits is a failure, and so is the helper and Open disagreeing.
// A helper that exits 0 with output the program refuses counts as refused ("stream spoiled"):
// libmdb prints dumps of rows it cannot use to stdout.
//
//   damage_run --helper FILE --data DIR [--shipped FILE] [--seed N] [--first N] [--count N]
//              [--jobs N] [--timeout MS] [--by-kind] [--keep DIR] [--reference FILE]
//
// With --reference, each variant is also read by that helper (the same program reading through
// libmdb): the two must read the same rows or both refuse, else the variant fails.
// DIR is tests/data; FILE the shipped dbWords.mdb. A failure names its variant; run that one
// alone with --first I --count 1 --keep DIR to get the damaged file.

#include "ado.h"
#include "apperror.h"
#include "db_reader.h"
#include "test_support.h"
#include "wordstore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <sqlite3.h>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using lexivane::AppError;
using lexivane::db::WordTable;
using Clock = std::chrono::steady_clock;

namespace {

// ---- what a run can end in ----------------------------------------------------------------

enum Outcome {
    kIdentical,
    kChanged,
    kRefused,
    kSpoiled, // the helper said it read the file, but its output is not a stream
    kLimitTime,
    kLimitCpu,
    kLimitMemory,
    kCrashAtLimit, // a crash with the address space used up: the helper's own fault, see below
    kLimitOutput,
    kFailure,
    kOutcomes
};
const char* const kOutcomeNames[kOutcomes] = {"read identical",
                                              "read with changed words",
                                              "refused with a report",
                                              "refused: stream spoiled",
                                              "killed by a limit: time",
                                              "killed by a limit: processor",
                                              "killed by a limit: memory",
                                              "  crashed at the memory limit",
                                              "stopped: output too large",
                                              "FAILURE"};

bool isLimit(Outcome o) {
    return o == kLimitTime || o == kLimitCpu || o == kLimitMemory || o == kCrashAtLimit ||
           o == kLimitOutput;
}
bool isRead(Outcome o) {
    return o == kIdentical || o == kChanged;
}

// ---- deterministic randomness: the same numbers on every machine ----------------------------

struct Rng {
    uint64_t state;
    uint64_t next() {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    size_t below(size_t n) { return n ? static_cast<size_t>(next() % n) : 0; }
    bool chance(int percent) { return below(100) < static_cast<size_t>(percent); }
};

// ---- the files --------------------------------------------------------------------------

struct Source {
    std::string path, table, column;
    bool wordsTable;
    int weight;
    std::string name() const {
        return QFileInfo(QString::fromStdString(path)).fileName().toStdString() +
               (wordsTable ? "" : " (" + table + "." + column + ")");
    }
};

using Bytes = std::string;

uint32_t get16(const Bytes& b, size_t at) {
    if (at + 2 > b.size()) return 0;
    return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8;
}
uint32_t get32(const Bytes& b, size_t at) {
    return at + 4 > b.size() ? 0 : get16(b, at) | get16(b, at + 2) << 16;
}
void put16(Bytes& b, size_t at, uint32_t v) {
    if (at + 2 > b.size()) return;
    b[at] = char(v & 0xFF);
    b[at + 1] = char((v >> 8) & 0xFF);
}
void put24(Bytes& b, size_t at, uint32_t v) {
    if (at + 3 > b.size()) return;
    put16(b, at, v & 0xFFFF);
    b[at + 2] = char((v >> 16) & 0xFF);
}
void put32(Bytes& b, size_t at, uint32_t v) {
    put16(b, at, v & 0xFFFF);
    put16(b, at + 2, v >> 16);
}

// Where the structures lie in the undamaged file, so that damage can aim at them.
struct Layout {
    struct Row {
        size_t page, entry, start, end; // entry: index in its page's offset table
        bool overflow;
    };
    size_t pageSize = 4096, pages = 0;
    bool jet3 = false;
    std::vector<size_t> data, tdef, other; // page numbers
    std::vector<Row> rows, mapRows, overflowRows;

    size_t rowCountAt(size_t page) const { return page * pageSize + (jet3 ? 8 : 12); }
    size_t offsetAt(size_t page, size_t entry) const {
        return page * pageSize + (jet3 ? 10 : 14) + 2 * entry;
    }
    size_t mapPointerAt(size_t page) const { return page * pageSize + (jet3 ? 35 : 55); }
};

Layout layoutOf(const Bytes& f) {
    Layout l;
    l.jet3 = f.size() > 0x14 && f[0x14] == 0;
    l.pageSize = l.jet3 ? 2048 : 4096;
    l.pages = f.size() / l.pageSize;
    for (size_t p = 1; p < l.pages; ++p) {
        const size_t base = p * l.pageSize;
        const auto type = uint8_t(f[base]);
        if (type == 0x02) {
            l.tdef.push_back(p);
        } else if (type == 0x01) {
            l.data.push_back(p);
            const size_t n = std::min<size_t>(get16(f, l.rowCountAt(p)), l.pageSize / 2);
            size_t end = l.pageSize;
            for (size_t k = 0; k < n; ++k) {
                const uint32_t off = get16(f, l.offsetAt(p, k));
                const size_t start = off & 0x1FFF;
                if (!(off & 0x8000) && start < end && l.offsetAt(p, n) - base <= start) {
                    const Layout::Row r{p, k, base + start, base + end, (off & 0x4000) != 0};
                    l.rows.push_back(r);
                    if (r.overflow) l.overflowRows.push_back(r);
                }
                if (start < end) end = start;
            }
        } else {
            l.other.push_back(p);
        }
    }
    // The usage maps a table definition points at: row number, then a three-byte page.
    for (size_t t : l.tdef) {
        for (size_t at : {l.mapPointerAt(t), l.mapPointerAt(t) + 4}) {
            const uint32_t ptr = get32(f, at);
            for (const Layout::Row& r : l.rows)
                if (r.page == (ptr >> 8) && r.entry == (ptr & 0xFF)) l.mapRows.push_back(r);
        }
    }
    return l;
}

// ---- the kinds of damage ----------------------------------------------------------------

enum Kind {
    kHeaderBits,
    kMapBits,
    kRowOffsets,
    kTextBits,
    kBadUtf16,
    kTruncatePage,
    kTruncateAnywhere,
    kZeroPage,
    kDuplicatePage,
    kSwapPages,
    kMaxLength,
    kCycle,
    kPageType,
    kRandomBytes,
    kKinds
};
const char* const kKindNames[kKinds] = {
    "header bits",   "page map bits", "row offsets",    "text bits",       "invalid UTF-16",
    "cut at a page", "cut anywhere",  "zeroed page",    "duplicated page", "swapped pages",
    "length at max", "cyclic chain",  "page type byte", "random bytes"};

std::string hex(uint64_t v) {
    char b[24];
    std::snprintf(b, sizeof b, "0x%llx", static_cast<unsigned long long>(v));
    return b;
}
std::string num(uint64_t v) {
    return std::to_string(v);
}

size_t anyPage(const Layout& l, Rng& r) {
    // Mostly the pages that hold structure, now and then any page at all.
    if (r.chance(70)) {
        const std::vector<size_t>* from[] = {&l.data, &l.tdef};
        const std::vector<size_t>& v = *from[r.below(2)];
        if (!v.empty()) return v[r.below(v.size())];
    }
    return r.below(l.pages);
}

const Layout::Row* anyRow(const Layout& l, Rng& r) {
    return l.rows.empty() ? nullptr : &l.rows[r.below(l.rows.size())];
}

void flipBits(Bytes& f, size_t from, size_t to, int bits, Rng& r) {
    if (to <= from) return;
    for (int i = 0; i < bits; ++i)
        f[from + r.below(to - from)] ^= char(1 << r.below(8));
}

std::string damage(Bytes& f, const Layout& l, Kind kind, Rng& r) {
    const size_t ps = l.pageSize;
    switch (kind) {
    case kHeaderBits: {
        const int bits = 1 + int(r.below(4));
        flipBits(f, 0, std::min(f.size(), size_t(0x100)), bits, r);
        return num(bits) + " bits in page 0";
    }
    case kMapBits: {
        if (l.mapRows.empty()) break;
        const Layout::Row& m = l.mapRows[r.below(l.mapRows.size())];
        if (r.chance(25)) {
            const uint8_t type = uint8_t(r.below(3));
            f[m.start] = char(type);
            return "map on page " + num(m.page) + " row " + num(m.entry) + " type " + num(type);
        }
        const int bits = 1 + int(r.below(8));
        flipBits(f, m.start, m.end, bits, r);
        return num(bits) + " bits in the map on page " + num(m.page) + " row " + num(m.entry);
    }
    case kRowOffsets: {
        if (l.data.empty()) break;
        const size_t p = l.data[r.below(l.data.size())];
        const size_t n = std::max<size_t>(1, get16(f, l.rowCountAt(p)));
        const size_t k = r.below(n), at = l.offsetAt(p, k);
        const uint32_t was = get16(f, at);
        uint32_t now = 0;
        switch (r.below(7)) {
        case 0:
            now = uint32_t(r.below(0x10000));
            break;
        case 1:
            now = 0;
            break;
        case 2:
            now = 0x1FFF;
            break;
        case 3:
            now = uint32_t(ps);
            break;
        case 4:
            now = was ^ (1u << r.below(16));
            break;
        case 5:
            now = was | 0x4000;
            break; // as if it pointed to an overflow row
        default: {
            const size_t k2 = r.below(n);
            now = get16(f, l.offsetAt(p, k2));
            put16(f, l.offsetAt(p, k2), was);
            return "row offsets " + num(k) + " and " + num(k2) + " swapped on page " + num(p);
        }
        }
        put16(f, at, now);
        return "row offset " + num(k) + " on page " + num(p) + " " + hex(was) + " -> " + hex(now);
    }
    case kTextBits: {
        const Layout::Row* row = anyRow(l, r);
        if (!row) break;
        const int bits = 1 + int(r.below(4));
        flipBits(f, row->start + 2, row->end, bits, r);
        return num(bits) + " bits in row " + num(row->entry) + " on page " + num(row->page);
    }
    case kBadUtf16: {
        const Layout::Row* row = anyRow(l, r);
        if (!row || row->end - row->start < 6) break;
        static const uint32_t units[] = {0xD800, 0xDBFF, 0xDC00, 0xDFFF, 0xFFFE, 0xFFFF, 0x0000};
        const uint32_t u = units[r.below(7)];
        const size_t at = row->start + 2 + 2 * r.below((row->end - row->start - 4) / 2);
        put16(f, at, u);
        return "unit " + hex(u) + " in row " + num(row->entry) + " on page " + num(row->page);
    }
    case kTruncatePage: {
        const size_t pages = r.below(l.pages);
        f.resize(pages * ps);
        return "cut to " + num(pages) + " pages";
    }
    case kTruncateAnywhere: {
        const size_t n = r.below(f.size());
        f.resize(n);
        return "cut to " + num(n) + " bytes";
    }
    case kZeroPage: {
        const size_t p = anyPage(l, r);
        std::fill(f.begin() + std::ptrdiff_t(p * ps), f.begin() + std::ptrdiff_t((p + 1) * ps), 0);
        return "page " + num(p) + " zeroed";
    }
    case kDuplicatePage: {
        const size_t from = anyPage(l, r), to = anyPage(l, r);
        if (from == to) break;
        const Bytes copy = f.substr(from * ps, ps);
        f.replace(to * ps, ps, copy);
        return "page " + num(from) + " copied over page " + num(to);
    }
    case kSwapPages: {
        const size_t a = anyPage(l, r), b = anyPage(l, r);
        if (a == b) break;
        const Bytes pageA = f.substr(a * ps, ps), pageB = f.substr(b * ps, ps);
        f.replace(a * ps, ps, pageB);
        f.replace(b * ps, ps, pageA);
        return "pages " + num(a) + " and " + num(b) + " swapped";
    }
    case kMaxLength: {
        // Count and length fields of the table definitions, the data pages and the rows.
        const size_t t = l.tdef.empty() ? 0 : l.tdef[r.below(l.tdef.size())] * ps;
        const size_t choice = r.below(9);
        if (choice < 5 && t) {
            struct Field {
                size_t jet3, jet4, width;
                const char* name;
            };
            static const Field fields[] = {{8, 8, 4, "definition length"},
                                           {12, 16, 4, "row count"},
                                           {21, 41, 2, "column count"},
                                           {23, 43, 2, "variable column count"},
                                           {31, 51, 4, "index count"}};
            const Field& fl = fields[choice];
            const size_t at = t + (l.jet3 ? fl.jet3 : fl.jet4);
            fl.width == 4 ? put32(f, at, 0xFFFFFFFF) : put16(f, at, 0xFFFF);
            if (choice == 2) put16(f, at + 4, 0xFFFF); // the repeated column count too
            return std::string(fl.name) + " at its maximum on page " + num(t / ps);
        }
        if (choice < 7 && !l.data.empty()) {
            const size_t p = l.data[r.below(l.data.size())];
            if (choice == 5) {
                put16(f, l.rowCountAt(p), 0xFFFF);
                return "row count at its maximum on page " + num(p);
            }
            put16(f, p * ps + 2, 0xFFFF);
            return "free space at its maximum on page " + num(p);
        }
        const Layout::Row* row = anyRow(l, r);
        if (!row || row->end - row->start < 4) break;
        if (choice == 7) {
            l.jet3 ? void(f[row->start] = char(0xFF)) : put16(f, row->start, 0xFFFF);
            return "column count at its maximum in row " + num(row->entry) + " on page " +
                   num(row->page);
        }
        // The variable-column table sits just before the null mask at the row's end.
        const size_t back = 2 + 2 * r.below(std::min<size_t>(4, (row->end - row->start - 2) / 2));
        l.jet3 ? void(f[row->end - back] = char(0xFF)) : put16(f, row->end - back - 1, 0xFFFF);
        return "a length near the end of row " + num(row->entry) + " on page " + num(row->page) +
               " at its maximum";
    }
    case kCycle: {
        const size_t choice = r.below(4);
        if (choice == 0 && !l.tdef.empty()) {
            // A table definition continued on itself, or two on each other.
            const size_t a = l.tdef[r.below(l.tdef.size())], b = l.tdef[r.below(l.tdef.size())];
            put32(f, a * ps + 4, uint32_t(b));
            put32(f, b * ps + 4, uint32_t(a));
            return "definition pages " + num(a) + " and " + num(b) + " continue on each other";
        }
        if (choice == 1 && !l.overflowRows.empty()) {
            const Layout::Row& o = l.overflowRows[r.below(l.overflowRows.size())];
            f[o.start] = char(o.entry);
            put24(f, o.start + 1, uint32_t(o.page));
            return "overflow row " + num(o.entry) + " on page " + num(o.page) + " points to itself";
        }
        if (choice == 2 && !l.mapRows.empty()) {
            // An indirect usage map whose map pages are the map's own page.
            const Layout::Row& m = l.mapRows[r.below(l.mapRows.size())];
            f[m.start] = 1;
            for (size_t at = m.start + 1; at + 4 <= m.end; at += 4)
                put32(f, at, uint32_t(m.page));
            return "map on page " + num(m.page) + " row " + num(m.entry) + " lists its own page";
        }
        if (l.data.empty()) break;
        const size_t p = l.data[r.below(l.data.size())];
        put32(f, p * ps + 4, uint32_t(p));
        return "data page " + num(p) + " belongs to itself";
    }
    case kPageType: {
        const size_t p = anyPage(l, r);
        const uint8_t type = uint8_t(r.below(6));
        f[p * ps] = char(type);
        return "page " + num(p) + " type " + num(type);
    }
    case kRandomBytes: {
        const size_t p = anyPage(l, r), n = 1 + r.below(64);
        for (size_t i = 0; i < n; ++i)
            f[p * ps + r.below(ps)] = char(r.below(256));
        return num(n) + " random bytes in page " + num(p);
    }
    case kKinds:
        break;
    }
    return {};
}

// ---- one variant --------------------------------------------------------------------------

struct Variant {
    size_t index = 0, source = 0;
    Kind kind = kKinds; // the first damage done, for the table by kind
    std::string description;
    Bytes bytes;
};

Variant makeVariant(uint64_t seed, size_t index, const std::vector<Source>& sources,
                    const std::vector<Bytes>& files, const std::vector<Layout>& layouts) {
    Rng r{seed * 0x2545F4914F6CDD1Dull + index};
    r.next();
    Variant v;
    v.index = index;
    int total = 0;
    for (const Source& s : sources)
        total += s.weight;
    int pick = int(r.below(size_t(total)));
    while (pick >= sources[v.source].weight)
        pick -= sources[v.source++].weight;
    v.bytes = files[v.source];
    const Layout& l = layouts[v.source];
    const int count = r.chance(70) ? 1 : r.chance(66) ? 2 : 3;
    for (int done = 0, tries = 0; done < count && tries < 50; ++tries) {
        const auto kind = Kind(r.below(kKinds));
        // Cutting first would leave the later damage aimed past the end.
        if (done + 1 < count && (kind == kTruncatePage || kind == kTruncateAnywhere)) continue;
        const std::string what = damage(v.bytes, l, kind, r);
        if (what.empty()) continue;
        if (done == 0) v.kind = kind;
        v.description += (done ? "; " : "") + what;
        ++done;
    }
    return v;
}

// ---- the reader helper, started as the program starts it ----------------------------------

struct Run {
    Outcome outcome = kFailure;
    std::string detail;
    double ms = 0;
    long peakKb = 0;
};

std::string lastLine(const std::string& text) {
    std::string t = text;
    while (!t.empty() && (t.back() == '\n' || t.back() == '\r'))
        t.pop_back();
    const size_t nl = t.rfind('\n');
    return nl == std::string::npos ? t : t.substr(nl + 1);
}

// An allocation that failed, as glib says it before it aborts, or as AddressSanitizer (which
// takes the place of the memory limit in sanitizer builds) says it; not a memory error.
bool failedAllocation(const std::string& err) {
    if (err.find("Sanitizer") == std::string::npos) return err.find("alloc") != std::string::npos;
    for (const char* kind : {"allocation-size-too-big", "out-of-memory", "out of memory",
                             "calloc-overflow", "rss-limit-exceeded"})
        if (err.find(kind) != std::string::npos) return true;
    return false;
}

// Resident memory within 5% of the address-space limit: nothing was left to allocate.
bool atMemoryLimit(long peakKb) {
#ifdef LEXIVANE_SANITIZED
    (void)peakKb;
    return false; // no limit there
#else
    return peakKb >= (1L << 20) * 95 / 100;
#endif
}

Run runHelper(const std::string& helper, const std::string& file, const Source& src, int timeoutMs,
              const WordTable* original, WordTable* keep) {
    Run run;
    const auto started = Clock::now();
    // Exactly as the program runs it: the same limits, the same confinement.
    lexivane::db::ReadLimits limits;
    limits.helperPath = QString::fromStdString(helper);
    limits.timeoutMs = timeoutMs;
    limits.table = QString::fromStdString(src.table);
    limits.column = QString::fromStdString(src.column);
    const QString path = QString::fromStdString(file);
    std::string stream, errText;
    const auto prepared = lexivane::db::runHelper(
        path, limits, lexivane::db::maxReaderOutput(QFileInfo(path).size()), stream, errText);
    if (!prepared) {
        run.detail = "the helper cannot be confined: " + prepared.error().why;
        return run;
    }
    const lexivane::child::Outcome& ran = *prepared;
    const bool timedOut = ran.timedOut, tooMuch = ran.tooMuch;
    const int status = ran.status;
    run.ms = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
    run.peakKb = ran.usage.ru_maxrss;
    if (ran.confineFailure.mechanism) {
        run.detail =
            "the helper cannot be confined: " + lexivane::confine::describe(ran.confineFailure);
        return run;
    }
    if (ran.startErrno || ran.execErrno) {
        run.detail = std::string("the helper did not start: ") +
                     strerror(ran.startErrno ? ran.startErrno : ran.execErrno);
        return run;
    }
    const std::string said = lastLine(errText);

    if (timedOut) {
        run.outcome = kLimitTime;
    } else if (tooMuch) {
        run.outcome = kLimitOutput;
    } else if (WIFSIGNALED(status)) {
        const int sig = WTERMSIG(status);
        run.detail = "signal " + std::to_string(sig) + " (" + strsignal(sig) + ") at " +
                     std::to_string(run.peakKb >> 10) + " MB: " + said;
        if (sig == SIGXCPU)
            run.outcome = kLimitCpu;
        else if (sig == SIGABRT && failedAllocation(errText))
            run.outcome = kLimitMemory;
        else if ((sig == SIGSEGV || sig == SIGABRT) && atMemoryLimit(run.peakKb))
            // The helper's way out when memory runs short allocates too (its message, glib's
            // log), so at the limit it can crash instead of saying "out of memory".
            run.outcome = kCrashAtLimit;
        else
            run.outcome = kFailure;
    } else if (const int code = WEXITSTATUS(status); code != 0) {
        run.detail = "exit " + std::to_string(code) + ": " + said;
        // The helper exits 1 for a file it refuses, saying why; "out of memory" is the limit.
        const bool outOfMemory =
            said.find("out of memory") != std::string::npos || failedAllocation(errText);
        run.outcome = code != 1 ? kFailure : outOfMemory ? kLimitMemory : kRefused;
    } else {
        WordTable table;
        const QString wrong = lexivane::db::parseRawStream(std::move(stream), table);
        if (!wrong.isEmpty()) {
            // libmdb prints dumps of rows it cannot use to stdout, into the stream; the
            // program refuses what comes of it, as it must.
            run.outcome = kSpoiled;
            run.detail = "exit 0 with a stream the program refuses: " + wrong.toStdString();
        } else {
            bool same = original && original->rows.size() == table.rows.size();
            for (size_t i = 0; same && i < table.rows.size(); ++i) {
                const auto& a = original->rows[i];
                const auto& b = table.rows[i];
                same =
                    a.length == b.length && (a.length == WordTable::kNull ||
                                             original->text.compare(a.offset, a.length, table.text,
                                                                    b.offset, b.length) == 0);
            }
            run.outcome = same ? kIdentical : kChanged;
            run.detail = std::to_string(table.rows.size()) + " rows";
            if (keep) *keep = std::move(table);
        }
    }
    return run;
}

// ---- the program's Open -------------------------------------------------------------------

// Every word in the order `order by word` gives; a NULL as a lone 0xFF (never UTF-8).
using SortedWords = std::vector<std::string>;

SortedWords sortedWords(sqlite3* db) {
    SortedWords out;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "select word from words order by word", -1, &st, nullptr) !=
        SQLITE_OK)
        throw AppError(QStringLiteral("the word table cannot be queried"));
    while (sqlite3_step(st) == SQLITE_ROW) {
        if (sqlite3_column_type(st, 0) == SQLITE_NULL)
            out.emplace_back("\xFF");
        else
            out.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)),
                             size_t(sqlite3_column_bytes(st, 0)));
    }
    sqlite3_finalize(st);
    return out;
}

Outcome outcomeOfReport(const QString& d) {
    if (d.contains(QLatin1String("took longer than"))) return kLimitTime;
    if (d.contains(QLatin1String("too much processor time"))) return kLimitCpu;
    if (d.contains(QLatin1String("ran out of memory"))) return kLimitMemory;
    if (d.contains(QLatin1String("more data than the file holds")) ||
        d.contains(QLatin1String("larger than the program takes")))
        return kLimitOutput;
    if (d.contains(QLatin1String("crashed"))) return kFailure;
    return kRefused;
}

// What the program's own open runs with: the helper under test, the run's time limit.
lexivane::ado::Options g_dataObjects;

Run runOpen(const std::string& file, const Source& src, int timeoutMs, const SortedWords* original,
            SortedWords* keep) {
    Run run;
    const auto started = Clock::now();
    const QString path = QString::fromStdString(file);
    try {
        SortedWords words;
        if (src.wordsTable) {
            // Exactly what start-up does at step 114, then what the first query waits for.
            lexivane::ado::Connection c(g_dataObjects);
            c.Open(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source= ") + path);
            words = sortedWords(c.handle());
        } else {
            lexivane::db::ReadLimits limits;
            limits.helperPath = g_dataObjects.reader.helperPath;
            limits.timeoutMs = timeoutMs;
            limits.table = QString::fromStdString(src.table);
            limits.column = QString::fromStdString(src.column);
            const WordTable table = lexivane::db::readWords(path, limits);
            sqlite3* db = lexivane::db::openStore();
            try {
                lexivane::db::loadWords(db, table);
                words = sortedWords(db);
            } catch (...) {
                sqlite3_close(db);
                throw;
            }
            sqlite3_close(db);
        }
        run.outcome = original && *original == words ? kIdentical : kChanged;
        run.detail = std::to_string(words.size()) + " words";
        if (keep) *keep = std::move(words);
    } catch (const AppError& e) {
        run.outcome = outcomeOfReport(e.description());
        run.detail = e.description().toStdString();
        // One report, and it names the file.
        if (!e.description().contains(path)) {
            run.outcome = kFailure;
            run.detail = "a report that does not name the file: " + run.detail;
        }
    }
    run.ms = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
    if (run.ms > timeoutMs + 5000.0) {
        run.outcome = kFailure;
        run.detail = "Open took " + std::to_string(int(run.ms)) + " ms: " + run.detail;
    }
    const QStringList left = testsupport::childProcesses();
    if (!left.empty()) {
        run.outcome = kFailure;
        run.detail = "a child process outlived Open: " + left.front().toStdString();
    }
    return run;
}

// ---- the campaign ------------------------------------------------------------------------

struct Options {
    std::string helper, data, shipped, keep, reference;
    uint64_t seed = 16;
    size_t first = 0, count = 300;
    int jobs = 1, timeoutMs = 20000;
    bool byKind = false;
};

struct Result {
    size_t index = 0, source = 0;
    int kind = kKinds;
    Run helper, open;
    std::string description;
};

// One line per result between a worker and the campaign; tabs and newlines do not occur in
// the fields (they are replaced).
std::string clean(std::string s) {
    std::replace(s.begin(), s.end(), '\t', ' ');
    std::replace(s.begin(), s.end(), '\n', ' ');
    return s;
}

std::string encode(const Result& r) {
    char head[256];
    std::snprintf(head, sizeof head, "R\t%zu\t%zu\t%d\t%d\t%.1f\t%ld\t%d\t%.1f\t%ld\t", r.index,
                  r.source, r.kind, int(r.helper.outcome), r.helper.ms, r.helper.peakKb,
                  int(r.open.outcome), r.open.ms, r.open.peakKb);
    return head + clean(r.description) + "\t" + clean(r.helper.detail) + "\t" +
           clean(r.open.detail) + "\n";
}

bool decode(const std::string& line, Result& r) {
    std::vector<std::string> f;
    size_t from = 0;
    for (size_t tab; (tab = line.find('\t', from)) != std::string::npos; from = tab + 1)
        f.push_back(line.substr(from, tab - from));
    f.push_back(line.substr(from));
    if (f.size() != 13 || f[0] != "R") return false;
    r.index = std::stoul(f[1]);
    r.source = std::stoul(f[2]);
    r.kind = std::stoi(f[3]);
    r.helper.outcome = Outcome(std::stoi(f[4]));
    r.helper.ms = std::stod(f[5]);
    r.helper.peakKb = std::stol(f[6]);
    r.open.outcome = Outcome(std::stoi(f[7]));
    r.open.ms = std::stod(f[8]);
    r.open.peakKb = std::stol(f[9]);
    r.description = f[10];
    r.helper.detail = f[11];
    r.open.detail = f[12];
    return true;
}

struct Originals {
    std::vector<bool> ready;
    std::vector<bool> readable;
    std::vector<WordTable> stored;
    std::vector<SortedWords> sorted;
};

// Runs variants first, first + step, ... below end; writes one line per variant to `out`.
void work(const Options& o, const std::vector<Source>& sources, const std::vector<Bytes>& files,
          const std::vector<Layout>& layouts, const QDir& dir, size_t first, size_t step,
          size_t end, int out) {
    Originals orig;
    orig.ready.assign(sources.size(), false);
    orig.readable.assign(sources.size(), false);
    orig.stored.resize(sources.size());
    orig.sorted.resize(sources.size());
    for (size_t i = first; i < end; i += step) {
        const std::string start = "S\t" + std::to_string(i) + "\n";
        if (write(out, start.data(), start.size()) < 0) return;
        // A variant that hangs the program's side ends its worker here, and counts as failed.
        alarm(unsigned(o.timeoutMs / 1000) * 3 + 30);
        const Variant v = makeVariant(o.seed, i, sources, files, layouts);
        const Source& src = sources[v.source];
        if (!orig.ready[v.source]) {
            const Run h =
                runHelper(o.helper, src.path, src, o.timeoutMs, nullptr, &orig.stored[v.source]);
            const Run op = runOpen(src.path, src, o.timeoutMs, nullptr, &orig.sorted[v.source]);
            orig.readable[v.source] = isRead(h.outcome) && isRead(op.outcome);
            orig.ready[v.source] = true;
        }
        const bool readable = orig.readable[v.source];
        const std::string file = dir.filePath(QStringLiteral("variant%1.mdb").arg(i)).toStdString();
        {
            QFile f(QString::fromStdString(file));
            if (!f.open(QIODevice::WriteOnly) ||
                f.write(v.bytes.data(), qint64(v.bytes.size())) != qint64(v.bytes.size()))
                std::abort();
        }
        if (!o.keep.empty())
            QFile::copy(QString::fromStdString(file),
                        QDir(QString::fromStdString(o.keep))
                            .filePath(QStringLiteral("variant%1.mdb").arg(i)));
        Result r;
        r.index = i;
        r.source = v.source;
        r.kind = v.kind;
        r.description = v.description;
        WordTable read, reference;
        r.helper = runHelper(o.helper, file, src, o.timeoutMs,
                             readable ? &orig.stored[v.source] : nullptr, &read);
        if (!o.reference.empty() && r.helper.outcome != kFailure && !isLimit(r.helper.outcome)) {
            const Run ref = runHelper(o.reference, file, src, o.timeoutMs, nullptr, &reference);
            if (isRead(ref.outcome) != isRead(r.helper.outcome) ||
                (isRead(ref.outcome) &&
                 (read.rows.size() != reference.rows.size() ||
                  !std::equal(read.rows.begin(), read.rows.end(), reference.rows.begin(),
                              [&](const WordTable::Slot& a, const WordTable::Slot& b) {
                                  return a.length == b.length &&
                                         (a.length == WordTable::kNull ||
                                          read.text.compare(a.offset, a.length, reference.text,
                                                            b.offset, b.length) == 0);
                              })))) {
                r.helper.outcome = kFailure;
                r.helper.detail =
                    "differs from the reference reader (" + ref.detail + "): " + r.helper.detail;
            }
        }
        r.open =
            runOpen(file, src, o.timeoutMs, readable ? &orig.sorted[v.source] : nullptr, nullptr);
        QFile::remove(QString::fromStdString(file));
        struct rusage self {};
        getrusage(RUSAGE_SELF, &self);
        r.open.peakKb = self.ru_maxrss;
        // The helper is the same program both times: a read one way and a refusal the other,
        // or the same rows read differently, means one of the two ways is wrong.
        // Open says "the reader crashed" where the helper's own run showed it out of memory.
        if (r.helper.outcome == kCrashAtLimit && r.open.outcome == kFailure &&
            r.open.detail.find("the reader crashed") != std::string::npos)
            r.open.outcome = kCrashAtLimit;
        const Outcome h = r.helper.outcome, op = r.open.outcome;
        if (h != kFailure && op != kFailure && !isLimit(h) && !isLimit(op) &&
            (isRead(h) != isRead(op) || (h == kIdentical && op != kIdentical))) {
            r.open.detail = "disagrees with the helper's own run: " + r.open.detail;
            r.open.outcome = kFailure;
        }
        alarm(0);
        const std::string line = encode(r);
        if (write(out, line.data(), line.size()) < 0) return;
    }
}

bool parseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
        if (a == "--helper")
            o.helper = value();
        else if (a == "--data")
            o.data = value();
        else if (a == "--shipped")
            o.shipped = value();
        else if (a == "--keep")
            o.keep = value();
        else if (a == "--seed")
            o.seed = std::stoull(value());
        else if (a == "--first")
            o.first = std::stoul(value());
        else if (a == "--count")
            o.count = std::stoul(value());
        else if (a == "--jobs")
            o.jobs = std::max(1, std::stoi(value()));
        else if (a == "--timeout")
            o.timeoutMs = std::max(1000, std::stoi(value()));
        else if (a == "--by-kind")
            o.byKind = true;
        else if (a == "--reference")
            o.reference = value();
        else
            return false;
    }
    return !o.helper.empty() && !o.data.empty();
}

Bytes readFile(const std::string& path) {
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QByteArray b = f.readAll();
    return Bytes(b.constData(), size_t(b.size()));
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Options o;
    try {
        if (!parseOptions(argc, argv, o)) throw std::invalid_argument("usage");
    } catch (const std::exception&) {
        std::fprintf(stderr, "usage: damage_run --helper FILE --data DIR [--shipped FILE] "
                             "[--seed N] [--first N] [--count N] [--jobs N] [--timeout MS] "
                             "[--by-kind] [--keep DIR] [--reference FILE]\n");
        return 2;
    }
    const std::string d = o.data + "/";
    std::vector<Source> sources;
    if (!o.shipped.empty()) sources.push_back({o.shipped, "words", "word", true, 3});
    sources.push_back({d + "words/sample-3000.mdb", "words", "word", true, 3});
    sources.push_back({d + "access-files/jet3-testV1997.mdb", "Table1", "A", false, 1});
    sources.push_back({d + "access-files/jet3-testV1997.mdb", "MSysObjects", "Name", false, 1});
    sources.push_back({d + "access-files/ace14-testV2010.accdb", "Table1", "B", false, 1});
    sources.push_back({d + "access-files/jet4-overflowTestV2000.mdb", "Table1", "data1", false, 1});
    sources.push_back(
        {d + "access-files/jet4-testUnicodeCompV2003.mdb", "Table", "Unicode", false, 1});
    sources.push_back({d + "access-files/jet4-emptyJet4.mdb", "MSysObjects", "Name", false, 1});
    sources.push_back(
        {d + "access-files/ace14-V2010_with-password.accdb", "MSysObjects", "Name", false, 1});
    std::vector<Bytes> files;
    std::vector<Layout> layouts;
    for (const Source& s : sources) {
        files.push_back(readFile(s.path));
        if (files.back().size() < 3 * 2048) {
            std::fprintf(stderr, "damage_run: cannot read %s\n", s.path.c_str());
            return 2;
        }
        layouts.push_back(layoutOf(files.back()));
    }
    if (!o.keep.empty()) QDir().mkpath(QString::fromStdString(o.keep));
    g_dataObjects.reader.helperPath = QString::fromStdString(o.helper);
    g_dataObjects.reader.timeoutMs = o.timeoutMs;

    // Memory-backed where there is such a place; a worker that dies leaves its file here.
    const QTemporaryDir dir(QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                                ? QStringLiteral("/dev/shm/lexivane-damage-XXXXXX")
                                : QDir::tempPath() + QStringLiteral("/lexivane-damage-XXXXXX"));
    if (!dir.isValid()) {
        std::fprintf(stderr, "damage_run: no temporary folder\n");
        return 2;
    }
    const size_t end = o.first + o.count;
    const auto started = Clock::now();
    std::vector<Result> results;
    std::map<size_t, std::string> lost; // variants whose worker died, and how
    // Workers are processes of their own: a variant that brings one down is a failure to
    // record, not the end of the campaign. Each worker takes every jobs-th variant.
    struct Worker {
        pid_t pid = -1;
        int fd = -1;
        size_t next = 0, running = SIZE_MAX;
        std::string buffer;
    };
    std::vector<Worker> workers(size_t(o.jobs));
    auto launch = [&](Worker& w, size_t from) {
        int p[2];
        if (pipe2(p, O_CLOEXEC) != 0) std::abort();
        std::fflush(nullptr);
        const pid_t pid = fork();
        if (pid == 0) {
            close(p[0]);
            work(o, sources, files, layouts, QDir(dir.path()), from, size_t(o.jobs), end, p[1]);
            _exit(0);
        }
        close(p[1]);
        w.pid = pid;
        w.fd = p[0];
        w.next = from;
        w.running = SIZE_MAX;
    };
    for (size_t k = 0; k < workers.size(); ++k)
        if (o.first + k < end) launch(workers[k], o.first + k);
    size_t done = 0, lastShown = 0;
    for (;;) {
        std::vector<pollfd> fds;
        for (Worker& w : workers)
            if (w.fd >= 0) fds.push_back({w.fd, POLLIN, 0});
        if (fds.empty()) break;
        if (poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) break;
        for (Worker& w : workers) {
            if (w.fd < 0) continue;
            char buf[1 << 14];
            const ssize_t got = read(w.fd, buf, sizeof buf);
            if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            if (got > 0) {
                w.buffer.append(buf, size_t(got));
                for (size_t nl; (nl = w.buffer.find('\n')) != std::string::npos;) {
                    const std::string line = w.buffer.substr(0, nl);
                    w.buffer.erase(0, nl + 1);
                    Result r;
                    if (line.rfind("S\t", 0) == 0) {
                        w.running = std::stoul(line.substr(2));
                    } else if (decode(line, r)) {
                        results.push_back(r);
                        w.running = SIZE_MAX;
                        w.next = r.index + size_t(o.jobs);
                        ++done;
                    }
                }
                if (done - lastShown >= 100 && isatty(2)) {
                    std::fprintf(stderr, "\r%zu of %zu", done, o.count);
                    lastShown = done;
                }
                continue;
            }
            // The worker is gone: if it was inside a variant, that variant failed.
            close(w.fd);
            w.fd = -1;
            int status = 0;
            waitpid(w.pid, &status, 0);
            const bool clean = WIFEXITED(status) && WEXITSTATUS(status) == 0;
            const size_t inFlight = w.running != SIZE_MAX ? w.running : clean ? end : w.next;
            if (inFlight < end) {
                if (!WIFSIGNALED(status))
                    lost[inFlight] =
                        "the program's side exited " + std::to_string(WEXITSTATUS(status));
                else if (WTERMSIG(status) == SIGALRM)
                    lost[inFlight] = "the program's side hung for " +
                                     std::to_string(o.timeoutMs / 1000 * 3 + 30) + " s";
                else
                    lost[inFlight] =
                        std::string("the program's side died: ") + strsignal(WTERMSIG(status));
                ++done;
                if (inFlight + size_t(o.jobs) < end) launch(w, inFlight + size_t(o.jobs));
            }
        }
    }
    if (isatty(2)) std::fprintf(stderr, "\r");
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();

    // ---- the table ----
    size_t helperCount[kOutcomes] = {}, openCount[kOutcomes] = {};
    std::map<int, std::map<int, size_t>> byKind;
    const Result* slowest = nullptr;
    const Result* hungriest = nullptr;
    long programPeakKb = 0;
    for (const Result& r : results) {
        ++helperCount[r.helper.outcome];
        ++openCount[r.open.outcome];
        ++byKind[r.kind][r.helper.outcome == kFailure || r.open.outcome == kFailure
                             ? kFailure
                             : r.open.outcome];
        if (!slowest ||
            std::max(r.helper.ms, r.open.ms) > std::max(slowest->helper.ms, slowest->open.ms))
            slowest = &r;
        if (!hungriest || r.helper.peakKb > hungriest->helper.peakKb) hungriest = &r;
        programPeakKb = std::max(programPeakKb, r.open.peakKb);
    }
    openCount[kFailure] += lost.size();
    std::printf("Damaged variants %zu to %zu of seed %llu, %d worker%s, timeout %d ms: %.0f s\n\n",
                o.first, end - 1, static_cast<unsigned long long>(o.seed), o.jobs,
                o.jobs == 1 ? "" : "s", o.timeoutMs, seconds);
    std::printf("%-30s %14s %14s\n", "outcome", "reader helper", "program's Open");
    for (int k = 0; k < kOutcomes; ++k)
        std::printf("%-30s %14zu %14zu\n", kOutcomeNames[k], helperCount[k], openCount[k]);
    if (slowest)
        std::printf("\nslowest: variant %zu, helper %.0f ms, Open %.0f ms (%s: %s)\n",
                    slowest->index, slowest->helper.ms, slowest->open.ms,
                    sources[slowest->source].name().c_str(), slowest->description.c_str());
    if (hungriest)
        std::printf("peak memory: reader helper %.1f MB (variant %zu, %s: %s); program's side "
                    "%.1f MB\n",
                    double(hungriest->helper.peakKb) / 1024, hungriest->index,
                    sources[hungriest->source].name().c_str(), hungriest->description.c_str(),
                    double(programPeakKb) / 1024);
    if (o.byKind) {
        std::printf("\nby the first damage done (Open's outcome; limits together):\n");
        std::printf("%-18s %8s %8s %8s %8s %8s\n", "damage", "same", "changed", "refused", "limit",
                    "FAILED");
        for (int k = 0; k <= kKinds; ++k) {
            if (!byKind.count(k)) continue;
            auto& m = byKind[k];
            std::printf("%-18s %8zu %8zu %8zu %8zu %8zu\n", k < kKinds ? kKindNames[k] : "none",
                        m[kIdentical], m[kChanged], m[kRefused] + m[kSpoiled],
                        m[kLimitTime] + m[kLimitCpu] + m[kLimitMemory] + m[kCrashAtLimit] +
                            m[kLimitOutput],
                        m[kFailure]);
        }
    }
    size_t failures = lost.size();
    for (const Result& r : results) {
        for (const Run* run : {&r.helper, &r.open}) {
            if (run->outcome != kFailure) continue;
            ++failures;
            std::printf("\nFAILED variant %zu (%s: %s)\n  %s: %s\n", r.index,
                        sources[r.source].name().c_str(), r.description.c_str(),
                        run == &r.helper ? "reader helper" : "program's Open", run->detail.c_str());
        }
    }
    for (const auto& [index, how] : lost)
        std::printf("\nFAILED variant %zu\n  %s\n", index, how.c_str());
    if (failures)
        std::printf("\nreplay one: damage_run --helper %s --data %s%s%s --seed %llu --first N "
                    "--count 1 --keep DIR\n",
                    o.helper.c_str(), o.data.c_str(), o.shipped.empty() ? "" : " --shipped ",
                    o.shipped.c_str(), static_cast<unsigned long long>(o.seed));
    return failures ? 1 : 0;
}

#include "db_collation.h"

#include "utf8.h"
#include "word_order.h"

#include <QChar>
#include <QList>
#include <QString>
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <sqlite3.h>
#include <vector>

namespace lexivane::db {
namespace {

using order::kDigit;
using order::kLatin;
using order::kOtherLetter;
using order::kSymbol;
constexpr uint32_t kIgnorable = 0;          // apostrophe, hyphen: tie-break only
constexpr uint32_t kNotAscii = 0xFFFFFFFFu; // byte table: leave the quick path
// Secondary weight for letters that stand for two (æ, ß): after the plain pair and after
// any accented one.
constexpr uint32_t kExpansion = 0x7FFFFFFF;

struct AsciiTable {
    std::array<uint32_t, 256> primary{};
    std::array<uint8_t, 128> upper{};
    AsciiTable() {
        for (int c = 0; c < 256; ++c) {
            const uint32_t w =
                c >= 0x80 ? kNotAscii : order::asciiPrimary(static_cast<char32_t>(c));
            primary[static_cast<size_t>(c)] = w;
            if (c < 0x80) upper[static_cast<size_t>(c)] = (c >= 'A' && c <= 'Z') ? 1 : 0;
        }
    }
};
const AsciiTable kAscii;

// One collation element: what a character contributes at each level.
struct Element {
    uint32_t primary;
    uint32_t secondary; // accents: up to three marks, 10 bits each, first mark highest
    uint32_t tertiary;  // 0 lower or uncased, 1 upper
    int marks = 0;
};

// Packing the first mark highest and leaving unused slots zero makes the number compare
// like the list of marks: no accent first, then by marks in order.
void addMark(Element& e, char32_t mark) {
    if (e.marks >= 3) return;
    e.secondary |= ((static_cast<uint32_t>(mark) & 0x3FF) + 1) << (20 - 10 * e.marks);
    ++e.marks;
}

struct Key {
    std::vector<Element> elements;
    int ignorables = 0;
};

uint32_t primaryOf(char32_t base) {
    if (base < 0x80) return kAscii.primary[base];
    if (QChar::isDigit(base)) return kDigit | static_cast<uint32_t>(QChar::digitValue(base));
    if (QChar::isLetter(base)) return kOtherLetter | QChar::toCaseFolded(base);
    return kSymbol | base;
}

void appendElementsUncached(char32_t c, Key& key) {
    if (order::isIgnorable(c)) {
        ++key.ignorables;
        return;
    }
    const uint32_t upper = (QChar::isUpper(c) || QChar::isTitleCase(c)) ? 1 : 0;
    auto pair = [&](char first, char second) {
        key.elements.push_back(
            {kAscii.primary[static_cast<unsigned char>(first)], kExpansion, upper, 3});
        key.elements.push_back(
            {kAscii.primary[static_cast<unsigned char>(second)], kExpansion, upper, 3});
    };
    auto stroked = [&](char letter, char32_t mark) {
        key.elements.push_back({kAscii.primary[static_cast<unsigned char>(letter)], 0, upper});
        addMark(key.elements.back(), mark);
    };
    if (const order::SpecialLetter l = order::specialLetter(c); l.first) {
        if (l.second)
            pair(l.first, l.second);
        else
            stroked(l.first, l.mark);
        return;
    }
    // Canonical decomposition: base letter plus combining marks; marks weigh as accents.
    char32_t base = c;
    std::vector<char32_t> marks;
    for (int depth = 0; depth < 4; ++depth) {
        if (QChar::decompositionTag(base) != QChar::Canonical) break;
        const QString d = QChar::decomposition(base);
        if (d.isEmpty()) break;
        const auto ucs = d.toUcs4();
        base = ucs[0];
        marks.insert(marks.begin(), ucs.begin() + 1, ucs.end()); // inner marks come first
    }
    if (QChar::category(base) == QChar::Mark_NonSpacing && !key.elements.empty()) {
        // A lone combining mark accents the letter before it.
        addMark(key.elements.back(), base);
        for (char32_t m : marks)
            addMark(key.elements.back(), m);
        return;
    }
    base = QChar::toCaseFolded(base);
    key.elements.push_back({primaryOf(base), 0, upper});
    for (char32_t m : marks)
        addMark(key.elements.back(), m);
}

// Latin-1 and the Latin Extended blocks come up in most accented words; their elements are
// worked out once instead of decomposing through QChar on every comparison.
constexpr char32_t kCachedEnd = 0x300;
struct CachedChar {
    bool ignorable = false;
    int count = 0;
    Element elements[2] = {};
};
const std::vector<CachedChar>& latinCache() {
    static const std::vector<CachedChar> cache = [] {
        std::vector<CachedChar> table(kCachedEnd);
        Key key;
        for (char32_t c = 0x80; c < kCachedEnd; ++c) {
            key.elements.clear();
            key.ignorables = 0;
            appendElementsUncached(c, key);
            CachedChar& entry = table[c];
            entry.ignorable = key.ignorables > 0;
            entry.count = static_cast<int>(std::min<size_t>(key.elements.size(), 2));
            for (int k = 0; k < entry.count; ++k)
                entry.elements[k] = key.elements[size_t(k)];
        }
        return table;
    }();
    return cache;
}

void appendElements(char32_t c, Key& key) {
    if (c < 0x80) {
        uint32_t p = kAscii.primary[c];
        if (p == kIgnorable)
            ++key.ignorables;
        else
            key.elements.push_back({p, 0, kAscii.upper[c]});
        return;
    }
    if (c < kCachedEnd) {
        const CachedChar& entry = latinCache()[c];
        if (entry.ignorable) ++key.ignorables;
        for (int k = 0; k < entry.count; ++k)
            key.elements.push_back(entry.elements[k]);
        return;
    }
    appendElementsUncached(c, key);
}

void makeKey(const unsigned char* s, size_t n, Key& key) {
    key.elements.clear();
    key.elements.reserve(n + 1);
    key.ignorables = 0;
    for (size_t i = 0; i < n;)
        appendElements(decodeUtf8(s, n, i), key);
}

template <typename Get> int compareLevel(const Key& a, const Key& b, Get get) {
    const size_t n = std::min(a.elements.size(), b.elements.size());
    for (size_t i = 0; i < n; ++i) {
        uint32_t x = get(a.elements[i]), y = get(b.elements[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.elements.size() != b.elements.size())
        return a.elements.size() < b.elements.size() ? -1 : 1;
    return 0;
}

int compareBytes(const unsigned char* a, size_t na, const unsigned char* b, size_t nb) {
    int r = std::memcmp(a, b, std::min(na, nb));
    if (r != 0) return r < 0 ? -1 : 1;
    return na == nb ? 0 : (na < nb ? -1 : 1);
}

int compareGeneral(const unsigned char* a, size_t na, const unsigned char* b, size_t nb) {
    thread_local Key ka, kb;
    makeKey(a, na, ka);
    makeKey(b, nb, kb);
    if (int r = compareLevel(ka, kb, [](const Element& e) { return e.primary; })) return r;
    if (int r = compareLevel(ka, kb, [](const Element& e) { return e.secondary; })) return r;
    if (int r = compareLevel(ka, kb, [](const Element& e) { return e.tertiary; })) return r;
    if (ka.ignorables != kb.ignorables) return ka.ignorables < kb.ignorables ? -1 : 1;
    return compareBytes(a, na, b, nb);
}

int collate(void*, int na, const void* a, int nb, const void* b) {
    return compareWords(static_cast<const char*>(a), static_cast<size_t>(na),
                        static_cast<const char*>(b), static_cast<size_t>(nb));
}

// Primary weights one by one from position i, for the Latin middle path: ASCII from the
// table, Latin-1 and Latin Extended from the cache. Returns 1 with a weight, 0 at the end,
// -1 for anything else (the general path has to decide).
struct PrimaryCursor {
    const unsigned char* s;
    size_t n;
    size_t i;
    uint32_t pending = 0;
    int next(uint32_t& weight) {
        if (pending) {
            weight = pending;
            pending = 0;
            return 1;
        }
        while (i < n) {
            if (s[i] < 0x80) {
                const uint32_t w = kAscii.primary[s[i++]];
                if (w == kIgnorable) continue;
                weight = w;
                return 1;
            }
            const char32_t c = decodeUtf8(s, n, i);
            if (c >= kCachedEnd) return -1;
            const CachedChar& entry = latinCache()[c];
            if (entry.ignorable) continue;
            if (entry.count == 0) return -1;
            weight = entry.elements[0].primary;
            if (entry.count == 2) pending = entry.elements[1].primary;
            return 1;
        }
        return 0;
    }
};

// Most comparisons that meet an accented letter are settled by the letters alone; only a
// tie there needs the full keys. The texts are equal, element for element, before i and j.
int compareAfterPrefix(const unsigned char* a, size_t na, size_t i, const unsigned char* b,
                       size_t nb, size_t j) {
    PrimaryCursor ca{a, na, i}, cb{b, nb, j};
    for (;;) {
        uint32_t x = 0, y = 0;
        const int ra = ca.next(x), rb = cb.next(y);
        if (ra < 0 || rb < 0 || (ra == 0 && rb == 0)) break;
        if (ra == 0 || rb == 0) return ra == 0 ? -1 : 1;
        if (x != y) return x < y ? -1 : 1;
    }
    return compareGeneral(a, na, b, nb);
}

} // namespace

int compareWordsGeneral(const char* a, size_t na, const char* b, size_t nb) {
    return compareGeneral(reinterpret_cast<const unsigned char*>(a), na,
                          reinterpret_cast<const unsigned char*>(b), nb);
}

int compareWords(const char* as, size_t na, const char* bs, size_t nb) {
    // Quick path: both plain ASCII. Same levels as the general path, without building keys.
    const auto* a = reinterpret_cast<const unsigned char*>(as);
    const auto* b = reinterpret_cast<const unsigned char*>(bs);
    const auto& w = kAscii.primary;
    size_t i = 0, j = 0;
    for (;;) {
        // Equal ASCII bytes weigh the same at every level that the loop below decides.
        while (i < na && j < nb && a[i] == b[j] && a[i] < 0x80)
            ++i, ++j;
        uint32_t x = 0, y = 0;
        while (i < na && (x = w[a[i]]) == kIgnorable)
            ++i;
        while (j < nb && (y = w[b[j]]) == kIgnorable)
            ++j;
        if (i >= na || j >= nb) {
            // One ran out: the other is longer only if what is left is not, say, a lone
            // combining mark, so anything non-ASCII left is looked at more closely.
            const bool aLonger = i < na, bLonger = j < nb;
            for (size_t k = i; k < na; ++k)
                if (w[a[k]] == kNotAscii) return compareAfterPrefix(a, na, i, b, nb, j);
            for (size_t k = j; k < nb; ++k)
                if (w[b[k]] == kNotAscii) return compareAfterPrefix(a, na, i, b, nb, j);
            if (aLonger != bLonger) return aLonger ? 1 : -1;
            break;
        }
        if (x == kNotAscii || y == kNotAscii) return compareAfterPrefix(a, na, i, b, nb, j);
        // The first primary difference decides; what follows cannot change that.
        if (x != y) return x < y ? -1 : 1;
        ++i;
        ++j;
    }
    // Same letters, both ASCII: i == na and j == nb exactly when both ran out together.
    size_t ea = 0, eb = 0, ia = 0, ib = 0;
    for (;;) {
        while (ia < na && w[a[ia]] == kIgnorable)
            ++ia, ++ea;
        while (ib < nb && w[b[ib]] == kIgnorable)
            ++ib, ++eb;
        if (ia >= na || ib >= nb) break;
        uint8_t ua = kAscii.upper[a[ia]], ub = kAscii.upper[b[ib]];
        if (ua != ub) return ua < ub ? -1 : 1;
        ++ia;
        ++ib;
    }
    // Primary levels were equal, so the element counts match; count the leftover ignorables.
    for (; ia < na; ++ia)
        ea += (w[a[ia]] == kIgnorable);
    for (; ib < nb; ++ib)
        eb += (w[b[ib]] == kIgnorable);
    if (ea != eb) return ea < eb ? -1 : 1;
    return compareBytes(a, na, b, nb);
}

namespace {

// One byte per primary weight, in the weights' order. 0 is the end of the word. A weight that
// no byte stands for alone gets the byte of its whole range and ends the number, so that words
// meeting there tie and the full comparison decides.
constexpr unsigned kPrefixEnd = 0;
constexpr unsigned kAsciiSymbols = 1;   // 1 + code, exact
constexpr unsigned kOtherSymbols = 129; // range
constexpr unsigned kDigits = 130;       // 130 + value, exact
constexpr unsigned kOtherDigits = 140;  // range (never met: digits are 0-9)
constexpr unsigned kLatinLetters = 141; // 141 + letter, exact
constexpr unsigned kOtherLetters = 167; // range
constexpr unsigned kOtherWeights = 168; // range

// The byte for a weight; `exact` false when it stands for a range.
unsigned prefixByte(uint32_t primary, bool& exact) {
    const uint32_t group = primary & 0xFF000000u, low = primary & 0x00FFFFFFu;
    exact = true;
    if (group == kSymbol && low < 0x80) return kAsciiSymbols + low;
    if (group == kDigit && low < 10) return kDigits + low;
    if (group == kLatin && low < 26) return kLatinLetters + low;
    exact = false;
    if (group == kSymbol) return kOtherSymbols;
    if (group == kDigit) return kOtherDigits;
    if (group == kOtherLetter) return kOtherLetters;
    return kOtherWeights;
}

} // namespace

uint64_t sortPrefix(const char* text, size_t n) {
    static_assert(kPrefixEnd == 0, "unused bytes are zero");
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    uint64_t key = 0;
    int filled = 0;
    auto add = [&](uint32_t primary) {
        bool exact = false;
        key |= uint64_t(prefixByte(primary, exact)) << (56 - 8 * filled);
        ++filled;
        return exact && filled < 8;
    };
    size_t i = 0;
    for (; i < n; ++i) {
        if (s[i] >= 0x80) break;
        const uint32_t w = kAscii.primary[s[i]];
        if (w == kIgnorable) continue;
        if (!add(w)) return key;
    }
    if (i == n) return key;
    // Past ASCII, the word's full elements (marks join the letter before them, æ is two).
    Key full;
    makeKey(s, n, full);
    key = 0;
    filled = 0;
    for (const Element& e : full.elements)
        if (!add(e.primary)) break;
    return key;
}

int registerCollation(sqlite3* db) {
    return sqlite3_create_collation_v2(db, kCollationName, SQLITE_UTF8, nullptr, collate, nullptr);
}

} // namespace lexivane::db

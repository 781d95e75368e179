// The selector parser of lexivane-find on any command line: it accepts the selectors or says
// what is wrong, and what it accepts finds, on a fixed word list, what a slow oracle built on
// the reference statement of the order finds; several selectors find what each finds alone,
// together. Regular expressions only have to finish (their limits bound them).
//
// Input: records "kind byte, text", separated by 0xFF. The kind's low three bits pick the
// selector; 8 writes it as --option=text; 16 adds -0; 32 passes the text as an argument of
// its own (which may turn into an option, or the value of the option before it).

#include "options.h"
#include "query.h"
#include "reference_order.h"
#include "word_index.h"

#include <QString>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

using namespace lexivane::find;

namespace {

const char* const kWords[] = {"café",
                              "Café",
                              "CAFE",
                              "cafe",
                              "cafés",
                              "can't",
                              "cant",
                              "co-op",
                              "coop",
                              "straße",
                              "strasse",
                              "æsir",
                              "aesir",
                              "Œuvre",
                              "øre",
                              "łódź",
                              "lodz",
                              "cat",
                              "cot",
                              "ct",
                              "coat",
                              "scat",
                              "cats",
                              "ÇAT",
                              "listen",
                              "silent",
                              "tinsel",
                              "tins",
                              "snit",
                              "a",
                              "aa",
                              "",
                              "9lives",
                              "x-ray",
                              "日本",
                              "日本語",
                              "naïve",
                              "résumé",
                              "Émigré",
                              "e\xCC\x81t\xC3\xA9",
                              "?",
                              "*",
                              "a?b",
                              "a*b",
                              "--",
                              "x'y",
                              "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaab",
                              "abcdefghijklmnopqrstuvwxyzabcdefghij",
                              "٣٤",
                              "ǅemal",
                              "ﬁne",
                              "Ⓐb",
                              "σς",
                              "İstanbul"};

struct Fixture {
    Block block;
    WordIndex index;
    std::vector<QList<uint>> letters; // the oracle's letters of each word, in index order
};

QList<uint> oracleLetters(const QString& text) {
    QList<uint> out;
    for (const reference::Letter& l : reference::keyOf(text).letters)
        out << (l.group == 2 ? '0' + l.value : l.group == 3 ? 'a' + l.value : l.value);
    return out;
}

// Letters of a piece of a selector; after a wildcard, leading accents belong to it.
QList<uint> pieceLetters(const std::string& piece, bool afterLetter) {
    const QString text = QString::fromUtf8(piece.data(), qsizetype(piece.size()));
    if (!afterLetter) return oracleLetters(text);
    return oracleLetters(QStringLiteral("a") + text).mid(1);
}

const Fixture& fixture() {
    static const Fixture f = [] {
        Fixture x;
        lexivane::db::WordTable table;
        for (const char* w : kWords)
            table.add(w, std::char_traits<char>::length(w));
        x.block = buildIndex(table, {});
        if (x.index.open(x.block.bytes.get(), x.block.size, nullptr) != WordIndex::Status::Ok ||
            !x.index.require(~0u))
            std::abort();
        for (uint32_t i = 0; i < x.index.size(); ++i) {
            const std::string_view w = x.index.word(i);
            x.letters.push_back(oracleLetters(QString::fromUtf8(w.data(), qsizetype(w.size()))));
        }
        return x;
    }();
    return f;
}

constexpr uint kAnyLetter = 0xFFFFFFFF;
constexpr uint kAnyRun = 0xFFFFFFFE;

bool patternMatches(const QList<uint>& p, const QList<uint>& w) {
    std::vector<std::vector<char>> can(size_t(p.size()) + 1,
                                       std::vector<char>(size_t(w.size()) + 1));
    can[size_t(p.size())][size_t(w.size())] = 1;
    for (qsizetype i = p.size() - 1; i >= 0; --i)
        for (qsizetype j = w.size(); j >= 0; --j) {
            const size_t a = size_t(i), b = size_t(j);
            if (p[i] == kAnyRun)
                can[a][b] = can[a + 1][b] || (j < w.size() && can[a][b + 1]);
            else
                can[a][b] =
                    j < w.size() && (p[i] == kAnyLetter || p[i] == w[j]) && can[a + 1][b + 1];
        }
    return can[0][0];
}

// The oracle's pattern for a glob-like selector, letter by letter.
QList<uint> oraclePattern(Selector kind, const std::string& text) {
    QList<uint> p;
    if (kind == Selector::Ends || kind == Selector::Contains) p << kAnyRun;
    if (kind != Selector::Pattern) {
        p += pieceLetters(text, kind != Selector::Starts);
    } else {
        std::string piece;
        bool afterWildcard = false;
        for (char c : text) {
            if (c != '?' && c != '*') {
                piece += c;
                continue;
            }
            p += pieceLetters(piece, afterWildcard || !p.isEmpty());
            piece.clear();
            p << (c == '?' ? kAnyLetter : kAnyRun);
            afterWildcard = true;
        }
        p += pieceLetters(piece, afterWildcard || !p.isEmpty());
    }
    if (kind == Selector::Starts || kind == Selector::Contains) p << kAnyRun;
    return p;
}

bool oracleRack(const std::string& text, bool exact, const QList<uint>& word) {
    std::map<uint, int> have;
    int blanks = 0;
    std::string piece;
    bool afterLetter = false;
    auto flush = [&] {
        for (uint l : pieceLetters(piece, afterLetter))
            ++have[l];
        afterLetter = afterLetter || !pieceLetters(piece, afterLetter).isEmpty();
        piece.clear();
    };
    for (char c : text) {
        if (c == '?') {
            flush();
            ++blanks;
            afterLetter = true;
        } else {
            piece += c;
        }
    }
    flush();
    int tiles = blanks, short_ = 0;
    for (const auto& [l, n] : have)
        tiles += n;
    std::map<uint, int> need;
    for (uint l : word)
        ++need[l];
    for (const auto& [l, n] : need)
        short_ += std::max(0, n - (have.count(l) ? have[l] : 0));
    if (!exact) return short_ <= blanks;
    return int(word.size()) == tiles && short_ == blanks;
}

std::vector<uint32_t> matches(const Query& q) {
    std::vector<uint32_t> out;
    if (!q.run(fixture().index, [&](uint32_t i) { out.push_back(i); }).empty()) out.push_back(~0u);
    return out;
}

struct Record {
    unsigned char kind;
    std::string text;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<Record> records;
    for (size_t i = 0; i < size && records.size() < 4;) {
        Record r{data[i++], {}};
        while (i < size && data[i] != 0xFF)
            r.text.push_back(char(data[i++]));
        ++i;
        records.push_back(std::move(r));
    }
    if (records.empty()) return 0;

    std::vector<std::string> storage;
    for (const Record& r : records) {
        const std::string name = optionName(Selector(r.kind & 7));
        if (r.kind & 32) {
            storage.push_back(r.text);
        } else if (r.kind & 8) {
            storage.push_back(name + "=" + r.text);
        } else {
            storage.push_back(name);
            storage.push_back(r.text);
        }
        if (r.kind & 16) storage.push_back("-0");
    }
    const std::vector<std::string_view> args(storage.begin(), storage.end());
    Options options;
    const std::string wrong = parseArguments(args, options);
    if (!wrong.empty()) return 0; // refused, with a reason: fine

    options.query.setRegexTimeLimit(std::chrono::milliseconds(500));
    const std::vector<uint32_t> together = matches(options.query);
    const bool stopped = !together.empty() && together.back() == ~0u;

    // Each selector alone, and against the oracle where there is one.
    std::vector<uint32_t> expected;
    for (uint32_t i = 0; i < fixture().index.size(); ++i)
        expected.push_back(i);
    bool anyStopped = false, loose = false;
    for (const Record& r : records) {
        if (r.kind & 32) { // it may have become an option, or a value of one
            loose = true;
            continue;
        }
        const Selector kind = Selector(r.kind & 7);
        Query alone;
        if (!alone.add(kind, r.text).empty()) std::abort(); // accepted together, so alone too
        alone.setRegexTimeLimit(std::chrono::milliseconds(500));
        std::vector<uint32_t> found = matches(alone);
        if (!found.empty() && found.back() == ~0u) {
            anyStopped = true;
            continue;
        }
        if (kind == Selector::Length) {
            if (r.text.find_first_not_of("0123456789,-") != std::string::npos) std::abort();
        } else if (kind != Selector::Regex) {
            const QList<uint> pattern = oraclePattern(kind, r.text);
            std::vector<uint32_t> oracle;
            for (uint32_t i = 0; i < fixture().index.size(); ++i) {
                const QList<uint>& w = fixture().letters[i];
                const bool keep = kind == Selector::Letters   ? oracleRack(r.text, false, w)
                                  : kind == Selector::Anagram ? oracleRack(r.text, true, w)
                                                              : patternMatches(pattern, w);
                if (keep) oracle.push_back(i);
            }
            if (found != oracle) std::abort();
        }
        std::vector<uint32_t> both;
        std::set_intersection(expected.begin(), expected.end(), found.begin(), found.end(),
                              std::back_inserter(both));
        expected.swap(both);
    }
    if (!stopped && !anyStopped && !loose && together != expected) std::abort();
    return 0;
}

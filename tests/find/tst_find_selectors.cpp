// What each selector finds. Hand-picked cases say what the selectors mean (letters without
// case or accents, whole words, blanks, exact anagrams); randomised cases compare patterns,
// prefixes, suffixes, racks and anagrams on the sample list with a slow oracle built on the
// reference statement of the order (tests/db/reference_order.h), not on the program's fold;
// the rest covers the length syntax, regular expressions and their limits, and text of any
// content.

#include "find_test_support.h"
#include "reference_order.h"

#include <QElapsedTimer>
#include <QHash>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>
#include <functional>
#include <vector>

using lexivane::find::Query;
using lexivane::find::Selector;
using namespace findtest;

namespace {

// ---- the oracle: letters of the order's first level, from the reference key ----

using Letters = QList<uint>;

uint codeOf(const reference::Letter& l) {
    switch (l.group) {
    case 2:
        return '0' + l.value;
    case 3:
        return 'a' + l.value;
    default:
        return l.value; // symbols and other letters: the (case-folded) character
    }
}

Letters lettersOf(const QString& word) {
    Letters out;
    for (const reference::Letter& l : reference::keyOf(word).letters)
        out << codeOf(l);
    return out;
}

constexpr uint kAnyLetter = 0xFFFFFFFF;
constexpr uint kAnyRun = 0xFFFFFFFE;

// Whole-word match of a letter pattern, by dynamic programming.
bool patternMatches(const Letters& p, const Letters& w) {
    // can(i, j): p from i matches w from j; one table for the whole match.
    const qsizetype width = w.size() + 1;
    std::vector<char> table(size_t((p.size() + 1) * width), 0);
    auto can = [&](qsizetype i, qsizetype j) -> char& { return table[size_t(i * width + j)]; };
    can(p.size(), w.size()) = 1;
    for (qsizetype i = p.size() - 1; i >= 0; --i)
        for (qsizetype j = w.size(); j >= 0; --j) {
            if (p[i] == kAnyRun)
                can(i, j) = can(i + 1, j) || (j < w.size() && can(i, j + 1));
            else
                can(i, j) =
                    j < w.size() && (p[i] == kAnyLetter || p[i] == w[j]) && can(i + 1, j + 1);
        }
    return can(0, 0);
}

QMap<uint, int> counts(const Letters& l) {
    QMap<uint, int> c;
    for (uint x : l)
        ++c[x];
    return c;
}

// Spelled from the rack (blanks stand for any letter), or with exactly its tiles.
bool rackAllows(const QMap<uint, int>& have, qsizetype tiles, int blanks, const Letters& w,
                bool exact) {
    const QMap<uint, int> need = counts(w);
    int short_ = 0;
    for (auto it = need.begin(); it != need.end(); ++it)
        short_ += std::max(0, it.value() - have.value(it.key()));
    if (!exact) return short_ <= blanks;
    return w.size() == tiles + blanks && short_ == blanks;
}

// A character whose fold is this letter.
QString textOf(uint letter) {
    const char32_t c = letter;
    return QString::fromUcs4(&c, 1);
}

QStringList sampleWords() {
    QFile f(dataFile("words/sample-3000.txt"));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
}

// The oracle's letters of each word, worked out once.
QHash<QString, Letters>& letterCache() {
    static QHash<QString, Letters> cache;
    return cache;
}

const Letters& cachedLetters(const QString& w) {
    auto it = letterCache().find(w);
    if (it == letterCache().end()) it = letterCache().insert(w, lettersOf(w));
    return *it;
}

QStringList expect(const QStringList& sortedWords,
                   const std::function<bool(const QString&)>& keep) {
    QStringList out;
    for (const QString& w : sortedWords)
        if (keep(w)) out << w;
    return out;
}

const QStringList kTricky = {
    "café",  "Café", "CAFE",   "cafe",    "cafés",   "caffe",  "can't",  "cant",   "Cant",
    "co-op", "coop", "straße", "strasse", "Strasse", "æsir",   "aesir",  "Œuvre",  "oeuvre",
    "øre",   "ore",  "łódź",   "lodz",    "cat",     "cot",    "ct",     "coat",   "scat",
    "cats",  "Cat",  "ÇAT",    "listen",  "silent",  "tinsel", "enlist", "inlets", "elints",
    "tin",   "tins", "snit",   "aaa",     "aa",      "a",      "",       "9lives", "x-ray",
    "xray",  "日本", "日本語", "naïve",   "naive",   "résumé", "resume", "Émigré", "emigre"};

} // namespace

class TestFindSelectors : public QObject {
    Q_OBJECT

    QStringList sample_; // in the order
    MemoryIndex sampleIndex_;
    QStringList tricky_; // in the order
    MemoryIndex trickyIndex_;

    QStringList run(const MemoryIndex& m, const Selectors& s) {
        QString error;
        const QStringList got = select(m, s, &error);
        if (!error.isEmpty()) qWarning("%s", qPrintable(error));
        return got;
    }

  private slots:
    void initTestCase() {
        const QStringList words = sampleWords();
        QCOMPARE(words.size(), 3000);
        sampleIndex_ = indexOf(words);
        for (uint32_t i = 0; i < sampleIndex_.index.size(); ++i)
            sample_ << QString::fromUtf8(sampleIndex_.index.word(i).data(),
                                         qsizetype(sampleIndex_.index.word(i).size()));
        QVERIFY(sampleIndex_.index.foldsSorted()); // so prefixes are found by bisection
        trickyIndex_ = indexOf(kTricky);
        tricky_ = select(trickyIndex_, {});
    }

    // ---- meaning ----

    void handPicked_data() {
        QTest::addColumn<Selectors>("selectors");
        QTest::addColumn<QStringList>("want"); // in any order; compared as sets
        auto row = [](const char* name, Selectors s, QStringList want) {
            QTest::newRow(name) << s << want;
        };
        row("case and accents do not matter", {{Selector::Pattern, "cafe"}},
            {"café", "Café", "CAFE", "cafe"});
        row("an accented pattern finds the plain word", {{Selector::Pattern, "CAFÉ"}},
            {"café", "Café", "CAFE", "cafe"});
        row("? is one letter", {{Selector::Pattern, "c?t"}}, {"cat", "cot", "Cat", "ÇAT"});
        row("* is any run, none included", {{Selector::Pattern, "c*t"}},
            {"cat", "cot", "ct", "coat", "Cat", "ÇAT", "can't", "cant", "Cant"});
        row("apostrophes and hyphens are passed over", {{Selector::Pattern, "cant"}},
            {"can't", "cant", "Cant"});
        row("so are they in the pattern", {{Selector::Pattern, "co-op"}}, {"co-op", "coop"});
        row("ß is ss", {{Selector::Pattern, "stra??e"}}, {"straße", "strasse", "Strasse"});
        row("æ and œ are two letters", {{Selector::Pattern, "??sir"}}, {"æsir", "aesir"});
        row("œ in the pattern", {{Selector::Pattern, "œuvre"}}, {"Œuvre", "oeuvre"});
        row("ø and ł are o and l", {{Selector::Pattern, "lodz"}}, {"łódź", "lodz"});
        row("other scripts", {{Selector::Pattern, "日本*"}}, {"日本", "日本語"});
        row("the empty word", {{Selector::Pattern, ""}}, {""});
        row("starts", {{Selector::Starts, "CA"}},
            {"café", "Café", "CAFE", "cafe", "cafés", "caffe", "can't", "cant", "Cant", "cat",
             "cats", "Cat", "ÇAT"});
        row("starts takes ? and * literally", {{Selector::Starts, "c?"}}, {});
        row("ends", {{Selector::Ends, "ats"}}, {"cats"});
        row("contains", {{Selector::Contains, "ÏV"}}, {"naïve", "naive", "9lives"});
        row("contains nothing: every word", {{Selector::Contains, ""}}, kTricky);
        row("a mark at the start of --ends accents the letter before it",
            {{Selector::Ends, "\u0301s"}}, {"cafés", "cats", "tins", "9lives", "elints", "inlets"});
        // The empty word is spelled from any rack.
        row("letters: each at most as often as in the set", {{Selector::Letters, "tacs"}},
            {"cat", "ct", "scat", "cats", "Cat", "ÇAT", "a", ""});
        row("letters with a blank", {{Selector::Letters, "ta?"}},
            {"cat", "ct", "Cat", "ÇAT", "aa", "a", ""});
        row("a rack of accented letters", {{Selector::Letters, "ÉSUMER"}},
            {"résumé", "resume", ""});
        row("anagram: exactly these letters", {{Selector::Anagram, "silent"}},
            {"listen", "silent", "tinsel", "enlist", "inlets", "elints"});
        row("anagram with a blank", {{Selector::Anagram, "nit?"}}, {"tins", "snit"});
        row("anagram: the blank must be used", {{Selector::Anagram, "tin?"}}, {"tins", "snit"});
        row("all selectors must pass",
            {{Selector::Starts, "c"}, {Selector::Length, "3"}, {Selector::Letters, "aoct"}},
            {"cat", "cot", "Cat", "ÇAT"});
        row("two patterns", {{Selector::Pattern, "c*"}, {Selector::Pattern, "*s"}},
            {"cafés", "cats"});
        row("regex is whole-word and case-sensitive", {{Selector::Regex, "c.t"}}, {"cat", "cot"});
        row("regex options inside", {{Selector::Regex, "(?i)c.t"}}, {"cat", "cot", "Cat"});
        row("regex dot is one character", {{Selector::Regex, "..."}},
            {"cat", "cot", "Cat", "ÇAT", "tin", "aaa", "øre", "ore", "日本語"});
        row("regex alternatives stay inside", {{Selector::Regex, "a|aa"}}, {"a", "aa"});
        row("regex lookahead cannot reach past the word", {{Selector::Regex, "(?=cats)cat"}}, {});
        row("length list", {{Selector::Length, "0,2"}}, {"", "aa", "ct", "日本"});
    }
    void handPicked() {
        QFETCH(Selectors, selectors);
        QFETCH(QStringList, want);
        QStringList got = run(trickyIndex_, selectors);
        // The order is checked elsewhere; here, which words.
        got.sort();
        want.sort();
        QCOMPARE(got, want);
    }

    // ---- the oracle on the sample list ----

    void patternsAgreeWithTheOracle() {
        QRandomGenerator rng(15);
        for (int round = 0; round < 300; ++round) {
            const QString source = sample_[int(rng.bounded(sample_.size()))];
            const Letters letters = lettersOf(source);
            Letters pattern;
            QString text;
            for (qsizetype i = 0; i < letters.size();) {
                const quint32 r = rng.bounded(10);
                if (r < 2) {
                    pattern << kAnyLetter;
                    text += '?';
                    ++i;
                } else if (r < 4) {
                    pattern << kAnyRun;
                    text += '*';
                    i += rng.bounded(3);
                } else {
                    pattern << letters[i];
                    // upper case where there is one, so the fold does some work
                    text += rng.bounded(2) ? textOf(letters[i]).toUpper() : textOf(letters[i]);
                    ++i;
                }
            }
            const QStringList want = expect(sample_, [&](const QString& w) {
                return patternMatches(pattern, cachedLetters(w));
            });
            const QStringList got = run(sampleIndex_, {{Selector::Pattern, text}});
            if (got != want)
                QFAIL(qPrintable(QStringLiteral("pattern '%1': got %2 words, the oracle %3")
                                     .arg(text)
                                     .arg(got.size())
                                     .arg(want.size())));
        }
    }

    // Prefixes go through bisection of the sorted index; suffixes and infixes through the scan.
    void startsEndsContainsAgreeWithTheOracle() {
        QRandomGenerator rng(16);
        for (int round = 0; round < 300; ++round) {
            const QString source = sample_[int(rng.bounded(sample_.size()))];
            const Letters letters = lettersOf(source);
            const qsizetype from = rng.bounded(int(letters.size()) + 1);
            const qsizetype count = rng.bounded(int(letters.size() - from) + 1);
            const Letters piece = letters.mid(from, count);
            QString text;
            for (uint l : piece)
                text += textOf(l);
            const Selector kinds[] = {Selector::Starts, Selector::Ends, Selector::Contains};
            const Selector kind = kinds[round % 3];
            const Letters any = {kAnyRun};
            const Letters pattern = kind == Selector::Starts ? piece + any
                                    : kind == Selector::Ends ? any + piece
                                                             : any + piece + any;
            const QStringList want = expect(sample_, [&](const QString& w) {
                return patternMatches(pattern, cachedLetters(w));
            });
            const QStringList got = run(sampleIndex_, {{kind, text}});
            if (got != want)
                QFAIL(qPrintable(QStringLiteral("%1 '%2': got %3 words, the oracle %4")
                                     .arg(lexivane::find::optionName(kind), text)
                                     .arg(got.size())
                                     .arg(want.size())));
        }
    }

    void racksAndAnagramsAgreeWithTheOracle() {
        QRandomGenerator rng(17);
        for (int round = 0; round < 200; ++round) {
            const bool exact = round % 2;
            Letters rack = lettersOf(sample_[int(rng.bounded(sample_.size()))]);
            // shuffle, drop a few, add a few of another word's
            for (qsizetype i = rack.size() - 1; i > 0; --i)
                rack.swapItemsAt(i, rng.bounded(int(i) + 1));
            rack = rack.mid(0, std::max<qsizetype>(0, rack.size() - rng.bounded(3)));
            const Letters more = lettersOf(sample_[int(rng.bounded(sample_.size()))]);
            rack += more.mid(0, rng.bounded(3));
            const int blanks = int(rng.bounded(3));
            QString text;
            for (uint l : rack)
                text += textOf(l);
            text += QString(blanks, '?');
            const QMap<uint, int> have = counts(rack);
            const QStringList want = expect(sample_, [&](const QString& w) {
                return rackAllows(have, rack.size(), blanks, cachedLetters(w), exact);
            });
            const QStringList got =
                run(sampleIndex_, {{exact ? Selector::Anagram : Selector::Letters, text}});
            if (got != want)
                QFAIL(qPrintable(QStringLiteral("%1 '%2': got %3 words, the oracle %4")
                                     .arg(exact ? "--anagram" : "--letters", text)
                                     .arg(got.size())
                                     .arg(want.size())));
        }
    }

    // Words of more than 31 letters, where the letter count no longer fits the mask.
    void longWords() {
        const QString a31(31, 'a'), a32(32, 'a'), mixed = QString(40, 'b') + "c";
        const MemoryIndex m = indexOf({a31, a32, mixed, "ab"});
        QCOMPARE(run(m, {{Selector::Letters, QString(31, 'a')}}), QStringList({a31}));
        QCOMPARE(run(m, {{Selector::Letters, QString(32, 'a')}}), QStringList({a31, a32}));
        QCOMPARE(run(m, {{Selector::Anagram, QString(32, 'a')}}), QStringList({a32}));
        QCOMPARE(run(m, {{Selector::Anagram, QString(40, '?') + "c"}}), QStringList({mixed}));
        QCOMPARE(run(m, {{Selector::Pattern, QString(32, '?')}}), QStringList({a32}));
        QCOMPARE(run(m, {{Selector::Pattern, "*bc"}}), QStringList({mixed}));
    }

    // ---- lengths ----

    void lengthSyntax_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("want"); // the lengths found, or "!" for refused
        QTest::newRow("one") << "3"
                             << "3";
        QTest::newRow("list") << "1,3,4"
                              << "1,3,4";
        QTest::newRow("range") << "2-4"
                               << "2,3,4";
        QTest::newRow("open range") << "5-"
                                    << "5,6";
        QTest::newRow("mixed") << "0,5-"
                               << "0,5,6";
        QTest::newRow("zero") << "0"
                              << "0";
        QTest::newRow("empty") << ""
                               << "!";
        QTest::newRow("word") << "three"
                              << "!";
        QTest::newRow("backwards") << "5-3"
                                   << "!";
        QTest::newRow("negative") << "-3"
                                  << "!";
        QTest::newRow("empty item") << "1,,2"
                                    << "!";
        QTest::newRow("trailing comma") << "1,"
                                        << "!";
        QTest::newRow("blank") << "1, 2"
                               << "!";
        QTest::newRow("sign") << "+3"
                              << "!";
        QTest::newRow("too large") << "12345678901"
                                   << "!";
        QTest::newRow("decimal") << "3.0"
                                 << "!";
    }
    void lengthSyntax() {
        QFETCH(QString, text);
        QFETCH(QString, want);
        const MemoryIndex m = indexOf({"", "a", "bb", "ccc", "dddd", "eeeee", "ffffff"});
        QString error;
        const QStringList got = select(m, {{Selector::Length, text}}, &error);
        if (want == "!") {
            QVERIFY2(!error.isEmpty(), "accepted");
            return;
        }
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QStringList lengths;
        for (const QString& w : got)
            lengths << QString::number(w.size());
        QCOMPARE(lengths.join(','), want);
    }

    // The rows the window cannot show (NULL) are left out; empty words are words.
    void nullRowsAreLeftOut() {
        const MemoryIndex m = indexOf({"b", QString(), "", "a", QString()});
        QCOMPARE(m.index.size(), 3u);
        QCOMPARE(select(m, {}), QStringList({"", "a", "b"}));
        QCOMPARE(run(m, {{Selector::Length, "0"}}), QStringList({""}));
    }

    // ---- regular expressions ----

    // Whole-word matching as QRegularExpression does it, including where the scan skips words
    // by what PCRE2 says a match can start with (case-insensitive starts, characters beyond
    // ASCII that fold to ASCII letters).
    void regexMatchesAsQRegularExpression() {
        QStringList words = sample_ + tricky_;
        words << "\u212Aelvin"
              << "Kelvin"
              << "kelvin"
              << "\u017Fun"
              << "sun"
              << "\u00C5ngstr\u00F6m"
              << "\u212Bngstrom"
              << "\u00E5"
              << ""
              << "\u0130stanbul"
              << "istanbul";
        const MemoryIndex m = indexOf(words);
        const QStringList all = select(m, {});
        for (const char* re : {"(?i)kelvin",
                               "(?i)k.*",
                               "(?i)\\x{212A}elvin",
                               "(?i)sun",
                               "(?i)\\x{17F}un",
                               "k.*",
                               "[kK].*",
                               "(?i)[k-l].*",
                               "(?i)\\x{c5}.*",
                               "(?i)å.*",
                               "(un|re).*(ing|ed)",
                               "(?i)(UN|RE).*",
                               "\\p{Lu}.*",
                               "[^a-z].*",
                               ".*'s",
                               "(?=a).*",
                               "a?b?",
                               "(?i)i.*",
                               "\\x{130}.*",
                               "(*UCP)\\w+",
                               "(*NO_JIT)(?i)k.*",
                               "é.*",
                               "(?i)É.*",
                               "[ÀÉ].*"}) {
            // A leading (*VERB) must stay in front of the anchors.
            QString text = QString::fromUtf8(re), verb;
            if (text.startsWith("(*")) {
                verb = text.left(text.indexOf(')') + 1);
                text = text.mid(verb.size());
            }
            const QRegularExpression q(verb + QRegularExpression::anchoredPattern(text));
            QVERIFY2(q.isValid(), re);
            const QStringList want =
                expect(all, [&](const QString& w) { return q.match(w).hasMatch(); });
            QString error;
            const QStringList got = select(m, {{Selector::Regex, QString::fromUtf8(re)}}, &error);
            QVERIFY2(error.isEmpty(), qPrintable(error));
            if (got != want)
                QFAIL(qPrintable(QStringLiteral("'%1': got %2 words, QRegularExpression %3")
                                     .arg(re)
                                     .arg(got.size())
                                     .arg(want.size())));
        }
    }

    // ---- regular expressions: errors, limits ----

    void badRegexIsRefused_data() {
        QTest::addColumn<QString>("re");
        QTest::addColumn<QString>("said");
        QTest::newRow("unbalanced") << "a(b"
                                    << "missing closing parenthesis (at character 4)";
        QTest::newRow("stray") << "a)b"
                               << "(at character 2)";
        QTest::newRow("\\C") << "a\\C"
                             << "\\C is disabled";
        QTest::newRow("bad class") << "[z-a]"
                                   << "range out of order";
        QTest::newRow("too long") << QString(4097, 'a') << "longer than 4096 bytes";
        QTest::newRow("nested too deep")
            << QString(65, '(') + 'a' + QString(65, ')') << "parentheses are too deeply nested";
        QTest::newRow("too many groups")
            << QStringLiteral("(a)").repeated(256) << "more than 255 capturing groups";
    }
    void badRegexIsRefused() {
        QFETCH(QString, re);
        QFETCH(QString, said);
        Query q;
        const QString error = QString::fromStdString(q.add(Selector::Regex, re.toStdString()));
        QVERIFY2(error.contains(said), qPrintable(error));
    }

    // Exponential backtracking is stopped on the first word that needs it, with the word named;
    // limits the expression sets itself only lower PCRE2's, never raise them.
    void catastrophicRegexStopsWithAnError_data() {
        QTest::addColumn<QString>("re");
        QTest::addColumn<int>("length"); // of the words
        QTest::newRow("nested plus") << "(a+)+$" << 20;
        QTest::newRow("nested star") << "(a*)*[bc]" << 20;
        QTest::newRow("alternation") << "(a|a)*[bc]" << 20;
        const QString raise = "(*LIMIT_MATCH=2000000000)(*LIMIT_DEPTH=2000000000)"
                              "(*LIMIT_HEAP=2000000000)";
        QTest::newRow("raised limits") << raise + "(a|a)*[bc]" << 20;
        QTest::newRow("raised limits, no JIT") << "(*NO_JIT)" + raise + "(a|a)*[bc]" << 20;
        // Every level of the interpreter's backtracking holds 255 groups.
        QTest::newRow("raised limits, 255 groups, no JIT")
            << "(*NO_JIT)" + raise + "(?:" + QStringLiteral("(a)?").repeated(254) + "(a))*[bc]"
            << 6000;
    }
    void catastrophicRegexStopsWithAnError() {
        QFETCH(QString, re);
        QFETCH(int, length);
        QStringList words;
        for (int i = 0; i < 200; ++i)
            words << QString(length + i % 30, 'a') + (i % 2 ? "b" : "");
        const MemoryIndex m = indexOf(words);
        QElapsedTimer t;
        t.start();
        QString error;
        select(m, {{Selector::Regex, re}}, &error);
        QVERIFY2(error.contains("backtracks too much on the word 'aaaa"), qPrintable(error));
        QVERIFY(t.elapsed() < 10000);
    }

    // An expression under the per-word limits that is slow over many words stops at the
    // time limit however dear each word is. How late, a tenth at most on a quiet machine, is
    // a figure to measure rather than a pass mark: a loaded or sanitized run is later. A
    // clock read once in 256 words was seconds late.
    void slowRegexStopsAtTheTimeLimit_data() {
        QTest::addColumn<QString>("re");
        QTest::addColumn<int>("length"); // of the words
        QTest::newRow("cheap words") << "(a|a)*[bc]" << 12;
        QTest::newRow("dear words") << "(a|a)*[bc]" << 18;
        QTest::newRow("dear words, no JIT") << "(*NO_JIT)(a|a)*[bc]" << 16;
    }
    void slowRegexStopsAtTheTimeLimit() {
        QFETCH(QString, re);
        QFETCH(int, length);
        const MemoryIndex m = indexOf(QStringList(200000, QString(length, 'a')));
        Query q;
        QCOMPARE(q.add(Selector::Regex, re.toStdString()), std::string());
        q.setRegexTimeLimit(std::chrono::milliseconds(1000));
        QElapsedTimer t;
        t.start();
        const std::string error = q.run(m.index, [](uint32_t) {});
        const qint64 ms = t.elapsed();
        QVERIFY2(QString::fromStdString(error).contains("took longer than 1 s"), error.c_str());
        QVERIFY2(ms >= 1000 && ms < 2000, qPrintable(QString::number(ms)));
    }

    // The scan shared over threads gives the words in order, as one thread does.
    void sharedScanKeepsTheOrder() {
        QStringList words;
        for (int i = 0; i < 120000; ++i)
            words << QStringLiteral("w%1x").arg(i * 7919 % 120000, 6, 10, QChar('0'));
        const MemoryIndex m = indexOf(words);
        const QStringList byRegex = run(m, {{Selector::Regex, "w..[13579]...x"}});
        const QStringList byPattern = run(m, {{Selector::Pattern, "w??1???x"}});
        QCOMPARE(byRegex.size(), 60000);
        QStringList want = expect(
            select(m, {}), [](const QString& w) { return QStringLiteral("13579").contains(w[3]); });
        QCOMPARE(byRegex, want);
        QCOMPARE(byPattern.size(), 12000);
    }

    // ---- text of any content ----

    void anyTextGivesMatchesOrAnError_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("10000 letters") << QByteArray(10000, 'a');
        QTest::newRow("10000 stars") << QByteArray(10000, '*');
        QTest::newRow("10000 blanks") << QByteArray(10000, '?');
        QTest::newRow("stars and letters") << QByteArray("*a").repeated(5000);
        QTest::newRow("NUL") << QByteArray("a\0b", 3);
        QTest::newRow("marks alone") << QByteArray("\xCC\x81\xCC\x81");
        QTest::newRow("every ASCII") << [] {
            QByteArray b;
            for (int c = 1; c < 128; ++c)
                b += char(c);
            return b;
        }();
    }
    void anyTextGivesMatchesOrAnError() {
        QFETCH(QByteArray, text);
        const Selector kinds[] = {Selector::Length,  Selector::Pattern, Selector::Regex,
                                  Selector::Letters, Selector::Anagram, Selector::Starts,
                                  Selector::Ends,    Selector::Contains};
        for (Selector kind : kinds) {
            QElapsedTimer t;
            t.start();
            Query q;
            const std::string wrong = q.add(kind, text.toStdString());
            if (wrong.empty()) q.run(sampleIndex_.index, [](uint32_t) {});
            QVERIFY2(t.elapsed() < 5000, lexivane::find::optionName(kind));
        }
    }

    void invalidUtf8IsRefused() {
        for (Selector kind : {Selector::Pattern, Selector::Regex, Selector::Letters,
                              Selector::Starts, Selector::Length}) {
            Query q;
            QCOMPARE(q.add(kind, "ca\xFFt"), std::string("the text is not valid UTF-8"));
            QCOMPARE(q.add(kind, "\xC0\xAF"), std::string("the text is not valid UTF-8"));
            QCOMPARE(q.add(kind, "\xED\xA0\x80"), std::string("the text is not valid UTF-8"));
        }
    }
};

QTEST_GUILESS_MAIN(TestFindSelectors)
#include "tst_find_selectors.moc"

// The collation behind `order by word`: the orderings people see, agreement with the
// reference statement of the rules, and the properties a sort relies on.

#include "db_collation.h"
#include "reference_order.h"

#include <QRandomGenerator>
#include <QTest>

using lexivane::db::compareWords;
using lexivane::db::compareWordsGeneral;
using lexivane::db::sortPrefix;

namespace {

int sign(int v) {
    return (v > 0) - (v < 0);
}

int cmp(const QString& a, const QString& b) {
    const QByteArray x = a.toUtf8(), y = b.toUtf8();
    return sign(compareWords(x.constData(), size_t(x.size()), y.constData(), size_t(y.size())));
}

// Empty when the quick paths and the general path order the two words alike.
QString pathsDisagree(const QString& a, const QString& b) {
    const QByteArray x = a.toUtf8(), y = b.toUtf8();
    const int quick = cmp(a, b);
    const int general =
        sign(compareWordsGeneral(x.constData(), size_t(x.size()), y.constData(), size_t(y.size())));
    if (quick == general) return {};
    return QStringLiteral("\"%1\" vs \"%2\": quick %3, general %4")
        .arg(a, b)
        .arg(quick)
        .arg(general);
}

// Words built from pieces that meet each other at every level: same letters with other
// accents, case, apostrophes and hyphens, prefixes of each other, digits and symbols.
QString randomWord(QRandomGenerator& rng, bool asciiOnly) {
    static const QStringList ascii = {"a", "A", "b", "B", "e", "E", "s", "S",  "z",  "'", "-",
                                      "0", "9", " ", ".", "~", "_", "[", "co", "Co", "op"};
    static const QStringList more = {"é", "É",       "è",      "ê",  "ë",  "ß", "æ", "Æ", "ø", "ñ",
                                     "ü", "e\u0301", "\u2019", "日", "本", "Ω", "ω", "ǘ", "ł"};
    QString w;
    const int n = int(rng.bounded(0, 6));
    for (int i = 0; i < n; ++i) {
        const bool pickMore = !asciiOnly && rng.bounded(0, 4) == 0;
        const QStringList& from = pickMore ? more : ascii;
        w += from[int(rng.bounded(0, int(from.size())))];
    }
    return w;
}

quint64 prefix(const QString& w) {
    const QByteArray x = w.toUtf8();
    return sortPrefix(x.constData(), size_t(x.size()));
}

QStringList randomWords(int count, bool asciiOnly, quint32 seed) {
    QRandomGenerator rng(seed);
    QStringList out;
    for (int i = 0; i < count; ++i)
        out << randomWord(rng, asciiOnly);
    return out;
}

} // namespace

class TestCollation : public QObject {
    Q_OBJECT

  private slots:
    void ordersAsPeopleExpect_data() {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::newRow("case ignored before later letters") << "apple"
                                                           << "Banana";
        QTest::newRow("lower before upper") << "apple"
                                            << "Apple";
        QTest::newRow("lower before upper, later letter") << "abC"
                                                          << "Abc";
        QTest::newRow("accent ignored before later letters") << "émigré"
                                                             << "emigres";
        QTest::newRow("no accent before accent") << "resume"
                                                 << "résumé";
        QTest::newRow("accents before case") << "Resume"
                                             << "résumé";
        QTest::newRow("accents weigh left to right") << "coté"
                                                     << "côte";
        QTest::newRow("decomposed and precomposed are neighbours") << "e\u0301a"
                                                                   << "eb";
        QTest::newRow("apostrophe only breaks ties") << "cant"
                                                     << "can't";
        QTest::newRow("apostrophe word before longer word") << "can't"
                                                            << "canto";
        QTest::newRow("hyphen only breaks ties") << "coop"
                                                 << "co-op";
        QTest::newRow("digits before letters") << "9lives"
                                               << "alpha";
        QTest::newRow("symbols before digits") << "#1"
                                               << "0";
        QTest::newRow("prefix first") << "art"
                                      << "arts";
        QTest::newRow("ss before sharp s") << "strasse"
                                           << "straße";
        QTest::newRow("sharp s among s words") << "straße"
                                               << "strasses";
        QTest::newRow("ae ligature with ae") << "aether"
                                             << "æther";
        QTest::newRow("Latin before other scripts") << "zulu"
                                                    << "ωmega";
        QTest::newRow("empty first") << ""
                                     << "a";
    }
    void ordersAsPeopleExpect() {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QCOMPARE(cmp(first, second), -1);
        QCOMPARE(cmp(second, first), 1);
        QCOMPARE(reference::compare(first, second), -1);
    }

    void agreesWithTheReference() {
        const QStringList words = randomWords(1500, false, 7);
        for (int i = 0; i + 1 < words.size(); ++i) {
            const QString& a = words[i];
            const QString& b = words[i + 1];
            if (cmp(a, b) != reference::compare(a, b))
                QFAIL(qPrintable(QStringLiteral("\"%1\" vs \"%2\": collation %3, reference %4")
                                     .arg(a, b)
                                     .arg(cmp(a, b))
                                     .arg(reference::compare(a, b))));
        }
    }

    void isAntisymmetricAndTotal() {
        const QStringList words = randomWords(600, false, 11) + randomWords(600, true, 12);
        for (int i = 0; i < words.size(); ++i) {
            const QString& a = words[i];
            const QString& b = words[(i * 7 + 3) % words.size()];
            const int ab = cmp(a, b);
            QCOMPARE(cmp(b, a), -ab);
            // Equal only when identical, so the order is the same on every run.
            QCOMPARE(ab == 0, a.toUtf8() == b.toUtf8());
            QCOMPARE(cmp(a, a), 0);
        }
        QVERIFY(cmp(QStringLiteral("é"), QStringLiteral("e\u0301")) != 0);
        QVERIFY(cmp(QStringLiteral("Straße"), QStringLiteral("strasse")) != 0);
    }

    void isTransitive() {
        // A sorted sample is ordered pair by pair only if the comparison is transitive.
        for (bool ascii : {true, false}) {
            QStringList words = randomWords(400, ascii, ascii ? 21 : 22);
            std::sort(words.begin(), words.end(),
                      [](const QString& a, const QString& b) { return cmp(a, b) < 0; });
            for (int i = 0; i < words.size(); ++i)
                for (int j = i + 1; j < words.size(); ++j)
                    if (cmp(words[i], words[j]) > 0)
                        QFAIL(qPrintable(QStringLiteral("\"%1\" sorted before \"%2\" but compares "
                                                        "after it")
                                             .arg(words[i], words[j])));
        }
        QRandomGenerator rng(23);
        for (int k = 0; k < 20000; ++k) {
            const QString a = randomWord(rng, false), b = randomWord(rng, false),
                          c = randomWord(rng, false);
            if (cmp(a, b) <= 0 && cmp(b, c) <= 0) QVERIFY(cmp(a, c) <= 0);
        }
    }

    void asciiQuickPathMatchesGeneralPath() {
        QRandomGenerator rng(31);
        for (int k = 0; k < 50000; ++k) {
            QString a = randomWord(rng, true);
            // Often the same letters in another case or with a hyphen, to reach the later levels.
            QString b = rng.bounded(0, 2) ? a.toUpper() : randomWord(rng, true);
            if (rng.bounded(0, 3) == 0) b.insert(int(rng.bounded(0, int(b.size()) + 1)), '-');
            if (const QString why = pathsDisagree(a, b); !why.isEmpty()) QFAIL(qPrintable(why));
        }
    }

    void latinMiddlePathMatchesGeneralPath() {
        // Accented Latin letters are settled by a shorter route when the letters differ.
        QRandomGenerator rng(37);
        for (int k = 0; k < 50000; ++k) {
            const QString a = randomWord(rng, false);
            QString b = rng.bounded(0, 3) ? a : randomWord(rng, false);
            if (!b.isEmpty() && rng.bounded(0, 2))
                b[int(rng.bounded(0, int(b.size())))] = QChar(char16_t(rng.bounded(0x41, 0x180)));
            if (const QString why = pathsDisagree(a, b); !why.isEmpty()) QFAIL(qPrintable(why));
        }
    }

    void sortPrefixNeverContradictsTheCollation() {
        QRandomGenerator rng(41);
        int decided = 0;
        for (int k = 0; k < 100000; ++k) {
            const bool ascii = k % 2;
            const QString a = randomWord(rng, ascii);
            // Often one the start of the other, so that long shared beginnings come up.
            const QString b =
                rng.bounded(0, 3) ? a + randomWord(rng, ascii) : randomWord(rng, ascii);
            const quint64 ka = prefix(a), kb = prefix(b);
            if (ka == kb) continue;
            ++decided;
            if (cmp(a, b) != (ka < kb ? -1 : 1))
                QFAIL(qPrintable(QStringLiteral("\"%1\" vs \"%2\": collation %3, prefixes %4 %5")
                                     .arg(a, b)
                                     .arg(cmp(a, b))
                                     .arg(ka, 16, 16, QLatin1Char('0'))
                                     .arg(kb, 16, 16, QLatin1Char('0'))));
        }
        // A prefix that settles few pairs would leave the sort to the collation again.
        QVERIFY2(decided > 40000, qPrintable(QString::number(decided)));
    }

    void sortPrefixHoldsTheFirstEightLetters() {
        QVERIFY(prefix("") < prefix("!"));
        QVERIFY(prefix("!") < prefix("0"));
        QVERIFY(prefix("0") < prefix("9"));
        QVERIFY(prefix("9") < prefix("a"));
        QVERIFY(prefix("a") < prefix("ab"));
        QVERIFY(prefix("ab") < prefix("b"));
        QVERIFY(prefix("z") < prefix("日"));
        QVERIFY(prefix("abcdefg") < prefix("abcdefgh"));
        QVERIFY(prefix("abcdefgh") < prefix("abcdefgi"));
        // Case, accents, apostrophes and hyphens, and the ninth letter on, are for the ties.
        QCOMPARE(prefix("Apple"), prefix("apple"));
        QCOMPARE(prefix("émigré"), prefix("emigre"));
        QCOMPARE(prefix("e\u0301migre"), prefix("emigre"));
        QCOMPARE(prefix("can't"), prefix("cant"));
        QCOMPARE(prefix("co-op"), prefix("coop"));
        QCOMPARE(prefix("abcdefghij"), prefix("abcdefghzz"));
        // Letters that stand for two count as two.
        QCOMPARE(prefix("straße"), prefix("strasse"));
        QCOMPARE(prefix("æon"), prefix("aeon"));
    }

    void mixedTextLeavesTheQuickPath() {
        // An ASCII prefix that ends in a combining mark: the mark must still count.
        QCOMPARE(cmp(QStringLiteral("e"), QStringLiteral("e\u0301")), -1);
        QCOMPARE(cmp(QStringLiteral("e\u0301"), QStringLiteral("eb")), -1);
        QCOMPARE(cmp(QStringLiteral("can\u2019t"), QStringLiteral("cant")), 1);
    }
};

QTEST_GUILESS_MAIN(TestCollation)
#include "tst_db_collation.moc"

// The data objects as the window drives them: the program's SQL texts on the sample file
// against what its word list predicts, the order and len() on known words, query plans,
// SQL errors, and the object rules (closed objects, EOF, NULL, creation, connection strings).

#include "ado.h"
#include "db_collation.h"
#include "db_reader.h"
#include "reference_order.h"
#include "test_support.h"
#include "wordstore.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <numeric>
#include <sqlite3.h>

using lexivane::AppError;
using lexivane::ado::Connection;
using lexivane::ado::Recordset;
using namespace testsupport;

namespace {

[[maybe_unused]] QString binPath(const char* name) {
    return QDir(QStringLiteral(LEXIVANE_BIN_DIR)).filePath(name);
}

QStringList sampleWords() {
    QFile f(dataFile("words/sample-3000.txt"));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
}

// What a query over `words` must return, worked out from the list itself.
QStringList expected(QStringList words, const std::function<bool(int)>& lengthWanted) {
    words.removeIf([&](const QString& w) { return !lengthWanted(reference::length(w)); });
    reference::sort(words);
    return words;
}

QString failure(const std::function<void()>& f) {
    try {
        f();
    } catch (const AppError& e) {
        return e.description();
    }
    return QStringLiteral("<no error>");
}

QStringList queryPlan(Connection& c, const QString& sql) {
    QStringList steps;
    sqlite3_stmt* st = nullptr;
    const QByteArray q = "explain query plan " + sql.toUtf8();
    if (sqlite3_prepare_v2(c.handle(), q.constData(), -1, &st, nullptr) != SQLITE_OK) return {"?"};
    while (sqlite3_step(st) == SQLITE_ROW)
        steps << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 3)));
    sqlite3_finalize(st);
    return steps;
}

// Words that meet at every level of the order, plus a duplicate.
const QStringList kKnown = {"émigré",  "Emigre", "emigre", "Émigré", "日本",   "apple",  "Apple",
                            "APPLE",   "can't",  "cant",   "co-op",  "coop",   "a",      "A",
                            "á",       "Á",      "b",      "résumé", "Resume", "resume", "straße",
                            "strasse", "zebra",  "Zebra",  "9lives", "x",      "x",      "naïve"};

// Words that meet at every level of the order, many sharing more than their first eight
// letters, with duplicates, NULLs and empty texts.
QStringList randomList(int count, quint32 seed) {
    static const QStringList pieces = {
        "a", "A", "b",      "e",  "E",  "s", "z", "'",       "-",     "0",        "9",
        " ", "~", "co",     "Co", "op", "é", "É", "e\u0301", "ß",     "æ",        "Æ",
        "ø", "ñ", "\u2019", "日", "Ω",  "ǘ", "ł", "inter",   "Inter", "national", "ization"};
    QRandomGenerator rng(seed);
    QStringList out;
    for (int i = 0; i < count; ++i) {
        const int kind = int(rng.bounded(0, 40));
        if (kind == 0) {
            out << QString();
        } else if (kind == 1) {
            out << QStringLiteral("");
        } else if (kind == 2 && !out.isEmpty()) {
            out << out[int(rng.bounded(0, int(out.size())))];
        } else {
            QString w;
            for (int n = int(rng.bounded(1, 7)); n > 0; --n)
                w += pieces[int(rng.bounded(0, int(pieces.size())))];
            out << w;
        }
    }
    return out;
}

lexivane::db::WordTable tableOf(const QStringList& words) {
    lexivane::db::WordTable t;
    for (const QString& w : words) {
        if (w.isNull()) {
            t.addNull();
        } else {
            const QByteArray u = w.toUtf8();
            t.add(u.constData(), size_t(u.size()));
        }
    }
    return t;
}

// The rows the indexes hold, in their order: NULLs first, then by length when asked, then by
// the reference order; identical words (and the NULLs) in stored order, as their rowids are.
std::vector<int> indexOrder(const QStringList& words, bool byLength) {
    std::vector<int> rows(size_t(words.size()));
    std::iota(rows.begin(), rows.end(), 0);
    std::vector<reference::Key> keys;
    for (const QString& w : words)
        keys.push_back(reference::keyOf(w));
    std::stable_sort(rows.begin(), rows.end(), [&](int x, int y) {
        const QString& a = words[x];
        const QString& b = words[y];
        if (a.isNull() != b.isNull()) return a.isNull();
        if (a.isNull()) return false;
        if (byLength) {
            const int la = reference::length(a), lb = reference::length(b);
            if (la != lb) return la < lb;
        }
        return reference::compareKeys(keys[size_t(x)], keys[size_t(y)]) < 0;
    });
    return rows;
}

QStringList byLengthThenOrder(const QStringList& words) {
    QStringList out;
    for (int row : indexOrder(words, true))
        out << words[row];
    return out;
}

} // namespace

class TestQueries : public QObject {
    Q_OBJECT

    Connection sample_;
    QStringList sampleWords_;
    QTemporaryDir tmp_;

  private slots:
    void initTestCase() {
        sampleWords_ = sampleWords();
        QCOMPARE(sampleWords_.size(), 3000);
        sample_.Open(connectionString(dataFile("words/sample-3000.mdb")));
        QCOMPARE(sample_.State(), 1);
    }
    void cleanup() { QCOMPARE(childProcesses(), QStringList()); }

    void sampleQueriesMatchTheList_data() {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QList<int>>("lengths"); // empty: all
        for (int n = 1; n <= 5; ++n)
            QTest::newRow(qPrintable(QStringLiteral("length %1").arg(n)))
                << QStringLiteral("select word from words where len(word)=%1 order by word").arg(n)
                << QList<int>{n};
        QTest::newRow("length -2")
            << "select word from words where len(word)=-2 order by word" << QList<int>{-2};
        QTest::newRow("lengths 1,3,4")
            << "select word from words where len(word) in (1,3,4) order by word"
            << QList<int>{1, 3, 4};
        QTest::newRow("entire list") << "select word from words order by word" << QList<int>{};
    }
    void sampleQueriesMatchTheList() {
        QFETCH(QString, sql);
        QFETCH(QList<int>, lengths);
        const QStringList want =
            expected(sampleWords_, [&](int n) { return lengths.isEmpty() || lengths.contains(n); });
        const QStringList got = fetchAll(sample_, sql);
        if (got != want) {
            for (qsizetype i = 0; i < std::min(got.size(), want.size()); ++i)
                if (got[i] != want[i])
                    QFAIL(qPrintable(QStringLiteral("row %1: got \"%2\", expected \"%3\"")
                                         .arg(i)
                                         .arg(got[i], want[i])));
            QCOMPARE(got.size(), want.size());
        }
        if (lengths.isEmpty()) QCOMPARE(got.size(), 3000);
    }

    void queriesUseTheIndexes_data() {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<bool>("sortAllowed");
        QTest::newRow("entire list") << "select word from words order by word" << false;
        QTest::newRow("one length")
            << "select word from words where len(word)=5 order by word" << false;
        QTest::newRow("no such length")
            << "select word from words where len(word)=-2 order by word" << false;
        // Several lengths come from several index ranges; only their rows are sorted.
        QTest::newRow("list of lengths")
            << "select word from words where len(word) in (1,3,4) order by word" << true;
    }
    void queriesUseTheIndexes() {
        QFETCH(QString, sql);
        QFETCH(bool, sortAllowed);
        const QStringList plan = queryPlan(sample_, sql);
        const QString text = plan.join(" | ");
        QVERIFY2(text.contains("INDEX"), qPrintable(text));
        for (const QString& step : plan)
            QVERIFY2(!(step.startsWith("SCAN") && !step.contains("INDEX")), qPrintable(text));
        if (!sortAllowed) QVERIFY2(!text.contains("TEMP B-TREE"), qPrintable(text));
        if (sql.contains("len(")) QVERIFY2(text.startsWith("SEARCH"), qPrintable(text));
    }

    void knownWordsSortAsTheRulesSay() {
        Connection c;
        QStringList words = kKnown;
        words << QString() << QStringLiteral("");
        c.openWordList(words);
        QStringList want = kKnown;
        reference::sort(want);
        want.prepend(QString());                // "" sorts first among texts
        want.prepend(QStringLiteral("<NULL>")); // and NULL before everything
        QCOMPARE(fetchAll(c, "select word from words order by word"), want);
        // The duplicate stays a duplicate.
        QCOMPARE(fetchAll(c, "select word from words where word = 'x'"), QStringList({"x", "x"}));
    }

    void storeOrdersAreTheIndexOrders_data() {
        QTest::addColumn<QStringList>("words");
        const QStringList random = randomList(3000, 51);
        QTest::newRow("random") << random;
        QTest::newRow("already in order") << byLengthThenOrder(random);
        QStringList reversed = byLengthThenOrder(random);
        std::reverse(reversed.begin(), reversed.end());
        QTest::newRow("reversed") << reversed;
        QStringList codePoints = random;
        std::sort(codePoints.begin(), codePoints.end());
        QTest::newRow("by code points") << codePoints;
        // One length, the same first letters: only the collation can order them.
        QStringList shared;
        for (const QString& w : randomList(2000, 52))
            if (!w.isNull()) shared << (QStringLiteral("internat") + w.left(2)).left(10);
        QTest::newRow("shared beginnings") << shared;
        QTest::newRow("known") << (kKnown + QStringList{QString(), QStringLiteral("")});
        QTest::newRow("empty") << QStringList();
    }

    void storeOrdersAreTheIndexOrders() {
        QFETCH(QStringList, words);
        const lexivane::db::StoreOrders orders = lexivane::db::storeOrders(tableOf(words));
        QCOMPARE(std::vector<int>(orders.byWord.begin(), orders.byWord.end()),
                 indexOrder(words, false));
        std::vector<int> byLength;
        for (const auto& e : orders.byLength) {
            byLength.push_back(int(e.row));
            // What the index needs of the row comes with it.
            const QString& w = words[int(e.row)];
            QCOMPARE(e.chars, w.isNull() ? -1 : reference::length(w));
            if (!w.isNull()) QCOMPARE(int(e.bytes), int(w.toUtf8().size()));
        }
        QCOMPARE(byLength, indexOrder(words, true));
    }

    void storeFromARandomListIsSoundAndInOrder() {
        const QStringList words = randomList(3000, 53);
        Connection c;
        c.openWordList(words);
        QCOMPARE(fetchAll(c, "pragma integrity_check"), QStringList{"ok"});
        QStringList texts = words;
        texts.removeIf([](const QString& w) { return w.isNull(); });
        int nulls = 0;
        for (const QString& w : words)
            nulls += w.isNull();
        reference::sort(texts);
        QStringList want(nulls, QStringLiteral("<NULL>"));
        want += texts;
        // "" is a text, not a NULL: it sorts after them.
        QCOMPARE(fetchAll(c, "select word from words order by word"), want);
        for (int n : {0, 1, 5, 12}) {
            QStringList one = texts;
            one.removeIf([&](const QString& w) { return reference::length(w) != n; });
            QCOMPARE(fetchAll(c, QStringLiteral("select word from words where len(word)=%1 order "
                                                "by word")
                                     .arg(n)),
                     one);
        }
    }

    // Words long enough to spill onto overflow pages and to sit only a few to a page, at each
    // count around the pages' boundaries: pages split everywhere, and the last page of a level
    // sometimes takes its first entry from the page before. Mixed lengths with NULLs too.
    void storeOfLongWordsIsSound_data() {
        QTest::addColumn<QStringList>("words");
        auto numbered = [](int count, int length) {
            QStringList words;
            for (int i = count; i > 0; --i)
                words << QString(length - 6, QLatin1Char('w')) +
                             QString::number(i).rightJustified(6, QLatin1Char('0'));
            return words;
        };
        for (int n = 1; n <= 40; ++n)
            QTest::newRow(qPrintable(QStringLiteral("%1 of 1000").arg(n))) << numbered(n, 1000);
        for (int n = 508; n <= 514; ++n)
            QTest::newRow(qPrintable(QStringLiteral("%1 of 4000").arg(n))) << numbered(n, 4000);
        for (quint32 seed = 1; seed <= 4; ++seed) {
            QRandomGenerator rng(seed);
            QStringList words = randomList(400, seed);
            for (QString& w : words)
                if (!w.isNull() && rng.bounded(4) == 0) w = w.repeated(int(rng.bounded(1, 600)));
            QTest::newRow(qPrintable(QStringLiteral("mixed %1").arg(seed))) << words;
        }
    }
    void storeOfLongWordsIsSound() {
        QFETCH(QStringList, words);
        Connection c;
        c.openWordList(words);
        QCOMPARE(fetchAll(c, "pragma integrity_check"), QStringList{"ok"});
        // The same rows, in the collation's order (the reference order is too slow for these).
        const QStringList got = fetchAll(c, "select word from words order by word");
        QStringList sortedGot = got, sortedWant = words;
        for (QString& w : sortedWant)
            if (w.isNull()) w = QStringLiteral("<NULL>");
        std::sort(sortedGot.begin(), sortedGot.end());
        std::sort(sortedWant.begin(), sortedWant.end());
        QCOMPARE(sortedGot, sortedWant);
        const int nulls = int(
            std::count_if(words.begin(), words.end(), [](const QString& w) { return w.isNull(); }));
        for (qsizetype i = nulls + 1; i < got.size(); ++i) {
            const QByteArray a = got[i - 1].toUtf8(), b = got[i].toUtf8();
            QVERIFY2(lexivane::db::compareWords(a.constData(), size_t(a.size()), b.constData(),
                                                size_t(b.size())) <= 0,
                     qPrintable(QStringLiteral("rows %1 and %2").arg(i - 1).arg(i)));
        }
        const int n = reference::length(got.last());
        QStringList one = got;
        one.removeIf([&](const QString& w) { return reference::length(w) != n; });
        QCOMPARE(fetchAll(c, QStringLiteral("select word from words where len(word)=%1 order by "
                                            "word")
                                 .arg(n)),
                 one);
    }

    void knownWordsThroughAnAccessFile() {
#ifndef LEXIVANE_HAVE_MKDB
        QSKIP("lexivane-mkdb is not part of this build");
#else
        const QString list = tmp_.filePath("known.txt");
        const QString mdb = tmp_.filePath("known.mdb");
        {
            QFile f(list);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(kKnown.join('\n').toUtf8() + '\n');
        }
        QProcess mk;
        mk.start(binPath("lexivane-mkdb"), {list, mdb});
        QVERIFY(mk.waitForFinished(60000));
        QVERIFY2(mk.exitCode() == 0, mk.readAllStandardError().constData());
        Connection c;
        c.Open(connectionString(mdb));
        QStringList want = kKnown;
        reference::sort(want);
        QCOMPARE(fetchAll(c, "select word from words order by word"), want);
        QCOMPARE(fetchAll(c, "select word from words where len(word)=6 order by word"),
                 expected(kKnown, [](int n) { return n == 6; }));
#endif
    }

    void lenCountsCharacters() {
        Connection c;
        c.openWordList({"émigré", "日本", "a", "", QString(), "can't"});
        QCOMPARE(fetchAll(c, "select len(word) from words where word = 'émigré'"),
                 QStringList{"6"});
        QCOMPARE(fetchAll(c, "select len(word) from words where word = '日本'"), QStringList{"2"});
        QCOMPARE(fetchAll(c, "select len(word) from words where word = ''"), QStringList{"0"});
        QCOMPARE(fetchAll(c, "select len(word) from words where word = 'can''t'"),
                 QStringList{"5"});
        QCOMPARE(fetchAll(c, "select word from words where len(word)=2 order by word"),
                 QStringList{"日本"});
        QCOMPARE(fetchAll(c, "select count(*) from words where len(word) is null"),
                 QStringList{"1"});
        QCOMPARE(fetchAll(c, "select len(null)"), QStringList{"<NULL>"});
    }

    void sqlErrorsCarrySqlitesMessage_data() {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("message");
        QTest::newRow("misspelt keyword") << "selec word from words"
                                          << "syntax error";
        QTest::newRow("empty list entry")
            << "select word from words where len(word) in (1,,3) order by word"
            << "syntax error";
        QTest::newRow("unknown column") << "select nope from words"
                                        << "no such column: nope";
        QTest::newRow("unknown table") << "select word from nowords"
                                       << "no such table: nowords";
        QTest::newRow("two statements") << "select word from words; delete from words"
                                        << "Characters found after end of SQL statement";
    }
    void sqlErrorsCarrySqlitesMessage() {
        QFETCH(QString, sql);
        QFETCH(QString, message);
        Recordset rs;
        const QString d = failure([&] { rs.Open(sql, &sample_, 3, 1); });
        QVERIFY2(d.contains(message), qPrintable(d));
        QCOMPARE(rs.State(), 0);
        QCOMPARE(fetchAll(sample_, "select count(*) from words"), QStringList{"3000"});
    }

    void runawayQueryTimesOut() {
        // The list entry goes into the SQL as typed, so it can hold a query that never ends.
        lexivane::ado::Options impatient;
        impatient.commandTimeoutMs = 300;
        Connection sample(impatient);
        sample.Open(connectionString(dataFile("words/sample-3000.mdb")));
        Recordset rs;
        const QString d = failure([&] {
            rs.Open("select word from words where len(word) in (with recursive c(x) as (select 1 "
                    "union all select x+1 from c) select x from c) order by word",
                    &sample, 3, 1);
        });
        QVERIFY2(d.startsWith(QStringLiteral("Query timeout expired")), qPrintable(d));
        QCOMPARE(rs.State(), 0);
        QCOMPARE(fetchAll(sample, "select count(*) from words"), QStringList{"3000"});
        QVERIFY(failure([&] {
                    fetchAll(sample_, "select length(zeroblob(100000000))");
                }).contains("too big"));
    }

    void closedObjectsRefuseWork() {
        const QString closed =
            QStringLiteral("Operation is not allowed when the object is closed.");
        Recordset rs;
        QCOMPARE(rs.State(), 0);
        QCOMPARE(failure([&] { rs.Eof(); }), closed);
        QCOMPARE(failure([&] { rs.Fields(0).Value(); }), closed);
        QCOMPARE(failure([&] { rs.MoveNext(); }), closed);
        QCOMPARE(failure([&] { rs.Close(); }), closed);
        QCOMPARE(failure([&] { rs.Open("select word from words", nullptr, 3, 1); }), closed);
        Connection never;
        QCOMPARE(never.State(), 0);
        QCOMPARE(failure([&] { rs.Open("select word from words", &never, 3, 1); }), closed);
        QCOMPARE(failure([&] { never.Close(); }), closed);

        // Closing the connection closes what was opened on it.
        Connection c;
        c.openWordList({"a", "b"});
        rs.Open("select word from words order by word", &c, 3, 1);
        QCOMPARE(rs.State(), 1);
        c.Close();
        QCOMPARE(c.State(), 0);
        QCOMPARE(rs.State(), 0);
        QCOMPARE(failure([&] { rs.Eof(); }), closed);
    }

    void recordsetWalksToEofAndStops() {
        Recordset rs;
        rs.Open("select word from words where len(word)=3 order by word", &sample_, 3, 1);
        QVERIFY(!rs.Eof());
        const QString first = rs.Fields(0).Value();
        QCOMPARE(first, expected(sampleWords_, [](int n) { return n == 3; }).value(0));
        QVERIFY(failure([&] { rs.Fields(1); }).contains("Item cannot be found"));
        QVERIFY(failure([&] { rs.Open("select 1", &sample_, 3, 1); }).contains("object is open"));
        while (!rs.Eof())
            rs.MoveNext();
        QVERIFY(failure([&] { rs.MoveNext(); }).contains("EOF"));
        QVERIFY(failure([&] { rs.Fields(0).Value(); }).contains("EOF"));
        rs.Close();
        QCOMPARE(rs.State(), 0);
        // A closed recordset opens again.
        rs.Open("select word from words where len(word)=-2 order by word", &sample_, 3, 1);
        QVERIFY(rs.Eof());
        rs.Close();
    }

    void nullValueIsAnInvalidUseOfNull() {
        Connection c;
        c.openWordList({QString()});
        Recordset rs;
        rs.Open("select word from words", &c, 3, 1);
        QVERIFY(!rs.Eof());
        QCOMPARE(failure([&] { rs.Fields(0).Value(); }), QStringLiteral("Invalid use of Null"));
    }

    void createObjectByName() {
        auto conn = lexivane::ado::CreateObject("adodb.connection");
        QVERIFY(dynamic_cast<Connection*>(conn.get()));
        auto rs = lexivane::ado::CreateObject("ADODB.RECORDSET");
        QVERIFY(dynamic_cast<Recordset*>(rs.get()));
        QVERIFY(failure([] {
                    lexivane::ado::CreateObject("ADODB.Command");
                }).contains("ActiveX component can't create object"));
        lexivane::ado::Options failing;
        failing.createFailure = [](const QString& id) {
            return id.compare("ADODB.Connection", Qt::CaseInsensitive) == 0;
        };
        QVERIFY(failure([&] {
                    lexivane::ado::CreateObject("ADODB.Connection", failing);
                }).contains("ActiveX component can't create object"));
        QVERIFY(dynamic_cast<Recordset*>(
            lexivane::ado::CreateObject("ADODB.RecordSet", failing).get()));
    }

    void connectionStrings_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("problem"); // empty: opens
        const QString sample = dataFile("words/sample-3000.mdb");
        const QString odd = tmp_.filePath("semi;colon = folder/dbWords.mdb");
        QVERIFY(QDir().mkpath(QFileInfo(odd).path()));
        QVERIFY(QFile::copy(sample, odd) || QFile::exists(odd));
        QTest::newRow("as the program writes it") << connectionString(sample) << "";
        QTest::newRow("keys in any case, spaces around")
            << "  provider = microsoft.jet.oledb.4.0 ;  DATA SOURCE =  " + sample + "  "
            << "";
        QTest::newRow("other order")
            << "Data Source=" + sample + ";Provider=Microsoft.Jet.OLEDB.4.0"
            << "";
        QTest::newRow("path holding ; and =") << connectionString(odd) << "";
        QTest::newRow("other provider")
            << "Provider=SQLOLEDB;Data Source= " + sample << "Provider cannot be found";
        QTest::newRow("no provider") << "Data Source= " + sample << "Provider cannot be found";
        QTest::newRow("no data source") << "Provider=Microsoft.Jet.OLEDB.4.0"
                                        << "Data Source";
        QTest::newRow("text before any key")
            << "dbWords;Provider=Microsoft.Jet.OLEDB.4.0;Data Source= " + sample
            << "initialization string is not valid";
    }
    void connectionStrings() {
        QFETCH(QString, text);
        QFETCH(QString, problem);
        Connection c;
        const QString d = failure([&] { c.Open(text); });
        if (problem.isEmpty()) {
            QCOMPARE(d, QStringLiteral("<no error>"));
            QCOMPARE(fetchAll(c, "select count(*) from words"), QStringList{"3000"});
            QVERIFY(failure([&] { c.Open(text); }).contains("object is open"));
        } else {
            QVERIFY2(d.contains(problem), qPrintable(d));
            QCOMPARE(c.State(), 0);
        }
    }
};

QTEST_GUILESS_MAIN(TestQueries)
#include "tst_db_queries.moc"

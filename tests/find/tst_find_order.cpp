// lexivane-find gives the words the window gives, in the window's order: its output for every
// length filter the window offers (and for no filter at all) is compared with the window's
// own SQL run through the data objects, on the shipped database and on the test files.
// The same holds whether the index was just built, came from the cache, or no cache is used.

#include "ado.h"
#include "find_test_support.h"
#include "test_support.h"

#include <QMap>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using lexivane::ado::Connection;
using namespace findtest;

namespace {

QString describeDifference(const QStringList& got, const QStringList& want) {
    for (qsizetype i = 0; i < std::min(got.size(), want.size()); ++i)
        if (got[i] != want[i])
            return QStringLiteral("line %1: got \"%2\", the window shows \"%3\"")
                .arg(i + 1)
                .arg(got[i], want[i]);
    return QStringLiteral("got %1 words, the window shows %2").arg(got.size()).arg(want.size());
}

struct Source {
    QString file; // what --db is given
    QString mdb;  // the Access file the window would open for the same words
};

} // namespace

class TestFindOrder : public QObject {
    Q_OBJECT

    QTemporaryDir cache_;
    QMap<QString, std::shared_ptr<Connection>> connections_;

    Connection& connectionFor(const QString& mdb) {
        auto& c = connections_[mdb];
        if (!c) {
            c = std::make_shared<Connection>();
            c->Open(testsupport::connectionString(mdb));
        }
        return *c;
    }

  private slots:
    void initTestCase() { QVERIFY(QFile::exists(binPath("dbWords.mdb"))); }

    void sameWordsInTheSameOrder_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("mdb");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("sql");
        const QString shipped = binPath("dbWords.mdb");
        const QString sampleMdb = dataFile("words/sample-3000.mdb");
        const QString sampleTxt = dataFile("words/sample-3000.txt");
        const struct {
            const char* name;
            QString file;
            QString mdb;
        } sources[] = {{"shipped", shipped, shipped},
                       {"sample mdb", sampleMdb, sampleMdb},
                       {"sample list", sampleTxt, sampleMdb}};
        const QString byLength =
            QStringLiteral("select word from words where len(word)=%1 order by word");
        for (const auto& s : sources) {
            auto row = [&](const QString& what, const QStringList& args, const QString& sql) {
                QTest::newRow(qPrintable(QStringLiteral("%1, %2").arg(s.name, what)))
                    << s.file << s.mdb << args << sql;
            };
            row("entire list", {}, QStringLiteral("select word from words order by word"));
            for (int n = 1; n <= 6; ++n)
                row(QStringLiteral("length %1").arg(n), {"--length", QString::number(n)},
                    byLength.arg(n));
            row("length 0", {"--length", "0"}, byLength.arg(0));
            row("lengths 1,3,4", {"--length", "1,3,4"},
                QStringLiteral("select word from words where len(word) in (1,3,4) order by word"));
            row("range 7-9 and 12", {"--length", "7-9,12"},
                QStringLiteral("select word from words where len(word) in (7,8,9,12) order by "
                               "word"));
            row("20 and more", {"--length", "20-"},
                QStringLiteral("select word from words where len(word)>=20 order by word"));
        }
    }
    void sameWordsInTheSameOrder() {
        QFETCH(QString, file);
        QFETCH(QString, mdb);
        QFETCH(QStringList, args);
        QFETCH(QString, sql);
        const QStringList want = testsupport::fetchAll(connectionFor(mdb), sql);
        QVERIFY(!want.contains(QStringLiteral("<NULL>")));
        const Run r = runFind(QStringList{"--db", file} + args, cache_.path());
        QCOMPARE(r.err, QByteArray());
        QCOMPARE(r.exitCode, want.isEmpty() ? 1 : 0);
        const QStringList got = r.lines();
        if (got != want) QFAIL(qPrintable(describeDifference(got, want)));
    }

    // The first run builds the index and keeps it; the second reads it back; a third uses no
    // cache at all. Counting, and NUL-ended words, say the same.
    void cacheAndOutputFormsAgree() {
        QTemporaryDir fresh;
        const QString shipped = binPath("dbWords.mdb");
        const QStringList want = testsupport::fetchAll(
            connectionFor(shipped), QStringLiteral("select word from words order by word"));
        QCOMPARE(want.size(), 247734);
        const Run built = runFind({"--db", shipped}, fresh.path());
        QCOMPARE(QDir(fresh.filePath("lexivane")).entryList(QDir::Files).size(), 1);
        const Run cached = runFind({"--db", shipped}, fresh.path());
        const Run none = runFind({"--db", shipped, "--no-cache"}, fresh.path());
        for (const Run* r : {&built, &cached, &none}) {
            QCOMPARE(r->exitCode, 0);
            if (r->lines() != want) QFAIL(qPrintable(describeDifference(r->lines(), want)));
        }
        const Run nul = runFind({"--db", shipped, "-0"}, fresh.path());
        QCOMPARE(nul.out, (want.join(QChar(0)) + QChar(0)).toUtf8());
        const Run count = runFind({"--db", shipped, "--count"}, fresh.path());
        QCOMPARE(count.out, QByteArray("247734\n"));
        const Run fives = runFind({"--db", shipped, "--count", "--length", "5"}, fresh.path());
        const QStringList five = testsupport::fetchAll(
            connectionFor(shipped),
            QStringLiteral("select word from words where len(word)=5 order by word"));
        QCOMPARE(fives.out, QByteArray::number(five.size()) + '\n');
    }

    // Without a --db the command reads dbWords.mdb in its program folder.
    void defaultDatabaseIsTheProgramFolders() {
        const Run r = runFind({"--length", "3"}, cache_.path());
        const Run explicitDb =
            runFind({"--db", binPath("dbWords.mdb"), "--length", "3"}, cache_.path());
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, explicitDb.out);
    }
};

QTEST_GUILESS_MAIN(TestFindOrder)
#include "tst_find_order.moc"

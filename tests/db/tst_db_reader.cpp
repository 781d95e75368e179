// Reading Access files through the helper: what it reads from each format, how every kind
// of bad file or misbehaving helper ends (an error naming file and problem, never a hang),
// and that no child process outlives an Open.

#include "ado.h"
#include "db_reader.h"
#include "test_support.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <sqlite3.h>
#include <sys/stat.h>

using lexivane::AppError;
using lexivane::ado::Connection;
using lexivane::ado::ReaderOptions;
using lexivane::db::WordTable;
using namespace testsupport;
using namespace std::string_literals;

namespace {

QString helperPath() {
    return QDir(QStringLiteral(LEXIVANE_BIN_DIR)).filePath("lexivane-words");
}

QStringList values(const WordTable& t) {
    QStringList out;
    for (const auto& r : t.rows)
        out << (r.length == WordTable::kNull
                    ? QStringLiteral("<NULL>")
                    : QString::fromUtf8(t.text.data() + r.offset, qsizetype(r.length)));
    return out;
}

WordTable readColumn(const QString& file, const QString& table, const QString& column) {
    lexivane::db::ReadLimits limits;
    limits.helperPath = helperPath();
    limits.table = table;
    limits.column = column;
    return lexivane::db::readWords(dataFile(file), limits);
}

// Open must fail; returns the description.
QString openFailure(const QString& path, const lexivane::ado::Options& options) {
    Connection c(options);
    try {
        c.Open(connectionString(path));
    } catch (const AppError& e) {
        if (c.State() != 0) return QStringLiteral("<state not 0 after a failed Open>");
        return e.description();
    }
    return QStringLiteral("<Open succeeded>");
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& data, bool executable = false) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(data);
    f.close();
    if (executable) f.setPermissions(f.permissions() | QFile::ExeOwner | QFile::ReadOwner);
}

// A shell script in the helper's place runs commands of its own, which the confinement
// forbids (tst_db_confine covers that): such stand-ins run unconfined.
ReaderOptions scriptReader(const QString& script) {
    ReaderOptions o;
    o.helperPath = script;
    o.confinement = 0;
    return o;
}

quint32 u32(const QByteArray& d, qsizetype at) {
    const auto* p = reinterpret_cast<const uchar*>(d.constData()) + at;
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}

} // namespace

class TestReader : public QObject {
    Q_OBJECT

    QTemporaryDir tmp_;
    lexivane::ado::Options options_;

  private slots:
    void init() {
        ReaderOptions o;
        o.helperPath = helperPath();
        o.timeoutMs = 15000;
        options_.reader = o;
    }
    void cleanup() { QCOMPARE(childProcesses(), QStringList()); }

    void readsTheSampleInStoredOrder() {
        const WordTable t = readColumn("words/sample-3000.mdb", "words", "word");
        QStringList expected = QString::fromUtf8(readAll(dataFile("words/sample-3000.txt")))
                                   .split('\n', Qt::SkipEmptyParts);
        QCOMPARE(expected.size(), 3000);
        QCOMPARE(values(t), expected);
    }

    // A read begun at start-up is what Open takes for the same file, and for no other, once;
    // its failure is Open's. The reader here notes each run, so the runs can be counted.
    void openTakesTheReadBegunAhead() {
        const QString folder = tmp_.filePath("ahead");
        QVERIFY(QDir().mkpath(folder));
        const QString runs = QDir(folder).filePath("runs");
        const QString helper = QDir(folder).filePath("lexivane-words");
        writeFile(
            helper,
            ("#!/bin/sh\necho run >>'" + runs + "'\nexec '" + helperPath() + "' \"$@\"\n").toUtf8(),
            true);
        auto runCount = [&] { return readAll(runs).count('\n'); };
        lexivane::ado::Options options;
        options.reader = scriptReader(helper);
        const QString sample = dataFile("words/sample-3000.mdb");

        options.readAhead = lexivane::ado::readAhead(sample, folder, options.reader);
        {
            Connection c(options);
            c.Open(connectionString(sample));
            QCOMPARE(fetchAll(c, "select count(*) from words"), QStringList{"3000"});
            QCOMPARE(runCount(), 1);
            Connection again(options); // taken once: this one reads for itself
            again.Open(connectionString(sample));
            QCOMPARE(runCount(), 2);
        }

        options.readAhead =
            lexivane::ado::readAhead(dataFile("words/sample-3000.txt"), folder, options.reader);
        {
            Connection c(options);
            c.Open(connectionString(sample));
            QCOMPARE(fetchAll(c, "select count(*) from words"), QStringList{"3000"});
        }
        options.readAhead.reset(); // waits for the read ahead of the other file
        QCOMPARE(runCount(), 4);

        const QString bad = tmp_.filePath("ahead.mdb");
        writeFile(bad, "not an Access database at all");
        options.readAhead = lexivane::ado::readAhead(bad, folder, options.reader);
        QVERIFY(openFailure(bad, options).contains("not an Access database"));
        QCOMPARE(runCount(), 5);
    }

    void readsEveryFormat_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("column");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("Jet 3") << "access-files/jet3-testV1997.mdb"
                               << "Table1"
                               << "A" << QStringList{"a", "abcdefg"};
        QTest::newRow("ACE") << "access-files/ace14-testV2010.accdb"
                             << "Table1"
                             << "B" << QStringList{"b", "hijklmnop"};
        QTest::newRow("Jet 4 overflow rows, NULLs")
            << "access-files/jet4-overflowTestV2000.mdb"
            << "Table1"
            << "data1" << QStringList{"row1col1", "row2col1", "row4col1", "<NULL>",
                                      "row7col1", "<NULL>",   "<NULL>"};
    }
    void readsEveryFormat() {
        QFETCH(QString, file);
        QFETCH(QString, table);
        QFETCH(QString, column);
        QFETCH(QStringList, expected);
        QCOMPARE(values(readColumn(file, table, column)), expected);
    }

    void readsCompressedAndUncompressedText() {
        const QStringList v =
            values(readColumn("access-files/jet4-testUnicodeCompV2003.mdb", "Table", "Unicode"));
        QCOMPARE(v.size(), 8);
        QCOMPARE(v[0], QStringLiteral("only ascii chars"));
        QCOMPARE(v[1], QStringLiteral("ääkkösiä"));
        QCOMPARE(v[2], QStringLiteral("Мир"));
        QCOMPARE(v[4], QStringLiteral("漢字仮名交じり文"));
        QCOMPARE(v[6], QStringLiteral("ümlaut"));
        // A value holding every control character, CR and LF among them, comes through whole.
        QVERIFY(v[7].startsWith(QStringLiteral("\x01\x02\x03")));
        QVERIFY(v[7].contains(QStringLiteral("\t\n\x0b\x0c\r")));
        QVERIFY(v[7].contains(QStringLiteral("0123456789:;<=>?@ABC")));
        QVERIFY(v[7].endsWith(QStringLiteral("üýþÿ")));
    }

    void accessFilesAreReadOrRefused_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("problem");
        const QStringList files =
            QDir(dataFile("access-files")).entryList({"*.mdb", "*.accdb"}, QDir::Files, QDir::Name);
        QVERIFY(files.size() >= 6);
        for (const QString& f : files)
            QTest::newRow(qPrintable(f))
                << dataFile("access-files/" + f)
                << (f.contains("password") ? QStringLiteral("encrypted")
                                           : QStringLiteral("no table named words"));
    }
    void accessFilesAreReadOrRefused() {
        QFETCH(QString, file);
        QFETCH(QString, problem);
        const QString d = openFailure(file, options_);
        QVERIFY2(d.contains(file) && d.contains(problem), qPrintable(d));
    }

    void damagedFilesFailCleanly_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("problem");
        const QByteArray good = readAll(dataFile("words/sample-3000.mdb"));
        const qsizetype page = 4096;
        QVERIFY(good.size() % page == 0 && good.size() > 8 * page);
        auto add = [&](const char* name, const QByteArray& bytes, const QString& problem) {
            const QString p = tmp_.filePath(QString::fromLatin1(name).replace(' ', '_') + ".mdb");
            writeFile(p, bytes);
            QTest::newRow(name) << p << problem;
        };
        auto patched = [&](qsizetype at, const QByteArray& with) {
            QByteArray d = good;
            d.replace(at, with.size(), with);
            return d;
        };
        // Which pages are which: data pages name their table's definition page at 4.
        QMap<quint32, QList<qsizetype>> dataPages;
        for (qsizetype p = 0; p < good.size() / page; ++p)
            if (good[p * page] == 1) dataPages[u32(good, p * page + 4)] << p;
        quint32 wordsDef = 0;
        for (auto it = dataPages.cbegin(); it != dataPages.cend(); ++it)
            if (it.key() < quint32(good.size() / page) &&
                (!wordsDef || it.value().size() > dataPages[wordsDef].size()))
                wordsDef = it.key();
        QVERIFY(dataPages.contains(2) && dataPages[wordsDef].size() > 3);
        const qsizetype catalogData = dataPages[2].first();
        const qsizetype wordsData = dataPages[wordsDef][2];

        for (qsizetype n :
             {qsizetype(0), qsizetype(100), page, 2 * page, 3 * page, good.size() / 2 + 1,
              good.size() / 2 / page * page, good.size() - page, good.size() - 1})
            add(qPrintable(QStringLiteral("truncated to %1").arg(n)), good.left(n),
                n == 0     ? "empty"
                : n < 0x98 ? "not an Access database"
                           : "damaged");
        add("header signature", patched(4, "X"), "not an Access database");
        add("header version", patched(0x14, QByteArray(1, '\0')), "damaged");
        add("header database key", patched(0x3E, QByteArray(1, char(good[0x3E] ^ 0x5A))),
            "encrypted");
        add("catalog page type", patched(2 * page, QByteArray(1, '\1')), "damaged");
        add("catalog page body", patched(2 * page + 8, QByteArray(page - 8, '\xff')), "damaged");
        add("catalog rows", patched(catalogData * page + 8, QByteArray(page - 8, '\0')),
            "no table named words");
        add("table definition", patched(qsizetype(wordsDef) * page + 8, QByteArray(page - 8, '\0')),
            "damaged");
        add("data page zeroed", patched(wordsData * page + 8, QByteArray(page - 8, '\0')),
            "damaged");
        add("data page row offsets", patched(wordsData * page + 12, QByteArray(128, '\xff')),
            "damaged");
        add("data page owner", patched(wordsData * page + 4, QByteArray("\x09\0\0\0", 4)),
            "damaged");

        add("a text file", readAll(dataFile("README.md")), "not an Access database");
        const QString sqliteFile = tmp_.filePath("sqlite.mdb");
        sqlite3* db = nullptr;
        sqlite3_open(sqliteFile.toUtf8().constData(), &db);
        sqlite3_exec(db, "create table words(word text); insert into words values('a');", nullptr,
                     nullptr, nullptr);
        sqlite3_close(db);
        QTest::newRow("a SQLite file") << sqliteFile << "not an Access database";
        const QString dir = tmp_.filePath("folder/dbWords.mdb");
        QVERIFY(QDir().mkpath(dir));
        QTest::newRow("a directory") << dir << "directory";
        // Refused at once: the helper would wait on the FIFO until the time limit.
        const QString fifo = tmp_.filePath("fifo.mdb");
        QVERIFY(QFile::exists(fifo) || ::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        QTest::newRow("a FIFO") << fifo << "it is a FIFO, not an Access database";
        QTest::newRow("a device") << "/dev/zero"
                                  << "it is a character device";
        QTest::newRow("no such file") << tmp_.filePath("missing/dbWords.mdb") << "does not exist";
    }
    void damagedFilesFailCleanly() {
        QFETCH(QString, path);
        QFETCH(QString, problem);
        QElapsedTimer t;
        t.start();
        const QString d = openFailure(path, options_);
        QVERIFY2(d.contains(path) && d.contains(problem, Qt::CaseInsensitive), qPrintable(d));
        QVERIFY(t.elapsed() < 5000);
    }

    // Files the damage campaign found: the helper crashed on the first and never ended on the
    // second, both inside the library reading the catalog.
    void campaignFindsEndInAnAnswer() {
        const QString usageMap = dataFile("damaged/catalog-usage-map.mdb");
        const QString d = openFailure(usageMap, options_);
        QVERIFY2(d.contains(usageMap) && d.contains("the catalog cannot be read"), qPrintable(d));

        QCOMPARE(values(readColumn("damaged/jet3-properties-zeroed.mdb", "Table1", "A")),
                 values(readColumn("access-files/jet3-testV1997.mdb", "Table1", "A")));
    }

    void randomDamageEndsInAnAnswer() {
        // No checksums: some damage reads as altered text. Whatever libmdb makes of it, Open
        // either succeeds or fails with a description naming the file, and nothing is left.
        const QByteArray good = readAll(dataFile("words/sample-3000.mdb"));
        QRandomGenerator rng(41);
        int failed = 0;
        for (int round = 0; round < 40; ++round) {
            QByteArray bad = good;
            const qsizetype page = qsizetype(rng.bounded(1, int(good.size() / 4096))) * 4096;
            for (int k = 0; k < 1 + round % 8; ++k)
                bad[page + qsizetype(rng.bounded(0, 4096))] = char(rng.bounded(0, 256));
            const QString path = tmp_.filePath(QStringLiteral("random%1.mdb").arg(round));
            writeFile(path, bad);
            Connection c(options_);
            try {
                c.Open(connectionString(path));
                QCOMPARE(c.State(), 1);
            } catch (const AppError& e) {
                ++failed;
                QCOMPARE(c.State(), 0);
                QVERIFY2(e.description().contains(path), qPrintable(e.description()));
            }
            QCOMPARE(childProcesses(), QStringList());
        }
        qInfo("%d of 40 damaged copies refused", failed);
    }

    void hangingReaderIsKilledAtTheTimeLimit() {
        const QString pids = tmp_.filePath("hang.pids");
        const QString stub = tmp_.filePath("hang.sh");
        writeFile(stub,
                  QStringLiteral("#!/bin/sh\necho $$ > '%1'\nsleep 120 &\necho $! >> '%1'\nwait\n")
                      .arg(pids)
                      .toUtf8(),
                  true);
        ReaderOptions o = scriptReader(stub);
        o.timeoutMs = 3000;
        options_.reader = o;
        const QString file = dataFile("words/sample-3000.mdb");
        const QString d = openFailure(file, options_);
        QVERIFY2(d.contains(file) && d.contains("longer than 3000 ms"), qPrintable(d));
        // The script and its own child are both gone, not just the process we started.
        QList<QByteArray> started = readAll(pids).split('\n');
        started.removeAll(QByteArray());
        QVERIFY2(!started.isEmpty(), "the stub did not get to start");
        for (const QByteArray& pid : started) // SIGKILL lands asynchronously
            QTRY_VERIFY_WITH_TIMEOUT(!processAlive(pid.toLongLong()), 5000);
    }

    void crashingReaderIsReported() {
        const QString stub = tmp_.filePath("crash.sh");
        writeFile(stub, "#!/bin/sh\nkill -SEGV $$\n", true);
        ReaderOptions o = scriptReader(stub);
        options_.reader = o;
        const QString d = openFailure(dataFile("words/sample-3000.mdb"), options_);
        QVERIFY2(d.contains("crashed") && d.contains("signal 11"), qPrintable(d));
    }

    void readerRunsUnderItsLimits() {
        const QString stub = tmp_.filePath("limits.sh");
        writeFile(stub,
                  "#!/bin/sh\necho \"v=$(ulimit -v) c=$(ulimit -c) t=$(ulimit -t)\" >&2\nexit 3\n",
                  true);
        ReaderOptions o = scriptReader(stub);
        o.timeoutMs = 4000;
        o.memoryLimitBytes = 300LL << 20;
        options_.reader = o;
        const QString d = openFailure(dataFile("words/sample-3000.mdb"), options_);
        QVERIFY2(d.contains("c=0 t=5"), qPrintable(d)); // no core files; CPU just past wall time
#ifndef LEXIVANE_SANITIZED
        QVERIFY2(d.contains(QStringLiteral("v=%1").arg(300 * 1024)), qPrintable(d));
#endif
    }

    void missingHelperIsReported() {
        ReaderOptions o;
        o.helperPath = tmp_.filePath("nowhere/lexivane-words");
        options_.reader = o;
        const QString d = openFailure(dataFile("words/sample-3000.mdb"), options_);
        QVERIFY2(d.contains(o.helperPath) && d.contains("cannot be started"), qPrintable(d));
    }

    void incompleteOutputIsRefused_data() {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<QString>("problem");
        QTest::newRow("no end mark") << QByteArray("printf 'LXW1\\001\\003\\000\\000\\000abc'")
                                     << "ends before its end mark";
        QTest::newRow("wrong row count")
            << QByteArray("printf 'LXW1\\001\\001\\000\\000\\000a\\377\\002\\000\\000\\000'")
            << "row count";
        QTest::newRow("cut inside a value")
            << QByteArray("printf 'LXW1\\001\\011\\000\\000\\000ab'") << "inside a record";
        QTest::newRow("no signature") << QByteArray("printf 'hello'") << "signature";
    }
    void incompleteOutputIsRefused() {
        QFETCH(QByteArray, script);
        QFETCH(QString, problem);
        const QString stub = tmp_.filePath("out.sh");
        writeFile(stub, "#!/bin/sh\n" + script + "\n", true);
        ReaderOptions o = scriptReader(stub);
        options_.reader = o;
        const QString d = openFailure(dataFile("words/sample-3000.mdb"), options_);
        QVERIFY2(d.contains(problem), qPrintable(d));
    }

    void failureKindsAreNamed_data() {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<QString>("problem");
        // What the helper says under its memory limit, in both ways it can end.
        QTest::newRow("helper out of memory")
            << QByteArray("echo \"lexivane-words: $3: out of memory\" >&2; exit 1")
            << "ran out of memory (limit 64 MB)";
        QTest::newRow("library aborts on allocation")
            << QByteArray("echo 'GLib-ERROR: failed to allocate 4096 bytes' >&2; kill -ABRT $$")
            << "ran out of memory (limit 64 MB)";
        QTest::newRow("helper's own words")
            << QByteArray("echo \"lexivane-words: $3: the reason\" >&2; exit 1") << ": the reason.";
        QTest::newRow("silent failure") << QByteArray("exit 4") << "exit status 4";
    }
    void failureKindsAreNamed() {
        QFETCH(QByteArray, script);
        QFETCH(QString, problem);
        const QString stub = tmp_.filePath("kind.sh");
        // The helper is run as: lexivane-words --raw --table T --column C FILE
        writeFile(stub, "#!/bin/sh\nset -- \"$6\" \"$7\" \"$7\"\n" + script + "\n", true);
        ReaderOptions o = scriptReader(stub);
        o.memoryLimitBytes = 64LL << 20;
        options_.reader = o;
        const QString file = dataFile("words/sample-3000.mdb");
        const QString d = openFailure(file, options_);
        QVERIFY2(d.contains(file) && d.contains(problem), qPrintable(d));
    }

    void rawStreamKeepsNullsEmptiesAndLineBreaks() {
        std::string s("LXW1", 4);
        auto value = [&](const std::string& v) {
            s += '\x01';
            for (int i = 0; i < 4; ++i)
                s += char((v.size() >> (8 * i)) & 0xFF);
            s += v;
        };
        value("a\r\nb");
        s += '\0';
        value("");
        value(std::string("nul\0inside", 10));
        s += "\xFF\x04\0\0\0"s;
        WordTable t;
        QCOMPARE(lexivane::db::parseRawStream(std::move(s), t), QString());
        QCOMPARE(t.rows.size(), size_t(4));
        QCOMPARE(QByteArray(t.text.data() + t.rows[0].offset, t.rows[0].length),
                 QByteArray("a\r\nb"));
        QCOMPARE(t.rows[1].length, WordTable::kNull);
        QCOMPARE(t.rows[2].length, 0u);
        QCOMPARE(QByteArray(t.text.data() + t.rows[3].offset, t.rows[3].length),
                 QByteArray("nul\0inside", 10));
    }

    void rawStreamLimits_data() {
        QTest::addColumn<QByteArray>("values"); // each value of the stream, \x1e between them
        QTest::addColumn<QString>("problem");   // empty: taken
        const QByteArray atCap(int(lexivane::db::kMaxValueBytes), 'a');
        QTest::newRow("a value at the cap") << atCap << QString();
        QTest::newRow("one byte more") << atCap + "a"
                                       << "holds a value of more than 65536 bytes";
        QTest::newRow("one- to four-byte characters")
            << QByteArray("a\x1e\xc3\xa9\x1e\xef\xbf\xbf\x1e\xf4\x8f\xbf\xbf") << QString();
        for (const char* bad : {"\xc0\x80", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\x80",
                                "ab\xe2\x82", "\xff", "\xe0\x9f\xbf"})
            QTest::newRow(qPrintable(QByteArray(bad).toHex()))
                << QByteArray("ok\x1e") + bad << "text that is not UTF-8";
    }
    void rawStreamLimits() {
        QFETCH(QByteArray, values);
        QFETCH(QString, problem);
        std::string s("LXW1", 4);
        const QList<QByteArray> list = values.split('\x1e');
        for (const QByteArray& v : list) {
            s += '\x01';
            for (int i = 0; i < 4; ++i)
                s += char((v.size() >> (8 * i)) & 0xFF);
            s.append(v.constData(), size_t(v.size()));
        }
        s += '\xFF';
        for (int i = 0; i < 4; ++i)
            s += char((list.size() >> (8 * i)) & 0xFF);
        WordTable t;
        const QString wrong = lexivane::db::parseRawStream(std::move(s), t);
        if (problem.isEmpty())
            QCOMPARE(wrong, QString());
        else
            QVERIFY2(wrong.contains(problem), qPrintable(wrong));
    }

    void rawStreamCountsAndLengthsAreCapped() {
        // A length prefix past the cap says so, even where the stream ends right after it.
        WordTable t;
        QVERIFY(lexivane::db::parseRawStream("LXW1\x01\xff\xff\xff\xff"s, t)
                    .contains("more than 65536 bytes"));
        // NULLs cost a byte each in the stream but a slot each in the table: counted too.
        const size_t n = lexivane::db::kMaxRows;
        for (size_t rows : {n, n + 1}) {
            std::string s = "LXW1"s + std::string(rows, '\0') + '\xFF';
            for (int i = 0; i < 4; ++i)
                s += char((rows >> (8 * i)) & 0xFF);
            const QString wrong = lexivane::db::parseRawStream(std::move(s), t);
            if (rows == n)
                QCOMPARE(wrong, QString());
            else
                QVERIFY2(wrong.contains("more than 4194304 words"), qPrintable(wrong));
        }
    }
};

QTEST_GUILESS_MAIN(TestReader)
#include "tst_db_reader.moc"

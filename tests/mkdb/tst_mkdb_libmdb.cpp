// lexivane-mkdb as a command: its files read back through libmdb, and how it refuses input.

#include "libmdb_words.h"
#include "mkdb_test_support.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

using namespace lexivane::mkdb::test;

class MkdbLibmdbTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString path(const QString& name) const { return m_dir.filePath(name); }

    // Everything in the folder except the given list file: the output, if any, and leftovers.
    QStringList folderBesides(const QString& input) const {
        QStringList names =
            QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
        names.removeAll(input);
        return names;
    }

    QStringList libmdbWords(const QString& file) {
        std::string error;
        auto words = libmdbWordsFromFile(file.toStdString(), &error);
        if (!words) {
            qWarning("libmdb: %s", error.c_str());
            return {QStringLiteral("<unreadable>")};
        }
        QStringList out;
        for (const std::string& w : *words)
            out.append(QString::fromStdString(w));
        return out;
    }

  private slots:
    void init() {
        QVERIFY(m_dir.isValid());
        for (const QString& name :
             QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot))
            QDir(m_dir.path()).remove(name);
    }

    void readsBackEveryWordInOrder_data() {
        QTest::addColumn<QStringList>("words");
        QTest::addColumn<bool>("needsMapPages");
        QTest::newRow("accents, other scripts, 255 characters") << mixedWords() << false;
        QTest::newRow("512 data pages: inline map") << wordsFillingPages(512, 0) << false;
        QTest::newRow("513 data pages: map page") << wordsFillingPages(512, 1) << true;
        QTest::newRow("300,000 words") << manyWords() << true;
    }
    void readsBackEveryWordInOrder() {
        QFETCH(QStringList, words);
        QFETCH(bool, needsMapPages);
        QVERIFY(writeFile(path("list.txt"), asLines(words)));
        const Run r = runMkdb({path("list.txt"), path("out.mdb")});
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.err.isEmpty(), r.err.constData());
        // Beyond 512 data pages (plus 5 fixed pages) the table's map lists map pages.
        QCOMPARE(QFileInfo(path("out.mdb")).size() > (5 + 512) * 4096, needsMapPages);
        QCOMPARE(libmdbWords(path("out.mdb")), words);
    }

    void storesOneByteTextCompressed() {
        QVERIFY(writeFile(path("list.txt"), QByteArray("hello\ncafé\nПривет\n")));
        QCOMPARE(runMkdb({path("list.txt"), path("out.mdb")}).exitCode, 0);
        const QByteArray file = readFile(path("out.mdb"));
        QVERIFY(file.contains(QByteArray("\xFF\xFEhello")));
        QVERIFY(file.contains(QByteArray("\xFF\xFE"
                                         "caf\xE9")));
        QVERIFY(!file.contains(QByteArray("h\0e\0l\0l\0o\0", 10)));
        const QString cyrillic = QStringLiteral("Привет");
        QVERIFY(file.contains(
            QByteArray(reinterpret_cast<const char*>(cyrillic.utf16()), cyrillic.size() * 2)));
    }

    void skipsEmptyLinesAndReadsCrLf() {
        QVERIFY(
            writeFile(path("list.txt"), QByteArray("\xEF\xBB\xBF"
                                                   "alpha\r\n\r\n\nbeta\n\r\n\ngamma\r\ndelta")));
        const Run r = runMkdb({path("list.txt"), path("out.mdb")});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(libmdbWords(path("out.mdb")), QStringList({"alpha", "beta", "gamma", "delta"}));
    }

    void emptyListGivesEmptyTable() {
        QVERIFY(writeFile(path("list.txt"), QByteArray("\n\r\n")));
        QCOMPARE(runMkdb({path("list.txt"), path("out.mdb")}).exitCode, 0);
        QCOMPARE(libmdbWords(path("out.mdb")), QStringList());
    }

    void refusesBadLineWithItsNumber_data() {
        QTest::addColumn<QByteArray>("list");
        QTest::addColumn<QString>("where");
        QTest::addColumn<QString>("why");
        const QByteArray ok = "first\n\nthird\n";
        QTest::newRow("256 characters") << ok + QByteArray(256, 'x') + "\nlast\n"
                                        << ":4:"
                                        << "256 characters";
        QTest::newRow("256 accented characters") << ok + QString(256, u'é').toUtf8() << ":4:"
                                                 << "256 characters";
        QTest::newRow("Latin-1 byte") << ok + "caf\xE9\n"
                                      << ":4:"
                                      << "invalid UTF-8";
        QTest::newRow("stray continuation byte") << QByteArray("\x80") << ":1:"
                                                 << "invalid UTF-8";
        QTest::newRow("cut-off sequence at end") << ok + "ab\xE2\x82"
                                                 << ":4:"
                                                 << "invalid UTF-8";
        QTest::newRow("cut-off sequence before LF") << ok + "ab\xE2\n"
                                                    << ":4:"
                                                    << "invalid UTF-8";
        QTest::newRow("overlong slash") << ok + "a\xC0\xAF"
                                        << ":4:"
                                        << "invalid UTF-8";
        QTest::newRow("encoded surrogate") << ok + "\xED\xA0\x80"
                                           << ":4:"
                                           << "invalid UTF-8";
        QTest::newRow("past U+10FFFF") << ok + "\xF4\x90\x80\x80"
                                       << ":4:"
                                       << "invalid UTF-8";
        QTest::newRow("outside the BMP") << ok + "smile\xF0\x9F\x98\x80"
                                         << ":4:"
                                         << "U+1F600";
        QTest::newRow("NUL") << QByteArray("a\nb\0c\n", 6) << ":2:"
                             << "NUL";
        QTest::newRow("leading U+FEFF past line 1") << ok + "\xEF\xBB\xBFword"
                                                    << ":4:"
                                                    << "U+FEFF";
    }
    void refusesBadLineWithItsNumber() {
        QFETCH(QByteArray, list);
        QFETCH(QString, where);
        QFETCH(QString, why);
        QVERIFY(writeFile(path("list.txt"), list));
        const Run r = runMkdb({path("list.txt"), path("out.mdb")});
        QCOMPARE(r.exitCode, 1);
        const QString err = QString::fromUtf8(r.err);
        QVERIFY2(err.contains(path("list.txt") + where), qPrintable(err));
        QVERIFY2(err.contains(why), qPrintable(err));
        QCOMPARE(folderBesides("list.txt"), QStringList());
    }

    void failedBuildLeavesExistingOutAlone() {
        QVERIFY(writeFile(path("good.txt"), asLines(mixedWords())));
        QCOMPARE(runMkdb({path("good.txt"), path("out.mdb")}).exitCode, 0);
        const QByteArray before = readFile(path("out.mdb"));
        QVERIFY(before.size() > 0);

        QVERIFY(writeFile(path("bad.txt"), "fine\n" + QByteArray(300, 'y') + "\n"));
        const Run r = runMkdb({path("bad.txt"), path("out.mdb")});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains("bad.txt:2:"), r.err.constData());
        QCOMPARE(readFile(path("out.mdb")), before);
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList({"bad.txt", "good.txt", "out.mdb"}));
    }

    void replacesExistingOut() {
        QVERIFY(writeFile(path("out.mdb"), QByteArray(9000, 'z')));
        QVERIFY(writeFile(path("list.txt"), "one\ntwo\n"));
        QCOMPARE(runMkdb({path("list.txt"), path("out.mdb")}).exitCode, 0);
        QCOMPARE(libmdbWords(path("out.mdb")), QStringList({"one", "two"}));
        QCOMPARE(folderBesides("list.txt"), QStringList({"out.mdb"}));
    }

    void sameInputSameFile() {
        QVERIFY(writeFile(path("list.txt"), asLines(mixedWords())));
        QCOMPARE(runMkdb({path("list.txt"), path("a.mdb")}).exitCode, 0);
        QCOMPARE(runMkdb({path("list.txt"), path("b.mdb")}).exitCode, 0);
        QCOMPARE(readFile(path("a.mdb")), readFile(path("b.mdb")));
    }

    void lowercaseOnlyKeepsLowercaseWordsOnce() {
        QVERIFY(writeFile(path("list.txt"),
                          QByteArray("apple\nApple\némigré\nÉMIGRÉ\no'clock\nx-ray\nmp3\n"
                                     "apple\nstraße\nnaïve\n\nǅ\nß\nª\nω\nΩmega\na b\n"
                                     "naïve\nzebra\nzebra's\nжук\nЖук\n漢字\n")));
        const Run r = runMkdb({"--lowercase-only", path("list.txt"), path("out.mdb")});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(libmdbWords(path("out.mdb")),
                 QStringList({"apple", "émigré", "straße", "naïve", "ß", "ω", "zebra", "жук"}));
    }

    void commandLineErrors_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("no arguments") << QStringList() << 2 << "usage:";
        QTest::newRow("one argument") << QStringList({"list.txt"}) << 2 << "usage:";
        QTest::newRow("three arguments") << QStringList({"a", "b", "c"}) << 2 << "usage:";
        QTest::newRow("unknown option")
            << QStringList({"--upper", "list.txt", "out.mdb"}) << 2 << "--upper";
        QTest::newRow("missing list")
            << QStringList({"missing.txt", "out.mdb"}) << 1 << "missing.txt";
        QTest::newRow("missing output folder")
            << QStringList({"list.txt", "no/such/dir/out.mdb"}) << 1 << "no/such/dir";
    }
    void commandLineErrors() {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        QVERIFY(writeFile(path("list.txt"), "word\n"));
        QProcess p;
        p.setWorkingDirectory(m_dir.path());
        p.start(mkdbPath(), args);
        QVERIFY(p.waitForFinished());
        QCOMPARE(p.exitCode(), exitCode);
        const QString err = QString::fromUtf8(p.readAllStandardError());
        QVERIFY2(err.contains(message), qPrintable(err));
        QCOMPARE(folderBesides("list.txt"), QStringList());
    }

    void helpGoesToStdout() {
        const Run r = runMkdb({"--help"});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.startsWith("usage: lexivane-mkdb"));
        QVERIFY(r.err.isEmpty());
    }

    void shippedDatabaseHoldsTheLowercaseWords() {
        const QString shipped = QStringLiteral(LEXIVANE_BIN_DIR "/dbWords.mdb");
        QVERIFY2(QFileInfo::exists(shipped), "build the target lexivane_dbwords first");
        const QStringList expected = expectedShippedWords(QStringLiteral(LEXIVANE_WORDLIST));
        QVERIFY(!expected.isEmpty());
        QCOMPARE(libmdbWords(shipped), expected);
    }
};

QTEST_GUILESS_MAIN(MkdbLibmdbTest)
#include "tst_mkdb_libmdb.moc"

// lexivane-mkdb's files read back by mdb-reader (tests/js), a reader written apart from libmdb.

#include "mkdb_test_support.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace lexivane::mkdb::test;

class MkdbMdbReaderTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_node;

    QStringList mdbReaderWords(const QString& file) {
        QProcess p;
        p.start(m_node, {QStringLiteral(LEXIVANE_JS_DIR "/read-words.mjs"), file});
        if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit ||
            p.exitCode() != 0) {
            qWarning("node: %s", p.readAllStandardError().constData());
            return {QStringLiteral("<unreadable>")};
        }
        QStringList words = QString::fromUtf8(p.readAllStandardOutput()).split(u'\n');
        if (words.takeLast() != QString())
            return {QStringLiteral("<output without final newline>")};
        return words;
    }

  private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        m_node = QStandardPaths::findExecutable(QStringLiteral("node"));
        QVERIFY2(!m_node.isEmpty(), "node not found: install the Debian package nodejs");
        QVERIFY2(QFileInfo::exists(QStringLiteral(LEXIVANE_JS_DIR "/node_modules/mdb-reader")),
                 "mdb-reader is not installed: run  npm ci --prefix tests/js");
    }

    void readsBackEveryWordInOrder_data() {
        QTest::addColumn<QByteArray>("list");
        QTest::addColumn<QStringList>("words");
        QTest::newRow("accents, other scripts, 255 characters")
            << asLines(mixedWords()) << mixedWords();
        QTest::newRow("300,000 words, with map pages") << asLines(manyWords()) << manyWords();
        QTest::newRow("CR LF and empty lines") << QByteArray("alpha\r\n\r\n\nbéta\n\r\nγ\r\ndelta")
                                               << QStringList{"alpha", "béta", "γ", "delta"};
        QTest::newRow("empty") << QByteArray("\n") << QStringList();
    }
    void readsBackEveryWordInOrder() {
        QFETCH(QByteArray, list);
        QFETCH(QStringList, words);
        const QString in = m_dir.filePath(QStringLiteral("list.txt"));
        const QString out = m_dir.filePath(QStringLiteral("out.mdb"));
        QVERIFY(writeFile(in, list));
        const Run r = runMkdb({in, out});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(mdbReaderWords(out), words);
    }

    void shippedDatabaseHoldsTheLowercaseWords() {
        const QString shipped = QStringLiteral(LEXIVANE_BIN_DIR "/dbWords.mdb");
        QVERIFY2(QFileInfo::exists(shipped), "build the target lexivane_dbwords first");
        QCOMPARE(mdbReaderWords(shipped), expectedShippedWords(QStringLiteral(LEXIVANE_WORDLIST)));
    }
};

QTEST_GUILESS_MAIN(MkdbMdbReaderTest)
#include "tst_mkdb_mdbreader.moc"

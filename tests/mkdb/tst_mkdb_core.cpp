// The builder's library: what the parser reports and what buildJet4 refuses to write.

#include "jet4.h"
#include "libmdb_words.h"
#include "wordlist.h"

#include <QtTest>

#include <stdexcept>

using namespace lexivane::mkdb;

class MkdbCoreTest : public QObject {
    Q_OBJECT

  private slots:
    void parserReportsFirstBadLine_data() {
        QTest::addColumn<QByteArray>("list");
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("message");
        QTest::newRow("byte order mark does not count as a line") << QByteArray("\xEF\xBB\xBF"
                                                                                "a\n\xFF\n")
                                                                  << 2 << "invalid UTF-8";
        QTest::newRow("empty lines count") << QByteArray("\n\r\n\n\xFF") << 4 << "invalid UTF-8";
        QTest::newRow("CR LF lines count once")
            << QByteArray("a\r\nb\r\n" + QByteArray(256, 'c') + "\r\n") << 3 << "256 characters";
        QTest::newRow("first of two faults")
            << QByteArray("ok\n\xC3\n" + QByteArray(300, 'x')) << 2 << "invalid UTF-8";
        QTest::newRow("CR inside a line is part of it")
            << QByteArray("a\rb\n" + QByteArray(255, 'x') + "\r\r\n") << 2 << "256 characters";
    }
    void parserReportsFirstBadLine() {
        QFETCH(QByteArray, list);
        QFETCH(int, line);
        QFETCH(QString, message);
        const WordList parsed = parseWordList(std::string_view(list.constData(), list.size()));
        QVERIFY(parsed.error.has_value());
        QCOMPARE(parsed.error->line, std::size_t(line));
        QVERIFY2(QString::fromStdString(parsed.error->message).contains(message),
                 parsed.error->message.c_str());
        QVERIFY(parsed.words.empty());
    }

    void parserKeepsLinesAsWritten() {
        const QByteArray list("  spaced  \r\na\rb\r\r\n\tTab\nlast");
        const WordList parsed = parseWordList(std::string_view(list.constData(), list.size()));
        QVERIFY(!parsed.error);
        QCOMPARE(parsed.words.size(), std::size_t(4));
        QCOMPARE(toUtf8(parsed.words[0]), std::string("  spaced  "));
        QCOMPARE(toUtf8(parsed.words[1]), std::string("a\rb\r"));
        QCOMPARE(toUtf8(parsed.words[2]), std::string("\tTab"));
        QCOMPARE(toUtf8(parsed.words[3]), std::string("last"));
    }

    void builderRefusesWhatJetTextCannotHold_data() {
        QTest::addColumn<QString>("word");
        QTest::newRow("empty") << QString();
        QTest::newRow("256 characters") << QString(256, u'a');
        QTest::newRow("NUL") << QString::fromUtf16(u"a\0b", 3);
        // Built by hand: fromUtf16() would take it for a byte order mark.
        QTest::newRow("leading U+FEFF") << QChar(0xFEFF) + QStringLiteral("word");
        QTest::newRow("lone surrogate") << QString::fromUtf16(u"a\xD800");
    }
    void builderRefusesWhatJetTextCannotHold() {
        QFETCH(QString, word);
        const std::u16string_view w(reinterpret_cast<const char16_t*>(word.utf16()), word.size());
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, buildJet4(Words{u"fine", w}, 45000.0));
    }

    void builderWritesWholePagesLibmdbReads() {
        // U+FEFF anywhere but first is ordinary text.
        const Words words{u"x\uFEFF", u"\u00FF\u00FE", u"\u0100",
                          QString(255, u'z').toStdU16String()};
        std::vector<std::uint8_t> file = buildJet4(words, 45000.5);
        QCOMPARE(file.size() % kPageSize, std::size_t(0));
        std::string error;
        const auto read = test::libmdbWordsFromBuffer(file, &error);
        QVERIFY2(read.has_value(), error.c_str());
        QCOMPARE(read->size(), words.size());
        for (std::size_t i = 0; i < words.size(); ++i)
            QCOMPARE((*read)[i], toUtf8(words[i]));
    }
};

QTEST_GUILESS_MAIN(MkdbCoreTest)
#include "tst_mkdb_core.moc"

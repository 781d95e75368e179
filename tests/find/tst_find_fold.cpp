// The folded form must be the first level of the order exactly: texts sorted by
// db::compareWords never have a folded form that sorts before the one of the text before
// them. Checked for every character of the Basic Multilingual Plane (and a few beyond) alone,
// before letters, after letters and between letters, among reference texts that bracket
// every two-letter run, and on the word files the program ships and tests with.

#include "db_collation.h"
#include "db_reader.h"
#include "fold.h"
#include "word_index.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <algorithm>
#include <string>
#include <vector>

using namespace lexivane;

namespace {

std::string utf8(char32_t c) {
    std::string s;
    appendUtf8(c, s);
    return s;
}

std::string folded(const std::string& s) {
    std::string f;
    find::appendFolded(s, f);
    return f;
}

std::vector<std::string> sortedByOrder(std::vector<std::string> texts) {
    std::sort(texts.begin(), texts.end(), [](const std::string& a, const std::string& b) {
        return db::compareWords(a.data(), a.size(), b.data(), b.size()) < 0;
    });
    return texts;
}

// The first place where the folded forms go backwards along `texts`, sorted by the order.
QString firstInversion(const std::vector<std::string>& texts) {
    std::string prev = folded(texts.front());
    for (size_t i = 1; i < texts.size(); ++i) {
        std::string f = folded(texts[i]);
        if (find::compareFolded(prev, f) > 0)
            return QStringLiteral("\"%1\" sorts before \"%2\", but folds to \"%3\" after \"%4\"")
                .arg(QString::fromStdString(texts[i - 1]), QString::fromStdString(texts[i]),
                     QString::fromStdString(prev), QString::fromStdString(f));
        prev = std::move(f);
    }
    return {};
}

} // namespace

class TestFold : public QObject {
    Q_OBJECT

  private slots:
    void everyCharacterFoldsAsTheOrderWeighsIt() {
        const QString wrong = firstInversion(everyCharacterTextsSorted());
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
    }

    // The index sorts by a number made of the first folded letters before it asks the order;
    // the result must be the order's.
    void indexSortsAsTheOrder() {
        const std::vector<std::string>& texts = everyCharacterTextsSorted();
        db::WordTable table;
        for (const std::string& t : everyCharacterTexts())
            table.add(t.data(), t.size());
        const find::Block block = find::buildIndex(table, {});
        find::WordIndex index;
        QCOMPARE(int(index.open(block.bytes.get(), block.size, nullptr)),
                 int(find::WordIndex::Status::Ok));
        QVERIFY(index.require(~0u));
        QCOMPARE(size_t(index.size()), texts.size());
        for (uint32_t i = 0; i < index.size(); ++i)
            if (index.word(i) != texts[i])
                QFAIL(qPrintable(QStringLiteral("word %1: \"%2\", the order has \"%3\"")
                                     .arg(i)
                                     .arg(QString::fromStdString(std::string(index.word(i))),
                                          QString::fromStdString(texts[i]))));
    }

  private:
    // Sorted once: sorting them is most of both tests' time.
    static const std::vector<std::string>& everyCharacterTextsSorted() {
        static const std::vector<std::string> sorted = sortedByOrder(everyCharacterTexts());
        return sorted;
    }
    static std::vector<std::string> everyCharacterTexts() {
        std::vector<std::string> texts;
        std::vector<char32_t> chars;
        for (char32_t c = 0; c <= 0xFFFF; ++c)
            if (c < 0xD800 || c > 0xDFFF) chars.push_back(c);
        // Beyond the BMP: cased letters (Deseret), a letter that only decomposes by
        // compatibility (mathematical bold A), a symbol.
        for (char32_t c :
             {char32_t(0x10400), char32_t(0x10428), char32_t(0x1D400), char32_t(0x1F600)})
            chars.push_back(c);
        for (char32_t c : chars) {
            const std::string s = utf8(c);
            texts.push_back(s);
            texts.push_back(s + "b");
            texts.push_back(s + "y");
            texts.push_back("m" + s + "m");
        }
        // Around "m?m": every letter pair, so a character that folds to the wrong number of
        // letters, or to letters where the order has none, lands out of place.
        texts.push_back("mm");
        texts.push_back("mma");
        texts.push_back("mmz");
        for (char x = 'a'; x <= 'z'; ++x) {
            texts.push_back(std::string("m") + x + "m");
            for (char y = 'a'; y <= 'z'; ++y)
                texts.push_back(std::string("m") + x + y + "m");
        }
        return texts;
    }

  private slots:
    // Combining marks accent the letter before them; at the start they stand for themselves.
    // Damaged text decodes one byte at a time, as the order reads it.
    void marksAndDamagedText() {
        const QString wrong = firstInversion(sortedByOrder({
            "e\xCC\x81",
            "\xCC\x81"
            "e",
            "e",
            "f",
            "\xC3\xA9",
            "ee",
            "\xCC\x81",
            "\xCC\x81\xCC\x81",
            "a\xFF"
            "b",
            "a\xC3",
            "a\xC3"
            "b",
            "ab",
            "a\xE2\x82"
            "b",
            "a?b",
            "a!b",
            "\xF0\x9F\x98",
            std::string("x\0y", 3),
            "xy",
            "xa",
            "xz",
        }));
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
    }

    void wordFilesFoldInOrder_data() {
        QTest::addColumn<QString>("file");
        QTest::newRow("sample-3000")
            << QDir(QStringLiteral(LEXIVANE_TEST_DATA)).filePath("words/sample-3000.txt");
        QTest::newRow("word list the shipped database is made from")
            << QStringLiteral(LEXIVANE_WORDLIST);
    }
    void wordFilesFoldInOrder() {
        QFETCH(QString, file);
        QFile f(file);
        QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(file));
        db::WordTable table;
        for (const QByteArray& line : f.readAll().split('\n'))
            if (!line.isEmpty()) table.add(line.constData(), size_t(line.size()));
        QVERIFY(table.rows.size() > 1000);
        // The index says whether its folded forms came out sorted; bisection relies on it.
        const find::Block block = find::buildIndex(table, {});
        find::WordIndex index;
        QCOMPARE(int(index.open(block.bytes.get(), block.size, nullptr)),
                 int(find::WordIndex::Status::Ok));
        QVERIFY(index.foldsSorted());
    }
};

QTEST_APPLESS_MAIN(TestFold)
#include "tst_find_fold.moc"

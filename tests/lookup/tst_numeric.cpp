#include "apperror.h"
#include "length_filter.h"
#include "numeric.h"
#include "query_database.h"

#include <QRegularExpression>
#include <QtTest>
#include <sqlite3.h>

using namespace lexivane;

namespace {
const NumberFormat english{u'.', u','};
const NumberFormat german{u',', u'.'};
const NumberFormat french{u',', QChar(0x202f)};
} // namespace

class NumericTest : public QObject {
    Q_OBJECT
  private slots:
    void readsWholeEntriesOnly_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("readable");
        QTest::addColumn<double>("value");
        QTest::newRow("6") << "6" << true << 6.0;
        QTest::newRow("blanks") << " 7 " << true << 7.0;
        QTest::newRow("tab") << "\t7" << true << 7.0;
        QTest::newRow("fraction") << "6.5" << true << 6.5;
        QTest::newRow("negative") << "-2" << true << -2.0;
        QTest::newRow("plus") << "+3" << true << 3.0;
        QTest::newRow("list as groups") << "1,3,4" << true << 134.0;
        QTest::newRow("odd grouping") << "12,3456,7" << true << 1234567.0;
        QTest::newRow("leading point") << ".5" << true << 0.5;
        QTest::newRow("trailing point") << "5." << true << 5.0;
        QTest::newRow("exponent") << "1e3" << true << 1000.0;
        QTest::newRow("exponent sign") << "2.5E-1" << true << 0.25;
        QTest::newRow("empty") << "" << false << 0.0;
        QTest::newRow("blank") << "   " << false << 0.0;
        QTest::newRow("letters") << "abc" << false << 0.0;
        QTest::newRow("digit letter") << "5a" << false << 0.0;
        QTest::newRow("two signs") << "--5" << false << 0.0;
        QTest::newRow("sign only") << "-" << false << 0.0;
        QTest::newRow("point only") << "." << false << 0.0;
        QTest::newRow("leading group") << ",5" << false << 0.0;
        QTest::newRow("trailing group") << "5," << false << 0.0;
        QTest::newRow("double group") << "1,,3" << false << 0.0;
        QTest::newRow("group after point") << "1.2,3" << false << 0.0;
        QTest::newRow("two points") << "1.2.3" << false << 0.0;
        QTest::newRow("currency") << "$5" << false << 0.0;
        QTest::newRow("parentheses") << "(5)" << false << 0.0;
        QTest::newRow("hex") << "&H10" << false << 0.0;
        QTest::newRow("bare exponent") << "1e" << false << 0.0;
        QTest::newRow("exponent only") << "e5" << false << 0.0;
        QTest::newRow("inner blank") << "1 3" << false << 0.0;
        QTest::newRow("quote") << "1'3" << false << 0.0;
        QTest::newRow("sql") << "1) or (1=1" << false << 0.0;
        QTest::newRow("too large") << "1e400" << false << 0.0;
        QTest::newRow("arabic digits") << QString::fromUtf8("\u0661") << false << 0.0;
        QTest::newRow("nul") << QString::fromUtf8("1\0"
                                                  "2",
                                                  3)
                             << false << 0.0;
    }
    void readsWholeEntriesOnly() {
        QFETCH(QString, text);
        QFETCH(bool, readable);
        QFETCH(double, value);
        const auto v = readNumber(text, english);
        QCOMPARE(v.has_value(), readable);
        if (readable) QCOMPARE(*v, value);
    }

    void followsTheLocale() {
        QCOMPARE(readNumber(u"6,5", german).value(), 6.5);
        QCOMPARE(readNumber(u"1.234,5", german).value(), 1234.5);
        QVERIFY(!IsNumeric(u"1,3,4", german));
        QCOMPARE(readNumber(QString("1") + QChar(0x202f) + "000,5", french).value(), 1000.5);
        QVERIFY(!IsNumeric(u"1.5", french));
        const NumberFormat c = NumberFormat::of(QLocale::c());
        QCOMPARE(c.decimal, QChar(u'.'));
        QCOMPARE(c.group, QChar(u','));
        const NumberFormat de = NumberFormat::of(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(de.decimal, QChar(u','));
        QCOMPARE(de.group, QChar(u'.'));
    }

    // The list entry works in every locale: whole numbers and commas, blanks around them.
    void lengthListsInEveryLocale_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("sql"); // empty: refused
        QTest::newRow("list") << "1,3,4"
                              << "1,3,4";
        QTest::newRow("blanks around commas") << " 1 , 3,\t4 "
                                              << "1,3,4";
        QTest::newRow("one number") << " 7 "
                                    << " 7 "; // as the English test always took it
        QTest::newRow("English fraction") << "2.5"
                                          << "2.5";
        QTest::newRow("English groups") << "12,3456"
                                        << "12,3456";
        QTest::newRow("leading zero") << "01, 3"
                                      << "01,3";
        QTest::newRow("German groups") << "1.3.4"
                                       << "";
        QTest::newRow("German decimal") << "1.000,5"
                                        << "";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("commas only") << " , "
                                     << "";
        QTest::newRow("double comma") << "1,,3"
                                      << "";
        QTest::newRow("trailing comma") << "1, 3,"
                                        << "";
        QTest::newRow("inner blank") << "1 3, 4"
                                     << "";
        QTest::newRow("sign in a list") << "1, -3"
                                        << "";
        QTest::newRow("sql") << "1) or (1=1"
                             << "";
        QTest::newRow("narrow blank") << QString("1") + QChar(0x202f) + ",3"
                                      << "";
    }
    void lengthListsInEveryLocale() {
        QFETCH(QString, text);
        QFETCH(QString, sql);
        const std::optional<QString> got = lengthListSql(text);
        QCOMPARE(got.has_value(), !sql.isEmpty());
        if (got) QCOMPARE(*got, sql);
    }

    void cintRoundsHalvesToEvenAndOverflows() {
        QCOMPARE(CInt(u"6.5", english), qint16(6));
        QCOMPARE(CInt(u"7.5", english), qint16(8));
        QCOMPARE(CInt(u"-2.5", english), qint16(-2));
        QCOMPARE(CInt(u"2.5000001", english), qint16(3));
        QCOMPARE(CInt(u"32767", english), qint16(32767));
        QCOMPARE(CInt(u"-32768.5", english), qint16(-32768));
        QCOMPARE(CInt(u"1,3,4", english), qint16(134));
        for (const char* over : {"40000", "32767.5", "-32769", "1e10"}) {
            try {
                CInt(QString(over), english);
                QFAIL(over);
            } catch (const AppError& e) {
                QCOMPARE(e.description(), QString("Overflow"));
            }
        }
        try {
            CInt(u"abc", english);
            QFAIL("abc");
        } catch (const AppError& e) {
            QCOMPARE(e.description(), QString("Type mismatch"));
        }
    }

    // Every entry up to four characters over an alphabet of number parts (English, German
    // and French), SQL-significant characters and letters: whatever the number or the list
    // entry accepts makes one statement whose only variable part is a number or a list of
    // numbers.
    void acceptedEntriesCannotChangeTheQuery() {
        const QString alphabet = QStringLiteral("0159 +-,.eE'();a$") + QChar(0x202f);
        sqlite3* db = openQueryDatabase();
        QVERIFY(db);
        auto oneStatement = [&](const QString& sql) {
            const QByteArray utf8 = sql.toUtf8();
            sqlite3_stmt* stmt = nullptr;
            const char* tail = nullptr;
            const int rc = sqlite3_prepare_v2(db, utf8.constData(), -1, &stmt, &tail);
            const bool one = rc == SQLITE_OK && stmt && QByteArray(tail).trimmed().isEmpty() &&
                             sqlite3_bind_parameter_count(stmt) == 0;
            sqlite3_finalize(stmt);
            return one;
        };
        static const QRegularExpression numberish(
            QStringLiteral("^[ \\t]*[+-]?[0-9,]*(\\.[0-9]*)?([eE][+-]?[0-9]+)?[ \\t]*$"));
        QString entry;
        int lists = 0, numbers = 0;
        std::function<void(int)> walk = [&](int depth) {
            if (const std::optional<QString> list = lengthListSql(entry)) {
                ++lists;
                QVERIFY2(numberish.match(*list).hasMatch(), qPrintable(entry));
                QVERIFY2(oneStatement(sqlForLengthList(*list)), qPrintable(entry));
            }
            for (const NumberFormat& format : {english, german, french}) {
                if (!IsNumeric(entry, format)) continue;
                ++numbers;
                try {
                    QVERIFY2(oneStatement(sqlForLength(QString::number(CInt(entry, format)))),
                             qPrintable(entry));
                } catch (const AppError& e) {
                    QCOMPARE(e.description(), QString("Overflow"));
                }
            }
            if (depth == 4) return;
            for (QChar c : alphabet) {
                entry.append(c);
                walk(depth + 1);
                entry.chop(1);
            }
        };
        walk(0);
        sqlite3_close(db);
        QVERIFY(lists > 1000);
        QVERIFY(numbers > 3000);
    }
};

QTEST_MAIN(NumericTest)
#include "tst_numeric.moc"

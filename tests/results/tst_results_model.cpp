#include "apperror.h"
#include "results_model.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

using namespace lexivane;

class ResultsModelTest : public QObject {
    Q_OBJECT
  private slots:
    void viewsHearOfNewWordsInOneBatch() {
        ResultsModel m;
        QSignalSpy inserted(&m, &QAbstractItemModel::rowsInserted);
        for (int i = 0; i < 1000; ++i)
            m.Add(QString::number(i));
        QCOMPARE(m.Count(), 1000);
        QCOMPARE(m.rowCount(QModelIndex()), 0); // views hear nothing while the loop runs
        QCoreApplication::processEvents();
        QCOMPARE(m.rowCount(QModelIndex()), 1000);
        QCOMPARE(inserted.size(), 1);
        QVERIFY(m.flags(m.index(0, 0)) & Qt::ItemIsUserCheckable);
        QCOMPARE(m.data(m.index(0, 0), Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
        m.Add("late");
        m.Remove(1); // publishes the pending word first
        QCOMPARE(m.rowCount(QModelIndex()), 1000);
        QCOMPARE(m.Text(1000), QString("late"));
        QVERIFY_THROWS_EXCEPTION(AppError, m.Text(1001));
        QVERIFY_THROWS_EXCEPTION(AppError, m.Remove(0));
    }

    // Words given as UTF-8 read back as the same text: plain, accented, beyond the BMP, and
    // with the ASCII part at either end.
    void utf8WordsReadBackTheSame() {
        ResultsModel m;
        const QStringList words = {"",
                                   "apple",
                                   "émigré",
                                   "日本",
                                   "naïve",
                                   "can't",
                                   QString::fromUcs4(U"a\U0001F600b", 3),
                                   "abcdéfg",
                                   "ßtraße",
                                   QString(3000, QChar(u'ø'))};
        for (const QString& w : words)
            m.addUtf8(QUtf8StringView(w.toUtf8()));
        QCOMPARE(m.Count(), int(words.size()));
        for (int i = 0; i < int(words.size()); ++i)
            QCOMPARE(m.Text(i + 1), words[i]);
    }

    // What a view relies on, checked by Qt's own tester while the list is used as the
    // program uses it.
    void staysConsistentForViews() {
        ResultsModel m;
        QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
        m.setHeaderText("Result(s)");
        for (int round = 0; round < 3; ++round) {
            for (int i = 0; i < 50; ++i)
                m.Add(QStringLiteral("w%1").arg(i));
            m.setChecked(3, true); // not yet published
            QCoreApplication::processEvents();
            QVERIFY(m.setData(m.index(4, 0), Qt::Checked, Qt::CheckStateRole));
            QVERIFY(m.isChecked(5));
            m.Add("pending");
            m.Remove(2);
            m.Remove(m.Count());
            QCOMPARE(m.rowCount(QModelIndex()), m.Count());
            m.setHeaderText("Result(s) - Total Words: 49");
            if (round == 1) m.Clear();
        }
        m.Clear();
        QCOMPARE(m.rowCount(QModelIndex()), 0);
        QCOMPARE(m.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(),
                 QString("Result(s) - Total Words: 49"));
    }
};

QTEST_GUILESS_MAIN(ResultsModelTest)
#include "tst_results_model.moc"

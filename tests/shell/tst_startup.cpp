#include "harness.h"
#include "late_bound.h"
#include "program_folder.h"
#include "startup.h"

#include <QDir>
#include <QFile>
#include <QtTest>

using namespace lexivane;
using namespace lexivane::testing;

class StartupTest : public QObject {
    Q_OBJECT
  private slots:
    void missingDatabaseEndsBeforeAnything() {
        Harness h(QStringList{});
        QVERIFY(!h.load());
        QVERIFY(h.desktop.ended);
        QCOMPARE(h.desktop.boxes.size(), size_t(1));
        QCOMPARE(h.desktop.boxes[0].text,
                 QDir::toNativeSeparators(h.folder() + "/dbWords.mdb") + " not found.");
        QCOMPARE(h.desktop.boxes[0].style, 0);
        QCOMPARE(h.desktop.boxes[0].title, QString("Lexivane"));
        QVERIFY(!h.controls.iconShown); // nothing after the message ran
        QCOMPARE(h.desktop.memorySettings.reads, 0);
        QVERIFY(h.desktop.memorySettings.writes.isEmpty());
        QCOMPARE(h.controls.filterCount(), 0);
    }

    void aFolderNamedLikeTheDatabaseIsMissing() {
        Harness h(QStringList{});
        QVERIFY(QDir(h.folder()).mkdir("dbWords.mdb"));
        QVERIFY(!h.load());
        QCOMPARE(h.desktop.boxes.size(), size_t(1));
    }

    void firstRunSelectsTheFirstEntryAndStoresIt() {
        Harness h;
        QVERIFY(h.load());
        QVERIFY(h.desktop.reports().isEmpty());
        QCOMPARE(h.controls.filterCount(), 7);
        QCOMPARE(h.controls.Combo1Index, 0);
        QCOMPARE(h.controls.filterText(), QString("1-letter"));
        QCOMPARE(h.desktop.memorySettings.writes, QStringList{"Tallowick/Lexivane/Combo1=0"});
        QCOMPARE(h.header(), QString("Result(s)"));
        QCOMPARE(ado::as<ado::Connection>(Globals::dbConnection).State(), 1);
    }

    void restoresTheStoredChoice_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("index");
        QTest::addColumn<bool>("reported");
        QTest::newRow("4") << "4" << 4 << false;
        QTest::newRow("6") << "6" << 6 << false;
        QTest::newRow("-1") << "-1" << -1 << false;
        QTest::newRow("2.5 halves to even") << "2.5" << 2 << false;
        QTest::newRow("3.5 halves to even") << "3.5" << 4 << false;
        QTest::newRow("blanks") << " 3 " << 3 << false;
        QTest::newRow("9") << "9" << -1 << true;
        QTest::newRow("7") << "7" << -1 << true;
        QTest::newRow("-2") << "-2" << -1 << true;
        QTest::newRow("abc") << "abc" << -1 << true;
        QTest::newRow("empty") << "" << -1 << true;
        QTest::newRow("overflow") << "99999" << -1 << true;
    }
    void restoresTheStoredChoice() {
        QFETCH(QString, stored);
        QFETCH(int, index);
        QFETCH(bool, reported);
        Harness h;
        h.desktop.memorySettings.values["Tallowick/Lexivane/Combo1"] = stored;
        QVERIFY(h.load());
        QCOMPARE(h.controls.Combo1Index, index);
        if (reported) {
            QCOMPARE(h.desktop.reportSteps(), std::vector<int>{154});
            QVERIFY(h.desktop.memorySettings.writes.isEmpty()); // left as it was
        } else {
            QVERIFY(h.desktop.reports().isEmpty());
        }
        if (index > 0) QCOMPARE(h.desktop.memorySettings.combo1(), QString::number(index));
        // the rest of start-up still ran
        QCOMPARE(h.header(), QString("Result(s)"));
        QCOMPARE(h.controls.columnWidthTwips, 7300);
    }

    void unreadableDatabaseReportsOnceAndGoesOn() {
        Harness h(QStringList{});
        QFile f(h.folder() + "/dbWords.mdb");
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("this is not an Access database\n");
        f.close();
        QVERIFY(h.load());
        QCOMPARE(h.desktop.reportSteps(), std::vector<int>{114});
        QVERIFY(h.desktop.reports()[0].contains("dbWords.mdb"));
        QCOMPARE(h.controls.filterCount(), 7);
        QCOMPARE(ado::as<ado::Connection>(Globals::dbConnection).State(), 0);
    }

    void cursorFile() {
        {
            Harness h;
            QVERIFY(h.load());
            QVERIFY(!h.form.MouseIcon); // none beside the program: nothing, no message
        }
        {
            Harness h;
            QVERIFY(QFile::copy(binDir() + "/HAND-M.CUR", h.folder() + "/HAND-M.CUR"));
            QVERIFY(h.load());
            QVERIFY(h.desktop.reports().isEmpty());
            QVERIFY(h.form.MouseIcon.has_value());
        }
        for (const QByteArray& junk : {QByteArray(), QByteArray("not a picture"),
                                       QByteArray("\0\0\2\0\1\0", 6) + QByteArray(16, '\xff')}) {
            Harness h;
            QFile f(h.folder() + "/HAND-M.CUR");
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(junk);
            f.close();
            QVERIFY(h.load());
            QCOMPARE(h.desktop.reportSteps(), std::vector<int>{120});
            QVERIFY(!h.form.MouseIcon);
        }
    }

    void everyStepFailingInTurn() {
        // With the connection not creatable: 110, then 112 twice (State and Close), then 114.
        {
            Harness h;
            h.createFailure = [](const QString&) { return true; };
            QVERIFY(h.load());
            QCOMPARE(h.desktop.reportSteps(), (std::vector<int>{110, 112, 112, 114}));
            QCOMPARE(h.controls.filterCount(), 7);
        }
        const std::vector<int> steps = {106, 110, 112, 114, 116, 118, 120, 122, 140,
                                        142, 144, 146, 148, 150, 152, 154, 156, 158};
        for (int step : steps) {
            Harness h;
            QVERIFY(QFile::copy(binDir() + "/HAND-M.CUR", h.folder() + "/HAND-M.CUR"));
            h.faults = failOnce("Form_Load", {step});
            QVERIFY2(h.load(), qPrintable(QString::number(step)));
            std::vector<int> expected{step};
            if (step == 110) // no connection: its State, Close and Open fail too
                expected = {110, 112, 112, 114};
            if (step == 112) // the failed State test goes on to Close, on a closed connection
                expected = {112, 112};
            if (step == 140) // without the first entry the stored index 0 selects another one
                expected = {140};
            QCOMPARE(h.desktop.reportSteps(), expected);
            QCOMPARE(h.controls.filterCount(), step >= 140 && step <= 152 ? 6 : 7);
        }
        // The database check failing goes to the message and the end.
        Harness h;
        h.faults = [](const QString& handler, int s) { return handler == "Form_Load" && s == 100; };
        QVERIFY(!h.load());
        QCOMPARE(h.desktop.reportSteps(), std::vector<int>{100});
        QVERIFY(h.desktop.messages().first().endsWith("dbWords.mdb not found."));
    }

    void homePageRoll() {
        for (double r : {0.0, 0.0599, 0.06, 0.0699999, 0.07, 0.999999}) {
            Harness h;
            h.roll = r;
            QVERIFY(h.load());
            const bool seven = r >= 0.06 && r < 0.07;
            QCOMPARE(h.desktop.openedUrls,
                     seven ? QStringList{"https://www.tallowick.example/"} : QStringList{});
        }
    }

    void closeIsNeverRefused() {
        Harness h;
        QVERIFY(h.load());
        bool cancel = false;
        int yieldsBefore = h.desktop.yields;
        Startup::Form_QueryUnload(h.form, cancel, 0);
        QVERIFY(!cancel);
        QCOMPARE(h.desktop.yields, yieldsBefore + 1);
        QVERIFY_THROWS_EXCEPTION(ProgramEnded, Startup::Form_Unload(h.form, cancel));
        QVERIFY(h.desktop.ended);
    }

    // The read-ahead's database must be the one start-up opens later.
    void earlyProgramFolderIsQts() {
        QCOMPARE(earlyProgramFolder(), QCoreApplication::applicationDirPath());
    }
};

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"

#include "clipboard.h"
#include "editing.h"
#include "harness.h"
#include "steps.h"

#include <QtTest>

using namespace lexivane;
using namespace lexivane::testing;

class ErrorReportTest : public QObject {
    Q_OBJECT
  private slots:
    void textHasTheExactSeparators() {
        const QString t =
            errorReportText("File not found", "in Vandrel2021/08/31.Form1.PushButton5_Click ", 118);
        QCOMPARE(
            t,
            QString("File not found\r\nin Vandrel2021/08/31.Form1.PushButton5_Click at line "
                    "118\r\rPlease email screenshot of this message to support@tallowick.example"));
        QVERIFY(errorReportText("", "in x ", 100).startsWith("\r\nin x at line 100\r\r"));
    }

    void failingStepIsReportedAndTheNextStepRuns() {
        ScriptedDesktop d;
        Steps s(d, "in Vandrel2021/08/31.Form1.PushButton2_Click ");
        QStringList ran;
        QVERIFY(!s.run(100, [&] {
            throw AppError("first");
            ran << "100";
        }));
        QVERIFY(s.run(102, [&] { ran << "102"; }));
        QVERIFY(!s.run(104, [&] { throw std::runtime_error("second"); }));
        QCOMPARE(ran, QStringList{"102"});
        QCOMPARE(d.reportSteps(), (std::vector<int>{100, 104}));
        QVERIFY(d.reports()[0].startsWith(
            "first\r\nin Vandrel2021/08/31.Form1.PushButton2_Click at line 100"));
        QVERIFY(d.reports()[1].startsWith("second\r\n"));
        QCOMPARE(d.boxes[0].style, 48);
        QCOMPARE(d.boxes[0].title, QString("Application Error"));
    }

    void failingTestEntersWhatItGuards() {
        ScriptedDesktop d;
        Steps s(d, "in Vandrel2021/08/31.Form1.Form_Load ");
        QVERIFY(s.test(100, [&]() -> bool { throw AppError("x"); }));
        QVERIFY(!s.test(
            102, [&]() -> bool { throw AppError("y"); }, false));
        QVERIFY(!s.test(104, [] { return false; }));
        QCOMPARE(d.reportSteps(), (std::vector<int>{100, 102}));
    }

    void programEndIsNeverSwallowed() {
        ScriptedDesktop d;
        Steps s(d, "in Vandrel2021/08/31.Form1.Form_QueryUnload ");
        QVERIFY_THROWS_EXCEPTION(ProgramEnded, s.run(100, [&] { d.endProgram(); }));
        QVERIFY(d.reports().isEmpty());
    }

    void faultHookNamesHandlerAndStep() {
        Harness h;
        QVERIFY(h.load());
        h.desktop.boxes.clear();
        QList<QPair<QString, int>> asked;
        const StepFaultHook once = failOnce("PushButton2_Click", {100, 102});
        h.faults = [&](const QString& handler, int step) {
            asked << qMakePair(handler, step);
            return once(handler, step);
        };
        h.controls.ListItems.Add("w");
        Results::PushButton2_Click(h.form);
        // Both steps fail: two reports in order; the failed pointer test still clears.
        QCOMPARE(h.desktop.reportSteps(), (std::vector<int>{100, 102}));
        QCOMPARE(h.controls.ListItems.Count(), 0);
        QVERIFY(h.desktop.reports()[0].contains("Form1.PushButton2_Click at line 100"));
        QCOMPARE(asked.first(), qMakePair(QString("PushButton2_Click"), 100));
    }

    void copyFailureStillConfirms() {
        Harness h;
        QVERIFY(h.load());
        h.desktop.boxes.clear();
        h.controls.ListItems.Add("w");
        h.faults = [](const QString& handler, int step) {
            return handler == "PushButton5_Click" && step == 118;
        };
        Results::PushButton5_Click(h.form);
        QCOMPARE(h.desktop.boxes.size(), size_t(2));
        QVERIFY(h.desktop.boxes[0].text.contains(
            "\r\nin Vandrel2021/08/31.Form1.PushButton5_Click at line 118\r\r"));
        QVERIFY(
            h.desktop.boxes[1].text.startsWith("Results have been copied to the clipboard.\r\r"));
        QVERIFY(!h.desktop.clipboardHasText);
    }
};

QTEST_MAIN(ErrorReportTest)
#include "tst_error_report.moc"

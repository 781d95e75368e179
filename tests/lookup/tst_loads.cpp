#include "harness.h"
#include "late_bound.h"
#include "loads.h"

#include <QFile>
#include <QtTest>
#include <sqlite3.h>

using namespace lexivane;
using namespace lexivane::testing;

namespace {
const QStringList kWords = {"dog", "a",  "cat",   "I",  "bird", "apple",   "at", "émigré",
                            "Cat", "be", "zebra", "ox", "tree", "abcdefg", "x"};

// The SQL texts the connection runs, as sent.
struct SqlTrace {
    QStringList statements;
    explicit SqlTrace() {
        sqlite3_trace_v2(
            ado::as<ado::Connection>(Globals::dbConnection).handle(), SQLITE_TRACE_STMT,
            [](unsigned, void* ctx, void* p, void*) {
                auto* self = static_cast<SqlTrace*>(ctx);
                self->statements << QString::fromUtf8(sqlite3_sql(static_cast<sqlite3_stmt*>(p)));
                return 0;
            },
            this);
    }
    ~SqlTrace() {
        sqlite3_trace_v2(ado::as<ado::Connection>(Globals::dbConnection).handle(), 0, nullptr,
                         nullptr);
    }
};

QStringList sortedReference(QStringList words) {
    std::stable_sort(words.begin(), words.end(), referenceLess);
    return words;
}
} // namespace

class LoadsTest : public QObject {
    Q_OBJECT
  private slots:
    void fixedEntries() {
        Harness h(kWords);
        QVERIFY(h.load());
        const QList<QStringList> expected = {{"a", "I", "x"},
                                             {"at", "be", "ox"},
                                             {"cat", "Cat", "dog"},
                                             {"bird", "tree"},
                                             {"apple", "zebra"}};
        for (int entry = 0; entry < 5; ++entry) {
            h.choose(entry);
            QCOMPARE(h.desktop.memorySettings.combo1(), QString::number(entry));
            SqlTrace trace;
            h.desktop.pointers.clear();
            Lookup::PushButton1_Click(h.form);
            QCOMPARE(trace.statements,
                     QStringList{QString("select word from words where len(word)=%1 order by word")
                                     .arg(entry + 1)});
            QCOMPARE(h.listed(), expected[entry]);
            QCOMPARE(h.header(),
                     QString("Result(s) - Total Words: %1").arg(expected[entry].size()));
            QCOMPARE(h.desktop.pointers, (std::vector<int>{11, 0}));
            QCOMPARE(h.controls.PushButton1, QString("Display Filtered List"));
        }
        QVERIFY(h.desktop.reports().isEmpty());
        QCOMPARE(h.desktop.yields, 5); // one per load
        QVERIFY(h.desktop.boxes.empty());
    }

    void numberEntry_data() {
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<QString>("n");
        QTest::addColumn<int>("prompts");
        QTest::newRow("6") << QStringList{"6"} << "6" << 1;
        QTest::newRow("blanks") << QStringList{" 7 "} << "7" << 1;
        QTest::newRow("6.5") << QStringList{"6.5"} << "6" << 1;
        QTest::newRow("7.5") << QStringList{"7.5"} << "8" << 1;
        QTest::newRow("-2") << QStringList{"-2"} << "-2" << 1;
        QTest::newRow("1,3,4") << QStringList{"1,3,4"} << "134" << 1;
        QTest::newRow("empty, cancelled, letters") << QStringList{"", "", "abc", "5"} << "5" << 4;
    }
    void numberEntry() {
        QFETCH(QStringList, answers);
        QFETCH(QString, n);
        QFETCH(int, prompts);
        Harness h(kWords);
        QVERIFY(h.load());
        h.choose(5);
        h.desktop.inputAnswers.assign(answers.begin(), answers.end());
        SqlTrace trace;
        Lookup::PushButton1_Click(h.form);
        QCOMPARE(trace.statements,
                 QStringList{"select word from words where len(word)=" + n + " order by word"});
        int shownPrompts = 0;
        for (const ShownBox& b : h.desktop.boxes) {
            if (b.kind != "input") continue;
            ++shownPrompts;
            QCOMPARE(b.text, QString("Enter Number of Letter(s)"));
            QCOMPARE(b.title, QString("Input Number Of Letter"));
            QCOMPARE(b.defaultText, QString("1"));
        }
        QCOMPARE(shownPrompts, prompts);
        QCOMPARE(h.desktop.messages(),
                 QStringList(QList<QString>(prompts - 1, "Must be a numeric entry.")));
        QVERIFY(h.desktop.reports().isEmpty());
        if (n == "7") QCOMPARE(h.listed(), QStringList{"abcdefg"});
    }

    void numberEntryOverflow() {
        Harness h(kWords);
        QVERIFY(h.load());
        h.choose(5);
        h.desktop.inputAnswers = {"40000"};
        Lookup::PushButton1_Click(h.form);
        QCOMPARE(h.desktop.reportSteps(), (std::vector<int>{154, 172, 174, 176, 180}));
        QVERIFY(h.desktop.reports()[0].startsWith("Overflow\r\n"));
        QVERIFY(h.listed().isEmpty());
        QCOMPARE(h.header(), QString("Result(s) - Total Words: 0"));
        QCOMPARE(h.form.MousePointer(), 0);
        QCOMPARE(h.controls.PushButton1, QString("Display Filtered List"));
    }

    void listEntry() {
        Harness h(kWords);
        QVERIFY(h.load());
        h.choose(6);
        h.desktop.inputAnswers = {"abc", "1,3,4"};
        SqlTrace trace;
        Lookup::PushButton1_Click(h.form);
        QCOMPARE(trace.statements,
                 QStringList{"select word from words where len(word) in (1,3,4) order by word"});
        QCOMPARE(h.desktop.messages(), QStringList{"Must be a numeric entry."});
        const auto& prompt = h.desktop.boxes[0];
        QCOMPARE(prompt.text, QString("Enter Number of Letter(s) separated by comma"));
        QCOMPARE(prompt.title, QString("Input Number Of Letter"));
        QCOMPARE(prompt.defaultText, QString("1,3,4"));
        QCOMPARE(h.listed(), (QStringList{"a", "bird", "cat", "Cat", "dog", "I", "tree", "x"}));

        // Blanks around the commas, as a user of a locale with a decimal comma types it.
        h.desktop.inputAnswers = {"1.3.4", "2 , 5"};
        h.desktop.boxes.clear();
        SqlTrace again;
        Lookup::PushButton1_Click(h.form);
        QCOMPARE(again.statements,
                 QStringList{"select word from words where len(word) in (2,5) order by word"});
        QCOMPARE(h.desktop.messages(), QStringList{"Must be a numeric entry."});
        QVERIFY(h.desktop.reports().isEmpty());
    }

    void noEntrySelected() {
        Harness h(kWords);
        h.desktop.memorySettings.values["Tallowick/Lexivane/Combo1"] = "-1";
        QVERIFY(h.load());
        h.controls.ListItems.Add("old");
        h.desktop.pointers.clear();
        Lookup::PushButton1_Click(h.form);
        QCOMPARE(h.desktop.reportSteps(), (std::vector<int>{172, 174, 176, 180}));
        QVERIFY(h.listed().isEmpty());
        QCOMPARE(h.header(), QString("Result(s) - Total Words: 0"));
        QCOMPARE(h.controls.PushButton1, QString("Display Filtered List"));
        QCOMPARE(h.desktop.pointers, std::vector<int>{0});
        for (const ShownBox& b : h.desktop.boxes)
            QVERIFY(b.kind != "input");
    }

    void failedQueryEmptiesTheList() {
        Harness h(QStringList{});
        QFile f(h.folder() + "/dbWords.mdb");
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("junk");
        f.close();
        QVERIFY(h.load());
        h.desktop.boxes.clear();
        h.controls.ListItems.Add("old");
        Lookup::PushButton3_Click(h.form);
        QCOMPARE(h.desktop.reportSteps(), (std::vector<int>{116, 124, 126, 128, 132}));
        QVERIFY(h.listed().isEmpty());
        QCOMPARE(h.header(), QString("Result(s) - Total Words: 0"));
        QVERIFY(!h.desktop.topmost);
        QCOMPARE(h.desktop.topmostCalls, (std::vector<bool>{true, false}));
        QCOMPARE(h.form.MousePointer(), 0);
        QCOMPARE(h.controls.PushButton3, QString("Display Entire List"));
        QCOMPARE(h.desktop.yields, 2);

        h.desktop.boxes.clear();
        h.controls.ListItems.Add("old");
        Lookup::PushButton1_Click(h.form);
        QCOMPARE(h.desktop.reportSteps(), (std::vector<int>{116, 172, 174, 176, 180}));
        QVERIFY(h.listed().isEmpty());
        QCOMPARE(h.form.MousePointer(), 0);
    }

    void noRecordsetFailsEveryStepThatNeedsIt() {
        Harness h(kWords);
        QVERIFY(h.load());
        h.desktop.boxes.clear();
        h.createFailure = [](const QString& id) { return id.endsWith("RecordSet"); };
        Lookup::PushButton3_Click(h.form);
        // Each step of the row loop looks for the recordset and fails on its own, once.
        QCOMPARE(h.desktop.reportSteps(),
                 (std::vector<int>{100, 116, 124, 126, 128, 132, 134, 134}));
        const QStringList reports = h.desktop.reports();
        for (qsizetype i = 1; i < reports.size(); ++i)
            QVERIFY2(reports[i].startsWith("Object variable or With block variable not set"),
                     qPrintable(reports[i]));
        QVERIFY(h.listed().isEmpty());
        QCOMPARE(h.controls.PushButton3, QString("Display Entire List"));
    }

    void entireListAndItsOrderOfEvents() {
        Harness h(kWords);
        QVERIFY(h.load());
        SqlTrace trace;
        std::vector<QString> captionAtYield;
        std::vector<bool> topmostAtYield;
        std::vector<int> pointerAtYield;
        h.desktop.onYield = [&](int) {
            captionAtYield.push_back(h.controls.PushButton3);
            topmostAtYield.push_back(h.desktop.topmost);
            pointerAtYield.push_back(h.form.MousePointer());
        };
        Lookup::PushButton3_Click(h.form);
        QCOMPARE(trace.statements, QStringList{"select word from words order by word"});
        QCOMPARE(h.listed(), sortedReference(kWords));
        QCOMPARE(h.header(), QString("Result(s) - Total Words: %1").arg(kWords.size()));
        QCOMPARE(captionAtYield, (std::vector<QString>{"Stop", "Stop"}));
        QCOMPARE(topmostAtYield, (std::vector<bool>{true, false}));
        QCOMPARE(pointerAtYield, (std::vector<int>{0, 11}));
        QCOMPARE(h.controls.PushButton3, QString("Display Entire List"));
        QCOMPARE(h.form.MousePointer(), 0);
    }

    void stopClickPendingAtTheYield() {
        Harness h(kWords);
        QVERIFY(h.load());
        h.desktop.yieldActions = {[&] { Lookup::PushButton1_Click(h.form); }};
        Lookup::PushButton1_Click(h.form);
        QCOMPARE(h.listed(), QStringList{"a"});
        QCOMPARE(h.header(), QString("Result(s) - Total Words: 1"));
        QCOMPARE(h.controls.PushButton1, QString("Display Filtered List"));
        QVERIFY(h.form.stopFlag);

        for (int yieldAt : {1, 2}) {
            h.desktop.yieldActions.clear();
            for (int i = 1; i < yieldAt; ++i)
                h.desktop.yieldActions.push_back(nullptr);
            h.desktop.yieldActions.push_back([&] { Lookup::PushButton3_Click(h.form); });
            Lookup::PushButton3_Click(h.form);
            QCOMPARE(h.listed().size(), 1);
            QCOMPARE(h.controls.PushButton3, QString("Display Entire List"));
        }
    }

    void otherLoadInsideTheYield() {
        // An entire-list load inside the filtered load's yield: the filtered load then
        // empties the list and shows its own words.
        {
            Harness h(kWords);
            QVERIFY(h.load());
            h.choose(2);
            h.desktop.yieldActions = {[&] { Lookup::PushButton3_Click(h.form); }};
            Lookup::PushButton1_Click(h.form);
            QCOMPARE(h.listed(), (QStringList{"cat", "Cat", "dog"}));
            QCOMPARE(h.header(), QString("Result(s) - Total Words: 3"));
            // the nested load overwrote the shared saved caption
            QCOMPARE(h.controls.PushButton1, QString("Display Entire List"));
            QCOMPARE(h.controls.PushButton3, QString("Display Entire List"));
        }
        // A filtered load inside the entire list's second yield: the entire list is
        // appended behind its words and the header counts both.
        {
            Harness h(kWords);
            QVERIFY(h.load());
            h.choose(3);
            h.desktop.yieldActions = {nullptr, [&] { Lookup::PushButton1_Click(h.form); }};
            Lookup::PushButton3_Click(h.form);
            QStringList expected = {"bird", "tree"};
            expected += sortedReference(kWords);
            QCOMPARE(h.listed(), expected);
            QCOMPARE(h.header(), QString("Result(s) - Total Words: %1").arg(expected.size()));
            QCOMPARE(h.form.MousePointer(), 0);
            // the nested load overwrote the shared saved caption
            QCOMPARE(h.controls.PushButton3, QString("Display Filtered List"));
        }
    }

    void closeRequestInsideTheYieldEndsTheProgram() {
        Harness h(kWords);
        QVERIFY(h.load());
        h.controls.ListItems.Add("before");
        h.desktop.yieldActions = {[&] { h.closeWindow(); }};
        QVERIFY_THROWS_EXCEPTION(ProgramEnded, Lookup::PushButton1_Click(h.form));
        QVERIFY(h.desktop.ended);
        QCOMPARE(h.listed(), QStringList{"before"}); // the load did not go on
        QVERIFY(h.desktop.reports().isEmpty());
    }

    void everyLoadStepFailing() {
        Harness h(kWords);
        QVERIFY(h.load());
        std::vector<int> all;
        for (int s = 100; s <= 192; s += 2)
            all.push_back(s);
        h.faults = failOnce("PushButton1_Click", all);
        Lookup::PushButton1_Click(h.form);
        h.faults = nullptr;
        const auto steps = h.desktop.reportSteps();
        QVERIFY(std::is_sorted(steps.begin(), steps.end()));
        QCOMPARE(steps.front(), 100);
        QCOMPARE(steps.back(), 188); // the load ran to its last step
    }

    void sampleDatabase() {
        Harness h(QStringList{});
        QVERIFY(QFile::copy(testData("words/sample-3000.mdb"), h.folder() + "/dbWords.mdb"));
        QVERIFY(h.load());
        QVERIFY(h.desktop.reports().isEmpty());
        const QStringList words = sampleWords();
        QCOMPARE(words.size(), 3000);
        for (int entry = 0; entry < 5; ++entry) {
            h.choose(entry);
            Lookup::PushButton1_Click(h.form);
            QStringList expected;
            for (const QString& w : words)
                if (w.toUcs4().size() == entry + 1) expected << w;
            QCOMPARE(h.listed(), sortedReference(expected));
        }
        Lookup::PushButton3_Click(h.form);
        QCOMPARE(h.listed(), sortedReference(words));
        QCOMPARE(h.header(), QString("Result(s) - Total Words: 3000"));
    }

    void shippedDatabase() {
        Harness h(QStringList{});
        QVERIFY(QFile::copy(binDir() + "/dbWords.mdb", h.folder() + "/dbWords.mdb"));
        QVERIFY(h.load());
        Lookup::PushButton3_Click(h.form);
        const QStringList all = h.listed();
        QVERIFY(all.size() > 200000);
        QCOMPARE(h.header(), QString("Result(s) - Total Words: %1").arg(all.size()));
        // Base letters never go backwards (the finer levels are checked on the sample list).
        QString previous;
        for (const QString& w : all) {
            const QString key = primaryKey(w);
            QVERIFY2(previous <= key, qPrintable(previous + " " + key));
            previous = key;
        }
        h.choose(4);
        Lookup::PushButton1_Click(h.form);
        QStringList five;
        for (const QString& w : all)
            if (w.size() == 5) five << w;
        QCOMPARE(h.listed(), five);
    }
};

QTEST_MAIN(LoadsTest)
#include "tst_loads.moc"

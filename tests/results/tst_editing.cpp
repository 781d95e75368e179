#include "editing.h"
#include "harness.h"

#include <QtTest>

using namespace lexivane;
using namespace lexivane::testing;

namespace {
void fill(Harness& h, const QStringList& words) {
    for (const QString& w : words)
        h.controls.ListItems.Add(w);
}
} // namespace

class EditingTest : public QObject {
    Q_OBJECT
  private slots:
    void deleteKeyWithAnyModifiers() {
        Harness h;
        QVERIFY(h.load());
        fill(h, {"a", "b", "c", "d", "e"});
        h.controls.ListItems.setHeaderText("Result(s) - Total Words: 5");
        for (int shift : {0, 1, 2, 4 | 1}) {
            h.controls.selected = 2;
            int key = Qt::Key_Delete;
            Results::ListView1_KeyDown(h.form, key, shift);
            QCOMPARE(key, int(Qt::Key_Delete)); // the key goes on unchanged
        }
        QCOMPARE(h.listed(), QStringList{"a"});
        QCOMPARE(h.header(), QString("Result(s) - Total Words: 5")); // removal keeps the count
        h.controls.selected = 1;
        for (int other : {int(Qt::Key_Backspace), int(Qt::Key_X)}) {
            int key = other;
            Results::ListView1_KeyDown(h.form, key, 0);
        }
        QCOMPARE(h.listed(), QStringList{"a"});
        int key = Qt::Key_Delete;
        Results::ListView1_KeyDown(h.form, key, 0);
        QVERIFY(h.listed().isEmpty());
        QVERIFY(h.desktop.boxes.empty());
    }

    void doubleClickRemovesTheSelectedWord() {
        Harness h;
        QVERIFY(h.load());
        fill(h, {"apple", "banana", "fig"});
        h.controls.selected = 3;
        Results::ListView1_DblClick(h.form);
        QCOMPARE(h.listed(), (QStringList{"apple", "banana"}));
        h.controls.selected = 0;
        Results::ListView1_DblClick(h.form); // nothing selected: nothing happens
        QCOMPARE(h.listed().size(), 2);
    }

    void nothingWhileBusyOrEmpty() {
        Harness h;
        QVERIFY(h.load());
        Results::ListView1_DblClick(h.form); // empty list
        fill(h, {"a", "b"});
        h.controls.selected = 1;
        h.form.setMousePointer(11);
        Results::ListView1_DblClick(h.form);
        int key = Qt::Key_Delete;
        Results::ListView1_KeyDown(h.form, key, 0);
        QCOMPARE(h.listed().size(), 2);
        h.form.setMousePointer(1);
        Results::ListView1_DblClick(h.form);
        QCOMPARE(h.listed(), QStringList{"b"});
    }

    void clearResults() {
        Harness h;
        QVERIFY(h.load());
        Results::PushButton2_Click(h.form); // empty list
        QCOMPARE(h.header(), QString("Result(s)"));
        fill(h, {"a", "b"});
        h.controls.ListItems.setHeaderText("Result(s) - Total Words: 2");
        h.form.setMousePointer(11);
        Results::PushButton2_Click(h.form);
        QCOMPARE(h.listed().size(), 2); // busy: the words stay
        QCOMPARE(h.header(), QString("Result(s)"));
        h.form.setMousePointer(0);
        Results::PushButton2_Click(h.form);
        QVERIFY(h.listed().isEmpty());
        QVERIFY(h.desktop.reports().isEmpty());
    }
};

QTEST_GUILESS_MAIN(EditingTest)
#include "tst_editing.moc"

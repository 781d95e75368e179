#include "harness.h"

#include <QItemSelectionModel>
#include <QTreeView>
#include <QtTest>

using namespace lexivane;
using namespace lexivane::testing;

namespace {
void fill(Form1& f, const QStringList& words) {
    for (const QString& w : words)
        f.ListItems->Add(w);
    QCoreApplication::processEvents();
}
void select(Form1& f, int row) {
    f.ListView1->selectionModel()->select(f.ListItems->index(row - 1, 0),
                                          QItemSelectionModel::ClearAndSelect |
                                              QItemSelectionModel::Rows);
}
QStringList words(Form1& f) {
    QStringList out;
    for (int i = 1; i <= f.ListItems->Count(); ++i)
        out << f.ListItems->Text(i);
    return out;
}
} // namespace

class EditingTest : public QObject {
    Q_OBJECT
  private slots:
    void deleteKeyWithAnyModifiers() {
        Harness h;
        QVERIFY(h.load());
        Form1& f = h.form();
        fill(f, {"a", "b", "c", "d", "e"});
        f.ListItems->setHeaderText("Result(s) - Total Words: 5");
        for (Qt::KeyboardModifiers mods :
             {Qt::KeyboardModifiers(Qt::NoModifier), Qt::KeyboardModifiers(Qt::ShiftModifier),
              Qt::KeyboardModifiers(Qt::ControlModifier), Qt::AltModifier | Qt::ShiftModifier}) {
            select(f, 2);
            QTest::keyClick(f.ListView1, Qt::Key_Delete, mods);
        }
        QCOMPARE(words(f), QStringList{"a"});
        QCOMPARE(h.header(), QString("Result(s) - Total Words: 5")); // removal keeps the count
        select(f, 1);
        QTest::keyClick(f.ListView1, Qt::Key_Backspace);
        QTest::keyClick(f.ListView1, Qt::Key_X);
        QCOMPARE(words(f), QStringList{"a"});
        int key = 46;
        f.ListView1_KeyDown(key, 0);
        QCOMPARE(key, 46); // the key goes on unchanged
        QVERIFY(words(f).isEmpty());
        QVERIFY(h.desktop.boxes.empty());
    }

    void doubleClickRemovesTheSelectedWordWherever() {
        Harness h;
        QVERIFY(h.load());
        Form1& f = h.form();
        f.resize(f.size());
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        fill(f, {"apple", "banana", "fig"});
        select(f, 3);
        // below the last word
        QTest::mouseDClick(f.ListView1->viewport(), Qt::LeftButton, {},
                           QPoint(5, f.ListView1->viewport()->height() - 3));
        QCOMPARE(words(f), (QStringList{"apple", "banana"}));
        f.ListView1->selectionModel()->clearSelection();
        f.ListView1_DblClick(); // nothing selected: nothing happens
        QCOMPARE(words(f).size(), 2);
    }

    void nothingWhileBusyOrEmpty() {
        Harness h;
        QVERIFY(h.load());
        Form1& f = h.form();
        f.ListView1_DblClick(); // empty list
        fill(f, {"a", "b"});
        select(f, 1);
        f.setMousePointer(11);
        f.ListView1_DblClick();
        int key = 46;
        f.ListView1_KeyDown(key, 0);
        QCOMPARE(words(f).size(), 2);
        f.setMousePointer(1);
        f.ListView1_DblClick();
        QCOMPARE(words(f), QStringList{"b"});
    }

    void clearResults() {
        Harness h;
        QVERIFY(h.load());
        Form1& f = h.form();
        f.PushButton2_Click(); // empty list
        QCOMPARE(h.header(), QString("Result(s)"));
        fill(f, {"a", "b"});
        f.ListItems->setHeaderText("Result(s) - Total Words: 2");
        f.setMousePointer(11);
        f.PushButton2_Click();
        QCOMPARE(words(f).size(), 2); // busy: the words stay
        QCOMPARE(h.header(), QString("Result(s)"));
        f.setMousePointer(0);
        f.PushButton2_Click();
        QVERIFY(words(f).isEmpty());
        QVERIFY(h.desktop.reports().isEmpty());
    }
};

QTEST_MAIN(EditingTest)
#include "tst_editing.moc"

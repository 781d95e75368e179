// The window read as assistive technology reads it, through QAccessible in the process. (The
// offscreen platform has no accessibility bridge, so no events are sent here: the end-to-end
// tests hear them through Orca.)
#include "window_harness.h"

#include <QAccessible>
#include <QPushButton>
#include <QTreeView>
#include <QtTest>

using namespace lexivane;
using namespace lexivane::testing;

namespace {
// The window's notice of what the last command did.
QString notice(Form1& f) {
    QAccessibleInterface* window = QAccessible::queryAccessibleInterface(&f);
    QAccessibleInterface* last = window->child(window->childCount() - 1);
    return last && last->role() == QAccessible::Notification ? last->text(QAccessible::Name)
                                                             : QString();
}
} // namespace

class AccessibilityTest : public QObject {
    Q_OBJECT
  private slots:
    void listReadThroughQAccessible() {
        WindowHarness h;
        QVERIFY(h.loadAndShow());
        Form1& f = h.window();
        f.PushButton3->click(); // Display Entire List
        QCoreApplication::processEvents();
        QAccessibleInterface* list = QAccessible::queryAccessibleInterface(f.ListView1);
        QAccessibleTableInterface* table = list->tableInterface();
        QVERIFY(table);
        const int n = int(kSomeWords.size());
        QCOMPARE(table->rowCount(), n);
        QCOMPARE(list->text(QAccessible::Description), Text::totalWords + QString::number(n));
        QAccessibleInterface* cell = table->cellAt(1, 0);
        QCOMPARE(cell->text(QAccessible::Name), f.ListItems->Text(2));
        // Qt makes the header cells anew for each caller, who owns them.
        const QList<QAccessibleInterface*> headers =
            cell->tableCellInterface()->columnHeaderCells();
        const QString header = headers.value(0) ? headers[0]->text(QAccessible::Name) : QString();
        for (QAccessibleInterface* made : headers)
            QAccessible::deleteAccessibleInterface(QAccessible::registerAccessibleInterface(made));
        QCOMPARE(header, list->text(QAccessible::Description));
        QVERIFY(!cell->state().checked);

        // Ticked on the current row: the row says so, and so does the notice.
        f.ListView1->setFocus();
        f.ListView1->setCurrentIndex(f.ListItems->index(1, 0));
        for (const bool tick : {true, false}) {
            f.ListItems->setChecked(2, tick);
            QCOMPARE(bool(cell->state().checked), tick);
            QCOMPARE(notice(f), f.ListItems->Text(2) + (tick ? " checked" : " not checked"));
        }
    }

    // What each command is heard to have done.
    void commandsTold_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("told");
        QTest::newRow("Display Entire List") << "PushButton3"
                                             << "6 words in the list";
        QTest::newRow("Display Filtered List, 1-letter") << "PushButton1"
                                                         << "1 word in the list";
        QTest::newRow("Clear Results") << "PushButton2"
                                       << "The list is empty";
    }
    void commandsTold() {
        QFETCH(QString, button);
        QFETCH(QString, told);
        WindowHarness h;
        QVERIFY(h.loadAndShow());
        h.window().setFilterIndex(0);
        if (button == "PushButton2") h.window().PushButton3->click();
        h.window().findChild<QPushButton*>(button)->click();
        QCOMPARE(notice(h.window()), told);
    }
};

QTEST_MAIN(AccessibilityTest)
#include "tst_accessibility.moc"

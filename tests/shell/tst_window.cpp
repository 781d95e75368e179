#include "window_harness.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMouseEvent>
#include <QPushButton>
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
void moveOver(QWidget* w) {
    QMouseEvent e(QEvent::MouseMove, QPointF(2, 2), w->mapToGlobal(QPointF(2, 2)), Qt::NoButton,
                  Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &e);
}
} // namespace

class WindowTest : public QObject {
    Q_OBJECT
  private slots:
    void layoutAt96Dpi() {
        WindowHarness h;
        QVERIFY(h.load());
        Form1& f = h.window();
        if (f.px(1440) != 96) QSKIP("screen is not at 96 DPI");
        QCOMPARE(f.size(), QSize(536, 434));
        QCOMPARE(f.minimumSize(), f.maximumSize());
        QCOMPARE(f.Frame1->geometry(), QRect(8, 8, 520, 85));
        QCOMPARE(f.Combo1->geometry(), QRect(16, 20, 488, 23));
        QCOMPARE(f.PushButton1->geometry(), QRect(16, 48, 488, 27));
        QCOMPARE(f.Combo1->parentWidget(), f.Frame1);
        QCOMPARE(f.PushButton1->parentWidget(), f.Frame1);
        QCOMPARE(f.PushButton3->geometry(), QRect(8, 101, 520, 27));
        QCOMPARE(f.ListView1->geometry(), QRect(8, 135, 520, 225));
        QCOMPARE(f.PushButton4->geometry(), QRect(8, 366, 256, 27));
        QCOMPARE(f.PushButton2->geometry(), QRect(8, 400, 256, 27));
        QCOMPARE(f.PushButton5->geometry(), QRect(272, 366, 256, 27));
        QCOMPARE(f.PushButton6->geometry(), QRect(272, 400, 256, 27));
        QCOMPARE(f.ListView1->columnWidth(0), 487); // 7300 twips
    }

    void captionsFontsAndFlags() {
        WindowHarness h;
        QVERIFY(h.load());
        Form1& f = h.window();
        QCOMPARE(f.Frame1->title(), QString("Filter By Length Of Word"));
        QCOMPARE(f.PushButton1->text(), QString("Display Filtered List"));
        QCOMPARE(f.PushButton3->text(), QString("Display Entire List"));
        QCOMPARE(f.PushButton4->text(), QString("Save Results As Text File"));
        QCOMPARE(f.PushButton2->text(), QString("Clear Results"));
        QCOMPARE(f.PushButton5->text(), QString("Copy Results To Clipboard"));
        QCOMPARE(f.PushButton6->text(), QString("Help"));
        QCOMPARE(f.form().caption(), QString("Lexivane"));
        QCOMPARE(f.ListView1->toolTip(),
                 QString("Double-click item to remove it. Move | line to right and out of window "
                         "to reveal full names."));
        QCOMPARE(f.font().family(), QString("Arial"));
        QCOMPARE(f.font().pointSizeF(), 9.0);
        QVERIFY(f.font().bold());
        for (QPushButton* b : {f.PushButton1, f.PushButton2, f.PushButton3, f.PushButton4,
                               f.PushButton5, f.PushButton6}) {
            QCOMPARE(b->font().pointSizeF(), 11.25);
            QVERIFY(b->font().bold());
            QCOMPARE(b->palette().color(QPalette::Button), QColor(Qt::white));
        }
        QCOMPARE(f.palette().color(QPalette::Window), QColor(Qt::white));
        QVERIFY(!(f.windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(f.windowFlags() & Qt::WindowMinimizeButtonHint);
        QVERIFY(f.windowFlags() & Qt::WindowCloseButtonHint);
        QVERIFY(!f.Combo1->isEditable());
        QVERIFY(!f.ListView1->isHeaderHidden());
        QVERIFY(f.ListView1->header()->sectionResizeMode(0) == QHeaderView::Interactive);
    }

    void tabOrderFollowsTheTabIndices() {
        WindowHarness h;
        QVERIFY(h.load());
        Form1& f = h.window();
        const QList<QWidget*> expected = {f.ListView1,   f.PushButton3, f.PushButton4,
                                          f.PushButton2, f.PushButton5, f.Combo1,
                                          f.PushButton1, f.PushButton6, f.ListView1};
        QWidget* w = f.ListView1;
        for (int i = 1; i < expected.size(); ++i) {
            do
                w = w->nextInFocusChain();
            while (!(w->focusPolicy() & Qt::TabFocus));
            QCOMPARE(w, expected[i]);
        }
        QCOMPARE(f.focusWidget(), f.ListView1);
    }

    void hoverFeedback() {
        WindowHarness h;
        QVERIFY(h.loadAndShow());
        Form1& f = h.window();
        moveOver(f.PushButton3);
        QCOMPARE(f.form().MousePointer(), 99);
        moveOver(f.ListView1->viewport());
        QCOMPARE(f.form().MousePointer(), 0);
        moveOver(f.PushButton1);
        QCOMPARE(f.form().MousePointer(), 99);
        moveOver(f.Combo1); // the drop-down list has no hover feedback of its own
        QCOMPARE(f.form().MousePointer(), 99);
        moveOver(f.Frame1);
        QCOMPARE(f.form().MousePointer(), 0);
        f.form().setMousePointer(1);
        moveOver(f.PushButton6);
        QCOMPARE(f.form().MousePointer(), 99);
        moveOver(&f);
        QCOMPARE(f.form().MousePointer(), 0);
        f.form().setMousePointer(11);
        moveOver(f.PushButton6);
        moveOver(f.ListView1->viewport());
        QCOMPARE(f.form().MousePointer(), 11);
    }

    void helpShowsOneBox() {
        WindowHarness h;
        QVERIFY(h.load());
        h.desktop.boxes.clear();
        h.window().PushButton6_Click();
        QCOMPARE(h.desktop.boxes.size(), size_t(1));
        const ShownBox& b = h.desktop.boxes[0];
        QCOMPARE(b.text, QString("Questions? Please contact Team Tallowick at "
                                 "https://www.tallowick.example/contact/"));
        QCOMPARE(b.style, 0);
        QCOMPARE(b.title, QString("Lexivane"));
        QVERIFY(h.desktop.openedUrls.isEmpty());
    }

    void everyStepOfTheHelpButtonFailing() {
        WindowHarness h;
        QVERIFY(h.load());
        h.desktop.boxes.clear();
        h.faults = [](const QString& handler, int) { return handler == "PushButton6_Click"; };
        h.window().PushButton6_Click();
        QCOMPARE(h.desktop.reportSteps(), (std::vector<int>{100}));
        QCOMPARE(h.desktop.messages().size(), 0);
    }

    // Delete with any modifiers reaches the key handler; other keys remove nothing.
    void deleteKeyReachesTheList() {
        WindowHarness h;
        QVERIFY(h.load());
        Form1& f = h.window();
        fill(f, {"a", "b", "c", "d", "e"});
        for (Qt::KeyboardModifiers mods :
             {Qt::KeyboardModifiers(Qt::NoModifier), Qt::KeyboardModifiers(Qt::ShiftModifier),
              Qt::KeyboardModifiers(Qt::ControlModifier), Qt::AltModifier | Qt::ShiftModifier}) {
            select(f, 2);
            QTest::keyClick(f.ListView1, Qt::Key_Delete, mods);
        }
        QCOMPARE(wordsOf(*f.ListItems), QStringList{"a"});
        select(f, 1);
        QTest::keyClick(f.ListView1, Qt::Key_Backspace);
        QTest::keyClick(f.ListView1, Qt::Key_X);
        QCOMPARE(wordsOf(*f.ListItems), QStringList{"a"});
    }

    void doubleClickRemovesTheSelectedWordWherever() {
        WindowHarness h;
        QVERIFY(h.loadAndShow());
        Form1& f = h.window();
        fill(f, {"apple", "banana", "fig"});
        select(f, 3);
        // below the last word
        QTest::mouseDClick(f.ListView1->viewport(), Qt::LeftButton, {},
                           QPoint(5, f.ListView1->viewport()->height() - 3));
        QCOMPARE(wordsOf(*f.ListItems), (QStringList{"apple", "banana"}));
    }

    // Two quick clicks on a row's check box tick it and untick it; they remove no word. Two
    // on the row's text remove the selected word.
    void doubleClickOnACheckBoxRemovesNothing() {
        WindowHarness h;
        QVERIFY(h.loadAndShow());
        Form1& f = h.window();
        fill(f, {"apple", "banana", "fig"});
        QWidget* list = f.ListView1->viewport();
        // the check box of row 3: where a click ticks it
        const int y = f.ListView1->visualRect(f.ListItems->index(2, 0)).center().y();
        int box = -1;
        for (int x = 0; x < 60 && box < 0; ++x) {
            QTest::mouseClick(list, Qt::LeftButton, {}, QPoint(x, y));
            if (f.ListItems->isChecked(3)) box = x;
        }
        QVERIFY(box >= 0);
        QTest::mouseClick(list, Qt::LeftButton, {}, QPoint(box, y)); // unticked again
        QVERIFY(!f.ListItems->isChecked(3));
        const int y2 = f.ListView1->visualRect(f.ListItems->index(1, 0)).center().y();
        QTest::mouseClick(list, Qt::LeftButton, {}, QPoint(200, y2));
        QCOMPARE(f.form().controls().selectedResult(), 2);
        auto doubleClick = [&](QPoint at) {
            QTest::mousePress(list, Qt::LeftButton, {}, at);
            QTest::mouseRelease(list, Qt::LeftButton, {}, at);
            QTest::mouseDClick(list, Qt::LeftButton, {}, at);
            QTest::mouseRelease(list, Qt::LeftButton, {}, at);
        };
        doubleClick(QPoint(box, y));
        QCOMPARE(wordsOf(*f.ListItems), (QStringList{"apple", "banana", "fig"}));
        QVERIFY(!f.ListItems->isChecked(3));
        QCOMPARE(f.form().controls().selectedResult(), 2);
        doubleClick(QPoint(200, y));
        QCOMPARE(wordsOf(*f.ListItems), (QStringList{"apple", "banana"}));
    }

    void skinPaintsTheWindow() {
        {
            WindowHarness h;
            QVERIFY(h.load());
            QCOMPARE(h.window().palette().color(QPalette::Window), QColor(Qt::white));
            QVERIFY(h.window().styleSheet().isEmpty());
        }
        WindowHarness h;
        QVERIFY(writeSkin(h.folder(), QByteArray("QPushButton { color: navy; }\n")));
        QVERIFY(h.load());
        QVERIFY(h.desktop.reports().isEmpty());
        const QColor face = QApplication::palette().color(QPalette::Button);
        QCOMPARE(h.window().palette().color(QPalette::Window), face);
        QCOMPARE(h.window().Frame1->palette().color(QPalette::Window), face);
        QVERIFY(h.window().styleSheet().contains("navy"));
    }
};

QTEST_MAIN(WindowTest)
#include "tst_window.moc"

#include "harness.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPushButton>
#include <QTreeView>
#include <QtTest>

using namespace lexivane;
using namespace lexivane::testing;

namespace {
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
        Harness h;
        QVERIFY(h.load());
        Form1& f = h.form();
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
        Harness h;
        QVERIFY(h.load());
        Form1& f = h.form();
        QCOMPARE(f.Frame1->title(), QString("Filter By Length Of Word"));
        QCOMPARE(f.PushButton1->text(), QString("Display Filtered List"));
        QCOMPARE(f.PushButton3->text(), QString("Display Entire List"));
        QCOMPARE(f.PushButton4->text(), QString("Save Results As Text File"));
        QCOMPARE(f.PushButton2->text(), QString("Clear Results"));
        QCOMPARE(f.PushButton5->text(), QString("Copy Results To Clipboard"));
        QCOMPARE(f.PushButton6->text(), QString("Help"));
        QCOMPARE(f.caption(), QString("Lexivane"));
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
        Harness h;
        QVERIFY(h.load());
        Form1& f = h.form();
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
        Harness h;
        QVERIFY(h.load());
        Form1& f = h.form();
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        moveOver(f.PushButton3);
        QCOMPARE(f.MousePointer(), 99);
        moveOver(f.ListView1->viewport());
        QCOMPARE(f.MousePointer(), 0);
        moveOver(f.PushButton1);
        QCOMPARE(f.MousePointer(), 99);
        moveOver(f.Combo1); // the drop-down list has no hover feedback of its own
        QCOMPARE(f.MousePointer(), 99);
        moveOver(f.Frame1);
        QCOMPARE(f.MousePointer(), 0);
        f.setMousePointer(1);
        moveOver(f.PushButton6);
        QCOMPARE(f.MousePointer(), 99);
        moveOver(&f);
        QCOMPARE(f.MousePointer(), 0);
        f.setMousePointer(11);
        moveOver(f.PushButton6);
        moveOver(f.ListView1->viewport());
        QCOMPARE(f.MousePointer(), 11);
    }

    void helpShowsOneBox() {
        Harness h;
        QVERIFY(h.load());
        h.desktop.boxes.clear();
        h.form().PushButton6_Click();
        QCOMPARE(h.desktop.boxes.size(), size_t(1));
        const ShownBox& b = h.desktop.boxes[0];
        QCOMPARE(b.text, QString("Questions? Please contact Team Tallowick at "
                                 "https://www.tallowick.example/contact/"));
        QCOMPARE(b.style, 0);
        QCOMPARE(b.title, QString("Lexivane"));
        QVERIFY(h.desktop.openedUrls.isEmpty());
    }

    void resultsListBatchesViewUpdates() {
        Harness h;
        QVERIFY(h.load());
        ResultsModel* m = h.form().ListItems;
        QSignalSpy inserted(m, &QAbstractItemModel::rowsInserted);
        for (int i = 0; i < 1000; ++i)
            m->Add(QString::number(i));
        QCOMPARE(m->Count(), 1000);
        QCOMPARE(m->rowCount(QModelIndex()), 0); // views hear nothing while the loop runs
        QCoreApplication::processEvents();
        QCOMPARE(m->rowCount(QModelIndex()), 1000);
        QCOMPARE(inserted.size(), 1);
        QVERIFY(m->flags(m->index(0, 0)) & Qt::ItemIsUserCheckable);
        QCOMPARE(m->data(m->index(0, 0), Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
        m->Add("late");
        m->Remove(1); // publishes the pending word first
        QCOMPARE(m->rowCount(QModelIndex()), 1000);
        QCOMPARE(m->Text(1000), QString("late"));
        QVERIFY_THROWS_EXCEPTION(AppError, m->Text(1001));
        QVERIFY_THROWS_EXCEPTION(AppError, m->Remove(0));
    }
};

QTEST_MAIN(WindowTest)
#include "tst_window.moc"

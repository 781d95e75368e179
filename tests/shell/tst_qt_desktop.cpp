// The real desktop, on the offscreen platform: what the scripted one stands in for.

#include "globals.h"
#include "late_bound.h"
#include "qt_desktop.h"
#include "startup.h"
#include "window_harness.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QWindow>
#include <QtTest>

using namespace lexivane;
using namespace lexivane::testing;

namespace {
// Boxes answered without a person; everything else as the program has it.
struct QuietDesktop : QtDesktop {
    using QtDesktop::QtDesktop;
    int messageBox(const QString& text, int, const QString&) override {
        shown << text;
        return AnswerOk;
    }
    QString inputBox(const QString&, const QString&, const QString&) override { return "3"; }
    void yield() override {
        QtDesktop::yield();
        ++yields;
        if (onYield) onYield(yields);
    }
    QStringList shown;
    int yields = 0;
    std::function<void(int)> onYield;
};

// A click as the window system delivers it: press and release, with their times, queued.
void postClick(QWidget* button, quint64 at) {
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        const QPointF inside(5, 5);
        auto* e = new QMouseEvent(type, inside, button->mapToGlobal(inside), Qt::LeftButton,
                                  type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                                  Qt::NoModifier);
        e->setTimestamp(type == QEvent::MouseButtonPress ? at : at + 1);
        QCoreApplication::postEvent(button, e);
    }
}

// The shipped word list in a program folder of its own, and the window on it.
struct ShippedWindow {
    ShippedWindow() : fixture(QStringList{}) {
        QFile::copy(binDir() + "/dbWords.mdb", fixture.folder() + "/dbWords.mdb");
        form = std::make_unique<Form1>(
            AppContext{&desktop, fixture.folder(), [] { return 0.5; }, {}, {}});
        desktop.setMainWindow(form.get());
        Startup::Form_Load(form->form());
        form->show();
    }
    QTemporaryDir settings;
    QuietDesktop desktop{settings.path()};
    Fixture fixture;
    std::unique_ptr<Form1> form;
};
} // namespace

class QtDesktopTest : public QObject {
    Q_OBJECT
  private slots:
    void boxTextBreaksLinesOnce() {
        QCOMPARE(displayText("a\r\nb\rc\nd\r\re"), QString("a\nb\nc\nd\n\ne"));
    }

    void pendingStopClickIsHandledInTheYield() {
        QTemporaryDir settings;
        QuietDesktop desktop(settings.path());
        Fixture h(kSomeWords); // for its program folder and database
        Form1 form({&desktop, h.folder(), [] { return 0.5; }, {}, {}});
        desktop.setMainWindow(&form);
        Startup::Form_Load(form.form());
        QVERIFY(desktop.shown.isEmpty());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        // the second click waits in the queue while the first one runs
        QMetaObject::invokeMethod(form.PushButton1, &QPushButton::click, Qt::QueuedConnection);
        form.PushButton1->click();
        QCOMPARE(form.ListItems->Count(), 1);
        QCOMPARE(form.ListItems->headerText(), QString("Result(s) - Total Words: 1"));
        QCOMPARE(form.PushButton1->text(), QString("Display Filtered List"));
        QCoreApplication::processEvents();
        QCOMPARE(form.ListItems->rowCount(QModelIndex()), 1);
    }

    // A Stop click during the rows waits until the load is over; it must not start another.
    void stopDuringTheRowsStartsNoSecondLoad() {
        ShippedWindow w;
        Form1& form = *w.form;
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(ado::as<ado::Connection>(Globals::dbConnection).State(), 1); // table built
        QSignalSpy loads(form.ListItems, &QAbstractItemModel::modelAboutToBeReset);
        // the Stop click comes when the load has yielded for the last time
        w.desktop.onYield = [&](int n) {
            if (n == 2) postClick(form.PushButton3, 1020);
        };
        postClick(form.PushButton3, 1000);
        QTRY_VERIFY(form.ListItems->headerText().startsWith("Result(s) - Total Words: "));
        QTest::qWait(200); // whatever was queued has run
        QCOMPARE(loads.size(), 1);
        const int all = form.ListItems->Count();
        QVERIFY(all > 200000);
        QCOMPARE(form.PushButton3->text(), QString("Display Entire List"));
        QVERIFY(w.desktop.shown.isEmpty());

        // A click well after the load is a new load.
        w.desktop.onYield = nullptr;
        postClick(form.PushButton3, 1000000);
        QTRY_COMPARE(loads.size(), 2);
        QTRY_COMPARE(form.ListItems->Count(), all);
    }

    // The first load waits for the word table while it opens its query; a Stop click then is
    // seen in the yield before the rows.
    void stopWhileTheFirstLoadWaitsForTheTable() {
        ShippedWindow w;
        Form1& form = *w.form;
        w.desktop.onYield = [&](int n) {
            if (n == 1) postClick(form.PushButton3, 1020);
        };
        postClick(form.PushButton3, 1000);
        QTRY_COMPARE(form.ListItems->headerText(), QString("Result(s) - Total Words: 1"));
        QTest::qWait(200);
        QCOMPARE(form.ListItems->Count(), 1);
        QCOMPARE(form.PushButton3->text(), QString("Display Entire List"));
    }

    void settingsLandInTheFolder() {
        QTemporaryDir settings;
        QuietDesktop desktop(settings.path());
        Fixture h(kSomeWords);
        Form1 form({&desktop, h.folder(), [] { return 0.5; }, {}, {}});
        Startup::Form_Load(form.form());
        QVERIFY(QFile::exists(settings.filePath("Tallowick.conf")));
        form.Combo1->setCurrentIndex(4);
        emit form.Combo1->activated(4);
        QCOMPARE(desktop.settings().GetSetting("Tallowick", "Lexivane", "Combo1", "x"),
                 QString("4"));
    }

    void topmostKeepsTheWindow() {
        QTemporaryDir settings;
        QtDesktop desktop(settings.path());
        QWidget w;
        desktop.setMainWindow(&w);
        QVERIFY_THROWS_EXCEPTION(AppError, desktop.setTopmost(true)); // no handle yet
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const WId id = w.winId();
        const QRect geometry = w.geometry();
        desktop.setTopmost(true);
        QVERIFY(w.windowHandle()->flags() & Qt::WindowStaysOnTopHint);
        desktop.setTopmost(false);
        QVERIFY(!(w.windowHandle()->flags() & Qt::WindowStaysOnTopHint));
        QVERIFY(w.isVisible());
        QCOMPARE(w.winId(), id);
        QCOMPARE(w.geometry(), geometry);
    }

    void titleSettlesOnTheLastValue() {
        QTemporaryDir settings;
        QtDesktop desktop(settings.path());
        QWidget w;
        desktop.setMainWindow(&w);
        for (int i = 1; i <= 5000; ++i)
            desktop.setWindowTitle(QString("Copying %1 of 5000").arg(i));
        QTRY_COMPARE(w.windowTitle(), QString("Copying 5000 of 5000"));
    }

    void pointerShapes() {
        QTemporaryDir settings;
        QtDesktop desktop(settings.path());
        QWidget w;
        desktop.setMainWindow(&w);
        desktop.showPointer(11, std::nullopt);
        QCOMPARE(w.cursor().shape(), Qt::WaitCursor);
        desktop.showPointer(99, std::nullopt); // no picture: the standard arrow
        QCOMPARE(w.cursor().shape(), Qt::ArrowCursor);
        desktop.showPointer(99, QCursor(Qt::PointingHandCursor));
        QCOMPARE(w.cursor().shape(), Qt::PointingHandCursor);
        desktop.showPointer(0, std::nullopt);
        QCOMPARE(w.cursor().shape(), Qt::ArrowCursor);
    }

    // The Help box's address is copied with the keyboard alone: Tab to the text, select it
    // all, copy.
    void boxTextCopiesByKeyboard() {
        QTemporaryDir settings;
        QtDesktop desktop(settings.path());
        QGuiApplication::clipboard()->clear();
        QString copied;
        QTimer::singleShot(0, [&] {
            QWidget* box = QApplication::activeModalWidget();
            QVERIFY(box && QTest::qWaitForWindowActive(box));
            // Tab round the box until the text has the focus (the button first has it).
            for (int i = 0; i < 3 && !QApplication::focusWidget()->inherits("QLabel"); ++i)
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_C, Qt::ControlModifier);
            copied = QGuiApplication::clipboard()->text();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        });
        desktop.messageBox("Questions: https://www.tallowick.example/contact/", MsgOk, "Help");
        QVERIFY2(copied.contains("https://www.tallowick.example/contact/"), qPrintable(copied));
    }

    void clipboardRoundTrip() {
        QTemporaryDir settings;
        QtDesktop desktop(settings.path());
        QVERIFY(desktop.clipboardClear());
        QVERIFY(desktop.clipboardSetText("apple\r\nfig\r\n"));
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("apple\r\nfig\r\n"));
    }
};

QTEST_MAIN(QtDesktopTest)
#include "tst_qt_desktop.moc"

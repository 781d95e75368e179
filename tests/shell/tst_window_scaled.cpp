// The window at a fractional scale (the suite runs this with QT_SCALE_FACTOR=1.5): every edge
// of every control on a whole device pixel, and the list's frame as wide as that grid, so
// that no frame line falls between pixels and gets painted over.

#include "window_harness.h"

#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>
#include <QTreeView>
#include <QtTest>

using namespace lexivane;
using namespace lexivane::testing;

class ScaledWindowTest : public QObject {
    Q_OBJECT
  private slots:
    void edgesOnWholePixels() {
        WindowHarness h;
        QVERIFY(h.load());
        Form1& f = h.window();
        const double ratio = f.devicePixelRatioF();
        if (ratio != 1.5) QSKIP("not at a scale of 1.5");
        auto onPixels = [&](QWidget* w) {
            const QRect r(w->mapTo(&f, QPoint(0, 0)), w->size());
            for (int edge : {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()})
                if (edge % 2 != 0) return false;
            return true;
        };
        for (QWidget* w : std::initializer_list<QWidget*>{
                 &f, f.Frame1, f.Combo1, f.PushButton1, f.PushButton2, f.PushButton3, f.PushButton4,
                 f.PushButton5, f.PushButton6, f.ListView1})
            QVERIFY2(onPixels(w), qPrintable(w->objectName()));
        QCOMPARE(f.ListView1->frameWidth(), 2);
        // the layout is the same window, a pixel or so here and there
        QVERIFY(qAbs(f.ListView1->geometry().top() - 135) <= 1);
        QVERIFY(qAbs(f.ListView1->geometry().height() - 225) <= 1);
        QCOMPARE(f.size(), QSize(536, 434));
    }
};

QTEST_MAIN(ScaledWindowTest)
#include "tst_window_scaled.moc"

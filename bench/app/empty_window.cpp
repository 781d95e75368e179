// bench_empty_window [--rss]: a bare QWidget window, the reference the start-up and memory
// figures are put beside. With --rss it prints "VmHWM VmRSS" in kB once shown, then exits.

#include "bench_util.h"
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QWidget>
#include <cstdio>

using lexivane::bench::statusKb;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // Same style as the program, so both load the same style code.
    QApplication::setStyle(QStringLiteral("Fusion"));
    QWidget w;
    w.setWindowTitle(QStringLiteral("Empty"));
    w.resize(640, 480);
    w.show();
    if (app.arguments().contains(QStringLiteral("--rss"))) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 200)
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        std::printf("%lld %lld\n", statusKb("VmHWM:"), statusKb("VmRSS:"));
        return 0;
    }
    return app.exec();
}

#pragma once

#include "bench_util.h"

// The real desktop with its boxes answered by the benchmark: yields, the title bar and
// the clipboard stay real, since those are what the timed handlers spend their time on.

#include "shell/qt_desktop.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <functional>

namespace lexivane::bench {

class BenchDesktop : public QtDesktop {
  public:
    using QtDesktop::QtDesktop;

    int messageBox(const QString& text, int style, const QString& title) override {
        (void)title;
        messages << text;
        if (onMessage) onMessage();
        return (style & 0x7) == MsgYesNo ? AnswerYes : AnswerOk;
    }
    QString inputBox(const QString&, const QString&, const QString&) override { return input; }
    QString saveDialog(const SaveDialogRequest&) override { return savePath; }

    QString input;        // what the input box answers
    QString savePath;     // what the save dialog answers
    QStringList messages; // every box shown, error reports included
    std::function<void()> onMessage;
};

// Serves events for a while, so what a click queued has run.
inline void settle(int ms = 50) {
    QElapsedTimer t;
    t.start();
    do
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    while (t.elapsed() < ms);
}

inline double msSince(const QElapsedTimer& t) {
    return double(t.nsecsElapsed()) / 1e6;
}

} // namespace lexivane::bench

#pragma once

// The real desktop with its boxes answered by the benchmark: yields, the title bar and
// the clipboard stay real, since those are what the timed handlers spend their time on.

#include "shell/qt_desktop.h"

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

inline long long statusKb(const char* key) {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(qstrlen(key)).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

inline double msSince(const QElapsedTimer& t) {
    return double(t.nsecsElapsed()) / 1e6;
}

} // namespace lexivane::bench

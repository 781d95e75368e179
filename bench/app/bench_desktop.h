#pragma once

#include "bench_util.h"

// The real desktop with its boxes answered by the benchmark: yields, the title bar and
// the clipboard stay real, since those are what the timed handlers spend their time on.

#include "qt_desktop.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <cstdio>
#include <functional>
#include <sqlite3.h>

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

// Wall time of a whole command with its output in a file; -1 when it failed.
inline double runTool(const QString& program, const QStringList& args, const QString& out,
                      const QStringList& env = {}, int timeoutMs = 300000) {
    QProcess p;
    if (!env.isEmpty()) {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        for (const QString& kv : env)
            e.insert(kv.section(u'=', 0, 0), kv.section(u'=', 1));
        p.setProcessEnvironment(e);
    }
    p.setStandardOutputFile(out);
    QElapsedTimer t;
    t.start();
    p.start(program, args);
    if (!p.waitForFinished(timeoutMs) || p.exitStatus() != QProcess::NormalExit) return -1;
    const double ms = msSince(t);
    // grep says 1 when nothing matched; that is still a finished run.
    return p.exitCode() <= 1 ? ms : -1;
}

// The words of DB, as the reader helper in BIN gives them, as plain TEXT and as a SQLite file
// with the program's two indexes, so that grep and sqlite3 meet them at their best.
inline bool writeReferenceCopies(const QString& bin, const QString& db, const QString& text,
                                 const QString& sqliteCopy, int timeoutMs) {
    QProcess p;
    p.setStandardOutputFile(text);
    p.start(QDir(bin).filePath(QStringLiteral("lexivane-words")), {db});
    if (!p.waitForFinished(timeoutMs) || p.exitCode() != 0) {
        std::fprintf(stderr, "lexivane-words failed on %s\n", qPrintable(db));
        return false;
    }
    QFile f(text);
    if (!f.open(QIODevice::ReadOnly)) return false;
    const QList<QByteArray> words = f.readAll().split('\n');
    sqlite3* s = nullptr;
    sqlite3_open(QFile::encodeName(sqliteCopy).constData(), &s);
    sqlite3_exec(s, "create table words(word text); begin", nullptr, nullptr, nullptr);
    sqlite3_stmt* ins = nullptr;
    sqlite3_prepare_v2(s, "insert into words values(?)", -1, &ins, nullptr);
    for (const QByteArray& w : words) {
        if (w.isEmpty()) continue;
        sqlite3_bind_text(ins, 1, w.constData(), int(w.size()), SQLITE_TRANSIENT);
        sqlite3_step(ins);
        sqlite3_reset(ins);
    }
    sqlite3_finalize(ins);
    sqlite3_exec(s,
                 "commit; create index words_by_word on words(word);"
                 "create index words_by_len on words(length(word), word);",
                 nullptr, nullptr, nullptr);
    return sqlite3_close(s) == SQLITE_OK;
}

} // namespace lexivane::bench

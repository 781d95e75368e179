// bench_db [FILE]: times Open, the whole sorted list and one length on the shipped word
// database, beside the same work done by the sqlite3 shell on a SQLite copy of the same words,
// and the memory Open adds to an empty window. FILE defaults to dbWords.mdb beside the program.
// Prints figures only; pass/fail belongs to people reading them.

#include "ado.h"
#include "bench_util.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <sqlite3.h>
#include <vector>

using lexivane::ado::Connection;
using lexivane::ado::Recordset;

using lexivane::bench::median;
using lexivane::bench::statusKb;

namespace {

constexpr int kRuns = 7;

void showEmptyWindow(QWidget& w) {
    w.resize(400, 300);
    w.show();
    for (int i = 0; i < 20; ++i) {
        QApplication::processEvents();
        QThread::msleep(5);
    }
}

double timeMs(const std::function<void()>& f) {
    QElapsedTimer t;
    t.start();
    f();
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

int fetchAll(Connection& c, const QString& sql) {
    Recordset rs;
    rs.Open(sql, &c, 3, 1);
    int n = 0;
    while (!rs.Eof()) {
        QString w = rs.Fields(0).Value();
        n += !w.isNull();
        rs.MoveNext();
    }
    rs.Close();
    return n;
}

// Runs a script through the sqlite3 shell with ".timer on"; returns each statement's
// "Run Time: real" in ms.
std::vector<double> shellTimes(const QString& shell, const QString& db, const QString& script) {
    QProcess p;
    p.start(shell, {db});
    p.write((QStringLiteral(".timer on\n.output /dev/null\n") + script).toUtf8());
    p.closeWriteChannel();
    p.waitForFinished(120000);
    std::vector<double> times;
    static const QRegularExpression re(QStringLiteral("Run Time: real ([0-9.]+)"));
    auto it = re.globalMatch(QString::fromUtf8(p.readAllStandardOutput()));
    while (it.hasNext())
        times.push_back(it.next().captured(1).toDouble() * 1000.0);
    return times;
}

void row(const char* what, double ours, double shell, double target) {
    if (shell > 0)
        std::printf(
            "%-34s %9.2f ms   sqlite3 shell %8.2f ms   ratio %6.2f   target <= %5.0f ms%s\n", what,
            ours, shell, ours / shell, target, ours <= target ? "" : "   OVER");
    else
        std::printf(
            "%-34s %9.2f ms   sqlite3 shell      n/a                  target <= %5.0f ms%s\n", what,
            ours, target, ours <= target ? "" : "   OVER");
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.contains(QStringLiteral("--baseline"))) {
        QWidget w;
        showEmptyWindow(w);
        std::printf("%lld %lld\n", statusKb("VmHWM:"), statusKb("VmRSS:"));
        return 0;
    }
    const QString file =
        args.isEmpty() ? QDir(app.applicationDirPath()).filePath("dbWords.mdb") : args.first();
    if (!QFile::exists(file)) {
        std::fprintf(stderr, "bench_db: %s not found (build target lexivane_dbwords)\n",
                     qPrintable(file));
        return 1;
    }
    const QString connStr = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source= ") + file;
    const QString all = QStringLiteral("select word from words order by word");
    const QString five = QStringLiteral("select word from words where len(word)=5 order by word");

    QWidget window;
    showEmptyWindow(window);

    // Memory first, while the process has done nothing but show the window and open once.
    qint64 hwm = 0, rss = 0;
    int total = 0, fives = 0;
    {
        Connection c;
        c.Open(connStr);
        total = fetchAll(c, all);
        fives = fetchAll(c, five);
        hwm = statusKb("VmHWM:");
        rss = statusKb("VmRSS:");
    }
    qint64 baseHwm = -1, baseRss = -1;
    {
        QProcess base;
        base.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--baseline")});
        base.waitForFinished(60000);
        const QList<QByteArray> f = base.readAllStandardOutput().trimmed().split(' ');
        if (f.size() == 2) baseHwm = f[0].toLongLong(), baseRss = f[1].toLongLong();
    }

    std::vector<double> openMs, allMs, fiveMs;
    for (int i = 0; i < kRuns; ++i) {
        Connection c;
        // Open returns once the file is read; the table is ready when State() answers.
        openMs.push_back(timeMs([&] {
            c.Open(connStr);
            c.State();
        }));
        allMs.push_back(timeMs([&] { fetchAll(c, all); }));
        fiveMs.push_back(timeMs([&] { fetchAll(c, five); }));
    }

    // The same words as a SQLite file, for the shell.
    QTemporaryDir tmp;
    const QString copy = tmp.filePath(QStringLiteral("words.sqlite"));
    {
        Connection c;
        c.Open(connStr);
        const QByteArray attach = "attach '" + QFile::encodeName(copy) + "' as copy";
        sqlite3_exec(c.handle(), attach.constData(), nullptr, nullptr, nullptr);
        sqlite3_exec(c.handle(),
                     "create table copy.words(word text);"
                     "insert into copy.words select word from main.words order by rowid;"
                     "create index copy.words_by_word on words(word);"
                     "create index copy.words_by_len on words(length(word), word);",
                     nullptr, nullptr, nullptr);
        sqlite3_exec(c.handle(), "detach copy", nullptr, nullptr, nullptr);
    }
    const QString shell = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    double shellOpen = -1, shellAll = -1, shellFive = -1;
    if (!shell.isEmpty()) {
        // Open's counterpart: load the same words into memory and index them the same way.
        std::vector<double> loads;
        for (int i = 0; i < kRuns; ++i) {
            const auto t = shellTimes(
                shell, QStringLiteral(":memory:"),
                QStringLiteral("attach '%1' as src;\ncreate table words(word text);\n"
                               "insert into words select word from src.words;\n"
                               "create index words_by_word on words(word);\n"
                               "create index words_by_len on words(length(word), word);\n")
                    .arg(copy));
            double sum = 0;
            for (double x : t)
                sum += x;
            loads.push_back(sum);
        }
        shellOpen = median(loads);
        QString script;
        for (int i = 0; i < kRuns; ++i)
            script += QStringLiteral("select word from words order by word;\n");
        shellAll = median(shellTimes(shell, copy, script));
        script.clear();
        for (int i = 0; i < kRuns; ++i)
            script +=
                QStringLiteral("select word from words where length(word)=5 order by word;\n");
        shellFive = median(shellTimes(shell, copy, script));
    }

    std::printf("file %s: %d words, %d of length 5; median of %d runs\n", qPrintable(file), total,
                fives, kRuns);
    std::printf("shell side: Open = copy the words from a SQLite file into memory and build the "
                "same two indexes (binary order, length()); queries on that file, output to "
                "/dev/null\n");
    row("Open", median(openMs), shellOpen, 400);
    row("entire list, every row fetched", median(allMs), shellAll, 100);
    row("length 5, every row fetched", median(fiveMs), shellFive, 10);
    std::printf("memory: peak %lld kB (RSS %lld kB) after Open and both queries; empty window "
                "peak %lld kB (RSS %lld kB); Open adds %.1f MB peak (target <= 60 MB)\n",
                hwm, rss, baseHwm, baseRss, static_cast<double>(hwm - baseHwm) / 1024.0);
    return 0;
}

// bench_loads [RUNS]: the three list loads of the real window (offscreen platform, the real
// desktop with its boxes answered), timed from the click to the header count written:
// the entire list, "5-letters" and the number list "1,3,4". Beside each: grep -xE over a
// plain text copy of the same words and the sqlite3 shell on a SQLite copy, both made in
// this run from `lexivane-words dbWords.mdb` and timed in this run. Then the peak memory
// with the entire list shown, beside an empty QWidget window process. Figures only.

#include "bench_desktop.h"

#include "db_reader.h"
#include "form1.h"
#include "globals.h"
#include "loads.h"
#include "results_model.h"
#include "startup.h"
#include "wordstore.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <sqlite3.h>
#include <vector>

using namespace lexivane;
using namespace lexivane::bench;

namespace {

qsizetype lineCount(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return -1;
    return f.readAll().count('\n');
}

struct Load {
    const char* name;
    int comboIndex; // -1: Display Entire List
    QString input;
    QString grepPattern;
    QString sqlWhere;
    double target;
    std::vector<double> click = {}, view = {}, grep = {}, sqlite = {};
    int count = 0;
    qsizetype grepCount = -1, sqliteCount = -1;
};

} // namespace

int main(int argc, char** argv) {
    // The offscreen platform unless the caller chose one.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    const QString bin = QCoreApplication::applicationDirPath();
    const QString db = QDir(bin).filePath(QStringLiteral("dbWords.mdb"));
    if (!QFile::exists(db)) {
        std::fprintf(stderr, "bench_loads: %s not found\n", qPrintable(db));
        return 1;
    }
    QTemporaryDir tmp;

    BenchDesktop desktop(tmp.filePath(QStringLiteral("settings")));
    QElapsedTimer startClock;
    startClock.start();
    Form1 form({&desktop, bin, [] { return 0.5; }, {}, {}});
    const double constructed = msSince(startClock);
    desktop.setMainWindow(&form);
    startClock.start();
    Startup::Form_Load(form.form());
    const double formLoad = msSince(startClock);
    startClock.start();
    form.show();
    QApplication::processEvents();
    const double shown = msSince(startClock);
    settle(300);
    if (!desktop.messages.isEmpty()) {
        std::fprintf(stderr, "bench_loads: start-up showed: %s\n",
                     qPrintable(desktop.messages.join(u'|')));
        return 1;
    }

    double headerAt = -1;
    QElapsedTimer clock;
    QObject::connect(form.ListItems, &QAbstractItemModel::headerDataChanged, [&] {
        if (headerAt < 0 && form.ListItems->headerText().startsWith(Text::totalWords))
            headerAt = msSince(clock);
    });

    std::vector<Load> loads;
    loads.push_back({"Display Entire List", -1, {}, QStringLiteral(".*"), QString(), 250});
    // A round goes entire list, 5-letters, "1,3,4", 5-letters: a click pays for clearing
    // what was shown before, so 5-letters is timed after the entire list and after a short list.
    loads.push_back({"5-letters (after entire)",
                     4,
                     {},
                     QStringLiteral(".{5}"),
                     QStringLiteral("where length(word)=5"),
                     30});
    loads.push_back({"list entry \"1,3,4\"", 6, QStringLiteral("1,3,4"),
                     QStringLiteral("(.|.{3}|.{4})"),
                     QStringLiteral("where length(word) in (1,3,4)"), 30});
    loads.push_back({"5-letters (after 1,3,4)",
                     4,
                     {},
                     QStringLiteral(".{5}"),
                     QStringLiteral("where length(word)=5"),
                     30});

    long long hwmEntire = -1, rssEntire = -1;
    auto click = [&](Load& l) {
        if (l.comboIndex >= 0) {
            Lookup::setComboListIndex(form.form(), l.comboIndex);
            desktop.input = l.input;
        }
        settle(20);
        headerAt = -1;
        const qsizetype before = desktop.messages.size();
        clock.start();
        if (l.comboIndex < 0)
            Lookup::PushButton3_Click(form.form());
        else
            Lookup::PushButton1_Click(form.form());
        const double returned = msSince(clock);
        // The views hear of the rows the next time events are processed.
        QApplication::processEvents();
        const double viewed = msSince(clock);
        l.click.push_back(headerAt >= 0 ? headerAt : returned);
        l.view.push_back(viewed);
        l.count = form.ListItems->Count();
        if (desktop.messages.size() != before)
            std::fprintf(stderr, "bench_loads: %s showed: %s\n", l.name,
                         qPrintable(desktop.messages.mid(before).join(u'|')));
    };

    // The first entire list, for the memory figure: as a user who clicks it first.
    click(loads[0]);
    settle(200);
    hwmEntire = statusKb("VmHWM:");
    rssEntire = statusKb("VmRSS:");
    loads[0].click.clear();
    loads[0].view.clear();

    // What a click costs before its query when the entire list is shown: the yield that
    // repaints the pressed button, and clearing the list.
    double yieldMs = -1, clearMs = -1;
    {
        QElapsedTimer t;
        const QString caption = form.PushButton1->text();
        form.PushButton1->setText(Text::stop);
        t.start();
        desktop.yield();
        yieldMs = msSince(t);
        t.start();
        form.ListItems->Clear();
        clearMs = msSince(t);
        form.PushButton1->setText(caption);
        settle(50);
        click(loads[0]);
        loads[0].click.clear();
        loads[0].view.clear();
        settle(100);
    }

    // The same words as plain text and as SQLite, made from the reader helper's output.
    const QString text = tmp.filePath(QStringLiteral("words.txt"));
    const QString sqliteCopy = tmp.filePath(QStringLiteral("words.sqlite"));
    if (!writeReferenceCopies(bin, db, text, sqliteCopy, 120000)) return 1;
    const QString grepTool = QStandardPaths::findExecutable(QStringLiteral("grep"));
    const QString sqliteTool = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    const QString out = tmp.filePath(QStringLiteral("out.txt"));

    // Rounds alternate the three loads and their references, so all meet the same load.
    for (int r = 0; r < runs; ++r) {
        for (Load& l : loads) {
            click(l);
            // Characters, not bytes, as the program's length counts them.
            l.grep.push_back(runTool(grepTool, {QStringLiteral("-xE"), l.grepPattern, text}, out,
                                     {QStringLiteral("LC_ALL=C.UTF-8")}));
            l.grepCount = lineCount(out);
            if (!sqliteTool.isEmpty()) {
                l.sqlite.push_back(runTool(
                    sqliteTool,
                    {sqliteCopy,
                     QStringLiteral("select word from words %1 order by word;").arg(l.sqlWhere)},
                    out));
                l.sqliteCount = lineCount(out);
            }
        }
    }

    std::printf("loads, offscreen, median of %d; from the click to the header count written "
                "(\"+views\": until the views have heard of the rows)\n",
                runs);
    for (Load& l : loads) {
        const double c = median(l.click), v = median(l.view), g = median(l.grep),
                     s = median(l.sqlite);
        std::printf("  %-22s %7d words %8.1f ms (+views %8.1f ms)  grep -xE %7.1f ms (%lld)  "
                    "ratio %6.2f   sqlite3 %7.1f ms (%lld)  ratio %6.2f   target <= %.0f ms%s\n",
                    l.name, l.count, c, v, g, (long long)l.grepCount, g > 0 ? c / g : 0, s,
                    (long long)l.sqliteCount, s > 0 ? c / s : 0, l.target,
                    c <= l.target ? "" : "   (missed)");
    }

    std::printf("  with the entire list shown: one yield %.1f ms, ListItems->Clear() %.1f ms\n",
                yieldMs, clearMs);

    // Where the start-up goes, in this process: the database open is most of Form_Load.
    {
        std::vector<double> read, build;
        db::ReadLimits limits;
        limits.helperPath = QDir(bin).filePath(QStringLiteral("lexivane-words"));
        for (int r = 0; r < std::max(3, runs / 2); ++r) {
            QElapsedTimer t;
            t.start();
            const db::WordTable words = db::readWords(db, limits);
            read.push_back(msSince(t));
            t.start();
            sqlite3* store = db::openStore();
            db::loadWords(store, words);
            build.push_back(msSince(t));
            sqlite3_close(store);
        }
        std::printf("start-up parts (offscreen, first run): Form1() %.1f ms, Form_Load %.1f ms, "
                    "show + first events %.1f ms\n",
                    constructed, formLoad, shown);
        std::printf("  database open, median of %zu: helper read %.1f ms + word store built "
                    "(sort, table and indexes written) %.1f ms\n",
                    read.size(), median(read), median(build));
    }

    long long emptyHwm = -1, emptyRss = -1;
    {
        QProcess p;
        p.start(QDir(bin).filePath(QStringLiteral("bench_empty_window")),
                {QStringLiteral("--rss")});
        p.waitForFinished(60000);
        const QList<QByteArray> f = p.readAllStandardOutput().trimmed().split(' ');
        if (f.size() == 2) emptyHwm = f[0].toLongLong(), emptyRss = f[1].toLongLong();
    }
    std::printf("memory: peak (VmHWM) %.1f MB, RSS %.1f MB with the entire list shown "
                "(target <= 150 MB)%s; empty QWidget window peak %.1f MB, RSS %.1f MB; "
                "ratio of peaks %.2f\n",
                hwmEntire / 1024.0, rssEntire / 1024.0,
                hwmEntire / 1024.0 <= 150 ? "" : " (missed)", emptyHwm / 1024.0, emptyRss / 1024.0,
                emptyHwm > 0 ? double(hwmEntire) / double(emptyHwm) : 0);
    std::printf("memory after all %d rounds: peak %.1f MB, RSS %.1f MB\n", runs,
                statusKb("VmHWM:") / 1024.0, statusKb("VmRSS:") / 1024.0);
    std::fflush(stdout);
    // Past the window's own shut-down, which ends the process at once.
    return 0;
}

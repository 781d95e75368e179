// bench_scale: the program at the sizes of a user's own list (run.sh drives it).
//   bench_scale words N OUT [TRAINING]   N distinct words, one a line, sorted by code point
//   bench_scale loads DIR [RUNS]         the loads of the real window on DIR/dbWords.mdb
//   bench_scale plot CSV PNG             time against list size from run.sh's figures
// Words are made by a letter chain learned from TRAINING (the shipped list's source by
// default), so their lengths, letters, capitals, apostrophes and accents are those of real
// words. Figures only, no verdict.

#include "bench_desktop.h"

#include "form1.h"
#include "globals.h"
#include "loads.h"
#include "results_model.h"
#include "startup.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <cstdio>
#include <random>
#include <sqlite3.h>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

using namespace lexivane;
using namespace lexivane::bench;

namespace {

// ---- words ----

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

int makeWords(long long count, const QString& out, const QString& training) {
    QFile in(training);
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "bench_scale: cannot read %s\n", qPrintable(training));
        return 1;
    }
    // Which letter follows two letters, as often as in the training words; 0 ends a word.
    std::unordered_map<uint64_t, std::vector<char32_t>> next;
    std::unordered_set<std::string> words;
    const QList<QByteArray> lines = in.readAll().split('\n');
    for (const QByteArray& line : lines) {
        const QString w = QString::fromUtf8(line).trimmed();
        if (w.isEmpty()) continue;
        const QList<uint> cps = w.toUcs4();
        if (std::any_of(cps.begin(), cps.end(), [](uint c) { return c > 0xFFFF; })) continue;
        if (qsizetype(words.size()) < count) words.insert(w.toStdString());
        uint64_t a = 0, b = 0;
        for (uint c : cps) {
            next[a << 21 | b].push_back(c);
            a = b;
            b = c;
        }
        next[a << 21 | b].push_back(0);
    }
    std::mt19937_64 rng(12);
    while (qsizetype(words.size()) < count) {
        std::string w;
        uint64_t a = 0, b = 0;
        for (int n = 0; n < 40; ++n) {
            const auto& choices = next[a << 21 | b];
            const char32_t c = choices[rng() % choices.size()];
            if (c == 0) break;
            appendUtf8(w, c);
            a = b;
            b = c;
        }
        if (!w.empty()) words.insert(std::move(w));
    }
    // As `sort -u` in the C locale leaves a merged list.
    std::vector<std::string> sorted(words.begin(), words.end());
    std::sort(sorted.begin(), sorted.end());
    QFile f(out);
    if (!f.open(QIODevice::WriteOnly)) return 1;
    std::string text;
    for (const std::string& w : sorted)
        text += w + '\n';
    f.write(text.data(), qint64(text.size()));
    return 0;
}

// ---- loads ----

int loads(const QString& dir, int runs) {
    QApplication::setStyle(QStringLiteral("Fusion"));
    const QString bin = QCoreApplication::applicationDirPath();
    const QString db = QDir(dir).filePath(QStringLiteral("dbWords.mdb"));
    if (!QFile::exists(db)) {
        std::fprintf(stderr, "bench_scale: %s not found\n", qPrintable(db));
        return 1;
    }
    QTemporaryDir tmp;
    BenchDesktop desktop(tmp.filePath(QStringLiteral("settings")));
    QElapsedTimer clock;
    clock.start();
    Form1 form({&desktop, QDir(dir).absolutePath(), [] { return 0.5; }, {}, {}});
    desktop.setMainWindow(&form);
    Startup::Form_Load(form.form());
    const double formLoad = msSince(clock);
    form.show();
    QApplication::processEvents();
    if (!desktop.messages.isEmpty()) {
        std::fprintf(stderr, "bench_scale: start-up showed: %s\n",
                     qPrintable(desktop.messages.join(u'|')));
        return 1;
    }

    double headerAt = -1;
    QObject::connect(form.ListItems, &QAbstractItemModel::headerDataChanged, [&] {
        if (headerAt < 0 && form.ListItems->headerText().startsWith(Text::totalWords))
            headerAt = msSince(clock);
    });
    int count = 0;
    auto click = [&](bool entire) {
        if (!entire) Lookup::setComboListIndex(form.form(), 4);
        headerAt = -1;
        clock.start();
        if (entire)
            Lookup::PushButton3_Click(form.form());
        else
            Lookup::PushButton1_Click(form.form());
        const double returned = msSince(clock);
        count = form.ListItems->Count();
        return headerAt >= 0 ? headerAt : returned;
    };

    // As a user who clicks at once: this one waits for whatever Open left to do.
    const double first = click(true);
    const int entireCount = count;

    // The same words as text and as a SQLite file with the same two indexes.
    const QString text = tmp.filePath(QStringLiteral("words.txt"));
    const QString sqliteCopy = tmp.filePath(QStringLiteral("words.sqlite"));
    if (!writeReferenceCopies(bin, db, text, sqliteCopy, 300000)) return 1;
    const QString grepTool = QStandardPaths::findExecutable(QStringLiteral("grep"));
    const QString sqliteTool = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    const QString out = tmp.filePath(QStringLiteral("out.txt"));

    std::vector<double> entire, five, shell, grep;
    int fiveCount = 0;
    for (int r = 0; r < runs; ++r) {
        settle(50);
        entire.push_back(click(true));
        settle(50);
        five.push_back(click(false));
        fiveCount = count;
        shell.push_back(
            runTool(sqliteTool,
                    {sqliteCopy, QStringLiteral("select word from words order by word;")}, out));
        grep.push_back(runTool(grepTool, {QStringLiteral("-xE"), QStringLiteral(".{5}"), text}, out,
                               {QStringLiteral("LC_ALL=C.UTF-8")}));
    }
    const double peakMb = double(statusKb("VmHWM:")) / 1024.0;
    const double e = median(entire), f5 = median(five), s = median(shell), g = median(grep);
    std::printf("  %d words: Form_Load %.0f ms; first Display Entire List %.0f ms; later %.0f ms "
                "(sqlite3 shell %.0f ms, ratio %.2f); 5-letters %.1f ms, %d words (grep -xE %.1f "
                "ms, ratio %.2f); peak %.0f MB; median of %d\n",
                entireCount, formLoad, first, e, s, s > 0 ? e / s : 0, f5, fiveCount, g,
                g > 0 ? f5 / g : 0, peakMb, runs);
    std::printf("RESULT %d %.1f %.1f %.1f %.1f %.1f %.1f %.1f %.1f\n", entireCount, formLoad, first,
                e, s, f5, g, peakMb, double(fiveCount));
    std::fflush(stdout);
    return 0;
}

// ---- plot ----

int plot(const QString& csv, const QString& png) {
    QFile f(csv);
    if (!f.open(QIODevice::ReadOnly)) return 1;
    struct Row {
        double words;
        std::vector<double> v;
    };
    std::vector<Row> rows;
    QStringList names;
    QTextStream in(&f);
    names = in.readLine().split(u',');
    while (!in.atEnd()) {
        const QStringList cells = in.readLine().split(u',');
        if (cells.size() != names.size() || cells[0] == QLatin1String("shipped")) continue;
        Row r{cells[1].toDouble(), {}};
        for (qsizetype i = 2; i < cells.size(); ++i)
            r.v.push_back(cells[i].toDouble());
        rows.push_back(r);
    }
    if (rows.empty()) return 1;
    // The series drawn, by column name, with their colours.
    struct Series {
        QString column, label;
        QColor colour;
    };
    const std::vector<Series> series = {
        {QStringLiteral("start_ms"), QStringLiteral("start to window"), QColor(0x44, 0x44, 0x44)},
        {QStringLiteral("first_entire_ms"), QStringLiteral("first Entire List"),
         QColor(0xC0, 0x30, 0x30)},
        {QStringLiteral("later_entire_ms"), QStringLiteral("later Entire List"),
         QColor(0x20, 0x60, 0xC0)},
        {QStringLiteral("sqlite3_ms"), QStringLiteral("sqlite3 sorted select"),
         QColor(0x20, 0xA0, 0xE0)},
        {QStringLiteral("five_ms"), QStringLiteral("5-letters"), QColor(0x20, 0x90, 0x40)},
        {QStringLiteral("grep_ms"), QStringLiteral("grep -xE '.{5}'"), QColor(0x90, 0xC0, 0x40)},
    };
    double maxX = 0, maxY = 0;
    for (const Row& r : rows) {
        maxX = std::max(maxX, r.words);
        for (const Series& one : series) {
            const qsizetype c = names.indexOf(one.column);
            if (c >= 2) maxY = std::max(maxY, r.v[size_t(c - 2)]);
        }
    }
    maxY = std::ceil(maxY / 500.0) * 500.0;
    const int w = 800, h = 440, left = 64, right = 210, top = 20, bottom = 44;
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QFont font = p.font();
    font.setPixelSize(12);
    p.setFont(font);
    auto X = [&](double x) { return left + x / maxX * (w - left - right); };
    auto Y = [&](double y) { return h - bottom - y / maxY * (h - top - bottom); };
    p.setPen(QColor(0xDD, 0xDD, 0xDD));
    for (double y = 0; y <= maxY; y += maxY / 5) {
        p.drawLine(QPointF(left, Y(y)), QPointF(w - right, Y(y)));
        p.setPen(Qt::black);
        p.drawText(QRectF(0, Y(y) - 8, left - 6, 16), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(y, 'f', 0));
        p.setPen(QColor(0xDD, 0xDD, 0xDD));
    }
    p.setPen(Qt::black);
    for (const Row& r : rows)
        p.drawText(QRectF(X(r.words) - 40, h - bottom + 4, 80, 16), Qt::AlignCenter,
                   QStringLiteral("%1 k").arg(r.words / 1000, 0, 'f', 0));
    p.drawText(QRectF(left, h - 20, w - left - right, 16), Qt::AlignCenter,
               QStringLiteral("words in the list"));
    p.drawText(QRectF(4, 2, 200, 16), Qt::AlignLeft, QStringLiteral("ms"));
    p.drawLine(QPointF(left, top), QPointF(left, h - bottom));
    p.drawLine(QPointF(left, h - bottom), QPointF(w - right, h - bottom));
    int legend = 0;
    for (const Series& one : series) {
        const qsizetype c = names.indexOf(one.column);
        if (c < 2) continue;
        QPolygonF line;
        for (const Row& r : rows)
            line << QPointF(X(r.words), Y(r.v[size_t(c - 2)]));
        p.setPen(QPen(one.colour, 2));
        p.drawPolyline(line);
        for (const QPointF& pt : line)
            p.drawEllipse(pt, 3, 3);
        const double ly = top + 10 + 20 * legend++;
        p.drawLine(QPointF(w - right + 12, ly), QPointF(w - right + 36, ly));
        p.setPen(Qt::black);
        p.drawText(QRectF(w - right + 42, ly - 8, right - 44, 16), Qt::AlignLeft | Qt::AlignVCenter,
                   one.label);
    }
    p.end();
    return img.save(png) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString mode = args.value(1);
    if (mode == QLatin1String("words") && args.size() >= 4)
        return makeWords(args[2].toLongLong(), args[3],
                         args.value(4, QStringLiteral(LEXIVANE_TRAINING_WORDS)));
    if (mode == QLatin1String("loads") && args.size() >= 3)
        return loads(args[2], std::max(1, args.value(3, QStringLiteral("5")).toInt()));
    if (mode == QLatin1String("plot") && args.size() == 4) return plot(args[2], args[3]);
    std::fprintf(stderr, "usage: bench_scale words N OUT [TRAINING] | loads DIR [RUNS] | plot CSV "
                         "PNG\n");
    return 2;
}

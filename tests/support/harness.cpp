#include "harness.h"

#include "loads.h"
#include "startup.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTextStream>
#include <algorithm>
#include <memory>
#include <set>

namespace lexivane::testing {

QString binDir() {
    return QStringLiteral(LEXIVANE_BIN_DIR);
}

QString testData(const QString& relative) {
    return QStringLiteral(LEXIVANE_TEST_DATA "/") + relative;
}

StepFaultHook failOnce(const QString& handler, std::vector<int> steps) {
    auto failed = std::make_shared<std::set<int>>();
    return [=](const QString& h, int step) {
        if (h != handler || std::find(steps.begin(), steps.end(), step) == steps.end())
            return false;
        return failed->insert(step).second;
    };
}

bool writeSkin(const QString& programFolder, const QByteArray& bytes) {
    QFile f(programFolder + "/x/o.cjs");
    return QDir(programFolder).mkpath("x") && f.open(QIODevice::WriteOnly) &&
           f.write(bytes) == bytes.size();
}

bool makeDatabase(const QString& path, const QStringList& words) {
    const QString list = path + QStringLiteral(".words");
    QFile f(list);
    if (!f.open(QIODevice::WriteOnly)) return false;
    for (const QString& w : words)
        f.write(w.toUtf8() + '\n');
    f.close();
    // Under Wine a test has, rarely, found no database after this: each failure is logged, so
    // that it can be told from a fault of the test, and the build is tried a second time.
    bool ok = false;
    for (int attempt = 1; attempt <= 2 && !ok; ++attempt) {
        QProcess p;
        p.start(binDir() + QStringLiteral("/lexivane-mkdb"), {list, path});
        const bool finished = p.waitForFinished(60000);
        ok = finished && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0 &&
             QFileInfo(path).isFile();
        if (!ok)
            qWarning("lexivane-mkdb, try %d: %s, exit code %d: %s", attempt,
                     qPrintable(p.errorString()), p.exitCode(),
                     p.readAllStandardError().constData());
    }
    QFile::remove(list);
    return ok;
}

QStringList sampleWords() {
    QFile f(testData(QStringLiteral("words/sample-3000.txt")));
    if (!f.open(QIODevice::ReadOnly)) return {};
    QStringList out;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (!line.trimmed().isEmpty()) out << QString::fromUtf8(line.trimmed());
    return out;
}

namespace {
// A plain, slow statement of the order: base letters (folded, accents and the
// apostrophe and hyphen dropped), then accents, then case (lower first), then how many
// apostrophes and hyphens, then code points. The production collation must agree.
struct RefKey {
    QString primary, accents, cases;
    int ignorables = 0;
};

RefKey refKey(const QString& s) {
    RefKey k;
    auto add = [&](QChar base, const QString& marks, bool upper) {
        k.primary += base.toCaseFolded();
        k.accents += marks + QChar(u'|');
        k.cases += upper ? QChar(u'1') : QChar(u'0');
    };
    for (QChar c : s) {
        if (c == u'\'' || c == u'-') {
            ++k.ignorables;
            continue;
        }
        const bool upper = c.isUpper();
        const QChar lower = c.toLower();
        if (lower == QChar(0xdf)) {
            add(u's', QStringLiteral("~"), upper), add(u's', QStringLiteral("~"), upper);
        } else if (lower == QChar(0xe6)) {
            add(u'a', QStringLiteral("~"), upper), add(u'e', QStringLiteral("~"), upper);
        } else if (lower == QChar(0x153)) {
            add(u'o', QStringLiteral("~"), upper), add(u'e', QStringLiteral("~"), upper);
        } else if (lower == QChar(0xf8)) {
            add(u'o', QString(QChar(0x338)), upper);
        } else if (lower == QChar(0x142)) {
            add(u'l', QString(QChar(0x335)), upper);
        } else if (lower == QChar(0x111)) {
            add(u'd', QString(QChar(0x335)), upper);
        } else {
            const QString d = QString(c).normalized(QString::NormalizationForm_D);
            add(d[0], d.mid(1), upper);
        }
    }
    return k;
}
} // namespace

QString primaryKey(const QString& word) {
    return refKey(word).primary;
}

bool referenceLess(const QString& a, const QString& b) {
    const RefKey x = refKey(a), y = refKey(b);
    if (x.primary != y.primary) return x.primary < y.primary;
    if (x.accents != y.accents) return x.accents < y.accents;
    if (x.cases != y.cases) return x.cases < y.cases;
    if (x.ignorables != y.ignorables) return x.ignorables < y.ignorables;
    return a.toUcs4() < b.toUcs4();
}

Fixture::Fixture(const QStringList& words) {
    Globals::reset();
    if (!words.isEmpty()) makeDatabase(dir.filePath(QStringLiteral("dbWords.mdb")), words);
}

Fixture::~Fixture() {
    Globals::reset();
}

AppContext Fixture::context() {
    AppContext context;
    context.desktop = &desktop;
    context.programFolder = dir.path();
    context.random = [this] { return roll; };
    context.stepFault = [this](const QString& handler, int step) {
        return faults && faults(handler, step);
    };
    context.dataObjects.createFailure = [this](const QString& progId) {
        return createFailure && createFailure(progId);
    };
    return context;
}

Harness::Harness(const QStringList& words) : Fixture(words), form(context(), controls) {}

bool Harness::load() {
    try {
        Startup::Form_Load(form);
        return true;
    } catch (const ProgramEnded&) {
        return false;
    }
}

void Harness::choose(int entry) {
    controls.Combo1Index = entry;
    Lookup::Combo1_Click(form);
}

void Harness::closeWindow() {
    bool cancel = false;
    Startup::Form_QueryUnload(form, cancel, 0);
    Startup::Form_Unload(form, cancel);
}

QStringList Harness::listed() {
    return wordsOf(controls.ListItems);
}

QStringList wordsOf(const ResultsModel& list) {
    QStringList out;
    for (int i = 1; i <= list.Count(); ++i)
        out << list.Text(i);
    return out;
}

} // namespace lexivane::testing

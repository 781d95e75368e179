#include "harness.h"

#include <QDir>
#include <QFile>
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

bool makeDatabase(const QString& path, const QStringList& words) {
    const QString list = path + QStringLiteral(".words");
    QFile f(list);
    if (!f.open(QIODevice::WriteOnly)) return false;
    for (const QString& w : words)
        f.write(w.toUtf8() + '\n');
    f.close();
    QProcess p;
    p.start(binDir() + QStringLiteral("/lexivane-mkdb"), {list, path});
    const bool ok =
        p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
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
// Strips accents by decomposition; a plain and slow rule that the production collation
// must agree with.
QString baseLetters(const QString& s) {
    QString out;
    for (QChar c : s.normalized(QString::NormalizationForm_D))
        if (c.category() != QChar::Mark_NonSpacing) out += c.toCaseFolded();
    return out;
}
QString accentsOnly(const QString& s) {
    QString out;
    for (QChar c : s.toLower().normalized(QString::NormalizationForm_D))
        out += c.category() == QChar::Mark_NonSpacing ? c : QChar(u' ');
    return out;
}
} // namespace

bool referenceLess(const QString& a, const QString& b) {
    if (const int c = baseLetters(a).compare(baseLetters(b)); c != 0) return c < 0;
    if (const int c = accentsOnly(a).compare(accentsOnly(b)); c != 0) return c < 0;
    // lower case before upper case, then code points
    QString ca, cb;
    for (QChar c : a)
        ca += c.isUpper() ? QChar(u'1') : QChar(u'0');
    for (QChar c : b)
        cb += c.isUpper() ? QChar(u'1') : QChar(u'0');
    if (ca != cb) return ca < cb;
    return a < b;
}

Harness::Harness(const QStringList& words) {
    Globals::reset();
    setStepFaultHook(nullptr);
    if (!words.isEmpty()) makeDatabase(dir.filePath(QStringLiteral("dbWords.mdb")), words);
    AppContext context;
    context.desktop = &desktop;
    context.programFolder = dir.path();
    context.random = [this] { return roll; };
    window = std::make_unique<Form1>(context);
}

Harness::~Harness() {
    setStepFaultHook(nullptr);
    window.reset();
    Globals::reset();
}

bool Harness::load() {
    try {
        window->Form_Load();
        return true;
    } catch (const ProgramEnded&) {
        return false;
    }
}

QStringList Harness::listed() const {
    QStringList out;
    for (int i = 1; i <= window->ListItems->Count(); ++i)
        out << window->ListItems->Text(i);
    return out;
}

QString Harness::header() const {
    return window->ListItems->headerText();
}

} // namespace lexivane::testing

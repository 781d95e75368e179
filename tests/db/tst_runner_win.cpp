// The runner and the reader's reports on Windows, with runner_standin as the child: however
// the child ends, the run says how, and the job leaves nothing of it running.

#include "apperror.h"
#include "child_process.h"
#include "db_reader.h"
#include "test_support.h"

#include <QTemporaryDir>
#include <QTest>
#include <cstring>
#include <windows.h>

namespace child = lexivane::child;
namespace db = lexivane::db;

namespace {

QString binFile(const char* name) {
    return QDir(QStringLiteral(LEXIVANE_BIN_DIR)).filePath(QString::fromLatin1(name));
}

QString outcomeOf(const child::Outcome& o) {
    if (o.startErrno) return QStringLiteral("start: %1").arg(o.startErrno);
    if (o.execErrno)
        return QStringLiteral("exec: %1").arg(QString::fromLocal8Bit(strerror(o.execErrno)));
    if (o.timedOut) return QStringLiteral("timed out");
    if (o.tooMuch) return QStringLiteral("too much output");
    const child::Ending e = child::endingOf(o);
    if (e.killed) return QStringLiteral("killed: ") + QString::fromStdString(e.how);
    return QStringLiteral("exit %1").arg(e.exitCode);
}

// Whether the child that said "pid N" first still runs.
QString stateOf(const std::string& out) {
    unsigned long pid = 0;
    if (std::sscanf(out.c_str(), "pid %lu", &pid) != 1) return QStringLiteral("never ran");
    HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!h) return QStringLiteral("gone");
    const bool running = WaitForSingleObject(h, 0) == WAIT_TIMEOUT;
    CloseHandle(h);
    return running ? QStringLiteral("running") : QStringLiteral("gone");
}

// Wine runs Windows programs without enforcing a job's limits on processor time, memory and
// processes: those rows are expected to fail there, and to pass on Windows.
bool underWine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

} // namespace

class TestRunnerWin : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { qputenv("LEXIVANE_PARENT_ONLY", "1"); }

    void endsAreTold_data() {
        QTest::addColumn<QByteArray>("mode"); // empty: a program that is not there
        QTest::addColumn<int>("cpuSeconds");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<QByteArray>("said"); // in what it wrote
        QTest::addColumn<bool>("byWine");     // whether Wine enforces what this row needs
        const struct {
            const char *name, *mode;
            int cpuSeconds;
            const char *outcome, *said;
            bool byWine;
        } rows[] = {
            {"exit", "exit3", 20, "exit 3", "", true},
            {"crash", "crash", 20, "killed: exception 0xC0000005", "", true},
            {"hang", "hang", 20, "timed out", "", true},
            {"output past the limit", "spew", 20, "too much output", "", true},
            {"clean environment", "env", 20, "exit 0", "\nA=1\n", true},
            {"no program", "", 20, "exec: No such file or directory", "", true},
            {"processor time", "burn", 1, "killed: processor time limit", "", false},
            {"no child process", "spawn", 20, "exit 0", "refused\n", false},
            {"memory", "eat", 20, "exit 1", ": out of memory", false},
        };
        for (const auto& r : rows)
            QTest::addRow("%s", r.name) << QByteArray(r.mode) << r.cpuSeconds << r.outcome
                                        << QByteArray(r.said) << r.byWine;
    }
    void endsAreTold() {
        QFETCH(QByteArray, mode);
        QFETCH(int, cpuSeconds);
        QFETCH(QString, outcome);
        QFETCH(QByteArray, said);
        QFETCH(bool, byWine);
        const QByteArray program = mode.isEmpty() ? binFile("nowhere.exe").toUtf8()
                                                  : binFile("runner_standin.exe").toUtf8();
        char* argv[] = {const_cast<char*>("standin"), mode.data(), nullptr};
        char* envp[] = {const_cast<char*>("A=1"), nullptr};
        child::Command c;
        c.path = program.constData();
        c.argv = argv;
        c.envp = envp;
        c.timeoutMs = cpuSeconds < 20 ? 15000 : 1500;
        c.cpuSeconds = cpuSeconds;
        c.memoryLimitBytes = int64_t(256) << 20;
        c.maxOutput = 1 << 20;
        std::string out, err;
        const child::Outcome o = child::run(c, out, err);
        QCOMPARE(stateOf(out), QLatin1String(mode.isEmpty() ? "never ran" : "gone"));
        QVERIFY(out.find("LEXIVANE_PARENT_ONLY") == std::string::npos);
        QString got = outcomeOf(o);
        if ((out + err).find(said.toStdString()) == std::string::npos)
            got += QStringLiteral(", without ") + QString::fromLatin1(said);
        if (!byWine && underWine())
            QEXPECT_FAIL("", "Wine 8 does not enforce this job limit", Continue);
        QCOMPARE(got, outcome);
    }

    void readerReports_data() {
        QTest::addColumn<QByteArray>("mode"); // empty: the real reader on the sample
        QTest::addColumn<QString>("helper");
        QTest::addColumn<QString>("report"); // empty: read
        QTest::newRow("sample") << QByteArray() << "lexivane-words.exe" << QString();
        const struct {
            const char *name, *mode, *helper, *report;
        } rows[] = {
            {"hang", "hang", "runner_standin.exe",
             "reading it took longer than 1000 ms and was stopped; the file may be damaged."},
            {"crash", "crash", "runner_standin.exe",
             "the reader crashed (exception 0xC0000005); the file may be damaged."},
            {"exit", "exit3", "runner_standin.exe", "the reader failed (exit status 3)."},
            {"no reader", "exit3", "nowhere.exe", "cannot be started: No such file or directory."},
        };
        for (const auto& r : rows)
            QTest::addRow("%s", r.name) << QByteArray(r.mode) << QString::fromLatin1(r.helper)
                                        << QString::fromLatin1(r.report);
    }
    void readerReports() {
        QFETCH(QByteArray, mode);
        QFETCH(QString, helper);
        QFETCH(QString, report);
        QTemporaryDir tmp;
        QString file = testsupport::dataFile(QStringLiteral("words/sample-3000.mdb"));
        if (!mode.isEmpty()) {
            file = tmp.filePath(QStringLiteral("standin.mdb"));
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(mode) == mode.size());
        }
        db::ReadLimits limits;
        limits.helperPath = binFile(helper.toLatin1().constData());
        limits.timeoutMs = mode == "hang" ? 1000 : 20000;
        try {
            const db::WordTable t = db::readWords(file, limits);
            QVERIFY2(report.isEmpty(), "read");
            QFile expected(testsupport::dataFile(QStringLiteral("words/sample-3000.txt")));
            QVERIFY(expected.open(QIODevice::ReadOnly));
            const QList<QByteArray> lines = expected.readAll().split('\n');
            QCOMPARE(qsizetype(t.rows.size()), lines.size() - 1);
            for (size_t i = 0; i < t.rows.size(); ++i)
                QCOMPARE(
                    QByteArray::fromStdString(t.text.substr(t.rows[i].offset, t.rows[i].length)),
                    lines[qsizetype(i)]);
        } catch (const lexivane::AppError& e) {
            // The file named as Windows names it, with backslashes.
            const QString named = QStringLiteral("\"%1\"").arg(QDir::toNativeSeparators(file));
            QVERIFY2(!report.isEmpty() && e.description().endsWith(report) &&
                         e.description().contains(named),
                     qPrintable(e.description()));
        }
    }
};

QTEST_GUILESS_MAIN(TestRunnerWin)
#include "tst_runner_win.moc"

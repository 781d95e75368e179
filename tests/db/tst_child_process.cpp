// The runner on its own, with a shell as the stand-in child: however the child ends, the run
// says how, and nothing it started is left behind. (Confined runs are tst_db_confine's.)

#include "child_process.h"
#include "test_support.h"

#include <QTest>
#include <csignal>
#include <sys/prctl.h>
#include <sys/wait.h>

namespace child = lexivane::child;
using testsupport::childProcesses;

namespace {

// How the run ended, in a few words.
QString outcomeOf(const child::Outcome& o) {
    if (o.confineFailure.mechanism) return "not confined";
    if (o.execErrno) return QString("exec: ") + strerrorname_np(o.execErrno);
    if (o.timedOut) return "timed out";
    if (o.tooMuch) return "too much output";
    if (WIFSIGNALED(o.status)) return QString("signal ") + sigabbrev_np(WTERMSIG(o.status));
    return QStringLiteral("exit %1").arg(WEXITSTATUS(o.status));
}

// Reaps the orphans that came to this process and lists those still alive.
QStringList leftBehind() {
    while (waitpid(-1, nullptr, WNOHANG) > 0) {
    }
    return childProcesses();
}

} // namespace

class TestChildProcess : public QObject {
    Q_OBJECT

  private slots:
    // The grandchildren a child leaves come here, where they can be seen.
    void initTestCase() { QVERIFY(prctl(PR_SET_CHILD_SUBREAPER, 1) == 0); }

    void endsAreTold_data() {
        QTest::addColumn<QString>("script"); // none: a program that is not there
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<QByteArray>("out");
        const struct {
            const char *name, *script, *outcome, *out;
        } rows[] = {
            {"exit", "echo hello; exit 3", "exit 3", "hello\n"},
            {"crash", "kill -SEGV $$", "signal SEGV", ""},
            {"hang", "echo up; sleep 60", "timed out", "up\n"},
            {"output past the limit", "yes", "too much output", ""},
            {"descendants left behind", "exec >/dev/null 2>&1; sleep 60 & (sleep 60 &)", "exit 0",
             ""},
            {"descendants of a hang", "sleep 60 & sleep 60", "timed out", ""},
            {"no program", "", "exec: ENOENT", ""},
        };
        for (const auto& r : rows)
            QTest::addRow("%s", r.name) << r.script << r.outcome << QByteArray(r.out);
    }
    void endsAreTold() {
        QFETCH(QString, script);
        QFETCH(QString, outcome);
        QFETCH(QByteArray, out);
        const QString program = script.isEmpty() ? "/nonexistent" : "/bin/sh";
        const QByteArray path = program.toLocal8Bit(), text = script.toLocal8Bit();
        char* argv[] = {const_cast<char*>("sh"), const_cast<char*>("-c"),
                        const_cast<char*>(text.constData()), nullptr};
        char* envp[] = {const_cast<char*>("PATH=/usr/bin:/bin"), nullptr};
        child::Command c;
        c.path = path.constData();
        c.argv = argv;
        c.envp = envp;
        c.timeoutMs = 500;
        c.maxOutput = 1 << 20;
        std::string got, err;
        const child::Outcome o = child::run(c, got, err);
        QCOMPARE(outcomeOf(o), outcome);
        if (outcome == "too much output")
            QVERIFY(got.size() > c.maxOutput);
        else
            QCOMPARE(QByteArray::fromStdString(got), out);
        QCOMPARE(leftBehind(), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestChildProcess)
#include "tst_child_process.moc"

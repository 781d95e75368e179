// The reader's confinement: its policy, then a stand-in in the helper's place that tries
// what a hostile file could make libmdb do, and fails or dies, and Open refuses the file as a
// damaged one, or outlives the program if it can; the real helper reads as before under each
// mix of mechanisms a kernel may offer.

#include "confine_policy.h"
#include "db_reader.h"
#include "test_support.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <arpa/inet.h>
#include <csignal>
#include <cstring>
#include <netinet/in.h>
#include <set>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using lexivane::AppError;
namespace confine = lexivane::confine;
using namespace testsupport;

namespace {

volatile sig_atomic_t g_signalled = 0;

QString bin(const char* name) {
    return QDir(QStringLiteral(LEXIVANE_BIN_DIR)).filePath(QString::fromLatin1(name));
}

constexpr unsigned kWithoutLandlock = confine::kAll & ~unsigned(confine::kLandlock);
constexpr unsigned kWithoutSeccomp = confine::kAll & ~unsigned(confine::kSeccomp);

// Whether a policy lets `call` through with these arguments; an argument not given passes
// any test.
bool allows(const confine::Policy& p, const std::string& call, std::vector<uint64_t> args = {}) {
    for (const confine::CallRule& r : p.calls)
        if (r.name == call && !r.fails &&
            std::all_of(r.when.begin(), r.when.end(), [&](const confine::ArgTest& t) {
                return t.index >= args.size() || (args[t.index] & t.mask) == t.value;
            }))
            return true;
    return false;
}

// Run as "tst_db_confine --read-with HELPER": reads as the program does, with HELPER in the
// reader's place told to outlive it, until stopped.
int readUntilStopped(const char* helper) {
    lexivane::db::ReadLimits limits;
    limits.helperPath = QString::fromLocal8Bit(helper);
    limits.timeoutMs = 600000;
    limits.table = QStringLiteral("outlive");
    try {
        lexivane::db::readWords(dataFile("words/sample-3000.mdb"), limits);
    } catch (const AppError&) {
    }
    return 0;
}

} // namespace

class TestConfine : public QObject {
    Q_OBJECT

    QTemporaryDir home_;
    int listener_ = -1;
    int port_ = 0;

  private slots:
    void initTestCase() {
        QFile secret(home_.filePath(".ssh-key"));
        QVERIFY(secret.open(QIODevice::WriteOnly));
        secret.write("secret");
        secret.close();
        qputenv("HOME", home_.path().toLocal8Bit()); // the helper must not see it either way
        listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof at;
        QVERIFY(bind(listener_, reinterpret_cast<sockaddr*>(&at), size) == 0);
        QVERIFY(listen(listener_, 4) == 0);
        QVERIFY(getsockname(listener_, reinterpret_cast<sockaddr*>(&at), &size) == 0);
        port_ = ntohs(at.sin_port);
        signal(SIGURG, [](int) { g_signalled = 1; });
    }

    void cleanupTestCase() { close(listener_); }

    // The policy alone: what is open to the reader, as data, in plain and sanitizer builds.
    void policyOpensOnlyWhatTheReaderNeeds_data() {
        QTest::addColumn<bool>("sanitized");
        QTest::newRow("plain") << false;
        QTest::newRow("sanitized") << true;
    }
    void policyOpensOnlyWhatTheReaderNeeds() {
        QFETCH(bool, sanitized);
        const char* exec = "/usr/lib/lexivane/lexivane-words";
        const confine::Policy p = confine::readerPolicy(
            {"/home/u/dbWords.mdb", exec, "/lib64/ld-linux-x86-64.so.2"}, true, sanitized);
        std::set<std::string> writable, executable;
        for (const confine::PathRule& r : p.paths) {
            if (r.access & confine::kWrite) writable.insert(r.path);
            if (r.access & confine::kExecute) executable.insert(r.path);
        }
        QCOMPARE(writable, std::set<std::string>{"/dev/null"});
        QCOMPARE(executable, (std::set<std::string>{exec, "/lib64/ld-linux-x86-64.so.2"}));
        // Nothing that reaches out of the process, makes another, or loosens the confinement;
        // the sanitizer's leak check alone may start its tracer.
        for (const char* call : {"socket", "connect", "io_uring_setup", "memfd_create", "execveat",
                                 "unshare", "setns", "bpf", "fork", "vfork", "process_vm_readv",
                                 "mount", "userfaultfd", "perf_event_open", "alarm", "clone3"})
            QVERIFY2(!allows(p, call), call);
        QVERIFY(!allows(p, "ioctl", {0, TIOCSTI}));
        QCOMPARE(allows(p, "clone"), sanitized);
        QVERIFY(!allows(p, "clone", {CLONE_THREAD}) && !allows(p, "clone", {SIGCHLD}));
        QVERIFY(allows(p, "execve", {reinterpret_cast<uintptr_t>(exec)}));
        const std::string copy = exec;
        QVERIFY(!allows(p, "execve", {reinterpret_cast<uintptr_t>(copy.c_str())}));
        for (uint64_t option : {PR_SET_MM, PR_SET_SECCOMP, PR_CAP_AMBIENT, PR_SET_PDEATHSIG})
            QVERIFY(!allows(p, "prctl", {option, 0}));
        QCOMPARE(allows(p, "prctl", {PR_SET_DUMPABLE, 1}), sanitized);
        QVERIFY(allows(p, "prctl", {PR_SET_NO_NEW_PRIVS, 1}));
    }

    void forbiddenThingsFail_data() {
        QTest::addColumn<QString>("attempt");
        QTest::addColumn<unsigned>("mechanisms");
        QTest::addColumn<bool>("allowed"); // what the mechanisms left cannot stop
        const int abi = confine::landlockAbi();
        const struct {
            const char* attempt;
            bool withoutLandlock, withoutSeccomp;
        } rows[] = {
            {"read-home", true, false},
            {"write", false, false},
            {"connect", false, abi < 4},
            {"exec", false, false},
            {"signal-parent", false, abi < 6},
            {"ptrace", false, false},
            {"fork", false, true},
            {"thread", false, true},
            {"clear-death-signal", false, true},
            {"read-parent-memory", false, false},
            {"read-parent-proc", true, false},
        };
        for (const auto& r : rows) {
            QTest::addRow("%s", r.attempt) << r.attempt << unsigned(confine::kAll) << false;
            QTest::addRow("%s without landlock", r.attempt)
                << r.attempt << kWithoutLandlock << r.withoutLandlock;
            QTest::addRow("%s without seccomp", r.attempt)
                << r.attempt << kWithoutSeccomp << r.withoutSeccomp;
        }
    }
    void forbiddenThingsFail() {
        QFETCH(QString, attempt);
        QFETCH(unsigned, mechanisms);
        QFETCH(bool, allowed);
        if (confine::available(mechanisms) != mechanisms) QSKIP("this kernel lacks a mechanism");
        const QString written = home_.filePath("written");
        const QString arg = attempt == "read-home" ? home_.filePath(".ssh-key")
                            : attempt == "write"   ? written
                                                   : QString::number(port_);
        QFile::remove(written);
        g_signalled = 0;
        // Read as Open reads, so refused as Open refuses a damaged file.
        lexivane::db::ReadLimits limits;
        limits.helperPath = bin("confine_standin");
        limits.table = attempt; // the stand-in's orders
        limits.column = arg;
        limits.confinement = mechanisms;
        const QString db = dataFile("words/sample-3000.mdb");
        QString said;
        try {
            lexivane::db::readWords(db, limits);
        } catch (const AppError& e) {
            said = e.description();
        }
        QVERIFY2(said.startsWith("Cannot open the word database \"" + db + "\": "),
                 qPrintable(said));
        const bool done = said.endsWith(attempt + ": done.");
        qInfo("%s: %s", qPrintable(QTest::currentDataTag()),
              qPrintable(said.mid(said.lastIndexOf(": ", said.size() - 3) + 2)));
        QCOMPARE(done, allowed);
        if (!done)
            QVERIFY2(said.contains(attempt + ": E") || said.contains("crashed"), qPrintable(said));
        QCOMPARE(QFile::exists(written), allowed && attempt == "write");
        QCoreApplication::processEvents();
        QCOMPARE(bool(g_signalled), allowed && attempt == "signal-parent");
        QCOMPARE(childProcesses(), QStringList());
    }

    // A helper that clears its death signal and sleeps is gone a second after the program is
    // stopped, however; the program's orphans come to this test.
    void helperEndsWithTheProgram_data() {
        QTest::addColumn<int>("sig");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGKILL") << int(SIGKILL);
    }
    void helperEndsWithTheProgram() {
        QFETCH(int, sig);
        if (!confine::seccompAvailable()) QSKIP("without seccomp a helper may outlive it");
        QVERIFY(prctl(PR_SET_CHILD_SUBREAPER, 1) == 0);
        QProcess program;
        program.start(QCoreApplication::applicationFilePath(),
                      {"--read-with", bin("confine_standin")});
        QVERIFY(program.waitForStarted());
        QStringList helpers;
        QTRY_VERIFY_WITH_TIMEOUT((helpers = childProcesses(program.processId())).size() == 1 &&
                                     helpers[0].endsWith("(confine_standin) (S)"),
                                 20000);
        const qint64 helper = helpers[0].section(' ', 0, 0).toLongLong();
        QTest::qWait(200); // past its attempt on the death signal
        kill(pid_t(program.processId()), sig);
        QVERIFY(program.waitForFinished());
        QTest::qWait(1000);
        const bool alive = processAlive(helper);
        if (alive) kill(pid_t(helper), SIGKILL);
        waitpid(pid_t(helper), nullptr, 0); // an orphan of ours now, alive or not
        QVERIFY(!alive);
    }

    // The real helper, confined as a kernel with fewer mechanisms would, reads word for word
    // and names in --version what it then applies.
    void helperReadsUnderEachMix_data() {
        QTest::addColumn<unsigned>("mechanisms");
        QTest::addColumn<QString>("version");
        const QString landlock = QStringLiteral("landlock (ABI %1)").arg(confine::landlockAbi());
        QTest::newRow("all") << unsigned(confine::kAll)
                             << "no_new_privs, " + landlock + ", seccomp";
        QTest::newRow("without landlock") << kWithoutLandlock << "no_new_privs, seccomp";
        QTest::newRow("without seccomp") << kWithoutSeccomp << "no_new_privs, " + landlock;
        QTest::newRow("none") << 0u << "none";
    }
    void helperReadsUnderEachMix() {
        QFETCH(unsigned, mechanisms);
        QFETCH(QString, version);
        lexivane::db::ReadLimits limits;
        limits.helperPath = bin("lexivane-words");
        limits.confinement = mechanisms;
        const auto t = lexivane::db::readWords(dataFile("words/sample-3000.mdb"), limits);
        QFile expected(dataFile("words/sample-3000.txt"));
        QVERIFY(expected.open(QIODevice::ReadOnly));
        const QList<QByteArray> words = expected.readAll().split('\n');
        QCOMPARE(qsizetype(t.rows.size()), words.size() - 1);
        for (size_t i = 0; i < t.rows.size(); ++i)
            QCOMPARE(QByteArray(t.text.data() + t.rows[i].offset, t.rows[i].length), words[i]);

        if (confine::available(confine::kAll) != confine::kAll) QSKIP("this kernel lacks one");
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(confine::kWithoutVariable,
                   QString::fromStdString(confine::withoutText(mechanisms)));
        p.setProcessEnvironment(env);
        p.start(limits.helperPath, {"--version"});
        QVERIFY(p.waitForFinished());
        QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()).section('\n', 1, 1),
                 "confinement: " + version);
    }
};

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--read-with") == 0) return readUntilStopped(argv[2]);
    QCoreApplication app(argc, argv);
    TestConfine test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_db_confine.moc"

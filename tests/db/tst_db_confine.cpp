// The reader's confinement: a stand-in in the helper's place tries what a hostile file could
// make libmdb do, and fails or dies, and Open refuses the file as a damaged one; the real
// helper reads as before under each mix of mechanisms a kernel may offer.

#include "db_reader.h"
#include "test_support.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

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

QTEST_GUILESS_MAIN(TestConfine)
#include "tst_db_confine.moc"

// lexivane-find as a command: exit statuses, usage errors, files it cannot read (named, with
// the reason, exit 2, nothing cached), selector text of any content given on the command line,
// write errors, the installed layout, and the help, man page and shell completion naming the
// same options.

#include "find_test_support.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

using namespace findtest;

namespace {

QString sourceFile(const char* relative) {
    return QDir(QStringLiteral(LEXIVANE_SOURCE_DIR)).filePath(QString::fromUtf8(relative));
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// Runs the command through sh, so that arguments can hold bytes a QString cannot.
Run runShell(const QByteArray& script, const QString& cacheHome) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CACHE_HOME", cacheHome);
    env.insert("FIND", binPath("lexivane-find"));
    p.setProcessEnvironment(env);
    p.start("/bin/sh", {"-c", QString::fromLatin1(script)});
    Run r;
    if (!p.waitForFinished(60000)) return r;
    r.exitCode = p.exitCode();
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

QStringList sorted(const QSet<QString>& set) {
    QStringList l(set.begin(), set.end());
    l.sort();
    return l;
}

QSet<QString> optionsIn(const QString& text, const QString& pattern) {
    QSet<QString> found;
    QRegularExpressionMatchIterator it = QRegularExpression(pattern).globalMatch(text);
    while (it.hasNext())
        found << it.next().captured(1);
    return found;
}

} // namespace

class TestFindCli : public QObject {
    Q_OBJECT

    QTemporaryDir tmp_;
    QString home_;
    QString sample_;

    QStringList cached() const { return QDir(home_ + "/lexivane").entryList(QDir::Files); }

  private slots:
    void init() {
        home_ = tmp_.filePath("home");
        QDir(home_).removeRecursively();
        QDir().mkpath(home_);
        sample_ = dataFile("words/sample-3000.mdb");
    }

    void exitStatus() {
        QCOMPARE(runFind({"--db", sample_, "--pattern", "?at"}, home_).exitCode, 0);
        const Run none = runFind({"--db", sample_, "--pattern", "qqqqqq"}, home_);
        QCOMPARE(none.exitCode, 1);
        QCOMPARE(none.out, QByteArray());
        const Run count = runFind({"--db", sample_, "--pattern", "qqqqqq", "--count"}, home_);
        QCOMPARE(count.exitCode, 1);
        QCOMPARE(count.out, QByteArray("0\n"));
        QCOMPARE(runFind({"--help"}, home_).exitCode, 0);
        const Run version = runFind({"--version"}, home_);
        QCOMPARE(version.exitCode, 0);
        QVERIFY(version.out.startsWith("lexivane-find (Lexivane) "));
    }

    void optionForms() {
        const Run spaced = runFind({"--db", sample_, "--pattern", "?at", "--length", "3"}, home_);
        const Run joined = runFind({"--db=" + sample_, "--pattern=?at", "--length=3"}, home_);
        QCOMPARE(joined.out, spaced.out);
        QVERIFY(spaced.lines().contains("Jat"));
        const Run nul = runFind({"--db", sample_, "--pattern", "?at", "-0"}, home_);
        const Run null = runFind({"--db", sample_, "--pattern", "?at", "--null"}, home_);
        QCOMPARE(nul.out, QByteArray(spaced.out).replace('\n', '\0'));
        QCOMPARE(null.out, nul.out);
    }

    void usageErrors_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("said");
        QTest::newRow("unknown") << QStringList{"--frobnicate"} << "unknown option '--frobnicate'";
        QTest::newRow("short") << QStringList{"-x"} << "unknown option '-x'";
        QTest::newRow("no value") << QStringList{"--length"} << "option '--length' needs a value";
        QTest::newRow("value for a flag")
            << QStringList{"--count=3"} << "option '--count' takes no value";
        QTest::newRow("argument") << QStringList{"cat"} << "unexpected argument 'cat'";
        QTest::newRow("two databases")
            << QStringList{"--db", "a", "--db", "b"} << "option '--db' is given more than once";
        QTest::newRow("empty database")
            << QStringList{"--db="} << "option '--db' needs a file name";
        QTest::newRow("bad length")
            << QStringList{"--length", "3-1"} << "--length: '3-1' is an empty range";
        QTest::newRow("bad regex")
            << QStringList{"--regex", "(a"} << "--regex: not a valid regular expression";
    }
    void usageErrors() {
        QFETCH(QStringList, args);
        QFETCH(QString, said);
        const Run r = runFind(args, home_);
        QCOMPARE(r.exitCode, 2);
        QCOMPARE(r.out, QByteArray());
        QVERIFY2(r.err.startsWith("lexivane-find: " + said.toUtf8()), r.err);
        QVERIFY(r.err.endsWith("Try 'lexivane-find --help' for more information.\n"));
    }

    void unreadableFileIsNamedWithTheReason_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("reason");
        const QString dir = tmp_.path();
        QTest::newRow("missing") << dir + "/missing.mdb"
                                 << "No such file or directory";
        QTest::newRow("directory") << dir << "it is a directory, not a word database";
        QTest::newRow("encrypted Access file")
            << dataFile("access-files/ace14-V2010_with-password.accdb") << "encrypt";
        QTest::newRow("no words table") << dataFile("access-files/jet4-emptyJet4.mdb") << "words";
        QTest::newRow("damaged Access file") << dir + "/cut.mdb"
                                             << "";
        QTest::newRow("binary junk") << dir + "/junk.bin"
                                     << "Access";
        QTest::newRow("invalid UTF-8 list") << dir + "/bad-utf8.txt"
                                            << "line 2 is not valid UTF-8";
        QTest::newRow("long line") << dir + "/long.txt"
                                   << "line 4 has more than 255 characters";
        // Refused at once, never waited on or read without end.
        QTest::newRow("FIFO") << dir + "/fifo"
                              << "it is a FIFO, not a word database";
        QTest::newRow("device") << "/dev/zero"
                                << "it is a character device, not a word database";
        if (::geteuid() != 0) // root reads anything
            QTest::newRow("no permission") << dir + "/secret.txt"
                                           << "Permission denied";
    }
    void unreadableFileIsNamedWithTheReason() {
        QFETCH(QString, file);
        QFETCH(QString, reason);
        QByteArray mdb = readFile(sample_);
        QVERIFY(writeFile(tmp_.filePath("cut.mdb"), mdb.left(mdb.size() / 3)));
        QVERIFY(
            writeFile(tmp_.filePath("junk.bin"), QByteArray("\x01\x00\x02junk", 7).repeated(999)));
        QVERIFY(writeFile(tmp_.filePath("bad-utf8.txt"), "good\nba\xC3\x28"
                                                         "d\n"));
        QVERIFY(writeFile(tmp_.filePath("long.txt"), "a\n\nb\r\n" + QByteArray(256, 'x') + "\n"));
        QVERIFY(writeFile(tmp_.filePath("secret.txt"), "word\n"));
        QFile(tmp_.filePath("secret.txt")).setPermissions(QFileDevice::Permissions());
        ::mkfifo(QFile::encodeName(tmp_.filePath("fifo")).constData(), 0600);

        const Run r = runFind({"--db", file}, home_);
        QCOMPARE(r.exitCode, 2);
        QCOMPARE(r.out, QByteArray());
        const QByteArray prefix = "lexivane-find: " + QFile::encodeName(file) + ": ";
        QVERIFY2(r.err.startsWith(prefix), r.err);
        QVERIFY2(r.err.size() > prefix.size() + 3, r.err);
        QVERIFY2(r.err.contains(reason.toUtf8()), r.err);
        QCOMPARE(r.err.count('\n'), 1);
        QCOMPARE(cached(), QStringList());
        QVERIFY(r.ms < 5000);
    }

    // Text from the command line, whatever it holds: matches, or a clear error, soon.
    void anySelectorText() {
        const QString list = tmp_.filePath("a-words.txt");
        QByteArray words;
        for (int n = 20; n < 60; ++n)
            words += QByteArray(n, 'a') + "b\n";
        QVERIFY(writeFile(list, words));
        const QByteArray db = "--db '" + QFile::encodeName(list) + "'";
        const struct {
            const char* name;
            QByteArray script;
            int exitCode;
            const char* said;
        } cases[] = {
            {"empty pattern", "--pattern ''", 1, ""},
            {"10000 letters", "--pattern \"$(printf 'a%.0s' $(seq 10000))\"", 1, ""},
            {"10000 stars", "--contains \"$(printf '*%.0s' $(seq 10000))\"", 1, ""},
            {"10000 in a rack", "--letters \"$(printf 'ab%.0s' $(seq 5000))\"", 0, ""},
            {"4000-character regex", "--regex \"$(printf '(?:a|b)%.0s' $(seq 580))\"", 1, ""},
            {"10000-character regex", "--regex \"$(printf '(a|b)%.0s' $(seq 2000))\"", 2,
             "lexivane-find: --regex: the regular expression is longer than 4096 bytes"},
            {"invalid UTF-8", "--pattern \"$(printf 'a\\377b')\"", 2,
             "lexivane-find: --pattern: the text is not valid UTF-8\n"},
            {"invalid UTF-8 regex", "--regex \"$(printf 'a\\300\\257')\"", 2,
             "lexivane-find: --regex: the text is not valid UTF-8\n"},
            {"catastrophic regex", "--regex '(a+)+$'", 2,
             "lexivane-find: --regex: the regular expression backtracks too much on the word "},
        };
        for (const auto& c : cases) {
            QElapsedTimer t;
            t.start();
            const Run r = runShell("exec \"$FIND\" " + db + " " + c.script, home_);
            QVERIFY2(r.exitCode == c.exitCode, qPrintable(QStringLiteral("%1: exit %2, %3")
                                                              .arg(c.name)
                                                              .arg(r.exitCode)
                                                              .arg(QString::fromUtf8(r.err))));
            QVERIFY2(r.err.startsWith(c.said), c.name);
            QVERIFY2(t.elapsed() < 20000, c.name);
        }
    }

    void writeErrorIsReported() {
        if (!QFileInfo::exists("/dev/full")) QSKIP("no /dev/full");
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CACHE_HOME", home_);
        p.setProcessEnvironment(env);
        p.setStandardOutputFile("/dev/full");
        p.start(binPath("lexivane-find"), {"--db", sample_});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 2);
        QCOMPARE(p.readAllStandardError(),
                 QByteArray("lexivane-find: write error: No space left on device\n"));
    }

    // Installed, the command lives in <prefix>/bin and finds its program folder in
    // <prefix>/lib/lexivane, also when started through a link from elsewhere.
    void installedLayout() {
        const QString prefix = tmp_.filePath("prefix");
        QDir().mkpath(prefix + "/bin");
        QDir().mkpath(prefix + "/lib/lexivane");
        QDir().mkpath(prefix + "/elsewhere");
        QVERIFY(QFile::copy(binPath("lexivane-find"), prefix + "/bin/lexivane-find"));
        QVERIFY(QFile::copy(binPath("lexivane-words"), prefix + "/lib/lexivane/lexivane-words"));
        QVERIFY(QFile::link(prefix + "/bin/lexivane-find", prefix + "/elsewhere/lf"));
        for (const QString& command : {prefix + "/bin/lexivane-find", prefix + "/elsewhere/lf"}) {
            QProcess p;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("XDG_CACHE_HOME", home_);
            p.setProcessEnvironment(env);
            QFile::remove(prefix + "/lib/lexivane/dbWords.mdb");
            p.start(command, {"--count"});
            QVERIFY(p.waitForFinished(60000));
            QCOMPARE(p.exitCode(), 2);
            QCOMPARE(p.readAllStandardError(),
                     "lexivane-find: " +
                         QFile::encodeName(QDir(prefix + "/lib/lexivane").canonicalPath()) +
                         "/dbWords.mdb: No such file or directory\n");
            QVERIFY(QFile::copy(sample_, prefix + "/lib/lexivane/dbWords.mdb"));
            p.start(command, {"--count"});
            QVERIFY(p.waitForFinished(60000));
            QCOMPARE(p.readAllStandardOutput(), QByteArray("3000\n"));
        }
    }

    // --help, the man page and the completion offer the same options, and the completion
    // completes them.
    void everyPlaceNamesTheSameOptions() {
        const QString help = QString::fromUtf8(runFind({"--help"}, home_).out);
        const QSet<QString> inHelp = optionsIn(help, "(?:^|[ ,])(--?[a-z0-9][a-z-]*)");
        const QString man = QString::fromUtf8(readFile(sourceFile("docs/man/lexivane-find.1")));
        // The options the page describes: the tags of its .TP paragraphs.
        QSet<QString> inMan;
        const QStringList manLines = man.split('\n');
        for (qsizetype i = 0; i + 1 < manLines.size(); ++i) {
            if (manLines[i] != ".TP") continue;
            for (QString o :
                 optionsIn(manLines[i + 1],
                           "(?:^|[\\s\"]|\\\\f[BR])((?:\\\\-)+[a-z0-9](?:[a-z0-9]|\\\\-)*)"))
                inMan << o.replace("\\-", "-");
        }
        const QString completion =
            QString::fromUtf8(readFile(sourceFile("packaging/bash-completion/lexivane-find")));
        const QStringList words = completion.section("compgen -W '", -1)
                                      .section('\'', 0, 0)
                                      .split(QRegularExpression("\\s+"), Qt::SkipEmptyParts);
        const QSet<QString> inCompletion(words.begin(), words.end());
        QVERIFY(inHelp.contains("--anagram"));
        QCOMPARE(sorted(inMan), sorted(inHelp));
        QCOMPARE(sorted(inCompletion), sorted(inHelp));

        QProcess bash;
        bash.start("bash", {"--norc", "--noprofile", "-c",
                            "source \"$0\"; COMP_WORDS=(lexivane-find --le); COMP_CWORD=1; "
                            "_lexivane_find; printf '%s\\n' \"${COMPREPLY[@]}\"",
                            sourceFile("packaging/bash-completion/lexivane-find")});
        QVERIFY(bash.waitForFinished(20000));
        QCOMPARE(bash.readAllStandardOutput(), QByteArray("--length\n--letters\n"));
    }
};

QTEST_GUILESS_MAIN(TestFindCli)
#include "tst_find_cli.moc"

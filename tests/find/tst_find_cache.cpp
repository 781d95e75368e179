// The cache of lexivane-find: one file per database in $XDG_CACHE_HOME/lexivane, kept while
// the database stays as it was, made again when the database changed or the file is damaged,
// truncated, foreign or from another version, never left half-written, and shared safely by
// runs that start at the same time. Every run, whatever it found, prints the right words.

#include "find_test_support.h"
#include "word_index.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

using namespace findtest;

namespace {

struct FileId {
    quint64 inode = 0;
    qint64 size = -1;
    bool operator==(const FileId&) const = default;
};

FileId idOf(const QString& path) {
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return {};
    return {quint64(st.st_ino), qint64(st.st_size)};
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void setTimes(const QString& path, time_t when) {
    struct utimbuf t = {when, when};
    ::utime(QFile::encodeName(path).constData(), &t);
}

} // namespace

class TestFindCache : public QObject {
    Q_OBJECT

    QTemporaryDir tmp_;
    QString cacheHome_;
    QString cacheDir_;
    QString db_;
    QByteArray want_; // the words of the sample, as printed

    QStringList cacheEntries() const {
        return QDir(cacheDir_).entryList(QDir::Files | QDir::Hidden | QDir::System);
    }
    QString cacheFile() const {
        const QStringList files = cacheEntries();
        return files.size() == 1 ? QDir(cacheDir_).filePath(files.first()) : QString();
    }
    Run find(const QStringList& extra = {}) const {
        return runFind(QStringList{"--db", db_} + extra, cacheHome_);
    }
    // A run that prints the words, reading every section of the index.
    void expectRightWords() {
        const Run r = find({"--pattern", "*", "--letters", QString(40, '?'), "--length", "0-"});
        QCOMPARE(r.err, QByteArray());
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, want_);
    }

  private slots:
    void init() {
        QVERIFY(tmp_.isValid());
        cacheHome_ = tmp_.filePath("home");
        cacheDir_ = cacheHome_ + "/lexivane";
        QDir(cacheHome_).removeRecursively();
        QDir().mkpath(cacheHome_);
        db_ = tmp_.filePath("dbWords.mdb");
        QFile::remove(db_);
        QVERIFY(QFile::copy(dataFile("words/sample-3000.mdb"), db_));
        if (want_.isEmpty()) want_ = runFind({"--db", db_, "--no-cache"}, {}).out;
        QVERIFY(want_.count('\n') == 3000);
    }

    void firstRunKeepsOnePrivateFile() {
        expectRightWords();
        const QString file = cacheFile();
        QVERIFY2(!file.isEmpty(), qPrintable(cacheEntries().join(", ")));
        QVERIFY(QFileInfo(file).fileName().startsWith("find-"));
        QCOMPARE(QFileInfo(file).permissions() & (QFile::ReadGroup | QFile::ReadOther),
                 QFileDevice::Permissions());
        QCOMPARE(QFileInfo(cacheDir_).permissions() & (QFile::ReadOther | QFile::ExeOther),
                 QFileDevice::Permissions());
    }

    // A good cache is used as it is: not written again.
    void laterRunsReadIt() {
        expectRightWords();
        const FileId first = idOf(cacheFile());
        expectRightWords();
        const Run count = find({"--count"});
        QCOMPARE(count.out, QByteArray("3000\n"));
        QCOMPARE(idOf(cacheFile()), first);
    }

    void noCacheLeavesNothing() {
        const Run r = find({"--no-cache"});
        QCOMPARE(r.out, want_);
        QVERIFY(!QFileInfo::exists(cacheDir_));
    }

    // Damage anywhere the run reads is noticed: the run prints the right words and leaves a
    // good file, which the run after it keeps.
    void damagedFileIsMadeAgain_data() {
        QTest::addColumn<QString>("damage");
        QTest::newRow("empty") << "empty";
        QTest::newRow("cut to its header") << "cut:200";
        QTest::newRow("cut in half") << "half";
        QTest::newRow("one byte short") << "short";
        QTest::newRow("one byte longer") << "long";
        QTest::newRow("magic") << "flip:0";
        QTest::newRow("version") << "flip:12";
        QTest::newRow("word count") << "flip:32";
        QTest::newRow("database path") << "flip:241";
        QTest::newRow("flags") << "flip:28:1";
        for (const char* s : {"text", "offsets", "lengths", "folds", "foldOffsets", "masks"})
            QTest::newRow(qPrintable(QStringLiteral("middle of %1").arg(s)))
                << QStringLiteral("section:%1").arg(s);
        QTest::newRow("last byte of text") << "section-end:text";
        QTest::newRow("junk of the same size") << "junk";
        // Checksums recomputed after the change: only the structure checks are left.
        QTest::newRow("forged: a word past the text") << "forge:offsets:4294967280";
        QTest::newRow("forged: words out of order") << "forge:offsets:0";
        QTest::newRow("forged: a folded form past its section") << "forge:foldOffsets:2147483647";
        QTest::newRow("another database's cache") << "foreign";
    }
    void damagedFileIsMadeAgain() {
        QFETCH(QString, damage);
        expectRightWords();
        const QString file = cacheFile();
        QByteArray bytes = readFile(file);
        using lexivane::find::Section;
        // Where the sections lie, read from the good file (the index wants 64-byte alignment).
        const size_t rounded = (size_t(bytes.size()) + 63) / 64 * 64;
        std::unique_ptr<void, decltype(&std::free)> aligned(std::aligned_alloc(64, rounded),
                                                            &std::free);
        std::memcpy(aligned.get(), bytes.constData(), size_t(bytes.size()));
        lexivane::find::WordIndex layout;
        QCOMPARE(int(layout.open(static_cast<const unsigned char*>(aligned.get()),
                                 size_t(bytes.size()), nullptr)),
                 int(lexivane::find::WordIndex::Status::Ok));
        const auto sectionOf = [&](const QString& name) {
            const Section s = name == "text"          ? lexivane::find::kText
                              : name == "offsets"     ? lexivane::find::kOffsets
                              : name == "lengths"     ? lexivane::find::kLengths
                              : name == "folds"       ? lexivane::find::kFolds
                              : name == "foldOffsets" ? lexivane::find::kFoldOffsets
                                                      : lexivane::find::kMasks;
            return layout.extent(s);
        };
        const QString kind = damage.section(':', 0, 0), arg = damage.section(':', 1);
        if (kind == "empty") {
            bytes.clear();
        } else if (kind == "cut") {
            bytes.truncate(arg.toInt());
        } else if (kind == "half") {
            bytes.truncate(bytes.size() / 2);
        } else if (kind == "short") {
            bytes.chop(1);
        } else if (kind == "long") {
            bytes.append('\0');
        } else if (kind == "flip") {
            const int at = arg.section(':', 0, 0).toInt();
            const int bits = damage.count(':') > 1 ? arg.section(':', 1).toInt() : 0x10;
            bytes[at] = char(bytes[at] ^ bits);
        } else if (kind == "section" || kind == "section-end") {
            const auto [offset, size] = sectionOf(arg);
            const qsizetype at =
                qsizetype(kind == "section" ? offset + size / 2 : offset + size - 1);
            bytes[at] = char(bytes[at] ^ 0x01);
        } else if (kind == "forge") {
            const auto [offset, size] = sectionOf(arg.section(':', 0, 0));
            const quint32 value = arg.section(':', 1).toUInt();
            auto* block = static_cast<unsigned char*>(aligned.get());
            std::memcpy(block + offset + 8, &value, 4);
            lexivane::find::sealBlock(block, size_t(bytes.size()));
            bytes = QByteArray(static_cast<const char*>(aligned.get()), bytes.size());
        } else if (kind == "junk") {
            for (qsizetype i = 0; i < bytes.size(); ++i)
                bytes[i] = char(i * 131 + 7);
        } else if (kind == "foreign") {
            // A good file, but made from other words.
            const QString other = tmp_.filePath("other.txt");
            QVERIFY(writeFile(other, "one\ntwo\nthree\n"));
            QTemporaryDir otherHome;
            QCOMPARE(runFind({"--db", other}, otherHome.path()).exitCode, 0);
            const QStringList made = QDir(otherHome.filePath("lexivane")).entryList(QDir::Files);
            QCOMPARE(made.size(), 1);
            bytes = readFile(otherHome.filePath("lexivane/" + made.first()));
        }
        QVERIFY(writeFile(file, bytes));
        const FileId damaged = idOf(file);

        expectRightWords();
        const FileId remade = idOf(file);
        QVERIFY2(!(remade == damaged), "the damaged file was kept");
        QCOMPARE(cacheEntries().size(), 1);
        expectRightWords();
        QCOMPARE(idOf(file), remade);
    }

    // A database changed in any way since the cache was made: the new words are printed.
    void changedDatabaseIsReadAgain() {
        const QString list = tmp_.filePath("words.txt");
        QVERIFY(writeFile(list, "apple\nbanana\ncherry\n"));
        setTimes(list, 1600000000);
        QCOMPARE(runFind({"--db", list}, cacheHome_).out, QByteArray("apple\nbanana\ncherry\n"));

        // Same size, same modification time, other content.
        QVERIFY(writeFile(list, "apple\nbanana\ncherrz\n"));
        setTimes(list, 1600000000);
        QCOMPARE(runFind({"--db", list}, cacheHome_).out, QByteArray("apple\nbanana\ncherrz\n"));

        // Past the first 64 KiB, same size, same modification time.
        QByteArray big;
        for (int i = 0; i < 20000; ++i)
            big += QByteArray::number(100000 + i) + '\n';
        QVERIFY(big.size() > 100000);
        QVERIFY(writeFile(list, big));
        setTimes(list, 1600000000);
        QCOMPARE(runFind({"--db", list, "--count"}, cacheHome_).out, QByteArray("20000\n"));
        big.replace(QByteArray("119999\n"), QByteArray("x19999\n"));
        QVERIFY(writeFile(list, big));
        setTimes(list, 1600000000);
        QCOMPARE(runFind({"--db", list, "--pattern", "x*"}, cacheHome_).out,
                 QByteArray("x19999\n"));

        // Replaced by another file under the same name.
        const QString other = tmp_.filePath("words2.txt");
        QVERIFY(writeFile(other, "damson\n"));
        QVERIFY(::rename(QFile::encodeName(other).constData(),
                         QFile::encodeName(list).constData()) == 0);
        QCOMPARE(runFind({"--db", list}, cacheHome_).out, QByteArray("damson\n"));
        QCOMPARE(cacheEntries().size(), 1);
    }

    // Two runs at once on a database neither has seen: both print the words, and one good
    // cache file is left, with no temporary files.
    void simultaneousRuns() {
        for (int round = 0; round < 3; ++round) {
            const QString db = tmp_.filePath(QStringLiteral("fresh%1.mdb").arg(round));
            QVERIFY(QFile::copy(dataFile("words/sample-3000.mdb"), db));
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("XDG_CACHE_HOME", cacheHome_);
            QProcess a, b;
            for (QProcess* p : {&a, &b}) {
                p->setProcessEnvironment(env);
                p->start(binPath("lexivane-find"), {"--db", db});
            }
            for (QProcess* p : {&a, &b}) {
                QVERIFY(p->waitForFinished(60000));
                QCOMPARE(p->exitCode(), 0);
                QCOMPARE(p->readAllStandardOutput(), want_);
                QCOMPARE(p->readAllStandardError(), QByteArray());
            }
        }
        const QStringList files = cacheEntries();
        QCOMPARE(files.size(), 3);
        for (const QString& f : files)
            QVERIFY2(f.endsWith(".index"), qPrintable(f));
        for (int round = 0; round < 3; ++round) {
            const QString db = tmp_.filePath(QStringLiteral("fresh%1.mdb").arg(round));
            QMap<QString, FileId> before;
            for (const QString& f : files)
                before[f] = idOf(QDir(cacheDir_).filePath(f));
            QCOMPARE(runFind({"--db", db, "--count"}, cacheHome_).out, QByteArray("3000\n"));
            for (const QString& f : files)
                QCOMPARE(idOf(QDir(cacheDir_).filePath(f)), before[f]);
        }
    }

    // A temporary file of a run that died long ago goes; a recent one may be another run's.
    void oldTemporaryFilesAreRemoved() {
        expectRightWords();
        const QString file = cacheFile();
        const QString old = file + ".tmp-1-00000000deadbeef";
        const QString recent = file + ".tmp-2-00000000feedface";
        QVERIFY(writeFile(old, "half written"));
        QVERIFY(writeFile(recent, "being written"));
        setTimes(old, time(nullptr) - 2 * 3600);
        QFile::remove(file);
        expectRightWords();
        QVERIFY(!QFileInfo::exists(old));
        QVERIFY(QFileInfo::exists(recent));
        QVERIFY(QFileInfo::exists(file));
    }

    // No usable cache folder: the run works all the same.
    void unusableCacheFolder() {
        QVERIFY(writeFile(cacheHome_ + "/lexivane", "a file where the folder would be"));
        expectRightWords();
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        // A relative XDG_CACHE_HOME is ignored: HOME/.cache is used.
        env.insert("XDG_CACHE_HOME", "relative/cache");
        env.insert("HOME", cacheHome_);
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(tmp_.path());
        p.start(binPath("lexivane-find"), {"--db", db_, "--count"});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.readAllStandardOutput(), QByteArray("3000\n"));
        QVERIFY(!QFileInfo::exists(tmp_.filePath("relative")));
        QCOMPARE(QDir(cacheHome_ + "/.cache/lexivane").entryList(QDir::Files).size(), 1);
    }

    // A cache folder or file that another could have written is neither read nor replaced:
    // the run works without a cache and says so once.
    void untrustedCacheIsNotUsed_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("change");
        QTest::newRow("folder writable by the group") << "folder"
                                                      << "mode:770";
        QTest::newRow("folder writable by all") << "folder"
                                                << "mode:757";
        QTest::newRow("folder a link") << "folder"
                                       << "link";
        QTest::newRow("file writable by others") << "file"
                                                 << "mode:602";
        QTest::newRow("file a link") << "file"
                                     << "link";
        QTest::newRow("file a FIFO") << "file"
                                     << "fifo";
        if (::geteuid() == 0) {
            QTest::newRow("folder of another user") << "folder"
                                                    << "owner";
            QTest::newRow("file of another user") << "file"
                                                  << "owner";
        }
    }
    void untrustedCacheIsNotUsed() {
        QFETCH(QString, target);
        QFETCH(QString, change);
        expectRightWords();
        const QString file = cacheFile();
        const QString path = target == "folder" ? cacheDir_ : file;
        const QByteArray p = QFile::encodeName(path);
        if (change.startsWith("mode:")) {
            QCOMPARE(::chmod(p.constData(), mode_t(change.mid(5).toUInt(nullptr, 8))), 0);
        } else if (change == "owner") {
            QCOMPARE(::chown(p.constData(), 65534, 65534), 0);
        } else {
            const QString moved = path + ".real";
            QCOMPARE(::rename(p.constData(), QFile::encodeName(moved).constData()), 0);
            if (change == "link")
                QVERIFY(QFile::link(moved, path));
            else
                QCOMPARE(::mkfifo(p.constData(), 0600), 0);
        }
        const FileId before = idOf(path);
        const Run r = find({"--pattern", "*", "--letters", QString(40, '?'), "--length", "0-"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, want_);
        QCOMPARE(r.err.count('\n'), 1);
        QVERIFY2(r.err.startsWith("lexivane-find: not using the cache " + target.toUtf8()), r.err);
        QCOMPARE(idOf(path), before);
        QVERIFY(r.ms < 10000);
    }

    // A file that cannot be read leaves no cache behind.
    void unreadableDatabaseWritesNoCache() {
        QByteArray mdb = readFile(db_);
        mdb.truncate(mdb.size() / 2 + 100);
        QVERIFY(writeFile(db_, mdb));
        const Run r = find();
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.startsWith("lexivane-find: " + QFile::encodeName(db_) + ": "), r.err);
        QCOMPARE(r.out, QByteArray());
        QVERIFY(!QFileInfo::exists(cacheDir_) || cacheEntries().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestFindCache)
#include "tst_find_cache.moc"

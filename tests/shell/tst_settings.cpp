#include "settings.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

using namespace lexivane;

class SettingsTest : public QObject {
    Q_OBJECT
  private slots:
    void readingCreatesNothing() {
        QTemporaryDir dir;
        FileSettingsStore store(dir.filePath("cfg"));
        QCOMPARE(store.GetSetting("Tallowick", "Lexivane", "Combo1", "0"), QString("0"));
        QVERIFY(!QFileInfo::exists(dir.filePath("cfg")));
    }

    void writeReachesTheDiskAtOnce() {
        QTemporaryDir dir;
        FileSettingsStore store(dir.path());
        store.SaveSetting("Tallowick", "Lexivane", "Combo1", "4");
        QFile f(store.fileFor("Tallowick"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray text = f.readAll();
        QVERIFY2(text.contains("[Lexivane]") && text.contains("Combo1=4"), text.constData());
        FileSettingsStore again(dir.path());
        QCOMPARE(again.GetSetting("Tallowick", "Lexivane", "Combo1", "0"), QString("4"));
        store.SaveSetting("Tallowick", "Lexivane", "Combo1", "-1");
        QCOMPARE(again.GetSetting("Tallowick", "Lexivane", "Combo1", "0"), QString("-1"));
        // another section or application is another value
        QCOMPARE(again.GetSetting("Tallowick", "Other", "Combo1", "0"), QString("0"));
        QCOMPARE(again.GetSetting("Other", "Lexivane", "Combo1", "x"), QString("x"));
    }

    void junkReadsAsAbsentOrAsText() {
        QTemporaryDir dir;
        FileSettingsStore store(dir.path());
        const QList<QByteArray> junk = {
            QByteArray("\x00\xff\xfe garbage \x01\x02", 14),
            QByteArray("[Lexivane\nCombo1"),
            QByteArray("[Lexivane]\nCombo1=1,2\n"),
            QByteArray("[Lexivane]\nCombo1=\"unterminated\n"),
            QByteArray(100000, '['),
            QByteArray("[Lexivane]\nCombo1=@Variant(\\0\\0\\0\\x7f)\n")};
        for (const QByteArray& bytes : junk) {
            QFile f(store.fileFor("Tallowick"));
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(bytes);
            f.close();
            const QString v = store.GetSetting("Tallowick", "Lexivane", "Combo1", "0");
            QVERIFY(v.size() < 100);
        }
        QFile f(store.fileFor("Tallowick"));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("[Lexivane]\nCombo1=1,2\n");
        f.close();
        QCOMPARE(store.GetSetting("Tallowick", "Lexivane", "Combo1", "0"), QString("1,2"));
    }

    // Every value is the text it is, serialized data of QSettings' own format included (one such
    // list's count asked it for 21 GB), and a choice changes only its own line.
    void valuesAreTextAndOtherLinesStay_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("read");
        QTest::addColumn<QByteArray>("saved"); // after the choice "3"
        const QByteArray list = "@Variant(\\0\\0\\0\\t(\\0\\x18QVariantList)";
        QTest::newRow("as QSettings writes it")
            << QByteArray("[Lexivane]\nCombo1=4\n") << "4" << QByteArray("[Lexivane]\nCombo1=3\n");
        QTest::newRow("none") << QByteArray() << "0" << QByteArray("[Lexivane]\nCombo1=3\n");
        QTest::newRow("serialized list")
            << "[Lexivane]\nCombo1=\"" + list + "\"\n"
            << QString::fromUtf8("\"" + list + "\"") << QByteArray("[Lexivane]\nCombo1=3\n");
        QTest::newRow("behind a byte-order mark")
            << "[Lexivane]\nCombo1=\xEF\xBB\xBF" + list + "\n"
            << QString::fromUtf8("\uFEFF" + list) << QByteArray("[Lexivane]\nCombo1=3\n");
        QTest::newRow("behind a cut character")
            << QByteArray("[Lexivane]\nCombo1=\xC3\\x40Variant(\\0\\0\\0\\x7f)\n")
            << QString::fromUtf8("\xC3\\x40Variant(\\0\\0\\0\\x7f)")
            << QByteArray("[Lexivane]\nCombo1=3\n");
        QTest::newRow("serialized text in another key")
            << QByteArray("[Lexivane]\nCombo1=5\nk=@Variant(\\0\n") << "5"
            << QByteArray("[Lexivane]\nCombo1=3\nk=@Variant(\\0\n");
        QTest::newRow("comments, groups, spaces")
            << QByteArray(
                   "; mine\n[General]\nx = 1\n\n[Lexivane]\nold=a,b\nCombo1 = 6 \n[Other]\nk")
            << "6"
            << QByteArray(
                   "; mine\n[General]\nx = 1\n\n[Lexivane]\nold=a,b\nCombo1 = 3 \n[Other]\nk");
        QTest::newRow("byte-order mark, CR LF")
            << QByteArray("\xEF\xBB\xBF[Lexivane]\r\nCombo1=6\r\n") << "6"
            << QByteArray("\xEF\xBB\xBF[Lexivane]\r\nCombo1=3\r\n");
        QTest::newRow("another group, no last line end")
            << QByteArray("[Other]\nCombo1=2") << "0"
            << QByteArray("[Other]\nCombo1=2\n\n[Lexivane]\nCombo1=3\n");
        QTest::newRow("twice") << QByteArray("[Lexivane]\nCombo1=1\nx=\xFF\nCombo1=\r2\n") << "1"
                               << QByteArray("[Lexivane]\nCombo1=3\nx=\xFF\nCombo1=\r2\n");
    }

    void valuesAreTextAndOtherLinesStay() {
        QFETCH(QByteArray, text);
        QFETCH(QString, read);
        QFETCH(QByteArray, saved);
        QTemporaryDir dir;
        FileSettingsStore store(dir.path());
        QFile f(store.fileFor("Tallowick"));
        if (!text.isEmpty()) {
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(text);
            f.close();
        }
        QCOMPARE(store.GetSetting("Tallowick", "Lexivane", "Combo1", "0"), read);
        store.SaveSetting("Tallowick", "Lexivane", "Combo1", "3");
        QCOMPARE(store.GetSetting("Tallowick", "Lexivane", "Combo1", "0"), QString("3"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), saved);
    }

    void unwritableFolderNeverThrows() {
        QTemporaryDir dir;
        QFile blocker(dir.filePath("notafolder"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        // A file where the folder should be cannot be written to, even by root.
        FileSettingsStore store(dir.filePath("notafolder/sub"));
        store.SaveSetting("Tallowick", "Lexivane", "Combo1", "3");
        QCOMPARE(store.GetSetting("Tallowick", "Lexivane", "Combo1", "0"), QString("0"));
    }

    void defaultFolderIsPerUser() {
        const QString folder = FileSettingsStore::defaultFolder();
        QVERIFY(!folder.isEmpty());
        QVERIFY(folder.startsWith(QDir::homePath()) ||
                qEnvironmentVariableIsSet("XDG_CONFIG_HOME"));
    }

    // A key per application and per section, a string value per key; reading makes no key.
    void userStoreOnWindowsIsTheRegistry() {
#ifndef Q_OS_WIN
        QSKIP("the registry is Windows'");
#else
        const QString branch = "HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings";
        const QString app = QString("LexivaneTest%1").arg(QCoreApplication::applicationPid());
        const auto store = userSettingsStore();
        QCOMPARE(store->GetSetting(app, "Lexivane", "Combo1", "0"), QString("0"));
        const bool madeByReading =
            QSettings(branch, QSettings::NativeFormat).childGroups().contains(app);
        store->SaveSetting(app, "Lexivane", "Combo1", "-1");
        const QVariant stored =
            QSettings(branch + "\\" + app + "\\Lexivane", QSettings::NativeFormat).value("Combo1");
        const QString read = store->GetSetting(app, "Lexivane", "Combo1", "0");
        QSettings(branch, QSettings::NativeFormat).remove(app);
        QVERIFY(!madeByReading);
        QCOMPARE(read, QString("-1"));
        QCOMPARE(stored.typeId(), int(QMetaType::QString));
        QCOMPARE(stored.toString(), QString("-1"));
#endif
    }
};

QTEST_MAIN(SettingsTest)
#include "tst_settings.moc"

#include "settings.h"

#include <QDir>
#include <QFile>
#include <QProcess>
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

    // Serialized data, however it is spelt, is neither read nor rewritten (one such list's count
    // asked QSettings for 21 GB); an '@' that QSettings reads as text leaves the file usable.
    void serializedValuesArePassedOver_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("passedOver");
        QTest::newRow("quoted list")
            << QByteArray("[Lexivane]\nCombo1=\"@Variant(\\0\\0\\0\\t(\\0\\x18QVariantList)\"\n")
            << true;
        QTest::newRow("hex escape") << QByteArray("[A]\nk=\\x40Variant(\\0)\n") << true;
        QTest::newRow("octal, wrapped") << QByteArray("[A]\nk=\\200100Variant(\\0)\n") << true;
        QTest::newRow("split by quotes") << QByteArray("[A]\nk=\"@Var\"iant(\\0)\n") << true;
        QTest::newRow("list element") << QByteArray("[A]\nk=a, @DateTime(\\0)\n") << true;
        QTest::newRow("line carried on") << QByteArray("[A]\nk=a,\\\r\n@Variant(\\0)\n") << true;
        QTest::newRow("inside a value") << QByteArray("[A]\nk=a@\"Variant(\n") << false;
        QTest::newRow("quoted comma") << QByteArray("[A]\nk=\"a,@Variant(\"\n") << false;
        QTest::newRow("escaped at") << QByteArray("[A]\nk=@@Variant(x)\n") << false;
        QTest::newRow("comment") << QByteArray("; k=@Variant(\\0)\n[A]\nk=1\n") << false;
        QTest::newRow("text with NUL") << QByteArray("[A]\nk=\"@String(\\0)\"\n") << false;
    }

    void serializedValuesArePassedOver() {
        QFETCH(QByteArray, text);
        QFETCH(bool, passedOver);
        QTemporaryDir dir;
        FileSettingsStore store(dir.path());
        QFile f(store.fileFor("Tallowick"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
        f.close();
        store.SaveSetting("Tallowick", "Lexivane", "Combo1", "3");
        QCOMPARE(store.GetSetting("Tallowick", "Lexivane", "Combo1", "0"),
                 QString(passedOver ? "0" : "3"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll() == text, passedOver);
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
};

QTEST_MAIN(SettingsTest)
#include "tst_settings.moc"

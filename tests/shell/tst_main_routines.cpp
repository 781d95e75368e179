#include "harness.h"
#include "main_module.h"

#include <QDir>
#include <QFile>
#include <QtTest>

using namespace lexivane;
using namespace lexivane::testing;

class MainRoutinesTest : public QObject {
    Q_OBJECT
  private slots:
    void fileExistsNeverFails() {
        QTemporaryDir dir;
        QVERIFY(!Main::FileExists(""));
        QVERIFY(!Main::FileExists(dir.filePath("missing.txt")));
        QVERIFY(!Main::FileExists(dir.filePath("no/such/folder/file.txt")));
        QFile f(dir.filePath("there.txt"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        QVERIFY(Main::FileExists(dir.filePath("there.txt")));
        QVERIFY(Main::ordinaryFileExists(dir.filePath("there.txt")));
        QVERIFY(!Main::ordinaryFileExists(dir.path()));
        QVERIFY(!Main::ordinaryFileExists(""));
    }

    void appTitleIsCutAtWords() {
        QCOMPARE(Main::cutAppTitle("Lexivane"), QString("Lexivane"));
        const QString forty = QString(40, 'x');
        QCOMPARE(Main::cutAppTitle(forty), forty);
        QCOMPARE(Main::cutAppTitle("aaaa bbbb cccc dddd eeee ffff gggg hhhh iiii"),
                 QString("aaaa bbbb cccc dddd eeee ffff gggg hhhh"));
        QCOMPARE(Main::cutAppTitle(QString(30, 'a') + " " + QString(20, 'b') + " c"),
                 QString(30, 'a'));
        QVERIFY_THROWS_EXCEPTION(AppError, Main::cutAppTitle(QString(41, 'x')));
        Globals::reset();
        try {
            Main::SetAppTitle(QString(41, 'x'));
        } catch (const AppError&) {
        }
        QCOMPARE(Globals::appTitle, QString("Lexivane")); // keeps its built-in value
    }

    void skin() {
        // No skin file: nothing changes.
        {
            Harness h;
            QVERIFY(h.load());
            QVERIFY(!h.controls.buttonFace);
            QVERIFY(h.controls.styleSheet.isEmpty());
        }
        // A readable skin: button-face colours and the sheet applied.
        {
            Harness h;
            QVERIFY(writeSkin(h.folder(), QByteArray("QPushButton { color: navy; }\n")));
            QVERIFY(h.load());
            QVERIFY(h.desktop.reports().isEmpty());
            QVERIFY(h.controls.buttonFace);
            QVERIFY(h.controls.styleSheet.contains("navy"));
        }
        // Junk, empty or unreadable: one report under 106, the colours already changed.
        const QList<QByteArray> junk = {QByteArray("\x00\x01\x02\xff\xfe", 5), QByteArray()};
        for (const QByteArray& bytes : junk) {
            Harness h;
            QVERIFY(writeSkin(h.folder(), bytes));
            QVERIFY(h.load());
            QCOMPARE(h.desktop.reportSteps(), std::vector<int>{106});
            QVERIFY(h.controls.buttonFace);
            QVERIFY(h.controls.styleSheet.isEmpty());
            QVERIFY(!h.form.SkinFramework1.loaded());
        }
    }

    void topmostGoesThroughTheDesktop() {
        Harness h;
        QVERIFY(h.load());
        Main::MakeTopmost(h.desktop);
        QVERIFY(h.desktop.topmost);
        Main::MakeNotTopmost(h.desktop);
        QVERIFY(!h.desktop.topmost);
    }
};

QTEST_GUILESS_MAIN(MainRoutinesTest)
#include "tst_main_routines.moc"

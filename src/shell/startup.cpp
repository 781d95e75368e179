// Start-up and shut-down of the main window.

#include "config.h"
#include "lookup/late_bound.h"
#include "lookup/numeric.h"
#include "lookup/query.h"
#include "shell/cursor_file.h"
#include "shell/globals.h"
#include "shell/main_module.h"
#include "shell/settings.h"
#include "shell/steps.h"
#include "shell/window/artwork.h"
#include "shell/window/form1.h"

#include <QComboBox>
#include <QIcon>
#include <QPixmap>
#include <QTime>
#include <QTreeView>
#include <cmath>
#include <random>

namespace lexivane {

using ado::as;
using ado::Connection;

void Form1::Form_Load() {
    Steps s(desktop(), QStringLiteral("in Vandrel2021/08/31.Form1.Form_Load "));
    const QString database = Main::besideProgram(programFolder(), QStringLiteral("dbWords.mdb"));

    if (!s.test(
            100, [&] { return Main::OrdinaryFileExists(database); }, false)) {
        s.run(102, [&] {
            desktop().messageBox(database + QStringLiteral(" not found."), MsgOk,
                                 Globals::appTitle);
        });
        desktop().endProgram();
    }

    s.run(106, [&] { Main::ApplySkin(*this); });
    s.run(110,
          [&] { Globals::dbConnection = ado::CreateObject(QStringLiteral("ADODB.Connection")); });
    if (s.test(112, [&] { return as<Connection>(Globals::dbConnection).State() != 0; }))
        s.run(112, [&] { as<Connection>(Globals::dbConnection).Close(); });
    s.run(114, [&] {
        as<Connection>(Globals::dbConnection)
            .Open(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source= ") + database);
    });

    s.run(116, [&] {
        setCaption(Globals::productName);
        QIcon icon;
        for (int size : {16, 24, 32, 48, 64})
            icon.addPixmap(QPixmap::fromImage(drawProgramIcon(size)));
        setWindowIcon(icon);
        Main::SetAppTitle(Globals::productName);
    });

    const QString cursorFile = Main::besideProgram(programFolder(), QStringLiteral("HAND-M.CUR"));
    if (s.test(118, [&] { return Main::FileExists(cursorFile); }))
        s.run(120, [&] { MouseIcon = loadCursorFile(cursorFile); });

    s.run(122, [&] { OpenHomePageAtRandom(); });

    for (int i = 0; i < int(filterEntries.size()); ++i)
        s.run(140 + 2 * i, [&] {
            // Qt selects the first entry added to an empty list; the choice is restored below.
            const int selected = Combo1->currentIndex();
            Combo1->addItem(filterEntries[size_t(i)]);
            Combo1->setCurrentIndex(selected);
        });

    s.run(154, [&] {
        const QString stored =
            desktop().settings().GetSetting(QStringLiteral("Tallowick"), QStringLiteral("Lexivane"),
                                            QStringLiteral("Combo1"), QStringLiteral("0"));
        setComboListIndex(CInt(stored, NumberFormat::system()));
    });

    s.run(156, [&] { ListItems->setHeaderText(Text::resultsHeader); });
    s.run(158, [&] { ListView1->setColumnWidth(0, px(7300)); });
}

void Form1::OpenHomePageAtRandom() {
    double r;
    if (context_.random) {
        r = context_.random();
    } else {
        const double secondsSinceMidnight = QTime::currentTime().msecsSinceStartOfDay() / 1000.0;
        std::mt19937_64 engine(std::hash<double>{}(secondsSinceMidnight));
        r = std::uniform_real_distribution<double>(0.0, 1.0)(engine);
    }
    const auto n = qint16(std::floor(r * 100) + 1);
    if (n == 7) desktop().openUrl(QStringLiteral(LEXIVANE_HOME_PAGE));
}

void Form1::Form_QueryUnload(bool& /*cancel*/, int /*unloadMode*/) {
    Steps s(desktop(), QStringLiteral("in Vandrel2021/08/31.Form1.Form_QueryUnload "));
    s.run(100, [&] { desktop().yield(); });
}

void Form1::Form_Unload(bool& /*cancel*/) {
    // A save cut short here must not leave its unfinished copy behind.
    if (abandonSave) abandonSave();
    desktop().endProgram();
}

} // namespace lexivane

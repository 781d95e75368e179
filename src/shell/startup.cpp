#include "startup.h"

#include "config.h"
#include "cursor_file.h"
#include "form.h"
#include "globals.h"
#include "late_bound.h"
#include "length_filter.h"
#include "loads.h"
#include "main_module.h"
#include "numeric.h"
#include "results_model.h"
#include "settings.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTime>
#include <cmath>
#include <random>

namespace lexivane::Startup {

using ado::as;
using ado::Connection;

namespace {
void OpenHomePageAtRandom(Form& form) {
    double r;
    if (form.context().random) {
        r = form.context().random();
    } else {
        const double secondsSinceMidnight = QTime::currentTime().msecsSinceStartOfDay() / 1000.0;
        std::mt19937_64 engine(std::hash<double>{}(secondsSinceMidnight));
        r = std::uniform_real_distribution<double>(0.0, 1.0)(engine);
    }
    const auto n = qint16(std::floor(r * 100) + 1);
    if (n == 7) form.desktop().openUrl(QStringLiteral(LEXIVANE_HOME_PAGE));
}

QString databaseIn(const QString& programFolder) {
    return Main::besideProgram(programFolder, QStringLiteral("dbWords.mdb"));
}
} // namespace

std::shared_ptr<db::ReadAhead> ReadDatabaseAhead(const QString& programFolder) {
    return ado::readAhead(databaseIn(programFolder), programFolder);
}

void Form_Load(Form& form) {
    Steps s = form.steps(Handler::Form_Load);
    Desktop& desktop = form.desktop();
    FormControls& controls = form.controls();
    const QString database = databaseIn(form.programFolder());

    if (!s.test(
            100, [&] { return Main::ordinaryFileExists(database); }, false)) {
        s.run(102, [&] {
            desktop.messageBox(database + QStringLiteral(" not found."), MsgOk, Globals::appTitle);
        });
        desktop.endProgram();
    }

    s.run(106, [&] { Main::ApplySkin(form); });
    s.run(110, [&] {
        Globals::dbConnection =
            ado::CreateObject(QStringLiteral("ADODB.Connection"), form.context().dataObjects);
    });
    if (s.test(112, [&] { return as<Connection>(Globals::dbConnection).State() != 0; }))
        s.run(112, [&] { as<Connection>(Globals::dbConnection).Close(); });
    s.run(114, [&] {
        as<Connection>(Globals::dbConnection)
            .Open(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source= ") + database);
    });

    s.run(116, [&] {
        form.setCaption(Globals::productName);
        controls.showProgramIcon();
        Main::SetAppTitle(Globals::productName);
    });

    const QString cursorFile =
        Main::besideProgram(form.programFolder(), QStringLiteral("HAND-M.CUR"));
    if (s.test(118, [&] { return Main::FileExists(cursorFile); }))
        s.run(120, [&] {
            const QScreen* screen = QGuiApplication::primaryScreen();
            form.MouseIcon = loadCursorFile(cursorFile, screen ? screen->devicePixelRatio() : 1);
        });

    s.run(122, [&] { OpenHomePageAtRandom(form); });

    for (size_t i = 0; i < filterEntries.size(); ++i)
        s.run(140 + 2 * int(i), [&] { controls.addFilterEntry(filterEntries[i]); });

    s.run(154, [&] {
        const QString stored =
            desktop.settings().GetSetting(QStringLiteral("Tallowick"), QStringLiteral("Lexivane"),
                                          QStringLiteral("Combo1"), QStringLiteral("0"));
        Lookup::setComboListIndex(form, CInt(stored, NumberFormat::system()));
    });

    s.run(156, [&] { form.ListItems().setHeaderText(Text::resultsHeader); });
    s.run(158, [&] { controls.setResultsColumnWidth(7300); });
}

void Form_QueryUnload(Form& form, bool& /*cancel*/, int /*unloadMode*/) {
    Steps s = form.steps(Handler::Form_QueryUnload);
    s.run(100, [&] { form.desktop().yield(); });
}

void Form_Unload(Form& form, bool& /*cancel*/) {
    // A save cut short here must not leave its unfinished copy behind.
    if (form.abandonSave) form.abandonSave();
    form.desktop().endProgram();
}

} // namespace lexivane::Startup

#include "ado.h"
#include "form1.h"
#include "program_folder.h"
#include "qt_desktop.h"
#include "startup.h"

#include <QApplication>

int main(int argc, char** argv) {
    // Reading the word database is most of the time to the window: it begins before Qt starts.
    lexivane::ado::Options dataObjects;
    if (const QString folder = lexivane::earlyProgramFolder(); !folder.isEmpty())
        dataObjects.readAhead = lexivane::Startup::ReadDatabaseAhead(folder);

    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));

    lexivane::QtDesktop desktop;
    lexivane::Form1 window(
        {&desktop, QCoreApplication::applicationDirPath(), {}, {}, std::move(dataObjects)});
    desktop.setMainWindow(&window);
    lexivane::Startup::Form_Load(window.form());
    window.showCentred();
    return app.exec();
}

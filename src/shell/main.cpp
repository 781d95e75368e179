#include "shell/qt_desktop.h"
#include "shell/startup.h"
#include "shell/window/form1.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));

    lexivane::QtDesktop desktop;
    lexivane::Form1 window({&desktop, QCoreApplication::applicationDirPath(), {}, {}, {}});
    desktop.setMainWindow(&window);
    lexivane::Startup::Form_Load(window.form());
    window.showCentred();
    return app.exec();
}

#include "shell/qt_desktop.h"
#include "shell/window/form1.h"

#include <QApplication>
#include <QScreen>
#include <QStyle>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));

    lexivane::QtDesktop desktop;
    lexivane::Form1 form({&desktop, QCoreApplication::applicationDirPath(), {}});
    desktop.setMainWindow(&form);
    form.Form_Load();

    if (const QScreen* screen = form.screen())
        form.move(screen->availableGeometry().center() - form.rect().center());
    form.show();
    return app.exec();
}

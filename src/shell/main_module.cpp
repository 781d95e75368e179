#include "shell/main_module.h"

#include "shell/apperror.h"
#include "shell/desktop.h"
#include "shell/globals.h"
#include "shell/window/form1.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>

namespace lexivane::Main {

void MakeTopmost(Desktop& desktop, QWidget* window) {
    desktop.setTopmost(window, true);
}
void MakeNotTopmost(Desktop& desktop, QWidget* window) {
    desktop.setTopmost(window, false);
}

bool FileExists(const QString& path) {
    if (path.isEmpty()) return false;
    const QFileInfo info(path);
    return info.exists() && info.lastModified().isValid();
}

bool OrdinaryFileExists(const QString& path) {
    if (path.isEmpty()) return false;
    const QFileInfo info(path);
    return info.isFile() && !info.isHidden();
}

QString besideProgram(const QString& programFolder, const QString& name) {
    return QDir::toNativeSeparators(programFolder + QLatin1Char('/') + name);
}

void ApplySkin(Form1& form) {
    const QString path = besideProgram(form.programFolder(), QStringLiteral("x/o.cjs"));
    if (!OrdinaryFileExists(path)) return;

    const QColor buttonFace = QApplication::palette().color(QPalette::Button);
    auto paint = [&](QWidget* w) {
        QPalette p = w->palette();
        p.setColor(QPalette::Window, buttonFace);
        w->setPalette(p);
        w->setAutoFillBackground(true);
    };
    paint(&form);
    for (QWidget* w : form.findChildren<QWidget*>()) {
        if (qobject_cast<QRadioButton*>(w) || qobject_cast<QCheckBox*>(w) ||
            qobject_cast<QGroupBox*>(w) || qobject_cast<QLabel*>(w))
            paint(w);
    }

    SkinEngine& skin = form.SkinFramework1;
    skin.LoadSkin(path, QString());
    skin.Options = skin.Options | 1;
    skin.ApplyOptions = true;
    skin.ApplyDialogs = true;
    skin.ApplyWindow(&form);
}

QString cutAppTitle(const QString& name) {
    QString text = name;
    while (text.size() > 40) {
        const qsizetype space = text.lastIndexOf(QLatin1Char(' '));
        if (space < 0) throw AppError(QStringLiteral("Invalid procedure call or argument"));
        text.truncate(space);
    }
    return text;
}

void SetAppTitle(const QString& productName) {
    Globals::appTitle = cutAppTitle(productName);
}

} // namespace lexivane::Main

#include "main_module.h"

#include "apperror.h"
#include "desktop.h"
#include "form.h"
#include "globals.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

namespace lexivane::Main {

void MakeTopmost(Desktop& desktop) {
    desktop.setTopmost(true);
}
void MakeNotTopmost(Desktop& desktop) {
    desktop.setTopmost(false);
}

bool FileExists(const QString& path) {
    if (path.isEmpty()) return false;
    const QFileInfo info(path);
    return info.exists() && info.lastModified().isValid();
}

bool ordinaryFileExists(const QString& path) {
    if (path.isEmpty()) return false;
    // A FIFO or a device counts: the reader refuses it with a report, rather than the
    // program ending as if the file were missing.
    const QFileInfo info(path);
    return info.exists() && !info.isDir() && !info.isHidden();
}

QString besideProgram(const QString& programFolder, const QString& name) {
    return QDir::toNativeSeparators(programFolder + QLatin1Char('/') + name);
}

void ApplySkin(Form& form) {
    const QString path = besideProgram(form.programFolder(), QStringLiteral("x/o.cjs"));
    if (!ordinaryFileExists(path)) return;
    form.controls().paintButtonFace();
    form.SkinFramework1.loadSkin(path);
    form.SkinFramework1.applyWindow(form.controls());
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

#include "shell/skin_file.h"

#include "shell/apperror.h"

#include <QFile>
#include <QStringDecoder>

namespace lexivane {

QString readSkinFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw AppError(QStringLiteral("Cannot load skin file %1: %2").arg(path, f.errorString()));
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError)
        throw AppError(QStringLiteral("Cannot load skin file %1: %2").arg(path, f.errorString()));
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(bytes);
    if (bytes.isEmpty() || utf8.hasError() || bytes.contains('\0'))
        throw AppError(QStringLiteral("Cannot load skin file %1: not a skin").arg(path));
    return text;
}

} // namespace lexivane

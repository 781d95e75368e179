#include "shell/skin_file.h"

#include "shell/apperror.h"

#include <QFile>
#include <QStringDecoder>

namespace lexivane {

QString readSkinFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw AppError(QStringLiteral("Cannot load skin file %1: %2").arg(path, f.errorString()));
    // A style sheet is a few kilobytes; Qt would take seconds and hundreds of megabytes to
    // parse a huge file, so one past this is not a skin.
    const qint64 limit = 1 << 20;
    const QByteArray bytes = f.read(limit + 1);
    if (f.error() != QFileDevice::NoError)
        throw AppError(QStringLiteral("Cannot load skin file %1: %2").arg(path, f.errorString()));
    if (bytes.size() > limit)
        throw AppError(
            QStringLiteral("Cannot load skin file %1: larger than 1 MB, not a skin").arg(path));
    // Stateless: a sequence cut off at the end is an error, not a wait for more bytes.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    if (text.isEmpty() || utf8.hasError() || bytes.contains('\0'))
        throw AppError(QStringLiteral("Cannot load skin file %1: not a skin").arg(path));
    return text;
}

} // namespace lexivane

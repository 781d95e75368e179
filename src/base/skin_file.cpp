#include "skin_file.h"

#include "apperror.h"
#include "regular_file.h"

#include <QFile>
#include <QStringDecoder>
#include <cerrno>
#include <string>

namespace lexivane {

QString readSkinFile(const QString& path) {
    const auto failed = [&](const common::Error& e) {
        return AppError(QStringLiteral("Cannot load skin file %1: %2")
                            .arg(path, QString::fromLocal8Bit(e.why)));
    };
    auto f = common::RegularFile::open(QFile::encodeName(path).toStdString(), "a skin");
    if (!f) throw failed(f.error());
    // A style sheet is a few kilobytes; Qt would take seconds and hundreds of megabytes to
    // parse a huge file, so one past this is not a skin.
    const auto read = f->readAll(1 << 20);
    if (!read) {
        if (read.error().errorNumber != EFBIG) throw failed(read.error());
        throw AppError(
            QStringLiteral("Cannot load skin file %1: larger than 1 MB, not a skin").arg(path));
    }
    const QByteArray bytes(read->data(), qsizetype(read->size()));
    // Stateless: a sequence cut off at the end is an error, not a wait for more bytes.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    if (text.isEmpty() || utf8.hasError() || bytes.contains('\0'))
        throw AppError(QStringLiteral("Cannot load skin file %1: not a skin").arg(path));
    return text;
}

} // namespace lexivane

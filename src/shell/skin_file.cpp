#include "shell/skin_file.h"

#include "common/regular_file.h"
#include "shell/apperror.h"

#include <QFile>
#include <QStringDecoder>
#include <cerrno>
#include <string>

namespace lexivane {

QString readSkinFile(const QString& path) {
    common::RegularFile f;
    const auto failed = [&] {
        return AppError(QStringLiteral("Cannot load skin file %1: %2")
                            .arg(path, QString::fromLocal8Bit(f.error())));
    };
    if (!f.open(QFile::encodeName(path).toStdString(), "a skin")) throw failed();
    // A style sheet is a few kilobytes; Qt would take seconds and hundreds of megabytes to
    // parse a huge file, so one past this is not a skin.
    std::string read;
    if (!f.readAll(read, 1 << 20)) {
        if (f.errorNumber() != EFBIG) throw failed();
        throw AppError(
            QStringLiteral("Cannot load skin file %1: larger than 1 MB, not a skin").arg(path));
    }
    const QByteArray bytes(read.data(), qsizetype(read.size()));
    // Stateless: a sequence cut off at the end is an error, not a wait for more bytes.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    if (text.isEmpty() || utf8.hasError() || bytes.contains('\0'))
        throw AppError(QStringLiteral("Cannot load skin file %1: not a skin").arg(path));
    return text;
}

} // namespace lexivane

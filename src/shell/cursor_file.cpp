#include "cursor_file.h"

#include "apperror.h"
#include "regular_file.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPixmap>
#include <QtEndian>
#include <QtMath>
#include <cerrno>
#include <string>

namespace lexivane {

namespace {
AppError invalidPicture() {
    return AppError(QStringLiteral("Invalid picture"));
}

// Callers have checked the size.
quint16 u16(const QByteArray& b, qsizetype at) {
    return quint16(uchar(b.at(at)) | uchar(b.at(at + 1)) << 8);
}
quint32 u32(const QByteArray& b, qsizetype at) {
    return quint32(u16(b, at)) | quint32(u16(b, at + 2)) << 16;
}
quint32 be32(const QByteArray& b, qsizetype at) {
    return quint32(uchar(b.at(at))) << 24 | quint32(uchar(b.at(at + 1))) << 16 |
           quint32(uchar(b.at(at + 2))) << 8 | uchar(b.at(at + 3));
}
void put16(QByteArray& b, quint16 v) {
    b.append(char(v & 0xff));
    b.append(char(v >> 8));
}
void put32(QByteArray& b, quint32 v) {
    put16(b, quint16(v & 0xffff));
    put16(b, quint16(v >> 16));
}
} // namespace

QCursor loadCursorFile(const QString& path, qreal ratio) {
    auto f = common::RegularFile::open(QFile::encodeName(path).toStdString(), "a picture");
    if (!f) throw AppError(QString::fromLocal8Bit(f.error().why));
    // A pointer picture is small; a huge file is not one.
    const auto bytes = f->readAll(4 * 1024 * 1024);
    if (!bytes) {
        if (bytes.error().errorNumber == EFBIG) throw invalidPicture();
        throw AppError(QString::fromLocal8Bit(bytes.error().why));
    }
    return decodeCursor(QByteArray(bytes->data(), qsizetype(bytes->size())), ratio);
}

namespace {
// One picture of the file, checked; its hotspot from the directory entry.
CursorPicture decodeEntry(const QByteArray& bytes, quint16 type, int index) {
    const qsizetype entry = 6 + 16 * qsizetype(index);
    const quint32 size = u32(bytes, entry + 8);
    const quint32 offset = u32(bytes, entry + 12);
    if (size < 40 || offset < 6 + 16 || qint64(offset) + size > bytes.size())
        throw invalidPicture();
    // Qt sizes the picture by the image's own header where the directory says 0 (256), so
    // that header must be checked here: a cursor is at most 256 by 256.
    if (bytes.mid(offset, 8) == QByteArray("\x89PNG\r\n\x1a\n", 8)) {
        const quint32 w = be32(bytes, offset + 16);
        const quint32 h = be32(bytes, offset + 20);
        if (w == 0 || h == 0 || w > 256 || h > 256) throw invalidPicture();
    } else {
        const quint32 w = u32(bytes, offset + 4);
        const quint32 h = u32(bytes, offset + 8); // colour and mask stacked
        if (w == 0 || h < 2 || w > 256 || h > 512) throw invalidPicture();
    }
    const int hotX = type == 2 ? u16(bytes, entry + 4) : 0;
    const int hotY = type == 2 ? u16(bytes, entry + 6) : 0;

    // Handed to Qt's icon reader as a one-image icon file.
    QByteArray icon;
    put16(icon, 0);
    put16(icon, 1);
    put16(icon, 1);
    icon.append(bytes.mid(entry, 4));
    put16(icon, 1); // planes
    put16(icon, 0); // bit count: taken from the image header
    put32(icon, size);
    put32(icon, 6 + 16);
    icon.append(bytes.mid(offset, size));

    QBuffer buffer(&icon);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "ico");
    const QSize dims = reader.size();
    if (!dims.isValid() || dims.width() > 256 || dims.height() > 256) throw invalidPicture();
    const QImage image = reader.read();
    if (image.isNull()) throw invalidPicture();
    return {image, QPoint(qBound(0, hotX, image.width() - 1), qBound(0, hotY, image.height() - 1))};
}
} // namespace

QCursor decodeCursor(const QByteArray& bytes, qreal ratio) {
    if (bytes.size() < 6 + 16 || u16(bytes, 0) != 0) throw invalidPicture();
    const quint16 type = u16(bytes, 2);
    const quint16 count = u16(bytes, 4);
    if ((type != 1 && type != 2) || count == 0 || bytes.size() < 6 + 16 * qsizetype(count))
        throw invalidPicture();

    // The first picture has the pointer's own size; on a screen of a higher pixel ratio a
    // larger one, when the file has it, keeps the pointer sharp at the same size.
    const CursorPicture first = decodeEntry(bytes, type, 0);
    CursorPicture best = first;
    const int wanted = qCeil(first.image.width() * ratio - 0.01);
    for (int i = 1; i < qMin<int>(count, 8) && best.image.width() < wanted; ++i) {
        try {
            const CursorPicture other = decodeEntry(bytes, type, i);
            if (other.image.width() > best.image.width()) best = other;
        } catch (const AppError&) {
            // a damaged larger picture: the pointer keeps the one it has
        }
    }
    QPixmap pixmap = QPixmap::fromImage(best.image);
    const qreal scale = qreal(best.image.width()) / first.image.width();
    pixmap.setDevicePixelRatio(scale);
    return QCursor(pixmap, qRound(best.hotspot.x() / scale), qRound(best.hotspot.y() / scale));
}

QByteArray encodeCursor(const QImage& image, int hotX, int hotY) {
    return encodeCursor(QList<CursorPicture>{{image, QPoint(hotX, hotY)}});
}

namespace {
QByteArray dibOf(const QImage& source) {
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    const int w = image.width(), h = image.height();
    const int maskStride = ((w + 31) / 32) * 4;

    QByteArray dib;
    put32(dib, 40);
    put32(dib, quint32(w));
    put32(dib, quint32(h * 2)); // colour and mask stacked
    put16(dib, 1);
    put16(dib, 32);
    put32(dib, 0);
    put32(dib, quint32(w * h * 4 + maskStride * h));
    put32(dib, 0);
    put32(dib, 0);
    put32(dib, 0);
    put32(dib, 0);
    for (int y = h - 1; y >= 0; --y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            dib.append(char(qBlue(line[x])));
            dib.append(char(qGreen(line[x])));
            dib.append(char(qRed(line[x])));
            dib.append(char(qAlpha(line[x])));
        }
    }
    for (int y = h - 1; y >= 0; --y) {
        QByteArray row(maskStride, '\0');
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < w; ++x)
            if (qAlpha(line[x]) == 0) row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
        dib.append(row);
    }

    return dib;
}
} // namespace

QByteArray encodeCursor(const QList<CursorPicture>& pictures) {
    QList<QByteArray> dibs;
    for (const CursorPicture& p : pictures)
        dibs << dibOf(p.image);
    QByteArray out;
    put16(out, 0);
    put16(out, 2);
    put16(out, quint16(pictures.size()));
    quint32 offset = quint32(6 + 16 * pictures.size());
    for (qsizetype i = 0; i < pictures.size(); ++i) {
        const int w = pictures[i].image.width(), h = pictures[i].image.height();
        out.append(char(w >= 256 ? 0 : w));
        out.append(char(h >= 256 ? 0 : h));
        out.append('\0');
        out.append('\0');
        put16(out, quint16(pictures[i].hotspot.x()));
        put16(out, quint16(pictures[i].hotspot.y()));
        put32(out, quint32(dibs[i].size()));
        put32(out, offset);
        offset += quint32(dibs[i].size());
    }
    for (const QByteArray& dib : dibs)
        out.append(dib);
    return out;
}

} // namespace lexivane

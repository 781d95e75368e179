#pragma once

#include <QByteArray>
#include <QCursor>
#include <QImage>
#include <QList>
#include <QPoint>
#include <QString>

namespace lexivane {

// Reads a Windows cursor (.cur) or icon file as a pointer picture. Qt decodes the
// images but not a cursor's hotspot, which sits in the file's directory entry.
// Throws AppError("Invalid picture") for anything that is not such a file.
// The first picture in the file has the pointer's size; for a screen of a higher pixel
// ratio the pointer takes the smallest picture of the file at least that much larger (or
// its largest), at the same size.
QCursor loadCursorFile(const QString& path, qreal ratio = 1);
QCursor decodeCursor(const QByteArray& bytes, qreal ratio = 1);

// A .cur file (32-bit colour with its mask) of the pictures, the pointer's own size first.
struct CursorPicture {
    QImage image;
    QPoint hotspot;
};
QByteArray encodeCursor(const QList<CursorPicture>& pictures);
QByteArray encodeCursor(const QImage& image, int hotX, int hotY);

} // namespace lexivane

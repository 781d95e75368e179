#pragma once

#include <QByteArray>
#include <QCursor>
#include <QImage>
#include <QString>

namespace lexivane {

// Reads a Windows cursor (.cur) or icon file as a pointer picture. Qt decodes the
// images but not a cursor's hotspot, which sits in the file's directory entry.
// Throws AppError("Invalid picture") for anything that is not such a file.
QCursor loadCursorFile(const QString& path);
QCursor decodeCursor(const QByteArray& bytes);

// A one-image .cur file (32-bit colour with its mask) of the picture.
QByteArray encodeCursor(const QImage& image, int hotX, int hotY);

} // namespace lexivane

#pragma once

#include <QString>

namespace lexivane {

// Reads a skin file: a Qt style sheet in UTF-8. Throws AppError for a file that cannot be
// read or is not such text (empty, invalid UTF-8, NUL bytes).
QString readSkinFile(const QString& path);

} // namespace lexivane

#pragma once

#include "text_encoding.h"

#include <QByteArray>
#include <QString>
#include <memory>

class QIODevice;
class QSaveFile;

namespace lexivane {

// A text file written line by line in the system's code page, each line ended by CR LF.
// Given a path, the lines go to a copy beside the file that replaces it only at commit,
// so a failed or abandoned save leaves the old file as it was; where no copy can be made
// beside it (a folder the user cannot write to), the file itself is written.
class TextFileWriter {
  public:
    explicit TextFileWriter(const QString& path);
    // Any device (tests: a buffer, a device that fails); commit flushes nothing of its own.
    explicit TextFileWriter(QIODevice& device, SystemTextEncoder encoder = {});
    ~TextFileWriter();
    TextFileWriter(const TextFileWriter&) = delete;
    TextFileWriter& operator=(const TextFileWriter&) = delete;

    bool open();
    bool writeLine(const QString& text);
    // Puts the written file in place of the old one.
    bool commit();
    // Drops what was written; the old file stays.
    void abandon();
    QString errorString() const;

  private:
    SystemTextEncoder encoder_;
    std::unique_ptr<QSaveFile> file_;
    QIODevice* device_;
    QByteArray line_;
};

} // namespace lexivane

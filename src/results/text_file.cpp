#include "text_file.h"

#include <QSaveFile>

namespace lexivane {

TextFileWriter::TextFileWriter(const QString& path)
    : file_(std::make_unique<QSaveFile>(path)), device_(file_.get()) {
    // A file the user may write in a folder they may not cannot get a copy beside it: it is
    // then written in place, as saving always did before copies were used.
    file_->setDirectWriteFallback(true);
}

TextFileWriter::TextFileWriter(QIODevice& device, SystemTextEncoder encoder)
    : encoder_(std::move(encoder)), device_(&device) {}

TextFileWriter::~TextFileWriter() = default;

bool TextFileWriter::open() {
    return device_->isOpen() || device_->open(QIODevice::WriteOnly);
}

bool TextFileWriter::writeLine(const QString& text) {
    line_.clear();
    encoder_.append(line_, text);
    line_ += "\r\n";
    return device_->write(line_) == line_.size();
}

bool TextFileWriter::commit() {
    if (file_) return file_->commit();
    device_->close();
    return true;
}

void TextFileWriter::abandon() {
    if (file_) {
        file_->cancelWriting();
        file_->commit(); // drops the unfinished copy
    } else {
        device_->close();
    }
}

QString TextFileWriter::errorString() const {
    return device_->errorString();
}

} // namespace lexivane

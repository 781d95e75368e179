#pragma once

#include <QByteArray>
#include <QString>

namespace lexivane {

// Text in the system's code page; characters it cannot represent become '?'.
class SystemTextEncoder {
  public:
    SystemTextEncoder(); // the system's code set: the locale's, or Windows' ANSI code page
    explicit SystemTextEncoder(QByteArray codeSet);
    void append(QByteArray& out, const QString& text) const;
    const QByteArray& codeSet() const { return codeSet_; }

  private:
    enum class Kind { Utf8, Latin1, Ascii, Other };
    Kind kind_;
    QByteArray codeSet_;
};

} // namespace lexivane

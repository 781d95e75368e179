#pragma once

#include <QByteArray>
#include <QStringView>

// How this platform names its text code set and writes one character in a code set the
// encoder has no table of its own for.
namespace lexivane::code_set {

// The code set text files are written in: the locale's on POSIX, the ANSI code page on Windows.
QByteArray systemName();

// Whether `name` can be written by encodeOne().
bool known(const QByteArray& name);

// One character (one UTF-16 unit, or a surrogate pair) in code set `name`; empty when the code
// set has no bytes for it.
QByteArray encodeOne(const QByteArray& name, QStringView character);

} // namespace lexivane::code_set

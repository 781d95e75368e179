#pragma once

// Reading typed numbers the way the user's locale writes them. The whole entry must be
// one number: blanks around, one sign, digits with group separators between digits in
// any grouping, one decimal separator, an exponent. This is the only guard between
// typed text and SQL, so nothing else may pass.

#include <QChar>
#include <QLocale>
#include <QStringView>
#include <optional>

namespace lexivane {

struct NumberFormat {
    QChar decimal = u'.';
    QChar group = u',';
    static NumberFormat of(const QLocale& locale);
    static NumberFormat system() { return of(QLocale::system()); }
};

std::optional<double> readNumber(QStringView text, NumberFormat format);
bool IsNumeric(QStringView text, NumberFormat format);

// To a 16-bit integer, halves to even. Throws AppError "Type mismatch" for text that is
// not a number and "Overflow" outside -32768..32767.
qint16 CInt(QStringView text, NumberFormat format);

} // namespace lexivane

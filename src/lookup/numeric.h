#pragma once

// Reading typed numbers the way the user's locale writes them. The whole entry must be
// one number: blanks around, one sign, digits with group separators between digits in
// any grouping, one decimal separator, an exponent. This is the only guard between
// typed text and SQL, so nothing else may pass.

#include <QChar>
#include <QLocale>
#include <QString>
#include <QStringView>
#include <optional>

namespace lexivane {

struct NumberFormat {
    QChar decimal = u'.';
    QChar group = u',';
    static NumberFormat of(const QLocale& locale);
    static NumberFormat system() { return of(QLocale::system()); }
    // Numbers as SQL writes them.
    static NumberFormat english() { return {}; }
};

std::optional<double> readNumber(QStringView text, NumberFormat format);
bool IsNumeric(QStringView text, NumberFormat format);

// The list entry's test. It takes, in every locale, whole numbers separated by commas with
// blanks around them ("1, 3, 4"), and gives them as SQL takes them ("1,3,4"); and, as typed,
// anything that reads as one number written the English way (so "1,3,4" reads as it always
// did). Nothing for anything else.
std::optional<QString> lengthListSql(QStringView text);

// To a 16-bit integer, halves to even. Throws AppError "Type mismatch" for text that is
// not a number and "Overflow" outside -32768..32767.
qint16 CInt(QStringView text, NumberFormat format);

} // namespace lexivane

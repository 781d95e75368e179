#pragma once

#include <QString>
#include <array>

namespace lexivane {

// The length filter's entries, in the order the drop-down list holds them.
inline const std::array<QString, 7> filterEntries = {
    QStringLiteral("1-letter"),
    QStringLiteral("2-letters"),
    QStringLiteral("3-letters"),
    QStringLiteral("4-letters"),
    QStringLiteral("5-letters"),
    QStringLiteral("n-letters where n is a number of your choice (For example: 6)"),
    QStringLiteral("n-letter(s) where n is a comma-separated list of numbers (For example: 1,3,4)"),
};

inline QString sqlForLength(const QString& n) {
    return QStringLiteral("select word from words where len(word)=") + n +
           QStringLiteral(" order by word");
}
inline QString sqlForLengthList(const QString& list) {
    return QStringLiteral("select word from words where len(word) in (") + list +
           QStringLiteral(") order by word");
}
inline const QString sqlEntireList = QStringLiteral("select word from words order by word");

} // namespace lexivane

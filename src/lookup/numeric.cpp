#include "numeric.h"

#include "apperror.h"

#include <charconv>
#include <cmath>
#include <string>

namespace lexivane {

NumberFormat NumberFormat::of(const QLocale& locale) {
    NumberFormat f;
    const QString dec = locale.decimalPoint();
    const QString grp = locale.groupSeparator();
    if (dec.size() == 1) f.decimal = dec[0];
    if (grp.size() == 1 && grp[0] != f.decimal)
        f.group = grp[0];
    else if (f.decimal == u',')
        f.group = u'.';
    return f;
}

namespace {
bool isBlank(QChar c) {
    return c == u' ' || c == u'\t';
}
bool isDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}
} // namespace

std::optional<double> readNumber(QStringView text, NumberFormat format) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    std::string plain; // the number in C syntax
    plain.reserve(size_t(n));

    while (i < n && isBlank(text[i]))
        ++i;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) plain += char(text[i++].unicode());

    int digits = 0;
    while (i < n) {
        if (isDigit(text[i])) {
            plain += char(text[i++].unicode());
            ++digits;
        } else if (text[i] == format.group && digits > 0 && i + 1 < n && isDigit(text[i + 1]) &&
                   isDigit(text[i - 1])) {
            ++i; // a group separator stands between two digits
        } else {
            break;
        }
    }
    if (i < n && text[i] == format.decimal) {
        plain += '.';
        ++i;
        while (i < n && isDigit(text[i])) {
            plain += char(text[i++].unicode());
            ++digits;
        }
    }
    if (digits == 0) return std::nullopt;
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        plain += 'e';
        ++i;
        if (i < n && (text[i] == u'+' || text[i] == u'-')) plain += char(text[i++].unicode());
        int expDigits = 0;
        while (i < n && isDigit(text[i])) {
            plain += char(text[i++].unicode());
            ++expDigits;
        }
        if (expDigits == 0) return std::nullopt;
    }
    while (i < n && isBlank(text[i]))
        ++i;
    if (i != n) return std::nullopt;

    double value = 0;
    const char* first = plain.data();
    if (*first == '+') ++first;
    const auto [end, ec] = std::from_chars(first, plain.data() + plain.size(), value);
    if (ec != std::errc() || end != plain.data() + plain.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

bool IsNumeric(QStringView text, NumberFormat format) {
    return readNumber(text, format).has_value();
}

std::optional<QString> lengthListSql(QStringView text) {
    if (IsNumeric(text, NumberFormat::english())) return text.toString();
    QString sql;
    sql.reserve(text.size());
    qsizetype i = 0;
    const qsizetype n = text.size();
    for (;;) {
        while (i < n && isBlank(text[i]))
            ++i;
        const qsizetype start = i;
        while (i < n && isDigit(text[i]))
            sql += text[i++];
        if (i == start) return std::nullopt; // a number is missing
        while (i < n && isBlank(text[i]))
            ++i;
        if (i == n) return sql;
        if (text[i++] != u',') return std::nullopt;
        sql += u',';
    }
}

qint16 CInt(QStringView text, NumberFormat format) {
    const auto value = readNumber(text, format);
    if (!value) throw AppError(QStringLiteral("Type mismatch"));
    const double rounded = std::nearbyint(*value); // the default mode rounds halves to even
    if (rounded < -32768.0 || rounded > 32767.0) throw AppError(QStringLiteral("Overflow"));
    return qint16(rounded);
}

} // namespace lexivane

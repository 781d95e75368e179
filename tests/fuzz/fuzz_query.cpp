// Whatever a user types into the number or list prompt, in any locale, the SQL sent is one
// statement whose only variable part is a number or a list of numbers.

#include "apperror.h"
#include "length_filter.h"
#include "numeric.h"
#include "query_database.h"

#include <QString>
#include <cstdint>
#include <cstdlib>
#include <sqlite3.h>

using namespace lexivane;

namespace {
sqlite3* database() {
    static sqlite3* db = openQueryDatabase();
    return db;
}

bool numberChar(QChar c, NumberFormat f) {
    return (c >= u'0' && c <= u'9') || c == u' ' || c == u'\t' || c == u'+' || c == u'-' ||
           c == u'e' || c == u'E' || c == f.decimal || c == f.group;
}

void mustBeOneStatement(const QString& sql) {
    const QByteArray utf8 = sql.toUtf8();
    sqlite3_stmt* stmt = nullptr;
    const char* tail = nullptr;
    const int rc = sqlite3_prepare_v2(database(), utf8.constData(), int(utf8.size()), &stmt, &tail);
    // A locale's separator may make a syntax error; it may never make more than one statement.
    if (rc == SQLITE_OK) {
        if (!stmt || sqlite3_bind_parameter_count(stmt) != 0) std::abort();
        for (const char* p = tail; p < utf8.constData() + utf8.size(); ++p)
            if (*p != ' ' && *p != '\t') std::abort();
    }
    sqlite3_finalize(stmt);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString entry = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const NumberFormat formats[] = {
        {u'.', u','}, {u',', u'.'}, {u',', QChar(0x202f)}, {u'.', QChar(0x2019)}};
    if (const std::optional<QString> list = lengthListSql(entry)) {
        for (QChar c : *list)
            if (!numberChar(c, NumberFormat::english())) std::abort();
        mustBeOneStatement(sqlForLengthList(*list));
    }
    for (const NumberFormat f : formats) {
        if (!IsNumeric(entry, f)) continue;
        for (QChar c : entry)
            if (!numberChar(c, f)) std::abort();
        try {
            mustBeOneStatement(sqlForLength(QString::number(CInt(entry, f))));
        } catch (const AppError& e) {
            if (e.description() != QStringLiteral("Overflow"))
                std::abort(); // it passed the test, so it must convert or overflow
        }
    }
    return 0;
}

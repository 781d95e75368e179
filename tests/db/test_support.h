#pragma once

#include "ado.h"

#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <unistd.h>

namespace testsupport {

inline QString dataFile(const QString& relative) {
    return QDir(QStringLiteral(LEXIVANE_TEST_DATA)).filePath(relative);
}

inline QString connectionString(const QString& path) {
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source= ") + path;
}

// Our live child processes (zombies included), or those of `parent`: a reader that was not
// reaped or killed shows up here, as "PID (NAME) (STATE)".
inline QStringList childProcesses(qint64 parent = getpid()) {
    QStringList found;
    const QString me = QString::number(parent);
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& pid : entries) {
        bool numeric = false;
        pid.toInt(&numeric);
        if (!numeric) continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly)) continue;
        const QByteArray line = stat.readAll();
        // "pid (comm) state ppid ..." where comm may hold spaces and parentheses
        const qsizetype close = line.lastIndexOf(')');
        const QList<QByteArray> rest = line.mid(close + 2).split(' ');
        if (rest.size() > 1 && rest[1] == me.toLatin1())
            found << QStringLiteral("%1 %2 (%3)")
                         .arg(pid, QString::fromLatin1(line.mid(0, close + 1)),
                              QString::fromLatin1(rest[0]));
    }
    return found;
}

inline bool processAlive(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) return false;
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close > 0 && line.mid(close + 2, 1) != "Z";
}

// Fetches every value of the first column, "<NULL>" for a NULL.
inline QStringList fetchAll(lexivane::ado::Connection& c, const QString& sql) {
    lexivane::ado::Recordset rs;
    rs.Open(sql, &c, 3, 1);
    QStringList out;
    while (!rs.Eof()) {
        try {
            out << rs.Fields(0).Value();
        } catch (const lexivane::AppError&) {
            out << QStringLiteral("<NULL>");
        }
        rs.MoveNext();
    }
    rs.Close();
    return out;
}

} // namespace testsupport

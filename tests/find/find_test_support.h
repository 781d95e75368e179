#pragma once

// Running lexivane-find as a user does, and its query engine on lists of words in memory.

#include "query.h"
#include "word_index.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <utility>

namespace findtest {

inline QString binPath(const char* name) {
    return QDir(QStringLiteral(LEXIVANE_BIN_DIR)).filePath(QString::fromUtf8(name));
}

inline QString dataFile(const QString& relative) {
    return QDir(QStringLiteral(LEXIVANE_TEST_DATA)).filePath(relative);
}

struct Run {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
    qint64 ms = 0;
    QStringList lines() const {
        QStringList l = QString::fromUtf8(out).split(QLatin1Char('\n'));
        if (!l.isEmpty() && l.last().isEmpty()) l.removeLast();
        return l;
    }
};

// Runs the command with its cache (and home) in `cacheHome`; "" for no cache folder at all.
inline Run runFind(const QStringList& args, const QString& cacheHome, int timeoutMs = 120000) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("XDG_CACHE_HOME"));
    if (cacheHome.isEmpty()) {
        env.remove(QStringLiteral("HOME"));
    } else {
        env.insert(QStringLiteral("XDG_CACHE_HOME"), cacheHome);
        env.insert(QStringLiteral("HOME"), cacheHome);
    }
    p.setProcessEnvironment(env);
    QElapsedTimer t;
    t.start();
    p.start(binPath("lexivane-find"), args);
    Run r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        r.err = "timed out";
        r.ms = t.elapsed();
        return r;
    }
    r.ms = t.elapsed();
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

// An index of these words built in memory; a null QString stands for a NULL row.
struct MemoryIndex {
    lexivane::find::Block block;
    lexivane::find::WordIndex index;
};

inline MemoryIndex indexOf(const QStringList& words) {
    lexivane::db::WordTable table;
    for (const QString& w : words) {
        if (w.isNull()) {
            table.addNull();
        } else {
            const QByteArray utf8 = w.toUtf8();
            table.add(utf8.constData(), size_t(utf8.size()));
        }
    }
    MemoryIndex m;
    m.block = lexivane::find::buildIndex(table, {});
    m.index.open(m.block.bytes.get(), m.block.size, nullptr);
    m.index.require(~0u);
    return m;
}

using Selectors = QList<std::pair<lexivane::find::Selector, QString>>;

// The words that pass; `error` gets what add() or run() said.
inline QStringList select(const MemoryIndex& m, const Selectors& selectors,
                          QString* error = nullptr) {
    lexivane::find::Query q;
    for (const auto& [s, text] : selectors) {
        const std::string wrong = q.add(s, text.toStdString());
        if (!wrong.empty()) {
            if (error) *error = QString::fromStdString(wrong);
            return {};
        }
    }
    QStringList out;
    const std::string wrong = q.run(m.index, [&](uint32_t i) {
        const std::string_view w = m.index.word(i);
        out << QString::fromUtf8(w.data(), qsizetype(w.size()));
    });
    if (error) *error = QString::fromStdString(wrong);
    return out;
}

} // namespace findtest

// Shared by the builder's tests: running lexivane-mkdb and the word lists fed to it.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QString>
#include <QStringList>

#include <string>
#include <vector>

namespace lexivane::mkdb::test {

struct Run {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

inline QString mkdbPath() {
    return QStringLiteral(LEXIVANE_BIN_DIR "/lexivane-mkdb");
}

inline Run runMkdb(const QStringList& args) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("SOURCE_DATE_EPOCH"), QStringLiteral("1700000000"));
    p.setProcessEnvironment(env);
    p.start(mkdbPath(), args);
    Run r;
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit) {
        r.err = "lexivane-mkdb did not finish: " + p.errorString().toUtf8();
        return r;
    }
    r.exitCode = p.exitCode();
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

inline bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

inline QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline QByteArray asLines(const QStringList& words) {
    return words.join('\n').toUtf8() + '\n';
}

inline std::vector<std::string> toStd(const QStringList& words) {
    std::vector<std::string> out;
    out.reserve(words.size());
    for (const QString& w : words)
        out.push_back(w.toStdString());
    return out;
}

// Accents, other scripts, 255-character words in both encodings, and one-byte text next to
// text that needs UCS-2 (including characters whose low byte is 00).
inline QStringList mixedWords() {
    QStringList words;
    for (const char* w :
         {"café",   "naïve", "émigré",   "Ærøskøbing", "straße", "ÿ",      "a",  "ab",  "Ωμέγα",
          "Привет", "漢字",  "中文字",   "Œuvre",      "naïveŒ", "Ā",      "一", "ĀĀĀ", "Ȁȁ",
          "ÿþ",     "a b",   "a\u00a0b", "x\u200by",   "plain",  "日本語", "ǅ"})
        words.append(QString::fromUtf8(w));
    words.append(QString(255, u'x'));
    words.append(QString(255, u'é'));
    words.append(QString(255, u'Ж'));
    words.append(QStringLiteral("end"));
    return words;
}

// Enough rows for more than 512 data pages, so the table needs usage-map pages.
inline QStringList manyWords(int count = 300000) {
    QStringList words;
    words.reserve(count);
    for (int i = 0; i < count; ++i) {
        QString w;
        for (int n = i;; n /= 26) {
            w.append(QChar(u'a' + n % 26));
            if (n < 26) break;
        }
        if (i % 7 == 0) w.append(u'é');
        if (i % 11 == 0) w.prepend(u'Ж');
        if (i % 13 == 0) w.append(QString(i % 40, u'q'));
        words.append(w);
    }
    return words;
}

// Eight-letter words take 21 bytes of a data page each (19-byte row, 2-byte offset), so
// 194 fill one page; `pages` full pages, plus `extra` words on the next.
inline QStringList wordsFillingPages(int pages, int extra) {
    QStringList words;
    const int count = pages * 194 + extra;
    for (int i = 0; i < count; ++i) {
        QString w(8, u'a');
        for (int n = i, k = 7; n > 0; n /= 26, --k)
            w[k] = QChar(u'a' + n % 26);
        words.append(w);
    }
    return words;
}

// What the shipped database should hold, found with a regular expression rather than the
// builder's own test.
inline QStringList expectedShippedWords(const QString& wordList) {
    QFile f(wordList);
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QRegularExpression lowercase(QStringLiteral("^\\p{Ll}+$"));
    QStringList words;
    QSet<QString> seen;
    for (const QString& line : QString::fromUtf8(f.readAll()).split(u'\n')) {
        if (lowercase.match(line).hasMatch() && !seen.contains(line)) {
            seen.insert(line);
            words.append(line);
        }
    }
    return words;
}

} // namespace lexivane::mkdb::test

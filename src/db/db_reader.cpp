#include "db_reader.h"

#include "apperror.h"
#include "huge_pages.h"
#include "regular_file.h"
#include "utf8.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace lexivane::db {

void WordTable::add(const char* s, size_t n) {
    rows.push_back({static_cast<uint32_t>(text.size()), static_cast<uint32_t>(n)});
    text.append(s, n);
}

namespace {

uint32_t readU32(const std::string& s, size_t at) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data()) + at;
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Where the next byte from `at` on with its top bit set is, or n: eight bytes at a time, so that
// the ASCII words in between cost next to nothing to check.
size_t nextHighByte(const unsigned char* p, size_t at, size_t n) {
    for (uint64_t eight; n - at >= 8; at += 8) {
        std::memcpy(&eight, p + at, 8);
        if (eight & 0x8080808080808080ull) break;
    }
    while (at < n && p[at] < 0x80)
        ++at;
    return at;
}

QString tooLarge() {
    return QStringLiteral("the word list is larger than the program takes (more than %1 MB from "
                          "the reader)")
        .arg(kMaxStreamBytes >> 20);
}

[[noreturn]] void failOpen(const QString& path, const QString& problem) {
    // Windows paths are shown with backslashes (the same text on Linux).
    throw AppError(QStringLiteral("Cannot open the word database \"%1\": %2.")
                       .arg(QDir::toNativeSeparators(path), problem));
}

// What the helper said on its last "lexivane-words: <path>: problem" line.
QString helperProblem(const std::string& err, const QString& path) {
    QString text = QString::fromUtf8(err.data(), static_cast<qsizetype>(err.size())).trimmed();
    QString line = text.section(QLatin1Char('\n'), -1).trimmed();
    const QString prefix = QStringLiteral("lexivane-words: ") + path + QStringLiteral(": ");
    if (line.startsWith(prefix)) return line.mid(prefix.size());
    return line;
}

} // namespace

QString parseRawStream(std::string&& stream, WordTable& out) {
    static_assert(kMaxStreamBytes < WordTable::kNull, "slot offsets are 32 bits");
    out.rows.clear();
    if (stream.size() > kMaxStreamBytes) return tooLarge();
    // Most records hold a short word: some 12 bytes with the record's own five.
    out.rows.reserve(stream.size() / 12 + 16);
    preferHugePages(out.rows.data(), out.rows.capacity() * sizeof(WordTable::Slot));
    if (stream.size() < 4 || stream.compare(0, 4, "LXW1") != 0)
        return QStringLiteral("the reader's output does not start with its signature");
    size_t at = 4;
    const size_t n = stream.size();
    const auto* bytes = reinterpret_cast<const unsigned char*>(stream.data());
    size_t high = nextHighByte(bytes, at, n);
    for (;;) {
        if (at >= n) return QStringLiteral("the reader's output ends before its end mark");
        const unsigned char tag = bytes[at++];
        if (tag == 0x00) {
            out.addNull();
        } else if (tag == 0x01) {
            if (n - at < 4) return QStringLiteral("the reader's output ends inside a record");
            const uint32_t len = readU32(stream, at);
            at += 4;
            // Checked before the stream's end, so a huge length reads as what it is.
            if (len > kMaxValueBytes)
                return QStringLiteral("the reader's output holds a value of more than %1 bytes")
                    .arg(kMaxValueBytes);
            if (n - at < len) return QStringLiteral("the reader's output ends inside a record");
            // The reader writes only UTF-8; other bytes would show as other characters than
            // the ones len() and the order count. Only a value with a non-ASCII byte is looked at.
            while (high < at)
                high = nextHighByte(bytes, high + 1, n);
            if (high < at + len) {
                if (!isValidUtf8(std::string_view(stream).substr(at, len)))
                    return QStringLiteral("the reader's output holds text that is not UTF-8");
                high = nextHighByte(bytes, at + len, n);
            }
            out.rows.push_back({static_cast<uint32_t>(at), len});
            at += len;
        } else if (tag == 0xFF) {
            if (n - at != 4) return QStringLiteral("the reader's output has a malformed end mark");
            if (readU32(stream, at) != out.rows.size())
                return QStringLiteral("the reader's row count does not match its rows");
            break;
        } else {
            return QStringLiteral("the reader's output holds an unknown record");
        }
        if (out.rows.size() > kMaxRows)
            return QStringLiteral("the word list holds more than %1 words, more than the program "
                                  "takes")
                .arg(kMaxRows);
    }
    out.text = std::move(stream);
    return {};
}

size_t maxReaderOutput(qint64 fileSize) {
    // No Access file yields more than a few times its own size as text; more means the
    // library is producing rows out of nothing. Past kMaxStreamBytes the list is too large.
    return std::min(static_cast<size_t>(std::max<qint64>(fileSize, 0)) * 4 + (1 << 16),
                    kMaxStreamBytes);
}

common::Expected<child::Outcome> runHelper(const QString& absolute, const ReadLimits& limits,
                                           size_t maxOutput, std::string& stream,
                                           std::string& errText) {
    const QByteArray helper = QFile::encodeName(limits.helperPath);
    const QByteArray file = QFile::encodeName(absolute);
    QByteArray arg0("lexivane-words"), raw("--raw"), tableOpt("--table"), columnOpt("--column");
    QByteArray tableName = limits.table.toUtf8(), columnName = limits.column.toUtf8();
    char* argv[] = {arg0.data(),
                    raw.data(),
                    tableOpt.data(),
                    tableName.data(),
                    columnOpt.data(),
                    columnName.data(),
                    const_cast<char*>(file.constData()),
                    nullptr};

    // A clean environment: what the sanitizer runtime is told in such builds, and which
    // mechanisms a test leaves out, so that the helper's own layer leaves them out too.
    std::vector<std::string> env;
#ifdef LEXIVANE_SANITIZED
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
        if (const char* value = getenv(name)) env.push_back(std::string(name) + "=" + value);
#endif
    if (const std::string without = confine::withoutText(limits.confinement); !without.empty()) {
        // Appended, not added up: GCC 12 warns falsely about the sum of a literal and a string.
        std::string& e = env.emplace_back(confine::kWithoutVariable);
        e.append(1, '=').append(without);
    }
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    auto confinement =
        confine::Prepared::forReader(file.toStdString(), helper.toStdString(), limits.confinement);
    if (!confinement) return confinement.error();
    child::Command c;
    c.argv = argv;
    c.envp = envp.data();
    c.timeoutMs = std::max(1, limits.timeoutMs);
    c.cpuSeconds = child::cpuSecondsFor(c.timeoutMs);
    c.memoryLimitBytes = limits.memoryLimitBytes;
    c.maxOutput = maxOutput;
    c.pipeSize = 1 << 20;
    c.confinement = confinement->get();
    return child::run(c, stream, errText);
}

WordTable readWords(const QString& path, const ReadLimits& limits) {
    const QFileInfo info(path);
    if (!info.exists()) failOpen(path, QStringLiteral("the file does not exist"));
    if (info.isDir()) failOpen(path, QStringLiteral("it is a directory, not an Access database"));
    const QString absolute = info.absoluteFilePath();

    // The helper would wait on a FIFO until the time limit, or read a device without end:
    // anything but a regular file is refused here, at once.
    qint64 fileSize = 0;
    {
        const auto f = common::RegularFile::open(QFile::encodeName(absolute).toStdString(),
                                                 "an Access database");
        if (!f) failOpen(path, QString::fromLocal8Bit(f.error().why));
        fileSize = f->status().st_size;
    }
    const size_t maxOutput = maxReaderOutput(fileSize);
    std::string stream, errText;
    stream.reserve(std::min<size_t>(maxOutput, static_cast<size_t>(fileSize) + (1 << 16)));
    preferHugePages(stream.data(), stream.capacity());
    const common::Expected<child::Outcome> ran =
        runHelper(absolute, limits, maxOutput, stream, errText);
    if (!ran)
        failOpen(path, QStringLiteral("the reader cannot be confined (%1)")
                           .arg(QString::fromLocal8Bit(ran.error().why)));
    const child::Outcome& run = *ran;
    if (run.confineFailure.mechanism != 0)
        failOpen(path, QStringLiteral("the reader cannot be confined (%1)")
                           .arg(QString::fromLocal8Bit(confine::describe(run.confineFailure))));
    if (run.startErrno != 0)
        failOpen(path, QStringLiteral("cannot start the reader: %1")
                           .arg(QString::fromLocal8Bit(strerror(run.startErrno))));
    const int execErrno = run.execErrno;
    const bool timedOut = run.timedOut, tooMuch = run.tooMuch;
    const int timeoutMs = std::max(1, limits.timeoutMs);

    if (execErrno != 0)
        failOpen(path, QStringLiteral("the reader \"%1\" cannot be started: %2")
                           .arg(QDir::toNativeSeparators(limits.helperPath),
                                QString::fromLocal8Bit(strerror(execErrno))));
    if (timedOut)
        failOpen(path, QStringLiteral("reading it took longer than %1 ms and was stopped; the file "
                                      "may be damaged")
                           .arg(timeoutMs));
    if (tooMuch)
        failOpen(path, maxOutput == kMaxStreamBytes
                           ? tooLarge()
                           : QStringLiteral("it is damaged (the reader produced more data than "
                                            "the file holds)"));
    const QString said = helperProblem(errText, absolute);
    const child::Ending ending = child::endingOf(run);
    if (ending.killed) {
        if (said.contains(QLatin1String("out of memory")) ||
            errText.find("alloc") != std::string::npos)
            failOpen(path, QStringLiteral("the reader ran out of memory (limit %1 MB); the file "
                                          "may be damaged")
                               .arg(limits.memoryLimitBytes >> 20));
        if (ending.cpuTime)
            failOpen(path, QStringLiteral("the reader used too much processor time; the file may "
                                          "be damaged"));
        failOpen(path, QStringLiteral("the reader crashed (%1); the file may be damaged")
                           .arg(QString::fromUtf8(ending.how)));
    }
    const int code = ending.exitCode;
    if (code != 0) {
        if (said.contains(QLatin1String("out of memory")))
            failOpen(path, QStringLiteral("the reader ran out of memory (limit %1 MB); the file "
                                          "may be damaged")
                               .arg(limits.memoryLimitBytes >> 20));
        failOpen(path, said.isEmpty()
                           ? QStringLiteral("the reader failed (exit status %1)").arg(code)
                           : said);
    }
    WordTable table;
    const QString wrong = parseRawStream(std::move(stream), table);
    if (!wrong.isEmpty()) failOpen(path, wrong);
    return table;
}

namespace {
QString sameFile(const QString& path) {
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.absoluteFilePath() : canonical;
}
} // namespace

ReadAhead::ReadAhead(const QString& path, const ReadLimits& limits)
    : path_(path), limits_(limits),
      result_(std::async(std::launch::async, [path, limits] { return readWords(path, limits); })) {}

ReadAhead::~ReadAhead() = default;

std::optional<WordTable> ReadAhead::take(const QString& path, const ReadLimits& limits) {
    if (taken_ || sameFile(path) != sameFile(path_) ||
        sameFile(limits.helperPath) != sameFile(limits_.helperPath) ||
        limits.timeoutMs != limits_.timeoutMs ||
        limits.memoryLimitBytes != limits_.memoryLimitBytes || limits.table != limits_.table ||
        limits.column != limits_.column || limits.confinement != limits_.confinement)
        return std::nullopt;
    taken_ = true;
    return result_.get();
}

} // namespace lexivane::db

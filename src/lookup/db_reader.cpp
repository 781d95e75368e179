#include "lookup/db_reader.h"

#include "common/regular_file.h"
#include "lookup/huge_pages.h"
#include "shell/apperror.h"

#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace lexivane::db {

void WordTable::add(const char* s, size_t n) {
    rows.push_back({static_cast<uint32_t>(text.size()), static_cast<uint32_t>(n)});
    text.append(s, n);
}

namespace {

using Clock = std::chrono::steady_clock;

uint32_t readU32(const std::string& s, size_t at) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data()) + at;
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Strict UTF-8: no overlong forms, no surrogates, nothing past U+10FFFF.
bool validUtf8(const unsigned char* p, size_t n) {
    size_t i = 0;
    while (i < n) {
        const unsigned c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t extra = 0;
        unsigned low = 0x80, high = 0xBF; // allowed range of the second byte
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            if (c == 0xE0) low = 0xA0;
            if (c == 0xED) high = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            if (c == 0xF0) low = 0x90;
            if (c == 0xF4) high = 0x8F;
        } else {
            return false;
        }
        if (n - i - 1 < extra || p[i + 1] < low || p[i + 1] > high) return false;
        for (size_t k = 2; k <= extra; ++k)
            if ((p[i + k] & 0xC0) != 0x80) return false;
        i += extra + 1;
    }
    return true;
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
    throw AppError(QStringLiteral("Cannot open the word database \"%1\": %2.").arg(path, problem));
}

struct Pipe {
    int fd[2] = {-1, -1};
    ~Pipe() {
        for (int f : fd)
            if (f >= 0) close(f);
    }
    void closeEnd(int i) {
        if (fd[i] >= 0) close(fd[i]);
        fd[i] = -1;
    }
};

// The child: own process group (so a script's children go down with it), dies with us,
// limited, no core files, nothing inherited but the three pipes. Only async-signal-safe
// calls between fork and exec.
[[noreturn]] void runChild(const char* helper, char* const argv[], int out, int err, int status,
                           qint64 memoryLimit, int cpuSeconds) {
    setpgid(0, 0);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    // Whatever the calling thread blocked or ignored is not the helper's business.
    sigset_t unblocked;
    sigemptyset(&unblocked);
    sigprocmask(SIG_SETMASK, &unblocked, nullptr);
    signal(SIGPIPE, SIG_DFL);
    int devNull = open("/dev/null", O_RDONLY);
    if (devNull >= 0) dup2(devNull, 0);
    dup2(out, 1);
    dup2(err, 2);
    if (status != 3) {
        dup2(status, 3);
        fcntl(3, F_SETFD, FD_CLOEXEC);
    }
    syscall(SYS_close_range, 4u, ~0u, 0u);
    struct rlimit none = {0, 0};
    setrlimit(RLIMIT_CORE, &none);
    struct rlimit cpu = {rlim_t(cpuSeconds), rlim_t(cpuSeconds) + 1};
    setrlimit(RLIMIT_CPU, &cpu);
#ifndef LEXIVANE_SANITIZED
    // ASan reserves terabytes of address space up front, so only plain builds cap it.
    if (memoryLimit > 0) {
        struct rlimit as = {rlim_t(memoryLimit), rlim_t(memoryLimit)};
        setrlimit(RLIMIT_AS, &as);
    }
#else
    (void)memoryLimit;
#endif
    execv(helper, argv);
    int e = errno;
    ssize_t ignored = write(3, &e, sizeof e);
    (void)ignored;
    _exit(127);
}

QString signalName(int sig) {
    const char* d = sigdescr_np(sig);
    return d ? QStringLiteral("%1, signal %2").arg(QString::fromUtf8(d)).arg(sig)
             : QStringLiteral("signal %1").arg(sig);
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
                if (!validUtf8(bytes + at, len))
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

WordTable readWords(const QString& path, const ReadLimits& limits) {
    const QFileInfo info(path);
    if (!info.exists()) failOpen(path, QStringLiteral("the file does not exist"));
    if (info.isDir()) failOpen(path, QStringLiteral("it is a directory, not an Access database"));
    const QString absolute = info.absoluteFilePath();
    // The helper would wait on a FIFO until the time limit, or read a device without end:
    // anything but a regular file is refused here, at once.
    qint64 fileSize = 0;
    {
        common::RegularFile f;
        if (!f.open(QFile::encodeName(absolute).toStdString(), "an Access database"))
            failOpen(path, QString::fromLocal8Bit(f.error()));
        fileSize = f.status().st_size;
    }

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

    Pipe out, err, status;
    if (pipe2(out.fd, O_CLOEXEC) != 0 || pipe2(err.fd, O_CLOEXEC) != 0 ||
        pipe2(status.fd, O_CLOEXEC) != 0)
        failOpen(path, QStringLiteral("cannot start the reader: %1")
                           .arg(QString::fromLocal8Bit(strerror(errno))));

    // A bigger pipe means fewer trips between the two processes on a large list.
    fcntl(out.fd[1], F_SETPIPE_SZ, 1 << 20);

    const int timeoutMs = std::max(1, limits.timeoutMs);
    const int cpuSeconds = (timeoutMs + 999) / 1000 + 1;
    const pid_t pid = fork();
    if (pid < 0)
        failOpen(path, QStringLiteral("cannot start the reader: %1")
                           .arg(QString::fromLocal8Bit(strerror(errno))));
    if (pid == 0)
        runChild(helper.constData(), argv, out.fd[1], err.fd[1], status.fd[1],
                 limits.memoryLimitBytes, cpuSeconds);
    setpgid(pid, pid); // also here, so the group exists before we might need to kill it
    // Whatever happens from here on (an exception included), the group dies and the child is
    // reaped before we leave.
    struct Reaper {
        pid_t pid;
        int status = 0;
        bool done = false;
        void reap() {
            if (done) return;
            kill(-pid, SIGKILL);
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            done = true;
            // A script's own children die asynchronously; give them a moment to be gone so
            // nothing of ours outlives Open. The group id stays taken while any are left.
            for (int i = 0; i < 100 && kill(-pid, 0) == 0; ++i) {
                kill(-pid, SIGKILL);
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        }
        ~Reaper() { reap(); }
    } reaper{pid};
    out.closeEnd(1);
    err.closeEnd(1);
    status.closeEnd(1);

    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    // No Access file yields more than a few times its own size as text; more means the
    // library is producing rows out of nothing. Past kMaxStreamBytes the list is too large.
    const size_t maxOutput =
        std::min(static_cast<size_t>(fileSize) * 4 + (1 << 16), kMaxStreamBytes);
    std::string stream, errText;
    stream.reserve(std::min<size_t>(maxOutput, static_cast<size_t>(fileSize) + (1 << 16)));
    preferHugePages(stream.data(), stream.capacity());
    int execErrno = 0;
    bool timedOut = false, tooMuch = false;
    const size_t chunk = 1 << 18;

    struct pollfd fds[3] = {
        {out.fd[0], POLLIN, 0}, {err.fd[0], POLLIN, 0}, {status.fd[0], POLLIN, 0}};
    int openFds = 3;
    while (openFds > 0) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            break;
        }
        int r = poll(fds, 3, static_cast<int>(std::min<long long>(left.count() + 1, 1 << 30)));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) break;
        for (auto& p : fds) {
            if (p.fd < 0 || !(p.revents & (POLLIN | POLLHUP | POLLERR))) continue;
            ssize_t got;
            if (p.fd == out.fd[0]) {
                const size_t before = stream.size();
                stream.resize(before + chunk);
                got = read(p.fd, stream.data() + before, chunk);
                stream.resize(before + static_cast<size_t>(std::max<ssize_t>(got, 0)));
                if (stream.size() > maxOutput) tooMuch = true;
            } else if (p.fd == err.fd[0]) {
                char buf[4096];
                got = read(p.fd, buf, sizeof buf);
                if (got > 0) {
                    errText.append(buf, static_cast<size_t>(got));
                    if (errText.size() > 8192) errText.erase(0, errText.size() - 4096);
                }
            } else {
                got = read(p.fd, &execErrno, sizeof execErrno);
            }
            if (got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN)) {
                p.fd = -1;
                --openFds;
            }
        }
        if (tooMuch) break;
    }

    // Wait for the exit without reaping, so the group id cannot be reused before we kill it;
    // then kill whatever is left of the group and reap.
    while (!timedOut && !tooMuch) {
        siginfo_t exited{};
        if (waitid(P_PID, static_cast<id_t>(pid), &exited, WEXITED | WNOHANG | WNOWAIT) == 0 &&
            exited.si_pid == pid)
            break;
        if (Clock::now() >= deadline) {
            timedOut = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    reaper.reap();
    const int wstatus = reaper.status;

    if (execErrno != 0)
        failOpen(path, QStringLiteral("the reader \"%1\" cannot be started: %2")
                           .arg(limits.helperPath, QString::fromLocal8Bit(strerror(execErrno))));
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
    if (WIFSIGNALED(wstatus)) {
        const int sig = WTERMSIG(wstatus);
        if (said.contains(QLatin1String("out of memory")) ||
            errText.find("alloc") != std::string::npos)
            failOpen(path, QStringLiteral("the reader ran out of memory (limit %1 MB); the file "
                                          "may be damaged")
                               .arg(limits.memoryLimitBytes >> 20));
        if (sig == SIGXCPU)
            failOpen(path, QStringLiteral("the reader used too much processor time; the file may "
                                          "be damaged"));
        failOpen(path, QStringLiteral("the reader crashed (%1); the file may be damaged")
                           .arg(signalName(sig)));
    }
    const int code = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
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
        limits.column != limits_.column)
        return std::nullopt;
    taken_ = true;
    return result_.get();
}

} // namespace lexivane::db

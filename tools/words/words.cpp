// lexivane-words: prints the `word` column of table `words` of an Access file.
// The program runs this as a child process (see README.md for the raw record stream),
// so whatever a damaged file makes the reader do stays out of the program.

#include "access_reader.h"
#include "child_process.h"
#include "confine.h"
#include "regular_file.h"
#include "words_system.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <unistd.h>
#include <vector>

#ifdef LEXIVANE_WORDS_LIBMDB
#include "libmdb_reader.h"

#include <fcntl.h>
#include <glib.h>
#endif

namespace {

#ifndef LEXIVANE_VERSION
#error "LEXIVANE_VERSION is set by the build"
#endif

// Exit statuses. Every way a file can fail is 1: the line on stderr says which.
constexpr int kBadInput = 1;
constexpr int kUsage = 2;

constexpr char kUsageLine[] = "usage: lexivane-words [--raw] [--table NAME] [--column NAME] FILE\n";
constexpr char kHelp[] =
    "\n"
    "Prints the column \"word\" of the table \"words\" of FILE, an Access database\n"
    "(Jet 3, Jet 4 or ACE), one value per line in stored row order, as UTF-8.\n"
    "\n"
    "  --raw          write the record stream Lexivane reads instead of lines\n"
    "  --table NAME   read the table NAME instead of \"words\"\n"
    "  --column NAME  read the column NAME instead of \"word\"\n"
    "  -h, --help     show this help and exit\n"
    "  --version      show the version and exit\n"
    "\n"
    "Exit status: 0 read, 1 the file cannot be read as asked, 2 bad usage.\n";

int g_errFd = 2;
const char* g_path = "";

[[noreturn]] void fail(const std::string& problem) {
    std::string line = "lexivane-words: ";
    line += g_path;
    line += ": ";
    line += problem;
    line += '\n';
    ssize_t ignored = write(g_errFd, line.data(), line.size());
    (void)ignored;
    _exit(kBadInput);
}

#ifdef LEXIVANE_WORDS_LIBMDB
// glib reports a failed allocation through g_error and then aborts; say so in our own words
// first, since libmdb's chatter on stderr is silenced.
void onGlibLog(const gchar*, GLogLevelFlags level, const gchar* message, gpointer) {
    if (!(level & (G_LOG_LEVEL_ERROR | G_LOG_LEVEL_CRITICAL))) return;
    if (message && std::strstr(message, "allocate")) fail("out of memory");
    if (level & G_LOG_LEVEL_ERROR)
        fail(std::string("damaged (") + (message ? message : "library error") + ")");
}
#endif

void onNoMemory() {
    fail("out of memory");
}

class Out final : public lexivane::access::ValueSink {
  public:
    explicit Out(bool raw) : raw_(raw) { buf_.reserve(kSize + 1024); }
    void header() {
        if (raw_) buf_.append("LXW1", 4);
    }
    void value(const char* s, size_t n) override {
        if (raw_) {
            buf_.push_back('\x01');
            u32(static_cast<uint32_t>(n));
        }
        buf_.append(s, n);
        if (!raw_) buf_.push_back('\n');
        maybeFlush();
    }
    void null() override {
        buf_.push_back(raw_ ? '\0' : '\n');
        maybeFlush();
    }
    void end(uint32_t rows) {
        if (raw_) {
            buf_.push_back('\xFF');
            u32(rows);
        }
        flush();
    }

  private:
    static constexpr size_t kSize = 256 * 1024;
    void u32(uint32_t v) {
        for (int i = 0; i < 4; ++i)
            buf_.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
    void maybeFlush() {
        if (buf_.size() >= kSize) flush();
    }
    void flush() {
        size_t done = 0;
        while (done < buf_.size()) {
            ssize_t n = write(1, buf_.data() + done, buf_.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) fail(std::string("cannot write output: ") + strerror(errno));
            done += static_cast<size_t>(n);
        }
        buf_.clear();
    }
    bool raw_;
    std::string buf_;
};

// The file through the handle opened and checked for it.
class FileSource final : public lexivane::access::ByteSource {
  public:
    FileSource(const lexivane::common::RegularFile& file, uint64_t size)
        : file_(file), size_(size) {}
    uint64_t size() const override { return size_; }
    bool read(uint64_t at, uint8_t* out, size_t n) override {
        if (at > size_ || n > size_ - at) return false;
        size_t done = 0;
        while (done < n) {
            const long long r =
                file_.readAt(at + done, reinterpret_cast<char*>(out) + done, n - done);
            if (r == -EINTR) continue;
            if (r <= 0) return false;
            done += static_cast<size_t>(r);
        }
        return true;
    }

  private:
    const lexivane::common::RegularFile& file_;
    uint64_t size_;
};

} // namespace

int main(int argc, char** argv) {
    lexivane::words::prepareStreams();
    namespace confine = lexivane::confine;
    const lexivane::common::Expected<unsigned> use =
        confine::withoutFromText(getenv(confine::kWithoutVariable));
    bool raw = false;
    const char* path = nullptr;
    const char* tableName = "words";
    const char* columnName = "word";
    auto usageError = [](const std::string& problem) {
        std::string text = "lexivane-words: " + problem + "\n" + kUsageLine +
                           "Try 'lexivane-words --help' for more information.\n";
        ssize_t ignored = write(2, text.data(), text.size());
        (void)ignored;
        return kUsage;
    };
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (options && (arg == "-h" || arg == "--help")) {
            std::printf("%s%s", kUsageLine, kHelp);
            return 0;
        }
        if (options && arg == "--version") {
            if (!use) return usageError(use.error().why);
            std::printf("lexivane-words " LEXIVANE_VERSION "\nconfinement: %s\n",
                        confine::describe(confine::available(*use)).c_str());
            return 0;
        }
        if (options && arg == "--raw") {
            raw = true;
        } else if (options && (arg == "--table" || arg == "--column")) {
            if (i + 1 >= argc) return usageError("option " + arg + " needs a NAME");
            if (arg == "--table")
                tableName = argv[++i];
            else
                columnName = argv[++i];
        } else if (options && arg == "--") {
            options = false;
        } else if (options && arg.size() > 1 && arg[0] == '-') {
            return usageError("unknown option " + arg);
        } else if (path) {
            return usageError("only one FILE at a time");
        } else {
            path = argv[i];
        }
    }
    if (!path) return usageError("needs a FILE");
    if (!use) return usageError(use.error().why);
    g_path = path;
    std::set_new_handler(onNoMemory);
    lexivane::words::limitWhenRunByHand(
        std::string("lexivane-words: ") + g_path + ": reading it took longer than " +
            std::to_string(lexivane::child::kReaderTimeoutMs) + " ms and was stopped\n",
        g_errFd);

    auto checkedFile = lexivane::common::RegularFile::open(path, "an Access database");
    if (!checkedFile) {
        const lexivane::common::Error& e = checkedFile.error();
        if (e.errorNumber == ENOENT) fail("file not found");
        if (e.errorNumber == EISDIR) fail("is a directory, not an Access database");
        if (e.errorNumber == 0) fail(e.why);
        fail("cannot open: " + e.why);
    }
    const lexivane::common::RegularFile& file = *checkedFile;
    const auto size = static_cast<uint64_t>(file.status().st_size);
    FileSource source(file, size);
    // Cheap checks before the pages are read: anything refused here is refused at once.
    if (const auto format = lexivane::access::checkFile(source); !format) fail(format.error().why);

#ifdef LEXIVANE_WORDS_LIBMDB
    // libmdb, which opens by name, is given the checked descriptor as /proc/self/fd/N, so that
    // what it reads is what was checked here.
    const std::string checked = "/proc/self/fd/" + std::to_string(file.fd());
    const std::string opened = access(checked.c_str(), R_OK) == 0 ? checked : path;

    // libmdb prints its own diagnostics; keep stderr for our one line.
    g_errFd = fcntl(2, F_DUPFD_CLOEXEC, 3);
    if (g_errFd < 0)
        g_errFd = 2;
    else if (int devNull = open("/dev/null", O_WRONLY); devNull >= 0) {
        dup2(devNull, 2);
        close(devNull);
    }
    g_log_set_default_handler(onGlibLog, nullptr);
#endif

    // From here on the file's bytes drive the reader: it may read this file and its
    // libraries, and nothing else, whoever started it.
    const auto confinement = confine::Prepared::forReader(path, "", *use);
    if (!confinement) fail("cannot confine itself (" + confinement.error().why + ")");
    if (const confine::Failure f = (*confinement)->apply(); f.mechanism != 0)
        fail("cannot confine itself (" + confine::describe(f) + ")");

    Out out(raw);
    out.header();
#ifdef LEXIVANE_WORDS_LIBMDB
    const auto rows = lexivane::access::libmdbReadColumn(opened, size, tableName, columnName, out);
#else
    const auto rows = lexivane::access::readColumn(source, tableName, columnName, out);
#endif
    // Nothing more goes out after a failure: the values already buffered are dropped with it.
    if (!rows) fail(rows.error().why);
    out.end(*rows);
    return 0;
}

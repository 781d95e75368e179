// lexivane-mkdb: makes the word database dbWords.mdb from a plain-text word list.

#include "jet4.h"
#include "lowercase.h"
#include "out_file.h"
#include "regular_file.h"
#include "wordlist.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

namespace {

using namespace lexivane::mkdb;

#ifndef LEXIVANE_VERSION
#error "LEXIVANE_VERSION is set by the build"
#endif

constexpr char kUsage[] =
    "usage: lexivane-mkdb [--lowercase-only] WORDLIST OUT\n"
    "\n"
    "Writes OUT, a Jet 4.0 database with one table \"words\" and one column \"word\",\n"
    "from WORDLIST, a UTF-8 file with one word per line (LF or CR LF; empty lines are\n"
    "skipped; - reads standard input). Rows keep the order of the list. OUT is replaced\n"
    "only once it is complete. To use it, put it beside the program as dbWords.mdb.\n"
    "\n"
    "  --lowercase-only  keep only the words made solely of lower-case letters, each once\n"
    "  -h, --help        show this help and exit\n"
    "  --version         show the version and exit\n"
    "\n"
    "Exit status: 0 written, 1 bad input or a file that cannot be read or written,\n"
    "2 bad usage.\n";

// Exit statuses.
constexpr int kOk = 0;
constexpr int kBadInput = 1;
constexpr int kBadUsage = 2;

struct Failure {
    std::string message;
};

// "FILE: what: reason", the form every message after the program's name takes.
std::string sysError(const std::string& path, const std::string& what) {
    return path + ": " + what + ": " + std::strerror(errno);
}

// A word list larger than this is not one (and would not fit the database's pages).
constexpr std::size_t kMaxListBytes = std::size_t(2) << 30;

// "-" is standard input, read as it comes; a file named is a regular file or refused.
std::string readFile(const std::string& path) {
    const bool stdIn = path == "-";
    if (!stdIn) {
        auto file = lexivane::common::RegularFile::open(path);
        if (!file) throw Failure{path + ": cannot open: " + file.error().why};
        auto data = file->readAll(kMaxListBytes);
        if (!data && data.error().errorNumber == EFBIG)
            throw Failure{path + ": cannot read: larger than 2 GiB, too large for a word list"};
        if (!data) throw Failure{path + ": cannot read: " + data.error().why};
        return std::move(*data);
    }
    const int fd = STDIN_FILENO;
    std::string data;
    char buf[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            throw Failure{sysError(path, "cannot read")};
        }
        data.append(buf, static_cast<std::size_t>(n));
    }
    return data;
}

// SOURCE_DATE_EPOCH makes repeated builds byte-identical.
double creationDate() {
    if (const char* env = std::getenv("SOURCE_DATE_EPOCH"); env && *env) {
        char* end = nullptr;
        errno = 0;
        const long long secs = std::strtoll(env, &end, 10);
        if (errno == 0 && *end == '\0') return jetDateFromUnixTime(secs);
    }
    return jetDateFromUnixTime(static_cast<std::int64_t>(std::time(nullptr)));
}

[[nodiscard]] int usageError(const std::string& problem) {
    std::fprintf(stderr,
                 "lexivane-mkdb: %s\n"
                 "usage: lexivane-mkdb [--lowercase-only] WORDLIST OUT\n"
                 "Try 'lexivane-mkdb --help' for more information.\n",
                 problem.c_str());
    return kBadUsage;
}

int run(int argc, char** argv) {
    bool lowercaseOnly = false;
    std::vector<std::string> paths;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (options && (arg == "-h" || arg == "--help")) {
            std::fputs(kUsage, stdout);
            return kOk;
        }
        if (options && arg == "--version") {
            std::puts("lexivane-mkdb " LEXIVANE_VERSION);
            return kOk;
        }
        if (options && arg == "--lowercase-only") {
            lowercaseOnly = true;
        } else if (options && arg == "--") {
            options = false;
        } else if (options && arg.size() > 1 && arg.front() == '-') {
            return usageError("unknown option " + std::string(arg));
        } else {
            paths.emplace_back(arg);
        }
    }
    if (paths.size() != 2)
        return usageError("needs WORDLIST and OUT, got " + std::to_string(paths.size()) +
                          (paths.size() == 1 ? " argument" : " arguments"));
    const std::string& input = paths[0];
    const std::string& output = paths[1];
    // The database is written beside OUT and renamed, which standard output cannot do.
    if (output == "-") return usageError("OUT must name a file; - is only for WORDLIST");
    // The rename would put the database in place of a FIFO or a device: refused before any work.
    if (const auto replaceable = lexivane::common::replaceable(output); !replaceable)
        throw Failure{output + ": cannot replace it: " + replaceable.error().why};

    std::vector<std::uint8_t> bytes;
    try {
        WordList list = parseWordList(readFile(input));
        if (list.error) {
            std::fprintf(stderr, "lexivane-mkdb: %s:%zu: %s; nothing written\n", input.c_str(),
                         list.error->line, list.error->message.c_str());
            return kBadInput;
        }
        if (lowercaseOnly) list.words = keepLowercaseOnly(list.words);
        bytes = buildJet4(list.words, creationDate());
    } catch (const std::bad_alloc&) {
        throw Failure{input + ": out of memory; nothing written"};
    } catch (const std::length_error& e) {
        throw Failure{input + ": " + e.what() + "; nothing written"};
    }
    if (const std::string failed = writeAtomically(output, bytes); !failed.empty())
        throw Failure{failed};
    return kOk;
}

} // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const Failure& f) {
        std::fprintf(stderr, "lexivane-mkdb: %s\n", f.message.c_str());
    } catch (const std::bad_alloc&) {
        std::fputs("lexivane-mkdb: out of memory\n", stderr);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "lexivane-mkdb: %s\n", e.what());
    }
    return kBadInput;
}

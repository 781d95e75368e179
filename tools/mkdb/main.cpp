// lexivane-mkdb: makes the word database dbWords.mdb from a plain-text word list.

#include "jet4.h"
#include "lowercase.h"
#include "wordlist.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace lexivane::mkdb;

constexpr char kUsage[] =
    "usage: lexivane-mkdb [--lowercase-only] WORDLIST OUT\n"
    "\n"
    "Writes OUT, a Jet 4.0 database with one table \"words\" and one column \"word\",\n"
    "from WORDLIST, a UTF-8 file with one word per line (LF or CR LF; empty lines are\n"
    "skipped). Rows keep the order of the list. OUT is replaced only once it is complete.\n"
    "\n"
    "  --lowercase-only  keep only the words made solely of lower-case letters, each once\n";

struct Failure {
    std::string message;
};

std::string sysError(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

std::string readFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw Failure{sysError("cannot open", path)};
    std::string data;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
        data.reserve(static_cast<std::size_t>(st.st_size));
    char buf[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            const std::string msg = sysError("cannot read", path);
            ::close(fd);
            throw Failure{msg};
        }
        data.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return data;
}

// The temporary file to remove when the build is interrupted.
char g_tempPath[4096];

extern "C" void removeTempAndDie(int sig) {
    if (g_tempPath[0]) ::unlink(g_tempPath);
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

// Written beside OUT and renamed over it, so OUT is either the old file or the whole new one.
void writeAtomically(const std::string& out, const std::vector<std::uint8_t>& bytes) {
    const std::filesystem::path target(out);
    std::filesystem::path dir = target.parent_path();
    if (dir.empty()) dir = ".";
    std::string tmp = (dir / ("." + target.filename().string() + ".tmp-XXXXXX")).string();
    if (tmp.size() >= sizeof g_tempPath) throw Failure{"output path too long: " + out};
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        std::signal(sig, removeTempAndDie);
    sigset_t stop, old;
    sigemptyset(&stop);
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&stop, sig);
    ::sigprocmask(SIG_BLOCK, &stop, &old);
    const int fd = ::mkostemp(tmp.data(), O_CLOEXEC);
    if (fd >= 0) std::memcpy(g_tempPath, tmp.c_str(), tmp.size() + 1);
    ::sigprocmask(SIG_SETMASK, &old, nullptr);
    if (fd < 0) throw Failure{sysError("cannot create a temporary file in", dir.string())};

    auto fail = [&](const std::string& what) {
        const std::string msg = sysError(what, tmp);
        ::close(fd);
        ::unlink(tmp.c_str());
        throw Failure{msg};
    };
    const mode_t mask = ::umask(0);
    ::umask(mask);
    if (::fchmod(fd, 0666 & ~mask) != 0) fail("cannot set permissions of");
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail("cannot write");
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0) fail("cannot write");
    if (::close(fd) != 0) {
        const std::string msg = sysError("cannot write", tmp);
        ::unlink(tmp.c_str());
        throw Failure{msg};
    }
    if (::rename(tmp.c_str(), out.c_str()) != 0) {
        const std::string msg = sysError("cannot replace " + out + " with", tmp);
        ::unlink(tmp.c_str());
        throw Failure{msg};
    }
    g_tempPath[0] = '\0';
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

int run(int argc, char** argv) {
    bool lowercaseOnly = false;
    std::vector<std::string> paths;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (options && (arg == "-h" || arg == "--help")) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (options && arg == "--lowercase-only") {
            lowercaseOnly = true;
        } else if (options && arg == "--") {
            options = false;
        } else if (options && arg.size() > 1 && arg.front() == '-') {
            std::fprintf(stderr, "lexivane-mkdb: unknown option %s\n\n%s", argv[i], kUsage);
            return 2;
        } else {
            paths.emplace_back(arg);
        }
    }
    if (paths.size() != 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string& input = paths[0];
    const std::string& output = paths[1];

    WordList list = parseWordList(readFile(input));
    if (list.error) {
        std::fprintf(stderr, "lexivane-mkdb: %s:%zu: %s; nothing written\n", input.c_str(),
                     list.error->line, list.error->message.c_str());
        return 1;
    }
    if (lowercaseOnly) list.words = keepLowercaseOnly(list.words);
    writeAtomically(output, buildJet4(list.words, creationDate()));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const Failure& f) {
        std::fprintf(stderr, "lexivane-mkdb: %s\n", f.message.c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "lexivane-mkdb: %s\n", e.what());
    }
    return 1;
}

#include "out_file.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace lexivane::mkdb {

namespace {
std::string sysError(const std::string& path, const std::string& what) {
    return path + ": " + what + ": " + std::strerror(errno);
}

// The temporary file to remove when the build is interrupted.
char g_tempPath[4096];

extern "C" void removeTempAndDie(int sig) {
    if (g_tempPath[0]) ::unlink(g_tempPath);
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

} // namespace

std::string writeAtomically(const std::string& out, const std::vector<std::uint8_t>& bytes) {
    const std::filesystem::path dir = tempStem(out).parent_path();
    std::string tmp = tempStem(out).string() + "XXXXXX";
    if (tmp.size() >= sizeof g_tempPath) return out + ": path too long";
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
    if (fd < 0) return sysError(dir.string(), "cannot create a temporary file");

    // Named by OUT: the temporary file is gone by the time the user reads the message.
    auto fail = [&](const std::string& what) {
        const std::string msg = sysError(out, what);
        ::close(fd);
        ::unlink(tmp.c_str());
        return msg;
    };
    const mode_t mask = ::umask(0);
    ::umask(mask);
    if (::fchmod(fd, 0666 & ~mask) != 0) return fail("cannot set its permissions");
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail("cannot write");
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0) return fail("cannot write");
    if (::close(fd) != 0) {
        const std::string msg = sysError(out, "cannot write");
        ::unlink(tmp.c_str());
        return msg;
    }
    if (::rename(tmp.c_str(), out.c_str()) != 0) {
        const std::string msg = sysError(out, "cannot replace it");
        ::unlink(tmp.c_str());
        return msg;
    }
    g_tempPath[0] = '\0';
    return {};
}

} // namespace lexivane::mkdb

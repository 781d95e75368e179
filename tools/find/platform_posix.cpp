#include "platform.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <unistd.h>
#include <vector>

namespace lexivane::find {

std::string programFolder(const std::string& installedDir) {
    std::vector<char> buf(PATH_MAX + 1);
    const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    std::string self = n > 0 ? std::string(buf.data(), static_cast<size_t>(n)) : std::string();
    const size_t slash = self.find_last_of('/');
    const std::string dir = slash == std::string::npos ? std::string(".") : self.substr(0, slash);
    if (::access(helperIn(dir).c_str(), X_OK) == 0) return dir;
    const std::string installed = dir + "/" + installedDir;
    char resolved[PATH_MAX];
    if (::realpath(installed.c_str(), resolved)) return resolved;
    return dir;
}

std::string helperIn(const std::string& folder) {
    return folder + "/lexivane-words";
}

std::string databaseIn(const std::string& folder) {
    return folder + "/dbWords.mdb";
}

std::string resolvedPath(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

namespace {
int64_t nanoseconds(const struct timespec& t) {
    return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}
} // namespace

int64_t modifiedNs(const struct stat& st) {
    return nanoseconds(st.st_mtim);
}

int64_t changedNs(const struct stat& st) {
    return nanoseconds(st.st_ctim);
}

int writeOut(const char* p, size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(1, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return w < 0 ? errno : EIO;
        p += w;
        n -= static_cast<size_t>(w);
    }
    return 0;
}

namespace {
const unsigned char* g_mapped = nullptr;
size_t g_mappedSize = 0;

void onBusError(int sig, siginfo_t* info, void*) {
    const auto* at = static_cast<const unsigned char*>(info->si_addr);
    if (g_mapped && at >= g_mapped && at < g_mapped + g_mappedSize) {
        static const char message[] =
            "lexivane-find: the cache file was cut short while it was read; run again\n";
        ssize_t ignored = ::write(2, message, sizeof message - 1);
        (void)ignored;
        ::_exit(2);
    }
    ::signal(sig, SIG_DFL); // not ours: fail as usual
}
} // namespace

void guardMapping(const unsigned char* data, size_t size) {
    g_mapped = data;
    g_mappedSize = size;
    if (!data) return;
    struct sigaction sa {};
    sa.sa_sigaction = onBusError;
    sa.sa_flags = SA_SIGINFO;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGBUS, &sa, nullptr);
}

} // namespace lexivane::find

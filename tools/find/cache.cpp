#include "cache.h"

#include "hash.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lexivane::find {
namespace {

// A temporary file this old belongs to a run that died; live runs finish in seconds.
constexpr time_t kStaleTemporarySeconds = 3600;

bool absoluteDir(const char* s) {
    return s && s[0] == '/';
}

// mkdir -p, each new folder private to the user.
bool makeDirs(const std::string& dir) {
    struct stat st;
    if (::stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    const size_t slash = dir.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !makeDirs(dir.substr(0, slash))) return false;
    return ::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

bool writeAll(int fd, const unsigned char* p, size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

void removeStaleTemporaries(const std::string& dir, const std::string& prefix) {
    DIR* d = ::opendir(dir.c_str());
    if (!d) return;
    const time_t now = ::time(nullptr);
    while (const dirent* e = ::readdir(d)) {
        if (std::strncmp(e->d_name, prefix.c_str(), prefix.size()) != 0) continue;
        const std::string path = dir + "/" + e->d_name;
        struct stat st;
        if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            now - st.st_mtime > kStaleTemporarySeconds)
            ::unlink(path.c_str());
    }
    ::closedir(d);
}

// The temporary file being written, for a signal that ends the run meanwhile.
char g_temporary[4096];
volatile sig_atomic_t g_writing = 0;

void removeTemporaryAndDie(int sig) {
    if (g_writing) ::unlink(g_temporary);
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

// While alive, SIGINT, SIGTERM and SIGHUP remove the temporary file before the run ends.
struct SignalGuard {
    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
    struct sigaction old[3];
    explicit SignalGuard(const std::string& path) {
        std::snprintf(g_temporary, sizeof g_temporary, "%s", path.c_str());
        g_writing = 1;
        struct sigaction sa {};
        sa.sa_handler = removeTemporaryAndDie;
        sigemptyset(&sa.sa_mask);
        for (int i = 0; i < 3; ++i)
            ::sigaction(kSignals[i], &sa, &old[i]);
    }
    ~SignalGuard() {
        for (int i = 0; i < 3; ++i)
            ::sigaction(kSignals[i], &old[i], nullptr);
        g_writing = 0;
    }
};

} // namespace

std::string cacheDirectory() {
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    if (absoluteDir(xdg)) return std::string(xdg) + "/lexivane";
    const char* home = std::getenv("HOME");
    if (absoluteDir(home)) return std::string(home) + "/.cache/lexivane";
    return {};
}

std::string cacheFileFor(const std::string& dir, const std::string& sourcePath) {
    char name[40];
    std::snprintf(
        name, sizeof name, "find-%016llx.index",
        static_cast<unsigned long long>(hash64(sourcePath.data(), sourcePath.size(), 0x5041)));
    return dir + "/" + name;
}

MappedFile::~MappedFile() {
    unmap();
}

void MappedFile::unmap() {
    if (data_) ::munmap(data_, size_);
    data_ = nullptr;
    size_ = 0;
}

bool MappedFile::map(const std::string& path) {
    unmap();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return false;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) {
        ::close(fd);
        return false;
    }
    void* p = ::mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
    ::close(fd);
    if (p == MAP_FAILED) return false;
    data_ = static_cast<unsigned char*>(p);
    size_ = static_cast<size_t>(st.st_size);
    return true;
}

bool writeCacheFile(const std::string& dir, const std::string& file, const Block& block) {
    if (!makeDirs(dir)) return false;
    const std::string base = file.substr(file.find_last_of('/') + 1);
    removeStaleTemporaries(dir, base + ".tmp-");
    unsigned long long nonce = 0;
    if (::getrandom(&nonce, sizeof nonce, GRND_NONBLOCK) != sizeof nonce)
        nonce = static_cast<unsigned long long>(::time(nullptr)) ^ uint64_t(::getpid()) << 32;
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, ".tmp-%d-%016llx", int(::getpid()), nonce);
    const std::string temporary = file + suffix;
    if (temporary.size() >= sizeof g_temporary) return false;
    const SignalGuard guard(temporary);
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    const bool written = writeAll(fd, block.bytes.get(), block.size);
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(temporary.c_str(), file.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace lexivane::find

#include "cache.h"

#include "regular_file.h"

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

std::string parentOf(const std::string& dir) {
    const size_t slash = dir.find_last_of('/');
    return slash == std::string::npos ? std::string(".") : dir.substr(0, slash ? slash : 1);
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

void removeStaleTemporaries(int dirFd, const std::string& prefix) {
    const int fd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    DIR* d = ::fdopendir(fd);
    if (!d) {
        ::close(fd);
        return;
    }
    const time_t now = ::time(nullptr);
    while (const dirent* e = ::readdir(d)) {
        if (std::strncmp(e->d_name, prefix.c_str(), prefix.size()) != 0) continue;
        struct stat st;
        if (::fstatat(dirFd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
            now - st.st_mtime > kStaleTemporarySeconds)
            ::unlinkat(dirFd, e->d_name, 0);
    }
    ::closedir(d);
}

// The temporary file being written, for a signal that ends the run meanwhile.
char g_temporary[256];
volatile sig_atomic_t g_folder = -1;
volatile sig_atomic_t g_writing = 0;

void removeTemporaryAndDie(int sig) {
    if (g_writing) ::unlinkat(g_folder, g_temporary, 0);
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

// While alive, SIGINT, SIGTERM and SIGHUP remove the temporary file before the run ends.
struct SignalGuard {
    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
    struct sigaction old[3];
    SignalGuard(int folder, const std::string& name) {
        std::snprintf(g_temporary, sizeof g_temporary, "%s", name.c_str());
        g_folder = folder;
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

common::Expected<> trusted(const struct stat& st) {
    if (st.st_uid != ::geteuid()) return common::Error{"it belongs to another user"};
    if (st.st_mode & (S_IWGRP | S_IWOTH)) return common::Error{"others can write to it"};
    return {};
}

CacheFolder::~CacheFolder() {
    if (fd_ >= 0) ::close(fd_);
}

common::Expected<bool> CacheFolder::open(const std::string& dir, bool create) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    path_ = dir;
    if (create) {
        // Only the parents may be links (a home folder elsewhere is common); the cache
        // folder itself is made here, private.
        if (!makeDirs(parentOf(dir))) return false;
        if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    if (fd < 0) {
        // With O_DIRECTORY, a link in the folder's place fails as "not a directory".
        if (::lstat(dir.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return false;
        return common::Error{"it is a symbolic link"};
    }
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return false;
    }
    if (auto ok = trusted(st); !ok) {
        ::close(fd);
        return ok.error();
    }
    fd_ = fd;
    return true;
}

MappedFile::~MappedFile() {
    unmap();
}

void MappedFile::unmap() {
    if (data_) ::munmap(data_, size_);
    data_ = nullptr;
    size_ = 0;
}

common::Expected<bool> MappedFile::map(const CacheFolder& folder, const std::string& name) {
    unmap();
    if (!folder.usable()) return false;
    const auto file = common::RegularFile::openIn(folder.fd(), name);
    if (!file) {
        const int e = file.error().errorNumber;
        if (e == ELOOP) return common::Error{"it is a symbolic link"};
        if (e == 0 || e == EISDIR) return common::Error{"it is not a regular file"};
        return false;
    }
    const struct stat& st = file->status();
    if (auto ok = trusted(st); !ok) return ok.error();
    if (st.st_size <= 0) return false;
    void* p =
        ::mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE, file->fd(), 0);
    if (p == MAP_FAILED) return false;
    data_ = static_cast<unsigned char*>(p);
    size_ = static_cast<size_t>(st.st_size);
    return true;
}

bool writeCacheFile(const CacheFolder& folder, const std::string& name, const Block& block) {
    if (!folder.usable()) return false;
    const int dir = folder.fd();
    removeStaleTemporaries(dir, name + ".tmp-");
    unsigned long long nonce = 0;
    if (::getrandom(&nonce, sizeof nonce, GRND_NONBLOCK) != sizeof nonce)
        nonce = static_cast<unsigned long long>(::time(nullptr)) ^ uint64_t(::getpid()) << 32;
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, ".tmp-%d-%016llx", int(::getpid()), nonce);
    const std::string temporary = name + suffix;
    if (temporary.size() >= sizeof g_temporary) return false;
    const SignalGuard guard(dir, temporary);
    const int fd = ::openat(dir, temporary.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    const bool written = writeAll(fd, block.bytes.get(), block.size);
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::renameat(dir, temporary.c_str(), dir, name.c_str()) != 0) {
        ::unlinkat(dir, temporary.c_str(), 0);
        return false;
    }
    return true;
}

} // namespace lexivane::find

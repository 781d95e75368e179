#include "regular_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace lexivane::common {

const char* kindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISLNK(mode)) return "a symbolic link";
    return "not a regular file";
}

RegularFile::RegularFile(RegularFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), status_(other.status_) {}

RegularFile& RegularFile::operator=(RegularFile&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
        status_ = other.status_;
    }
    return *this;
}

RegularFile::~RegularFile() {
    close();
}

void RegularFile::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

namespace {
Error fromErrno(int e) {
    return {std::strerror(e), e};
}
// Without O_NONBLOCK, opening a FIFO waits for a writer; O_NOCTTY keeps a terminal from
// becoming ours.
constexpr int kReadFlags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;

// Fills out[from, out.size()) as far as the file goes: the bytes read, or -errno.
ssize_t readFrom(int fd, std::string& out, size_t from) {
    size_t got = from;
    while (got < out.size()) {
        const ssize_t r = ::pread(fd, out.data() + got, out.size() - got, static_cast<off_t>(got));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return -errno;
        if (r == 0) break;
        got += static_cast<size_t>(r);
    }
    return static_cast<ssize_t>(got - from);
}
} // namespace

Expected<RegularFile> RegularFile::open(const std::string& path, const char* what) {
    return checked(::open(path.c_str(), kReadFlags), what);
}

Expected<RegularFile> RegularFile::openIn(int folderFd, const std::string& name, const char* what) {
    return checked(::openat(folderFd, name.c_str(), kReadFlags | O_NOFOLLOW), what);
}

Expected<RegularFile> RegularFile::checked(int fd, const char* what) {
    if (fd < 0) return fromErrno(errno);
    RegularFile f; // owns fd from here: every refusal below closes it
    f.fd_ = fd;
    if (::fstat(fd, &f.status_) != 0) return fromErrno(errno);
    const mode_t mode = f.status_.st_mode;
    if (!S_ISREG(mode))
        return Error{std::string("it is ") + kindOf(mode) + ", not " + what,
                     S_ISDIR(mode) ? EISDIR : 0};
    // Reads of a regular file never wait on their own; clear the flag for whoever gets the
    // descriptor.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return f;
}

Expected<std::string> RegularFile::readAll(size_t limit) {
    if (fd_ < 0) return fromErrno(EBADF);
    const auto expected = static_cast<size_t>(status_.st_size);
    const auto tooLarge = [&] {
        close();
        return Error{"larger than " + std::to_string(limit) + " bytes", EFBIG};
    };
    if (expected > limit) return tooLarge();
    std::string out;
    // The file may have grown since fstat: one byte past the limit tells.
    out.resize(expected + 1);
    size_t got = 0;
    for (;;) {
        const ssize_t r = readFrom(fd_, out, got);
        if (r < 0) {
            close();
            return fromErrno(static_cast<int>(-r));
        }
        got += static_cast<size_t>(r);
        if (got < out.size() || got > limit) break;
        out.resize(std::min(limit + 1, got + std::max<size_t>(got, 1 << 16)));
    }
    if (got > limit) return tooLarge();
    out.resize(got);
    return out;
}

Expected<std::string> RegularFile::readHead(size_t n) {
    if (fd_ < 0) return fromErrno(EBADF);
    std::string out(n, '\0');
    const ssize_t r = readFrom(fd_, out, 0);
    if (r < 0) {
        close();
        return fromErrno(static_cast<int>(-r));
    }
    out.resize(static_cast<size_t>(r));
    return out;
}

Expected<> replaceable(const std::string& path) {
    // The rename replaces a symbolic link itself, not what it points to.
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)) return {};
    return Error{std::string("it is ") + kindOf(st.st_mode) + ", not a regular file"};
}

} // namespace lexivane::common

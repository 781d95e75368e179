#include "common/regular_file.h"

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
    : fd_(std::exchange(other.fd_, -1)), status_(other.status_), error_(std::move(other.error_)),
      errno_(other.errno_) {}

RegularFile& RegularFile::operator=(RegularFile&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
        status_ = other.status_;
        error_ = std::move(other.error_);
        errno_ = other.errno_;
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

bool RegularFile::failed(int e, std::string text) {
    close();
    errno_ = e;
    error_ = std::move(text);
    return false;
}

bool RegularFile::open(const std::string& path, const char* what) {
    close();
    error_.clear();
    errno_ = 0;
    // Without O_NONBLOCK, opening a FIFO waits for a writer; O_NOCTTY keeps a terminal from
    // becoming ours.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        const int e = errno;
        return failed(e, std::strerror(e));
    }
    fd_ = fd;
    if (::fstat(fd_, &status_) != 0) {
        const int e = errno;
        return failed(e, std::strerror(e));
    }
    if (!S_ISREG(status_.st_mode))
        return failed(0, std::string("it is ") + kindOf(status_.st_mode) + ", not " + what);
    // Reads of a regular file never wait on their own; clear the flag for whoever gets the
    // descriptor.
    const int flags = ::fcntl(fd_, F_GETFL);
    if (flags >= 0) ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK);
    return true;
}

bool RegularFile::readAll(std::string& out, size_t limit) {
    out.clear();
    if (fd_ < 0) return failed(EBADF, std::strerror(EBADF));
    const auto expected = static_cast<size_t>(status_.st_size);
    // The file may have grown since fstat: one byte past the limit tells.
    out.resize(std::min(expected, limit) + 1);
    size_t got = 0;
    for (;;) {
        if (got == out.size()) {
            if (got > limit) break;
            out.resize(std::min(limit + 1, got + std::max<size_t>(got, 1 << 16)));
        }
        const ssize_t r = ::pread(fd_, out.data() + got, out.size() - got, static_cast<off_t>(got));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) {
            const int e = errno;
            out.clear();
            errno_ = e;
            error_ = std::strerror(e);
            return false;
        }
        if (r == 0) break;
        got += static_cast<size_t>(r);
    }
    out.resize(got);
    if (got > limit) {
        errno_ = EFBIG;
        error_ = "larger than " + std::to_string(limit) + " bytes";
        return false;
    }
    return true;
}

std::string replaceableRefusal(const std::string& path) {
    // The rename replaces a symbolic link itself, not what it points to.
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)) return {};
    return std::string("it is ") + kindOf(st.st_mode) + ", not a regular file";
}

} // namespace lexivane::common

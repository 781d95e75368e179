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

long long RegularFile::readAt(uint64_t offset, char* out, size_t n) const {
    const ssize_t r = ::pread(fd_, out, n, static_cast<off_t>(offset));
    return r < 0 ? -errno : r;
}

Expected<> replaceable(const std::string& path) {
    // The rename replaces a symbolic link itself, not what it points to.
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)) return {};
    return Error{std::string("it is ") + kindOf(st.st_mode) + ", not a regular file"};
}

} // namespace lexivane::common

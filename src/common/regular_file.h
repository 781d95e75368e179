#pragma once

// Opening a file named by someone else: a FIFO, a device or a directory in its place must be
// refused at once, never waited on or read without end. The file is opened without blocking
// and without becoming a controlling terminal, checked with fstat to be a regular file, and
// read only up to a limit. (Windows: opened with CreateFileW and checked with the handle's
// file type and attributes; the path is UTF-8, or in the ANSI code page where it is not.)

#include "expected.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/stat.h>

namespace lexivane::common {

class RegularFile {
  public:
    RegularFile(RegularFile&& other) noexcept;
    RegularFile& operator=(RegularFile&& other) noexcept;
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;
    ~RegularFile();

    // Opens `path` for reading. Refused when it cannot be opened (the errno) or is not a
    // regular file ("it is a FIFO, not a regular file", `what` in place of "a regular file";
    // EISDIR for a directory, else 0).
    static Expected<RegularFile> open(const std::string& path, const char* what = "a regular file");
    // The same for `name` in the folder open as `folderFd`, a symbolic link in its place
    // refused (ELOOP): what is in a folder held open cannot be swapped by renaming a parent.
    // (Not on Windows: refused with ENOSYS.)
    static Expected<RegularFile> openIn(int folderFd, const std::string& name,
                                        const char* what = "a regular file");

    // The whole file from its start; refused with EFBIG, without reading, when it holds more
    // than `limit` bytes.
    // The file is closed when reading fails.
    Expected<std::string> readAll(size_t limit);
    // The first `n` bytes, or all of a shorter file.
    Expected<std::string> readHead(size_t n);
    // Up to `n` bytes at `offset`: how many were read (0 past the end), or -errno.
    long long readAt(uint64_t offset, char* out, size_t n) const;

    // The descriptor stays open (and owned) until close() or the end of the object.
    int fd() const { return fd_; }
    // As fstat gave it when the file was opened.
    const struct stat& status() const { return status_; }
    void close();

  private:
    RegularFile() = default;
    static Expected<RegularFile> checked(int fd, const char* what);
    // Fills out[from, out.size()) as far as the file goes: the bytes read, or -errno.
    long long readFrom(std::string& out, size_t from) const;
    int fd_ = -1;
    struct stat status_ {};
};

// "a FIFO", "a directory", "a character device"...: what a file of this mode is, when it is
// not a regular file.
const char* kindOf(mode_t mode);

// For a file about to be replaced by name (written beside it and renamed over it): refused
// unless `path` is missing or a regular file.
Expected<> replaceable(const std::string& path);

} // namespace lexivane::common

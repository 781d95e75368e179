#pragma once

// Opening a file named by someone else: a FIFO, a device or a directory in its place must be
// refused at once, never waited on or read without end. The file is opened without blocking
// and without becoming a controlling terminal, checked with fstat to be a regular file, and
// read only up to a limit.

#include <cstddef>
#include <string>
#include <sys/stat.h>

namespace lexivane::common {

class RegularFile {
  public:
    RegularFile() = default;
    RegularFile(RegularFile&& other) noexcept;
    RegularFile& operator=(RegularFile&& other) noexcept;
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;
    ~RegularFile();

    // Opens `path` for reading; false when it cannot be opened or is not a regular file, with
    // error() saying why ("it is a FIFO, not a regular file"; `what` replaces "a regular
    // file" there) and errorNumber() the errno (0 for a file of the wrong type).
    bool open(const std::string& path, const char* what = "a regular file");

    // Reads the whole file from its start; false when it holds more than `limit` bytes (`out`
    // then holds limit + 1 of them) or reading fails.
    bool readAll(std::string& out, size_t limit);

    // The descriptor stays open (and owned) until close() or the end of the object.
    int fd() const { return fd_; }
    // As fstat gave it when the file was opened.
    const struct stat& status() const { return status_; }
    const std::string& error() const { return error_; }
    int errorNumber() const { return errno_; }
    void close();

  private:
    bool failed(int e, std::string text);
    int fd_ = -1;
    struct stat status_ {};
    std::string error_;
    int errno_ = 0;
};

// "a FIFO", "a directory", "a character device"...: what a file of this mode is, when it is
// not a regular file.
const char* kindOf(mode_t mode);

// For a file about to be replaced by name (written beside it and renamed over it): "" when
// `path` is missing or a regular file, else why it must not be replaced.
std::string replaceableRefusal(const std::string& path);

} // namespace lexivane::common

#include "regular_file.h"

#include "win_text.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <io.h>

namespace lexivane::common {

using win::errnoOf;
using win::widen;

const char* kindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode)) return "a character device";
    return "not a regular file";
}

void RegularFile::close() {
    if (fd_ >= 0) ::_close(fd_);
    fd_ = -1;
}

namespace {
Error fromErrno(int e) {
    return {std::strerror(e), e};
}
} // namespace

Expected<RegularFile> RegularFile::open(const std::string& path, const char* what) {
    // Backup semantics: a directory opens too, to be told for what it is. Opening a pipe by
    // name never waits for its other end, and a device is told by the handle's type.
    HANDLE h = CreateFileW(widen(path).c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return fromErrno(errnoOf(GetLastError()));
    const DWORD type = GetFileType(h);
    BY_HANDLE_FILE_INFORMATION info{};
    const bool disk = type == FILE_TYPE_DISK && GetFileInformationByHandle(h, &info);
    mode_t mode = _S_IFREG;
    if (type == FILE_TYPE_PIPE)
        mode = _S_IFIFO;
    else if (type == FILE_TYPE_CHAR)
        mode = _S_IFCHR;
    else if (!disk)
        mode = 0;
    else if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        mode = _S_IFDIR;
    if (!S_ISREG(mode)) {
        CloseHandle(h);
        return Error{std::string("it is ") + kindOf(mode) + ", not " + what,
                     S_ISDIR(mode) ? EISDIR : 0};
    }
    const int fd = _open_osfhandle(intptr_t(h), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(h);
        return fromErrno(EMFILE);
    }
    RegularFile f;
    f.fd_ = fd;
    f.status_.st_mode = mode | _S_IREAD;
    const uint64_t size = uint64_t(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
    // The C runtime's st_size is 32 bits: no word database comes near.
    if (size > uint64_t(INT32_MAX)) return fromErrno(EFBIG);
    f.status_.st_size = static_cast<decltype(f.status_.st_size)>(size);
    return f;
}

Expected<RegularFile> RegularFile::openIn(int, const std::string&, const char*) {
    return fromErrno(ENOSYS);
}

Expected<RegularFile> RegularFile::checked(int, const char*) {
    return fromErrno(ENOSYS);
}

long long RegularFile::readAt(uint64_t offset, char* out, size_t n) const {
    const auto h = reinterpret_cast<HANDLE>(_get_osfhandle(fd_));
    if (h == INVALID_HANDLE_VALUE) return -EBADF;
    OVERLAPPED at{};
    at.Offset = DWORD(offset);
    at.OffsetHigh = DWORD(offset >> 32);
    DWORD got = 0;
    const DWORD ask = n > 0x40000000u ? 0x40000000u : DWORD(n);
    if (ReadFile(h, out, ask, &got, &at)) return got;
    const DWORD e = GetLastError();
    return e == ERROR_HANDLE_EOF ? 0 : -errnoOf(e);
}

Expected<> replaceable(const std::string& path) {
    // A link is replaced itself by the rename, not what it points to.
    const DWORD attributes = GetFileAttributesW(widen(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
        !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return {};
    return Error{"it is a directory, not a regular file"};
}

} // namespace lexivane::common

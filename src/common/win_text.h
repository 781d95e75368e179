#pragma once

// Windows only: the narrow paths and arguments the portable interfaces take, as the UTF-16
// the W functions want, and system error codes as errno values.

#include <cerrno>
#include <string>
#include <windows.h>

namespace lexivane::common::win {

// UTF-8 where `s` is valid UTF-8, else the ANSI code page (what QFile::encodeName gives there).
inline std::wstring widen(const std::string& s) {
    if (s.empty()) return {};
    for (const UINT page : {UINT(CP_UTF8), UINT(CP_ACP)}) {
        const DWORD flags = page == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0;
        const int n = MultiByteToWideChar(page, flags, s.data(), int(s.size()), nullptr, 0);
        if (n <= 0) continue;
        std::wstring w(size_t(n), L'\0');
        MultiByteToWideChar(page, flags, s.data(), int(s.size()), w.data(), n);
        return w;
    }
    return {};
}

inline int errnoOf(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_INVALID_NAME:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_PRIVILEGE_NOT_HELD:
        return EACCES;
    case ERROR_BAD_EXE_FORMAT:
    case ERROR_EXE_MACHINE_TYPE_MISMATCH:
        return ENOEXEC;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
    case ERROR_NOT_ENOUGH_QUOTA:
        return ENOMEM;
    case ERROR_TOO_MANY_OPEN_FILES:
        return EMFILE;
    case ERROR_DIRECTORY:
        return ENOTDIR;
    case ERROR_HANDLE_EOF:
    case ERROR_BROKEN_PIPE:
        return EPIPE;
    default:
        return EIO;
    }
}

} // namespace lexivane::common::win

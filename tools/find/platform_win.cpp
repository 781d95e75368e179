#include "platform.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <io.h>
#include <vector>
#include <windows.h>

namespace lexivane::find {

namespace {
// Paths are handed about in the code page the C runtime gave the arguments in.
std::string narrow(const std::wstring& wide) {
    if (wide.empty()) return {};
    const int n =
        WideCharToMultiByte(CP_ACP, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(n > 0 ? n : 0), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), int(wide.size()), out.data(), n, nullptr, nullptr);
    return out;
}

// 100-nanosecond intervals since 1601 would do as well; seconds are what stat keeps here.
int64_t nanoseconds(time_t t) {
    return int64_t(t) * 1000000000;
}
} // namespace

std::string programFolder(const std::string&) {
    std::vector<wchar_t> name(MAX_PATH);
    DWORD n = 0;
    while ((n = GetModuleFileNameW(nullptr, name.data(), DWORD(name.size()))) == name.size() &&
           name.size() < 32768)
        name.resize(name.size() * 2);
    const std::string self = narrow(std::wstring(name.data(), n));
    const size_t slash = self.find_last_of('\\');
    // The program folder is flat: the helper and the database are beside the program.
    return slash == std::string::npos ? std::string(".") : self.substr(0, slash);
}

std::string helperIn(const std::string& folder) {
    return folder + "\\lexivane-words.exe";
}

std::string databaseIn(const std::string& folder) {
    return folder + "\\dbWords.mdb";
}

std::string resolvedPath(const std::string& path) {
    char full[_MAX_PATH];
    if (!_fullpath(full, path.c_str(), sizeof full)) {
        errno = ENAMETOOLONG;
        return {};
    }
    struct stat st;
    if (::stat(full, &st) != 0) return {};
    return full;
}

int64_t modifiedNs(const struct stat& st) {
    return nanoseconds(st.st_mtime);
}

int64_t changedNs(const struct stat& st) {
    return nanoseconds(st.st_ctime);
}

int writeOut(const char* p, size_t n) {
    // The words go out as they are: no CR is put before each LF.
    static const bool binary = _setmode(1, _O_BINARY) != -1;
    (void)binary;
    while (n > 0) {
        const unsigned chunk = n > (1u << 30) ? (1u << 30) : unsigned(n);
        const int w = _write(1, p, chunk);
        if (w <= 0) return w < 0 ? errno : EIO;
        p += w;
        n -= size_t(w);
    }
    return 0;
}

// Nothing is mapped here (no cache).
void guardMapping(const unsigned char*, size_t) {}

} // namespace lexivane::find

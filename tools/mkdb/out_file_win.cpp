#include "out_file.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <windows.h>

namespace lexivane::mkdb {

namespace {
std::string systemError(const std::string& path, const std::string& what, DWORD error) {
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string reason = text ? std::filesystem::path(text).string() : std::to_string(error);
    LocalFree(text);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                               reason.back() == '.' || reason.back() == ' '))
        reason.pop_back();
    return path + ": " + what + ": " + reason;
}

// The temporary file to remove when the build is interrupted.
wchar_t g_tempPath[32768];

extern "C" void removeTempAndDie(int sig) {
    if (g_tempPath[0]) DeleteFileW(g_tempPath);
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}
} // namespace

std::string writeAtomically(const std::string& out, const std::vector<std::uint8_t>& bytes) {
    const std::filesystem::path target(out);
    const std::filesystem::path dir = tempStem(target).parent_path();
    const std::wstring tmp = tempStem(target).wstring() + std::to_wstring(GetCurrentProcessId()) +
                             L"-" + std::to_wstring(GetTickCount64());
    if (tmp.size() >= std::size(g_tempPath)) return out + ": path too long";
    for (int sig : {SIGINT, SIGTERM})
        std::signal(sig, removeTempAndDie);
    const HANDLE file = CreateFileW(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return systemError(dir.string(), "cannot create a temporary file", GetLastError());
    tmp.copy(g_tempPath, tmp.size());
    g_tempPath[tmp.size()] = L'\0';

    // Named by OUT: the temporary file is gone by the time the user reads the message.
    auto fail = [&](const std::string& what, DWORD error) {
        CloseHandle(file);
        DeleteFileW(tmp.c_str());
        g_tempPath[0] = L'\0';
        return systemError(out, what, error);
    };
    std::size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk = DWORD(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0)
            return fail("cannot write", GetLastError());
        done += written;
    }
    if (!FlushFileBuffers(file)) return fail("cannot write", GetLastError());
    if (!CloseHandle(file)) {
        const DWORD error = GetLastError();
        DeleteFileW(tmp.c_str());
        g_tempPath[0] = L'\0';
        return systemError(out, "cannot write", error);
    }
    if (!MoveFileExW(tmp.c_str(), target.wstring().c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        DeleteFileW(tmp.c_str());
        g_tempPath[0] = L'\0';
        return systemError(out, "cannot replace it", error);
    }
    g_tempPath[0] = L'\0';
    return {};
}

} // namespace lexivane::mkdb

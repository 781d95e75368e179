#include "words_system.h"

#include "child_process.h"

#include <windows.h>

#include <shellapi.h> // after windows.h

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <thread>

namespace lexivane::words {

namespace {
LONG WINAPI endOnCrash(EXCEPTION_POINTERS* crash) {
    TerminateProcess(GetCurrentProcess(), crash->ExceptionRecord->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}
} // namespace

std::vector<std::string> argumentsOf(int argc, char** argv) {
    int n = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &n);
    if (!wide) return {argv, argv + argc};
    std::vector<std::string> args;
    for (int i = 0; i < n; ++i) {
        const int size = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string arg(size_t(std::max(size, 1)), '\0');
        WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, arg.data(), size, nullptr, nullptr);
        arg.resize(arg.size() - 1);
        args.push_back(std::move(arg));
    }
    LocalFree(wide);
    return args;
}

void prepareStreams() {
    // A crash ends the reader at once, with its exception as the exit code: no dialog, no
    // debugger waiting on someone (Wine starts one whatever the error mode says).
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(endOnCrash);
    // Handles are inherited only when listed (the program lists none but the pipes).
    _setmode(1, _O_BINARY);
    _setmode(2, _O_BINARY);
}

void limitWhenRunByHand(std::string tooLong, const int& errFd) {
    // In a job already (the program's): that job's limits hold.
    BOOL inJob = FALSE;
    if (!IsProcessInJob(GetCurrentProcess(), nullptr, &inJob) || inJob) return;
    // Its handle stays open for the rest of the run: the job ends with the process.
    void* job = child::limitingJob(child::cpuSecondsFor(child::kReaderTimeoutMs),
                                   child::kReaderMemoryBytes);
    if (job) AssignProcessToJobObject(static_cast<HANDLE>(job), GetCurrentProcess());
    std::thread([tooLong = std::move(tooLong), &errFd] {
        std::this_thread::sleep_for(std::chrono::milliseconds(child::kReaderTimeoutMs));
        const int ignored = _write(errFd, tooLong.data(), unsigned(tooLong.size()));
        (void)ignored;
        _exit(1);
    }).detach();
}

std::string versionNote() {
    std::string note = "limits: a job object (one process, " +
                       std::to_string(child::cpuSecondsFor(child::kReaderTimeoutMs)) +
                       " s of processor time, " + std::to_string(child::kReaderMemoryBytes >> 20) +
                       " MB of memory; killed when its starter ends)\n";
    // Wine takes the token and the job's limits without enforcing them; say so rather than
    // claim them.
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll && GetProcAddress(ntdll, "wine_get_version"))
        note += "under Wine: neither the token nor these limits are enforced, only the kill\n";
    return note;
}

} // namespace lexivane::words

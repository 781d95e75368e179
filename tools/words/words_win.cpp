#include "words_system.h"

#include "child_process.h"

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <thread>
#include <windows.h>

namespace lexivane::words {

namespace {
LONG WINAPI endOnCrash(EXCEPTION_POINTERS* crash) {
    TerminateProcess(GetCurrentProcess(), crash->ExceptionRecord->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}
} // namespace

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

} // namespace lexivane::words

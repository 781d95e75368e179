#include "child_process.h"

#include "win_text.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

namespace lexivane::child {

namespace {

using common::win::errnoOf;
using common::win::widen;
using Clock = std::chrono::steady_clock;

struct Handle {
    HANDLE h = nullptr;
    Handle() = default;
    explicit Handle(HANDLE v) : h(v == INVALID_HANDLE_VALUE ? nullptr : v) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { reset(); }
    void reset() {
        if (h) CloseHandle(h);
        h = nullptr;
    }
};

// One argument as the C runtime's parser reads it back: quotes only where needed, and the
// backslashes before a quote doubled.
void appendQuoted(std::wstring& line, const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        line += arg;
        return;
    }
    line += L'"';
    for (size_t i = 0;; ++i) {
        size_t slashes = 0;
        while (i < arg.size() && arg[i] == L'\\') {
            ++i;
            ++slashes;
        }
        if (i == arg.size()) {
            line.append(slashes * 2, L'\\');
            break;
        }
        if (arg[i] == L'"')
            line.append(slashes * 2 + 1, L'\\');
        else
            line.append(slashes, L'\\');
        line += arg[i];
    }
    line += L'"';
}

// A pipe whose write end alone is inheritable, for the child.
bool makePipe(Handle& read, Handle& write, DWORD size) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE r = nullptr, w = nullptr;
    if (!CreatePipe(&r, &w, &inherit, size)) return false;
    read.h = r;
    write.h = w;
    return SetHandleInformation(r, HANDLE_FLAG_INHERIT, 0) != 0;
}

} // namespace

Outcome run(const Command& c, std::string& out, std::string& err) {
    Outcome o;
    Handle outRead, outWrite, errRead, errWrite;
    if (!makePipe(outRead, outWrite, DWORD(std::max(c.pipeSize, 0))) ||
        !makePipe(errRead, errWrite, 0)) {
        o.startErrno = errnoOf(GetLastError());
        return o;
    }
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    Handle nul(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                           OPEN_EXISTING, 0, nullptr));
    Handle job(static_cast<HANDLE>(limitingJob(c.cpuSeconds, c.memoryLimitBytes)));
    if (!nul.h || !job.h) {
        o.startErrno = errnoOf(GetLastError());
        return o;
    }

    // Nothing inherited but these three, whatever else this process holds inheritable.
    HANDLE inherited[] = {nul.h, outWrite.h, errWrite.h};
    SIZE_T attrSize = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &attrSize);
    std::vector<char> attrBuffer(attrSize);
    auto* attrs = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attrBuffer.data());
    if (!InitializeProcThreadAttributeList(attrs, 1, 0, &attrSize) ||
        !UpdateProcThreadAttribute(attrs, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                   sizeof inherited, nullptr, nullptr)) {
        o.startErrno = errnoOf(GetLastError());
        return o;
    }
    struct AttrRelease {
        LPPROC_THREAD_ATTRIBUTE_LIST a;
        ~AttrRelease() { DeleteProcThreadAttributeList(a); }
    } attrRelease{attrs};

    STARTUPINFOEXW start{};
    start.StartupInfo.cb = sizeof start;
    start.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    start.StartupInfo.hStdInput = nul.h;
    start.StartupInfo.hStdOutput = outWrite.h;
    start.StartupInfo.hStdError = errWrite.h;
    start.lpAttributeList = attrs;

    const std::string program = c.confinement && c.confinement->execPath()
                                    ? c.confinement->execPath()
                                    : (c.path ? c.path : "");
    const std::wstring application = widen(program);
    std::wstring line;
    for (char* const* a = c.argv; a && *a; ++a) {
        if (!line.empty()) line += L' ';
        appendQuoted(line, widen(*a));
    }
    // The whole environment it gets, as a block: an empty one still ends in two NULs.
    std::wstring environment;
    for (char* const* e = c.envp; e && *e; ++e)
        environment += widen(*e) + L'\0';
    environment += L'\0';
    environment += L'\0';

    const DWORD flags = CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT | CREATE_NO_WINDOW |
                        EXTENDED_STARTUPINFO_PRESENT;
    PROCESS_INFORMATION started{};
    HANDLE token = c.confinement ? c.confinement->childToken() : nullptr;
    const BOOL made =
        token
            ? CreateProcessAsUserW(token, application.c_str(), line.data(), nullptr, nullptr, TRUE,
                                   flags, environment.data(), nullptr, &start.StartupInfo, &started)
            : CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, TRUE, flags,
                             environment.data(), nullptr, &start.StartupInfo, &started);
    if (!made) {
        o.execErrno = errnoOf(GetLastError());
        return o;
    }
    Handle process(started.hProcess), thread(started.hThread);
    // In the job before it runs a single instruction; a process that cannot be put there
    // does not run at all.
    if (!AssignProcessToJobObject(job.h, process.h)) {
        o.startErrno = errnoOf(GetLastError());
        TerminateProcess(process.h, 1);
        WaitForSingleObject(process.h, INFINITE);
        return o;
    }
    ResumeThread(thread.h);
    outWrite.reset();
    errWrite.reset();
    nul.reset();

    // Anonymous pipes cannot wait together with a timeout: a thread reads each, and this
    // one waits for the exit, the deadline or the output cap.
    Handle stop(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::atomic<bool> tooMuch{false};
    std::thread outReader([&] {
        const size_t chunk = 1 << 18;
        for (;;) {
            const size_t before = out.size();
            out.resize(before + chunk);
            DWORD got = 0;
            const BOOL ok = ReadFile(outRead.h, out.data() + before, DWORD(chunk), &got, nullptr);
            out.resize(before + (ok ? got : 0));
            if (!ok || got == 0) break;
            if (out.size() > c.maxOutput) {
                tooMuch = true;
                SetEvent(stop.h);
                break;
            }
        }
    });
    std::thread errReader([&] {
        char buf[4096];
        DWORD got = 0;
        while (ReadFile(errRead.h, buf, sizeof buf, &got, nullptr) && got > 0) {
            err.append(buf, got);
            if (err.size() > c.errMax) err.erase(0, err.size() - c.errKeep);
        }
    });

    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(1, c.timeoutMs));
    HANDLE waitFor[] = {process.h, stop.h};
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            o.timedOut = true;
            break;
        }
        const DWORD r = WaitForMultipleObjects(2, waitFor, FALSE,
                                               DWORD(std::min<long long>(left + 1, 1 << 30)));
        if (r == WAIT_OBJECT_0 + 1) break;
        if (r == WAIT_OBJECT_0) break;
        if (r == WAIT_FAILED) break;
    }
    o.tooMuch = tooMuch;
    // Whatever is left of the job dies; then the pipes end and the readers with them.
    TerminateJobObject(job.h, 1);
    WaitForSingleObject(process.h, INFINITE);
    job.reset();
    outReader.join();
    errReader.join();
    o.tooMuch = tooMuch;

    DWORD code = 0;
    GetExitCodeProcess(process.h, &code);
    o.status = int(code);
    FILETIME created, exited, kernel, user;
    if (GetProcessTimes(process.h, &created, &exited, &kernel, &user)) {
        const ULONGLONG used = ULONGLONG(user.dwHighDateTime) << 32 | user.dwLowDateTime;
        o.cpuTimeSpent = code == ERROR_NOT_ENOUGH_QUOTA ||
                         used >= ULONGLONG(std::max(c.cpuSeconds, 0)) * 10'000'000;
    }
    return o;
}

void* limitingJob(int cpuSeconds, int64_t memoryLimitBytes) {
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    if (!job) return nullptr;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    auto& basic = limits.BasicLimitInformation;
    basic.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_ACTIVE_PROCESS |
                       JOB_OBJECT_LIMIT_PROCESS_TIME | JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
    basic.ActiveProcessLimit = 1;
    basic.PerProcessUserTimeLimit.QuadPart = LONGLONG(cpuSeconds) * 10'000'000;
    if (memoryLimitBytes > 0) {
        basic.LimitFlags |= JOB_OBJECT_LIMIT_PROCESS_MEMORY;
        limits.ProcessMemoryLimit = SIZE_T(memoryLimitBytes);
    }
    if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        CloseHandle(job);
        return nullptr;
    }
    return job;
}

Ending endingOf(const Outcome& o) {
    Ending e;
    const auto code = static_cast<unsigned>(o.status);
    if (o.cpuTimeSpent) {
        e.killed = e.cpuTime = true;
        e.how = "processor time limit";
    } else if (code >= 0xC0000000u) {
        // An NTSTATUS error: an exception nothing handled ended it.
        char text[32];
        std::snprintf(text, sizeof text, "exception 0x%08X", code);
        e.killed = true;
        e.how = text;
    } else {
        e.exitCode = int(code);
    }
    return e;
}

} // namespace lexivane::child

#include "child_process.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace lexivane::child {

namespace {

using Clock = std::chrono::steady_clock;

struct Pipe {
    int fd[2] = {-1, -1};
    ~Pipe() {
        for (int f : fd)
            if (f >= 0) close(f);
    }
    void closeEnd(int i) {
        if (fd[i] >= 0) close(fd[i]);
        fd[i] = -1;
    }
};

// What the child tells through the status pipe when it does not get to run: the mechanism
// that could not be applied (0: the execve failed) and the errno.
struct StartFailure {
    unsigned mechanism;
    int errorNumber;
};

// The child: own process group (so a script's children go down with it), dies with us,
// limited, no core files, then confined, and nothing inherited but the three pipes. Only
// async-signal-safe calls between fork and exec.
[[noreturn]] void runChild(const Command& c, pid_t parent, int out, int err, int status) {
    setpgid(0, 0);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127); // the parent is gone already
    // Whatever the calling thread blocked or ignored is not the child's business.
    sigset_t unblocked;
    sigemptyset(&unblocked);
    sigprocmask(SIG_SETMASK, &unblocked, nullptr);
    signal(SIGPIPE, SIG_DFL);
    int devNull = open("/dev/null", O_RDONLY);
    if (devNull >= 0) dup2(devNull, 0);
    dup2(out, 1);
    dup2(err, 2);
    if (status != 3) {
        dup2(status, 3);
        fcntl(3, F_SETFD, FD_CLOEXEC);
    }
    struct rlimit none = {0, 0};
    setrlimit(RLIMIT_CORE, &none);
    struct rlimit cpu = {rlim_t(c.cpuSeconds), rlim_t(c.cpuSeconds) + 1};
    setrlimit(RLIMIT_CPU, &cpu);
#ifndef LEXIVANE_SANITIZED
    // ASan reserves terabytes of address space up front, so only plain builds cap it.
    if (c.memoryLimitBytes > 0) {
        struct rlimit as = {rlim_t(c.memoryLimitBytes), rlim_t(c.memoryLimitBytes)};
        setrlimit(RLIMIT_AS, &as);
    }
#endif
    StartFailure failure{};
    if (c.confinement) {
        const confine::Failure f = c.confinement->apply();
        failure = {f.mechanism, f.errorNumber};
    }
    if (failure.mechanism == 0) {
        syscall(SYS_close_range, 4u, ~0u, 0u);
        execve(c.confinement ? c.confinement->execPath() : c.path, c.argv, c.envp);
        failure.errorNumber = errno;
    }
    ssize_t ignored = write(3, &failure, sizeof failure);
    (void)ignored;
    _exit(127);
}

// This process's memory is closed (not dumpable) while any confined child runs; the setting it
// had comes back after the last.
class MemoryClosed {
  public:
    MemoryClosed() {
        const std::lock_guard lock(mutex_);
        if (running_++ == 0) {
            before_ = prctl(PR_GET_DUMPABLE, 0, 0, 0, 0);
            prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
        }
    }
    ~MemoryClosed() {
        const std::lock_guard lock(mutex_);
        if (--running_ == 0 && before_ > 0) prctl(PR_SET_DUMPABLE, before_, 0, 0, 0);
    }
    MemoryClosed(const MemoryClosed&) = delete;
    MemoryClosed& operator=(const MemoryClosed&) = delete;

  private:
    static inline std::mutex mutex_;
    static inline int running_ = 0;
    static inline int before_ = 0;
};

} // namespace

Outcome run(const Command& c, std::string& out, std::string& err) {
    Outcome o;
    Pipe stdoutPipe, stderrPipe, statusPipe;
    if (pipe2(stdoutPipe.fd, O_CLOEXEC) != 0 || pipe2(stderrPipe.fd, O_CLOEXEC) != 0 ||
        pipe2(statusPipe.fd, O_CLOEXEC) != 0) {
        o.startErrno = errno;
        return o;
    }
    // A bigger pipe means fewer trips between the two processes on a large output.
    if (c.pipeSize > 0) fcntl(stdoutPipe.fd[1], F_SETPIPE_SZ, c.pipeSize);

    std::optional<MemoryClosed> closed;
    if (c.confinement) closed.emplace();
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) {
        o.startErrno = errno;
        return o;
    }
    if (pid == 0) runChild(c, parent, stdoutPipe.fd[1], stderrPipe.fd[1], statusPipe.fd[1]);
    setpgid(pid, pid); // also here, so the group exists before we might need to kill it
    // Whatever happens from here on (an exception included), the group dies and the child is
    // reaped before we leave.
    struct Reaper {
        pid_t pid;
        Outcome& o;
        bool done = false;
        void reap() {
            if (done) return;
            kill(-pid, SIGKILL);
            while (wait4(pid, &o.status, 0, &o.usage) < 0 && errno == EINTR) {
            }
            done = true;
            // A script's own children die asynchronously; give them a moment to be gone so
            // nothing of ours outlives the run. The group id stays taken while any are left.
            for (int i = 0; i < 100 && kill(-pid, 0) == 0; ++i) {
                kill(-pid, SIGKILL);
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        }
        ~Reaper() { reap(); }
    } reaper{pid, o};
    stdoutPipe.closeEnd(1);
    stderrPipe.closeEnd(1);
    statusPipe.closeEnd(1);

    const int timeoutMs = std::max(1, c.timeoutMs);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const size_t chunk = 1 << 18;
    struct pollfd fds[3] = {{stdoutPipe.fd[0], POLLIN, 0},
                            {stderrPipe.fd[0], POLLIN, 0},
                            {statusPipe.fd[0], POLLIN, 0}};
    int openFds = 3;
    while (openFds > 0) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            o.timedOut = true;
            break;
        }
        int r = poll(fds, 3, static_cast<int>(std::min<long long>(left.count() + 1, 1 << 30)));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) break;
        for (auto& p : fds) {
            if (p.fd < 0 || !(p.revents & (POLLIN | POLLHUP | POLLERR))) continue;
            ssize_t got;
            if (p.fd == stdoutPipe.fd[0]) {
                const size_t before = out.size();
                out.resize(before + chunk);
                got = read(p.fd, out.data() + before, chunk);
                out.resize(before + static_cast<size_t>(std::max<ssize_t>(got, 0)));
                if (out.size() > c.maxOutput) o.tooMuch = true;
            } else if (p.fd == stderrPipe.fd[0]) {
                char buf[4096];
                got = read(p.fd, buf, sizeof buf);
                if (got > 0) {
                    err.append(buf, static_cast<size_t>(got));
                    if (err.size() > c.errMax) err.erase(0, err.size() - c.errKeep);
                }
            } else {
                StartFailure f{};
                got = read(p.fd, &f, sizeof f);
                if (got == ssize_t(sizeof f) && f.mechanism == 0) o.execErrno = f.errorNumber;
                if (got == ssize_t(sizeof f) && f.mechanism != 0)
                    o.confineFailure = {f.mechanism, f.errorNumber};
            }
            if (got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN)) {
                p.fd = -1;
                --openFds;
            }
        }
        if (o.tooMuch) break;
    }

    // Wait for the exit without reaping, so the group id cannot be reused before we kill it;
    // then kill whatever is left of the group and reap.
    while (!o.timedOut && !o.tooMuch) {
        siginfo_t exited{};
        if (waitid(P_PID, static_cast<id_t>(pid), &exited, WEXITED | WNOHANG | WNOWAIT) == 0 &&
            exited.si_pid == pid)
            break;
        if (Clock::now() >= deadline) {
            o.timedOut = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    reaper.reap();
    return o;
}

Ending endingOf(const Outcome& o) {
    Ending e;
    if (WIFSIGNALED(o.status)) {
        const int sig = WTERMSIG(o.status);
        e.killed = true;
        e.cpuTime = sig == SIGXCPU;
        const char* d = sigdescr_np(sig);
        e.how = d ? std::string(d) + ", signal " + std::to_string(sig)
                  : "signal " + std::to_string(sig);
    } else if (WIFEXITED(o.status)) {
        e.exitCode = WEXITSTATUS(o.status);
    }
    return e;
}

} // namespace lexivane::child

#include "confine_policy.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <linux/seccomp.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>

namespace lexivane::confine {

namespace {

constexpr uint64_t kAll = ~uint64_t(0);

ArgTest is(unsigned index, uint64_t value) {
    return {index, kAll, value};
}

} // namespace

Policy readerPolicy(const ReaderFiles& files, bool landlock, bool sanitized) {
    Policy p;
    p.paths.push_back({files.readFile, kRead});
    if (files.exec) {
        p.paths.push_back({files.exec, kExecute | kRead});
        if (!files.interpreter.empty()) p.paths.push_back({files.interpreter, kExecute | kRead});
    }
    // The loader's cache and the system's libraries (gconv modules among them).
    p.paths.push_back({"/etc/ld.so.cache", kRead});
    for (const char* dir : {"/lib", "/lib64", "/usr/lib", "/usr/lib64", "/usr/local/lib"})
        p.paths.push_back({dir, kRead | kList});
    // The reader silences the library's chatter there.
    p.paths.push_back({"/dev/null", kRead | kWrite});
    if (sanitized) p.paths.push_back({"/proc/self", kRead | kList}); // its maps, its threads

    // The calls the loader, glibc and libmdb make.
    for (const char* name : {"read",
                             "pread64",
                             "readv",
                             "preadv",
                             "write",
                             "writev",
                             "close",
                             "close_range",
                             "fstat",
                             "newfstatat",
                             "statx",
                             "lseek",
                             "access",
                             "faccessat",
                             "faccessat2",
                             "readlink",
                             "readlinkat",
                             "getdents64",
                             "getcwd",
                             "dup",
                             "dup2",
                             "dup3",
                             "mmap",
                             "munmap",
                             "mprotect",
                             "mremap",
                             "madvise",
                             "brk",
                             "rt_sigaction",
                             "rt_sigprocmask",
                             "rt_sigreturn",
                             "sigaltstack",
                             "futex",
                             "set_robust_list",
                             "set_tid_address",
                             "rseq",
                             "arch_prctl",
                             "getrandom",
                             "clock_gettime",
                             "clock_nanosleep",
                             "nanosleep",
                             "gettimeofday",
                             "sched_yield",
                             "sched_getaffinity",
                             "getpid",
                             "gettid",
                             "getppid",
                             "getuid",
                             "geteuid",
                             "getgid",
                             "getegid",
                             "uname",
                             "getrlimit",
                             "exit",
                             "exit_group",
                             "restart_syscall"})
        p.calls.push_back({name});
    // What a confined process needs to confine itself further: these only ever narrow.
    for (const char* name : {"seccomp", "landlock_create_ruleset", "landlock_add_rule",
                             "landlock_restrict_self", "pipe2", "capget", "capset"})
        p.calls.push_back({name});
    p.calls.push_back({"prctl", {is(0, PR_SET_NO_NEW_PRIVS), is(1, 1)}});
    for (int option : {PR_GET_NO_NEW_PRIVS, PR_GET_DUMPABLE, PR_GET_PDEATHSIG, PR_GET_SECCOMP})
        p.calls.push_back({"prctl", {is(0, unsigned(option))}});
    // Signals to itself only (glibc's abort, the sanitizer's).
    for (const char* name : {"kill", "tkill", "tgkill"})
        p.calls.push_back({name, {is(0, kSelfPid)}});
    // No thread and no process: clone is refused whatever its flags, and glibc is told that
    // clone3 (whose flags sit behind a pointer) does not exist.
    p.calls.push_back({"clone3", {}, ENOSYS});
    // Opened for reading only. Landlock, when in force, lets /dev/null alone be written.
    const uint64_t writing =
        O_RDWR | O_CREAT | O_TRUNC | O_APPEND | __O_TMPFILE | (landlock ? 0 : O_WRONLY);
    p.calls.push_back({"openat", {{2, writing, 0}}});
    p.calls.push_back({"open", {{1, writing, 0}}});
    for (unsigned long request : {TCGETS, TIOCGWINSZ, FIONREAD})
        p.calls.push_back({"ioctl", {is(1, request)}});
    for (int cmd : {F_GETFD, F_SETFD, F_GETFL, F_SETFL, F_DUPFD, F_DUPFD_CLOEXEC})
        p.calls.push_back({"fcntl", {is(1, unsigned(cmd))}});
    // Limits may be read, not raised.
    p.calls.push_back({"prlimit64", {is(2, 0)}});
    // The one execve: the very path string the caller is about to pass.
    if (files.exec) p.calls.push_back({"execve", {is(0, reinterpret_cast<uintptr_t>(files.exec))}});
    if (sanitized) {
        // The sanitizer sets its own core limit, and its leak check stops the process with a
        // tracer that shares its memory, attaches to it and dies with it.
        p.calls.push_back({"prlimit64", {is(0, 0)}});
        p.calls.push_back({"setrlimit"});
        const uint64_t tracer = CLONE_VM | CLONE_UNTRACED;
        p.calls.push_back({"clone", {{0, tracer | CLONE_THREAD, tracer}}});
        p.calls.push_back({"ptrace", {is(1, kSelfPid)}});
        p.calls.push_back({"wait4"});
        for (int option : {PR_SET_PTRACER, PR_SET_DUMPABLE})
            p.calls.push_back({"prctl", {is(0, unsigned(option))}});
        p.calls.push_back({"prctl", {is(0, PR_SET_PDEATHSIG), is(1, SIGKILL)}});
        // Its runtime makes raw calls of its own: the old open (whose flags its leak check
        // needs unfiltered; Landlock still holds it to the paths) and getdents.
        for (const char* name : {"open", "getdents", "sched_getparam", "mincore"})
            p.calls.push_back({name});
    }
    return p;
}

} // namespace lexivane::confine

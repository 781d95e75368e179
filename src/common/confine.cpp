#include "confine.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <elf.h>
#include <fcntl.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sched.h>
#include <seccomp.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace lexivane::confine {

namespace {

// Landlock's interface, spelled out here: the system's headers may predate the newer parts.
constexpr unsigned kLandlockVersion = 1u;
constexpr uint64_t kFsExecute = 1ull << 0, kFsWriteFile = 1ull << 1, kFsReadFile = 1ull << 2,
                   kFsReadDir = 1ull << 3;
constexpr uint64_t kFsAbi1 = (1ull << 13) - 1;                               // execute .. make_sym
constexpr uint64_t kFsRefer = 1ull << 13;                                    // ABI 2
constexpr uint64_t kFsTruncate = 1ull << 14;                                 // ABI 3
constexpr uint64_t kFsIoctlDev = 1ull << 15;                                 // ABI 5
constexpr uint64_t kNetBindTcp = 1ull << 0, kNetConnectTcp = 1ull << 1;      // ABI 4
constexpr uint64_t kScopeAbstractUnix = 1ull << 0, kScopeSignal = 1ull << 1; // ABI 6
constexpr int kRulePathBeneath = 1;

struct RulesetAttr {
    uint64_t handledFs;
    uint64_t handledNet;
    uint64_t scoped;
};
struct __attribute__((packed)) PathBeneathAttr {
    uint64_t allowed;
    int32_t parentFd;
};

// Stands for the confined process's own id in the filter until apply() knows it: a value
// no process id reaches (they stop at 2^22).
constexpr uint32_t kSelf = 0x3FFFFFF1u;

#ifdef LEXIVANE_SANITIZED
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

scmp_arg_cmp arg(unsigned n, scmp_compare op, uint64_t a, uint64_t b = 0) {
    return scmp_arg_cmp{n, op, a, b};
}

// The ELF interpreter the kernel loads with `program`: it must be executable too.
std::string interpreterOf(const char* program) {
    const int fd = open(program, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return {};
    std::string found;
    Elf64_Ehdr h{};
    if (pread(fd, &h, sizeof h, 0) == ssize_t(sizeof h) && std::memcmp(h.e_ident, ELFMAG, 4) == 0 &&
        h.e_ident[EI_CLASS] == ELFCLASS64 && h.e_phentsize == sizeof(Elf64_Phdr)) {
        for (unsigned i = 0; i < h.e_phnum && i < 64; ++i) {
            Elf64_Phdr p{};
            if (pread(fd, &p, sizeof p, off_t(h.e_phoff + i * sizeof p)) != ssize_t(sizeof p))
                break;
            if (p.p_type != PT_INTERP || p.p_filesz == 0 || p.p_filesz > 4096) continue;
            found.resize(p.p_filesz);
            if (pread(fd, found.data(), found.size(), off_t(p.p_offset)) != ssize_t(found.size()))
                found.clear();
            found.resize(std::strlen(found.c_str()));
            break;
        }
    }
    close(fd);
    return found;
}

// Everything not allowed here fails with EPERM: a forbidden call is an error the reader
// reports, not a mystery death. The calls are what the loader, glibc, libmdb and (in
// sanitizer builds) the sanitizer runtime make.
std::vector<sock_filter> buildFilter(const char* exec, bool landlockInForce) {
    scmp_filter_ctx ctx = seccomp_init(SCMP_ACT_ERRNO(EPERM));
    if (!ctx) return {};
    // libmdb makes four calls a page (fstat, two lseeks, read): the filter looks a call up
    // in a tree rather than down a list, or a million words pay some 8 % for it.
    seccomp_attr_set(ctx, SCMP_FLTATR_CTL_OPTIMIZE, 2);
    bool ok = true;
    auto allow = [&](int nr, std::initializer_list<scmp_arg_cmp> args = {}) {
        if (nr < 0) return; // not a call of this architecture
        ok = ok && seccomp_rule_add_array(ctx, SCMP_ACT_ALLOW, nr, unsigned(args.size()),
                                          args.begin()) == 0;
    };
    for (int nr : {SCMP_SYS(read),
                   SCMP_SYS(pread64),
                   SCMP_SYS(readv),
                   SCMP_SYS(preadv),
                   SCMP_SYS(write),
                   SCMP_SYS(writev),
                   SCMP_SYS(close),
                   SCMP_SYS(fstat),
                   SCMP_SYS(newfstatat),
                   SCMP_SYS(statx),
                   SCMP_SYS(lseek),
                   SCMP_SYS(access),
                   SCMP_SYS(faccessat),
                   SCMP_SYS(faccessat2),
                   SCMP_SYS(readlink),
                   SCMP_SYS(readlinkat),
                   SCMP_SYS(getdents64),
                   SCMP_SYS(getcwd),
                   SCMP_SYS(dup),
                   SCMP_SYS(dup2),
                   SCMP_SYS(dup3),
                   SCMP_SYS(mmap),
                   SCMP_SYS(munmap),
                   SCMP_SYS(mprotect),
                   SCMP_SYS(mremap),
                   SCMP_SYS(madvise),
                   SCMP_SYS(brk),
                   SCMP_SYS(rt_sigaction),
                   SCMP_SYS(rt_sigprocmask),
                   SCMP_SYS(rt_sigreturn),
                   SCMP_SYS(sigaltstack),
                   SCMP_SYS(futex),
                   SCMP_SYS(set_robust_list),
                   SCMP_SYS(set_tid_address),
                   SCMP_SYS(rseq),
                   SCMP_SYS(arch_prctl),
                   SCMP_SYS(getrandom),
                   SCMP_SYS(clock_gettime),
                   SCMP_SYS(clock_nanosleep),
                   SCMP_SYS(nanosleep),
                   SCMP_SYS(gettimeofday),
                   SCMP_SYS(sched_yield),
                   SCMP_SYS(sched_getaffinity),
                   SCMP_SYS(getpid),
                   SCMP_SYS(gettid),
                   SCMP_SYS(getppid),
                   SCMP_SYS(getuid),
                   SCMP_SYS(geteuid),
                   SCMP_SYS(getgid),
                   SCMP_SYS(getegid),
                   SCMP_SYS(uname),
                   SCMP_SYS(prctl),
                   SCMP_SYS(exit),
                   SCMP_SYS(exit_group),
                   SCMP_SYS(restart_syscall)})
        allow(nr);
    // What a confined process needs to confine itself further: these only ever narrow.
    for (int nr : {SCMP_SYS(seccomp), SCMP_SYS(landlock_create_ruleset),
                   SCMP_SYS(landlock_add_rule), SCMP_SYS(landlock_restrict_self), SCMP_SYS(pipe2)})
        allow(nr);
    // Signals to itself only (glibc's abort, the sanitizer's): kill, tkill, tgkill.
    allow(SCMP_SYS(kill), {arg(0, SCMP_CMP_EQ, kSelf)});
    allow(SCMP_SYS(tkill), {arg(0, SCMP_CMP_EQ, kSelf)});
    allow(SCMP_SYS(tgkill), {arg(0, SCMP_CMP_EQ, kSelf)});
    // Threads, not processes; clone3's flags sit behind a pointer, so glibc is sent to clone.
    allow(SCMP_SYS(clone), {arg(0, SCMP_CMP_MASKED_EQ, CLONE_THREAD, CLONE_THREAD)});
    ok = ok && seccomp_rule_add(ctx, SCMP_ACT_ERRNO(ENOSYS), SCMP_SYS(clone3), 0) == 0;
    // Opened for reading only. Landlock, when in force, lets /dev/null alone be written.
    const uint64_t writing =
        O_RDWR | O_CREAT | O_TRUNC | O_APPEND | __O_TMPFILE | (landlockInForce ? 0 : O_WRONLY);
    allow(SCMP_SYS(openat), {arg(2, SCMP_CMP_MASKED_EQ, writing, 0)});
    allow(SCMP_SYS(open), {arg(1, SCMP_CMP_MASKED_EQ, writing, 0)});
    for (unsigned long request : {TCGETS, TIOCGWINSZ, FIONREAD})
        allow(SCMP_SYS(ioctl), {arg(1, SCMP_CMP_EQ, request)});
    for (int cmd : {F_GETFD, F_SETFD, F_GETFL, F_SETFL, F_DUPFD, F_DUPFD_CLOEXEC})
        allow(SCMP_SYS(fcntl), {arg(1, SCMP_CMP_EQ, unsigned(cmd))});
    // Limits may be read, not raised.
    allow(SCMP_SYS(prlimit64), {arg(2, SCMP_CMP_EQ, 0)});
    allow(SCMP_SYS(getrlimit));
    // The one execve: the very path string the caller is about to pass.
    if (exec) allow(SCMP_SYS(execve), {arg(0, SCMP_CMP_EQ, reinterpret_cast<uintptr_t>(exec))});
    if (kSanitized) {
        // The sanitizer sets its own core limit, and its leak check stops the process with a
        // tracer that shares its memory and attaches to it.
        allow(SCMP_SYS(prlimit64), {arg(0, SCMP_CMP_EQ, 0)});
        allow(SCMP_SYS(setrlimit));
        allow(SCMP_SYS(clone), {arg(0, SCMP_CMP_MASKED_EQ, CLONE_VM | CLONE_UNTRACED | CLONE_THREAD,
                                    CLONE_VM | CLONE_UNTRACED)});
        allow(SCMP_SYS(ptrace), {arg(1, SCMP_CMP_EQ, kSelf)});
        allow(SCMP_SYS(wait4));
        // Its runtime makes raw calls of its own: the old open (whose flags its leak check
        // needs unfiltered; Landlock still holds it to the read rules) and getdents.
        allow(SCMP_SYS(open));
        allow(SCMP_SYS(getdents));
        allow(SCMP_SYS(sched_getparam));
        allow(SCMP_SYS(mincore));
    }
    // Through a pipe, so that a process already confined can build its own stricter layer:
    // the program is a few hundred instructions, far below a pipe's capacity.
    std::vector<sock_filter> program;
    int fds[2] = {-1, -1};
    if (ok && pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0 && seccomp_export_bpf(ctx, fds[1]) == 0) {
        program.resize(4096);
        const ssize_t got = read(fds[0], program.data(), program.size() * sizeof(sock_filter));
        program.resize(got > 0 && got % ssize_t(sizeof(sock_filter)) == 0
                           ? size_t(got) / sizeof(sock_filter)
                           : 0);
    }
    for (int fd : fds)
        if (fd >= 0) close(fd);
    seccomp_release(ctx);
    return program;
}

} // namespace

unsigned withoutFromText(const char* text) {
    unsigned use = kAll;
    if (!text) return use;
    const std::string t = text;
    if (t.find("no_new_privs") != std::string::npos) use &= ~unsigned(kNoNewPrivs);
    if (t.find("landlock") != std::string::npos) use &= ~unsigned(kLandlock);
    if (t.find("seccomp") != std::string::npos) use &= ~unsigned(kSeccomp);
    return use;
}

std::string withoutText(unsigned use) {
    std::string t;
    for (auto [m, name] : {std::pair{kNoNewPrivs, "no_new_privs"}, std::pair{kLandlock, "landlock"},
                           std::pair{kSeccomp, "seccomp"}})
        if (!(use & m)) t += (t.empty() ? "" : ",") + std::string(name);
    return t;
}

int landlockAbi() {
    const long abi = syscall(SYS_landlock_create_ruleset, nullptr, 0, kLandlockVersion);
    return abi > 0 ? int(abi) : 0;
}

bool seccompAvailable() {
    uint32_t action = SECCOMP_RET_ERRNO;
    return syscall(SYS_seccomp, SECCOMP_GET_ACTION_AVAIL, 0u, &action) == 0;
}

unsigned available(unsigned use) {
    unsigned have = use & kNoNewPrivs;
    if ((use & kLandlock) && landlockAbi() > 0) have |= kLandlock;
    if ((use & kSeccomp) && seccompAvailable()) have |= kSeccomp;
    return have;
}

std::string describe(unsigned mechanisms) {
    std::string t;
    auto add = [&](const std::string& s) { t += (t.empty() ? "" : ", ") + s; };
    if (mechanisms & kNoNewPrivs) add("no_new_privs");
    if (mechanisms & kLandlock) add("landlock (ABI " + std::to_string(landlockAbi()) + ")");
    if (mechanisms & kSeccomp) add("seccomp");
    return t.empty() ? "none" : t;
}

Prepared::Prepared(const std::string& readFile, const char* exec, unsigned use) : use_(use) {
    if (use_ & kLandlock) abi_ = landlockAbi();
    if (abi_ > 0) {
        handledFs_ = kFsAbi1 | (abi_ >= 2 ? kFsRefer : 0) | (abi_ >= 3 ? kFsTruncate : 0) |
                     (abi_ >= 5 ? kFsIoctlDev : 0);
        handledNet_ = abi_ >= 4 ? kNetBindTcp | kNetConnectTcp : 0;
        scoped_ = abi_ >= 6 ? kScopeAbstractUnix | kScopeSignal : 0;
        const uint64_t readTree = kFsReadFile | kFsReadDir;
        rules_.push_back({readFile, kFsReadFile});
        if (exec) {
            rules_.push_back({exec, kFsExecute | kFsReadFile});
            if (std::string interp = interpreterOf(exec); !interp.empty())
                rules_.push_back({interp, kFsExecute | kFsReadFile});
        }
        // The loader's cache and the system's libraries (gconv modules among them).
        rules_.push_back({"/etc/ld.so.cache", kFsReadFile});
        for (const char* dir : {"/lib", "/lib64", "/usr/lib", "/usr/lib64", "/usr/local/lib"})
            rules_.push_back({dir, readTree});
        // The reader silences the library's chatter there.
        rules_.push_back({"/dev/null", kFsReadFile | kFsWriteFile});
        if (kSanitized) rules_.push_back({"/proc/self", readTree}); // its maps, its threads
    }
    if (use_ & kSeccomp && seccompAvailable()) filter_ = buildFilter(exec, abi_ > 0);
}

Prepared::~Prepared() = default;

bool Prepared::landlock() noexcept {
    if (abi_ <= 0) return false;
    RulesetAttr attr{handledFs_, handledNet_, scoped_};
    // An older kernel takes the shorter structure it knows.
    const size_t size = abi_ >= 6 ? 24 : abi_ >= 4 ? 16 : 8;
    const long ruleset = syscall(SYS_landlock_create_ruleset, &attr, size, 0u);
    if (ruleset < 0) return false;
    for (const Rule& r : rules_) {
        const int fd = open(r.path.c_str(), O_PATH | O_CLOEXEC);
        if (fd < 0) continue; // nothing there to allow
        PathBeneathAttr beneath{r.access, fd};
        // A file takes only the rights a file has.
        struct stat st {};
        if (fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode))
            beneath.allowed &= kFsExecute | kFsWriteFile | kFsReadFile | kFsTruncate | kFsIoctlDev;
        beneath.allowed &= handledFs_;
        syscall(SYS_landlock_add_rule, ruleset, kRulePathBeneath, &beneath, 0u);
        close(fd);
    }
    const bool ok = syscall(SYS_landlock_restrict_self, ruleset, 0u) == 0;
    close(int(ruleset));
    return ok;
}

bool Prepared::seccomp() noexcept {
    if (filter_.empty()) return false;
    const auto self = uint32_t(getpid());
    for (sock_filter& f : filter_)
        if (f.code == (BPF_JMP | BPF_JEQ | BPF_K) && f.k == kSelf) f.k = self;
    sock_fprog program{static_cast<unsigned short>(filter_.size()), filter_.data()};
    return prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

unsigned Prepared::apply() noexcept {
    unsigned inForce = 0;
    // Landlock and seccomp need it; without it (a test leaving it out) they are not tried.
    if (!(use_ & kNoNewPrivs) || prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return inForce;
    inForce |= kNoNewPrivs;
    if (landlock()) inForce |= kLandlock;
    if (seccomp()) inForce |= kSeccomp;
    return inForce;
}

} // namespace lexivane::confine

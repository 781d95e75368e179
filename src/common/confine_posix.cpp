#include "confine.h"

#include "confine_policy.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <elf.h>
#include <fcntl.h>
#include <linux/capability.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <seccomp.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace lexivane::confine {

using common::Error;
using common::Expected;

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

#ifdef LEXIVANE_SANITIZED
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

Error failed(const std::string& what, int e) {
    return Error{what + ": " + std::strerror(e), e};
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

uint64_t handledFsOf(int abi) {
    return kFsAbi1 | (abi >= 2 ? kFsRefer : 0) | (abi >= 3 ? kFsTruncate : 0) |
           (abi >= 5 ? kFsIoctlDev : 0);
}

uint64_t landlockAccess(unsigned access) {
    return (access & kRead ? kFsReadFile : 0) | (access & kList ? kFsReadDir : 0) |
           (access & kExecute ? kFsExecute : 0) | (access & kWrite ? kFsWriteFile : 0);
}

bool isSelf(const std::string& path) {
    return path == "/proc/self" || path.starts_with("/proc/self/");
}

// Allows `allowed` beneath the file or folder open as `fd` (a file takes only the rights a file
// has); 0 or the errno.
int addRule(int ruleset, int fd, uint64_t allowed) noexcept {
    struct stat st {};
    if (fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode)) allowed &= ~kFsReadDir;
    PathBeneathAttr beneath{allowed, fd};
    return syscall(SYS_landlock_add_rule, ruleset, kRulePathBeneath, &beneath, 0u) == 0 ? 0 : errno;
}

// The policy's paths as one Landlock ruleset, kept open for apply(): above the descriptors a
// child's standard streams are moved to. Paths under /proc/self name the process that applies
// the ruleset, and are left to apply().
Expected<int> buildRuleset(const Policy& policy, int abi) {
    const uint64_t handledFs = handledFsOf(abi);
    RulesetAttr attr{handledFs, abi >= 4 ? kNetBindTcp | kNetConnectTcp : 0,
                     abi >= 6 ? kScopeAbstractUnix | kScopeSignal : 0};
    // An older kernel takes the shorter structure it knows.
    const size_t size = abi >= 6 ? 24 : abi >= 4 ? 16 : 8;
    const long made = syscall(SYS_landlock_create_ruleset, &attr, size, 0u);
    if (made < 0) return failed("landlock", errno);
    const int ruleset = fcntl(int(made), F_DUPFD_CLOEXEC, 10);
    const int e = errno;
    close(int(made));
    if (ruleset < 0) return failed("landlock", e);
    for (const PathRule& r : policy.paths) {
        if (isSelf(r.path)) continue;
        const int fd = open(r.path.c_str(), O_PATH | O_CLOEXEC);
        if (fd < 0) continue; // nothing there to allow
        const int refused = addRule(ruleset, fd, landlockAccess(r.access) & handledFs);
        close(fd);
        if (refused != 0) {
            close(ruleset);
            return failed("landlock: " + r.path, refused);
        }
    }
    return ruleset;
}

// Every call the policy does not name fails with EPERM: a forbidden call is an error the
// reader reports, not a mystery death.
Expected<std::vector<sock_filter>> buildFilter(const Policy& policy) {
    scmp_filter_ctx ctx = seccomp_init(SCMP_ACT_ERRNO(EPERM));
    if (!ctx) return Error{"seccomp: the filter cannot be made", ENOMEM};
    struct Release {
        scmp_filter_ctx ctx;
        ~Release() { seccomp_release(ctx); }
    } release{ctx};
    // libmdb makes four calls a page (fstat, two lseeks, read): the filter looks a call up
    // in a tree rather than down a list, or a million words pay some 8 % for it.
    seccomp_attr_set(ctx, SCMP_FLTATR_CTL_OPTIMIZE, 2);
    for (const CallRule& c : policy.calls) {
        const int nr = seccomp_syscall_resolve_name(c.name.c_str());
        if (nr == __NR_SCMP_ERROR) continue; // not a call of this architecture
        std::vector<scmp_arg_cmp> args;
        for (const ArgTest& t : c.when)
            args.push_back(t.mask == ~uint64_t(0)
                               ? scmp_arg_cmp{t.index, SCMP_CMP_EQ, t.value, 0}
                               : scmp_arg_cmp{t.index, SCMP_CMP_MASKED_EQ, t.mask, t.value});
        const int r = seccomp_rule_add_array(
            ctx, c.fails ? SCMP_ACT_ERRNO(unsigned(c.fails)) : SCMP_ACT_ALLOW, nr,
            unsigned(args.size()), args.data());
        if (r != 0) return failed("seccomp: the rule for " + c.name, -r);
    }
    // Through a pipe, so that a process already confined can build its own stricter layer:
    // the program is a few hundred instructions, far below a pipe's capacity.
    int fds[2] = {-1, -1};
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return failed("seccomp", errno);
    std::vector<sock_filter> program;
    const int exported = seccomp_export_bpf(ctx, fds[1]);
    if (exported == 0) {
        program.resize(4096);
        const ssize_t got = read(fds[0], program.data(), program.size() * sizeof(sock_filter));
        program.resize(got > 0 && got % ssize_t(sizeof(sock_filter)) == 0
                           ? size_t(got) / sizeof(sock_filter)
                           : 0);
    }
    close(fds[0]);
    close(fds[1]);
    if (program.empty())
        return failed("seccomp: the filter cannot be exported", exported ? -exported : EIO);
    return program;
}

} // namespace

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

std::string describe(const Failure& failure) {
    return (failure.mechanism == 0 ? std::string("none") : describe(failure.mechanism)) + ": " +
           std::strerror(failure.errorNumber);
}

Prepared::Prepared(std::string exec) : exec_(std::move(exec)) {}

Prepared::~Prepared() {
    if (ruleset_ >= 0) close(ruleset_);
}

Expected<std::unique_ptr<Prepared>> Prepared::forReader(const std::string& readFile,
                                                        const std::string& exec, unsigned use) {
    std::unique_ptr<Prepared> p(new Prepared(exec));
    ReaderFiles files{readFile, p->execPath(), {}};
    if (files.exec) files.interpreter = interpreterOf(files.exec);
    const bool landlock = (use & kNoNewPrivs) && (use & kLandlock) && landlockAbi() > 0;
    if (Expected<void> made = p->prepare(readerPolicy(files, landlock, kSanitized), use); !made)
        return made.error();
    return p;
}

Expected<std::unique_ptr<Prepared>> Prepared::forPolicy(const Policy& policy, unsigned use) {
    std::unique_ptr<Prepared> p(new Prepared(std::string()));
    if (Expected<void> made = p->prepare(policy, use); !made) return made.error();
    return p;
}

Expected<void> Prepared::prepare(const Policy& policy, unsigned use) {
    // Landlock and seccomp need no_new_privs; without it (a test leaving it out) they are not
    // tried.
    use_ = (use & kNoNewPrivs) ? available(use) : 0;
    if (use_ & kLandlock) {
        const int abi = landlockAbi();
        Expected<int> ruleset = buildRuleset(policy, abi);
        if (!ruleset) return ruleset.error();
        ruleset_ = *ruleset;
        for (const PathRule& r : policy.paths)
            if (isSelf(r.path))
                lateRules_.push_back({r.path, landlockAccess(r.access) & handledFsOf(abi)});
    }
    if (use_ & kSeccomp) {
        Expected<std::vector<sock_filter>> filter = buildFilter(policy);
        if (!filter) return filter.error();
        filter_ = std::move(*filter);
    }
    return {};
}

Failure Prepared::apply() noexcept {
    if (use_ & kNoNewPrivs) {
        if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return {kNoNewPrivs, errno};
        // No capability kept either: with no_new_privs an execve cannot give them back, so a
        // reader started by root cannot read another process's memory or pass over a file's
        // permissions.
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct none[2] = {};
        if (syscall(SYS_capset, &header, none) != 0) return {kNoNewPrivs, errno};
    }
    if (use_ & kLandlock) {
        for (const LateRule& r : lateRules_) {
            const int fd = open(r.path.c_str(), O_PATH | O_CLOEXEC);
            if (fd < 0) continue;
            const int refused = addRule(ruleset_, fd, r.allowed);
            close(fd);
            if (refused != 0) return {kLandlock, refused};
        }
        const bool restricted = syscall(SYS_landlock_restrict_self, ruleset_, 0u) == 0;
        const int e = errno;
        close(ruleset_);
        ruleset_ = -1;
        if (!restricted) return {kLandlock, e};
    }
    if (use_ & kSeccomp) {
        const auto self = uint32_t(getpid());
        for (sock_filter& f : filter_)
            if (f.code == (BPF_JMP | BPF_JEQ | BPF_K) && f.k == kSelfPid) f.k = self;
        sock_fprog program{static_cast<unsigned short>(filter_.size()), filter_.data()};
        if (syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0u, &program) != 0)
            return {kSeccomp, errno};
    }
    return {};
}

} // namespace lexivane::confine

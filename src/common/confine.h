#pragma once

// Confines a process that reads one untrusted file to the policy of common/confine_policy.h,
// with the kernel's own mechanisms only: no_new_privs (and no capabilities kept), Landlock
// for the paths and seccomp for the calls, each applied when the kernel offers it.
// On Windows what the system offers instead: a restricted token (no privileges, the
// administrators' group only to deny) and the low integrity level, so that the reader can
// write nowhere the user's files are; the runner's Job Object adds its limits.

#include "expected.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct sock_filter;

namespace lexivane::confine {

struct Policy;

enum Mechanism : unsigned {
    kNoNewPrivs = 1u,
    kLandlock = 2u,
    kSeccomp = 4u,
    kRestrictedToken = 8u, // Windows
    kLowIntegrity = 16u,   // Windows
#ifdef _WIN32
    kAll = kRestrictedToken | kLowIntegrity,
#else
    kAll = kNoNewPrivs | kLandlock | kSeccomp,
#endif
};

// The environment variable naming mechanisms to leave out ("landlock,seccomp"), as a kernel
// without them would; passed on to the reader so that its own layer leaves them out too.
inline constexpr char kWithoutVariable[] = "LEXIVANE_CONFINE_WITHOUT";

// ("restricted_token,low_integrity" on Windows.)
// The mechanisms that `text` (the variable's value, a comma list; null: unset) leaves in, or
// which name in it is unknown.
common::Expected<unsigned> withoutFromText(const char* text);
// What kWithoutVariable's value says for `use`; empty when it leaves nothing out.
std::string withoutText(unsigned use);

// The Landlock ABI version the kernel offers, 0 without Landlock (and on Windows).
int landlockAbi();
// Whether the kernel filters system calls with seccomp.
bool seccompAvailable();
// The mechanisms of `use` this kernel has.
unsigned available(unsigned use);
// "no_new_privs, landlock (ABI 6), seccomp", or "none".
std::string describe(unsigned mechanisms);

// What apply() could not put in force: the mechanism (0: all went well) and the errno.
struct Failure {
    unsigned mechanism = 0;
    int errorNumber = 0;
};
// "landlock: Operation not permitted".
std::string describe(const Failure& failure);

// Everything made before fork (it allocates, and it is where a mechanism the kernel offers
// but that cannot be prepared is told); apply() then makes raw system calls only, so it is safe
// between fork and exec in a child of a threaded process.
class Prepared {
  public:
    // The reader's policy for `readFile`, and `exec` the one program it may then execute
    // ("": the process runs already and may execute nothing). `use`: the mechanisms to apply
    // where the kernel has them.
    static common::Expected<std::unique_ptr<Prepared>>
    forReader(const std::string& readFile, const std::string& exec, unsigned use);
    // Any policy, for a process that runs already (no program to execute).
    static common::Expected<std::unique_ptr<Prepared>> forPolicy(const Policy& policy,
                                                                 unsigned use);

    Prepared(const Prepared&) = delete;
    Prepared& operator=(const Prepared&) = delete;
    ~Prepared();

    // The program to execute, as the very pointer the filter allows execve to be given.
    const char* execPath() const { return exec_.empty() ? nullptr : exec_.c_str(); }
    // The mechanisms apply() puts in force.
    unsigned mechanisms() const { return use_; }

    // Confines the calling process. Async-signal-safe. (Windows: drops its privileges and
    // lowers its integrity level; a child is confined by childToken() instead.)
    Failure apply() noexcept;

#ifdef _WIN32
    // The primary token the program to execute is started with; null: the caller's own.
    void* childToken() const noexcept {
        return token_;
    }
#endif

  private:
    explicit Prepared(std::string exec);
    common::Expected<void> prepare(const Policy& policy, unsigned use);
    unsigned use_ = 0;
    std::string exec_;
#ifdef _WIN32
    void* token_ = nullptr;
#else
    int ruleset_ = -1;
    struct LateRule {
        std::string path;
        uint64_t allowed;
    };
    // Paths under /proc/self, which name the confined process only once it runs.
    std::vector<LateRule> lateRules_;
    std::vector<sock_filter> filter_;
#endif
};

} // namespace lexivane::confine

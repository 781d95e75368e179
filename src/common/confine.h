#pragma once

// Confines a process that reads one untrusted file: it may read that file and what the
// dynamic loader needs, execute only its own program, and nothing else - no writing, no
// network, no other process. Only the kernel's own mechanisms: no_new_privs, Landlock and
// seccomp, each applied when the kernel offers it.

#include <cstdint>
#include <string>
#include <vector>

struct sock_filter;

namespace lexivane::confine {

enum Mechanism : unsigned {
    kNoNewPrivs = 1u,
    kLandlock = 2u,
    kSeccomp = 4u,
    kAll = kNoNewPrivs | kLandlock | kSeccomp,
};

// The environment variable naming mechanisms to leave out ("landlock,seccomp"), as a kernel
// without them would; passed on to the reader so that its own layer leaves them out too.
inline constexpr char kWithoutVariable[] = "LEXIVANE_CONFINE_WITHOUT";

// The mechanisms `text` (the variable's value) does not name.
unsigned withoutFromText(const char* text);
// What kWithoutVariable's value says for `use`; empty when it leaves nothing out.
std::string withoutText(unsigned use);

// The Landlock ABI version the kernel offers, 0 without Landlock.
int landlockAbi();
// Whether the kernel filters system calls with seccomp.
bool seccompAvailable();
// The mechanisms of `use` this kernel has.
unsigned available(unsigned use);
// "no_new_privs, landlock (ABI 6), seccomp", or "none".
std::string describe(unsigned mechanisms);

// Everything made before fork (it allocates); apply() then makes raw system calls only, so
// it is safe between fork and exec in a child of a threaded process.
class Prepared {
  public:
    // `readFile`: the one file to read. `exec`: the program about to be executed, as the very
    // pointer that execve will be given (nullptr: the process runs already and may execute
    // nothing). `use`: the mechanisms to apply where the kernel has them.
    Prepared(const std::string& readFile, const char* exec, unsigned use);
    Prepared(const Prepared&) = delete;
    Prepared& operator=(const Prepared&) = delete;
    ~Prepared();

    // Confines the calling process; returns the mechanisms now in force. Async-signal-safe.
    unsigned apply() noexcept;

  private:
    struct Rule {
        std::string path;
        uint64_t access;
    };
    unsigned use_;
    int abi_ = 0;
    uint64_t handledFs_ = 0, handledNet_ = 0, scoped_ = 0;
    std::vector<Rule> rules_;
    std::vector<sock_filter> filter_;
    bool landlock() noexcept;
    bool seccomp() noexcept;
};

} // namespace lexivane::confine

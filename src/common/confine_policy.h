#pragma once

// What a process that reads one untrusted file may do, as data: the paths it may open and
// how, and the system calls it may make, with the arguments each must have. confine.h applies
// a policy with the kernel's mechanisms; nothing here touches the system.

#include <cstdint>
#include <string>
#include <vector>

namespace lexivane::confine {

// How a path (and, for a folder, what lies beneath it) may be used.
enum PathAccess : unsigned {
    kRead = 1u,    // read the file, or every file beneath the folder
    kList = 2u,    // list the folder and those beneath it
    kExecute = 4u, // execute the file
    kWrite = 8u,   // write to the file (never truncate or create)
};

struct PathRule {
    std::string path;
    unsigned access;
};

// A call's argument `index`, masked, must equal `value`.
struct ArgTest {
    unsigned index;
    uint64_t mask;
    uint64_t value;
};

// One way a call is allowed: when every test holds (no tests: always). A call may have several
// rules, any of which lets it through. `fails` != 0: the call fails with that errno instead.
struct CallRule {
    std::string name;
    std::vector<ArgTest> when = {};
    int fails = 0;
};

// Stands for the confined process's own id in an argument test until it is applied: a value no
// process id reaches (they stop at 2^22).
inline constexpr uint32_t kSelfPid = 0x3FFFFFF1u;

struct Policy {
    std::vector<PathRule> paths;
    std::vector<CallRule> calls; // every other call fails with EPERM
};

struct ReaderFiles {
    std::string readFile;       // the one file to read
    const char* exec = nullptr; // the program it may execute, as the very pointer execve gets
    std::string interpreter;    // that program's ELF interpreter ("" for none)
};

// The reader helper's policy: read `files.readFile`, the loader's cache and the system's
// libraries, write only /dev/null, execute only `exec`. `landlock`: whether Landlock will hold
// the paths (else opening for writing is refused by the call's flags alone). `sanitized`: what
// the sanitizer runtime needs on top.
Policy readerPolicy(const ReaderFiles& files, bool landlock, bool sanitized);

} // namespace lexivane::confine

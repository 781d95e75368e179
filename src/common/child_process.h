#pragma once

// Runs a program as a limited child process and collects what it writes: its own process
// group, killed with its parent, stdin /dev/null, no descriptors but its output pipes, a
// processor and (outside sanitizer builds) an address-space limit, a wall-clock limit, a cap
// on its output, and the confinement of common/confine.h when given.

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/resource.h>

namespace lexivane::confine {
class Prepared;
}

namespace lexivane::child {

struct Command {
    const char* path = nullptr; // also the very pointer a confinement allows to execute
    char* const* argv = nullptr;
    char* const* envp = nullptr; // the whole environment it gets
    int timeoutMs = 20000;
    int cpuSeconds = 21;
    int64_t memoryLimitBytes = 0;         // 0: none
    size_t maxOutput = SIZE_MAX;          // more on stdout than this stops it
    size_t errMax = 8192, errKeep = 4096; // stderr past errMax is cut down to its last errKeep
    int pipeSize = 0;                     // stdout's pipe size, 0: the system's
    confine::Prepared* confinement = nullptr;
};

struct Outcome {
    int startErrno = 0; // no pipe or no fork: nothing ran
    int execErrno = 0;  // the program could not be executed
    bool timedOut = false;
    bool tooMuch = false; // stopped at maxOutput
    int status = 0;       // as waitpid gives it
    struct rusage usage {};
};

// Runs `c`, appending its stdout to `out` (reserve it beforehand as wanted) and the last of
// its stderr to `err`. The child and whatever is left of its group are killed and reaped
// before this returns.
Outcome run(const Command& c, std::string& out, std::string& err);

} // namespace lexivane::child

#pragma once

// Runs a program as a limited child process and collects what it writes: its own process
// group, killed with its parent, stdin /dev/null, no descriptors but its output pipes, a
// processor and (outside sanitizer builds) an address-space limit, a wall-clock limit, a cap
// on its output, and the confinement of common/confine.h when given. While a confined child
// runs, this process is not dumpable, so that its memory stays closed to the child even where
// no Landlock keeps /proc from it.
// On Windows the same: a Job Object that kills the child with this process and bounds its
// memory, its processor time and its processes to one, stdin NUL, only its two pipes
// inherited, and the confinement's token.

#include "confine.h"

#include <cstddef>
#include <cstdint>
#include <string>
#ifndef _WIN32
#include <sys/resource.h>
#endif

namespace lexivane::child {

// The limits the word database's reader runs under, whether the program starts it or a user
// runs it by hand: wall time, and address space outside sanitizer builds. Its processor time
// is the wall time, rounded up, plus a second.
inline constexpr int kReaderTimeoutMs = 20000;
inline constexpr int64_t kReaderMemoryBytes = int64_t(1) << 30;
constexpr int cpuSecondsFor(int timeoutMs) {
    return (timeoutMs + 999) / 1000 + 1;
}

// Windows: the path, arguments and environment are UTF-8.
struct Command {
    const char* path = nullptr; // with a confinement, its execPath() is run instead
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
    int startErrno = 0;              // no pipe or no fork: nothing ran
    int execErrno = 0;               // the program could not be executed
    confine::Failure confineFailure; // the confinement could not be applied: nothing ran
    bool timedOut = false;
    bool tooMuch = false; // stopped at maxOutput
#ifdef _WIN32
    int status = 0;            // the exit code
    bool cpuTimeSpent = false; // the job stopped it at its processor time
#else
    int status = 0; // as waitpid gives it
    struct rusage usage {};
#endif
};

// How a child that ran ended, told the same way on every system.
struct Ending {
    int exitCode = -1;    // it exited on its own with this status; -1 when it was killed
    bool killed = false;  // a signal (or on Windows an exception) ended it
    bool cpuTime = false; // killed for using up its processor time
    std::string how;      // what killed it: "Segmentation fault, signal 11"
};
Ending endingOf(const Outcome& o);

// Runs `c`, appending its stdout to `out` (reserve it beforehand as wanted) and the last of
// its stderr to `err`. The child and whatever is left of its group are killed and reaped
// before this returns.
Outcome run(const Command& c, std::string& out, std::string& err);

#ifdef _WIN32
// A Job Object that kills what it holds with its last handle and allows one process, with
// `cpuSeconds` of processor time and `memoryLimitBytes` (0: no limit) each; null on failure.
void* limitingJob(int cpuSeconds, int64_t memoryLimitBytes);
#endif

} // namespace lexivane::child

#include "words_system.h"

#include "child_process.h"

#include <csignal>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace lexivane::words {

namespace {
// The line said when the time is up, made beforehand: the signal handler only writes it.
std::string g_tooLong;
const int* g_errFd = nullptr;

void onAlarm(int) {
    ssize_t ignored = write(*g_errFd, g_tooLong.data(), g_tooLong.size());
    (void)ignored;
    _exit(1);
}
} // namespace

void prepareStreams() {
    syscall(SYS_close_range, 3u, ~0u, 0u);
}

void limitWhenRunByHand(std::string tooLong, const int& errFd) {
    struct rlimit cpu {};
    if (getrlimit(RLIMIT_CPU, &cpu) != 0 || cpu.rlim_cur != RLIM_INFINITY) return;
    const int seconds = child::cpuSecondsFor(child::kReaderTimeoutMs);
    cpu = {rlim_t(seconds), rlim_t(seconds) + 1};
    setrlimit(RLIMIT_CPU, &cpu);
#ifndef LEXIVANE_SANITIZED
    // ASan reserves terabytes of address space up front, so only plain builds cap it.
    const struct rlimit as = {rlim_t(child::kReaderMemoryBytes), rlim_t(child::kReaderMemoryBytes)};
    setrlimit(RLIMIT_AS, &as);
#endif
    g_tooLong = std::move(tooLong);
    g_errFd = &errFd;
    signal(SIGALRM, onAlarm);
    alarm(unsigned(child::kReaderTimeoutMs + 999) / 1000);
}

} // namespace lexivane::words

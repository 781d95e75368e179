// Put in the reader helper's place, tries one thing the reader must not be able to do and
// says on stderr, as the helper says why it refuses a file, what became of it:
//   lexivane-words --raw --table ATTEMPT --column ARG FILE
// "lexivane-words: FILE: ATTEMPT: EACCES" (the error it met) or "...: ATTEMPT: done".
// "outlive" clears its death signal and sleeps for an hour.

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <pthread.h>
#include <string>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// 0 when it worked, else the errno it met.
int attempt(const std::string& what, const char* arg) {
    if (what == "read-home") {
        const int fd = open(arg, O_RDONLY);
        char c;
        return fd < 0 ? errno : read(fd, &c, 1) == 1 ? 0 : errno;
    }
    if (what == "write") {
        const int fd = open(arg, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        return fd < 0 ? errno : write(fd, "x", 1) == 1 ? 0 : errno;
    }
    if (what == "connect") {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        if (fd < 0) return errno;
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(uint16_t(std::atoi(arg)));
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0 ? 0 : errno;
    }
    if (what == "exec") {
        execl("/bin/sh", "sh", "-c", "exit 0", nullptr);
        return errno;
    }
    if (what == "signal-parent") return kill(getppid(), SIGURG) == 0 ? 0 : errno;
    if (what == "ptrace")
        return ptrace(PTRACE_ATTACH, getppid(), nullptr, nullptr) == 0 ? 0 : errno;
    if (what == "read-parent-memory" || what == "read-parent-proc") {
        const std::string file = "/proc/" + std::to_string(getppid()) +
                                 (what == "read-parent-proc" ? "/cmdline" : "/mem");
        return open(file.c_str(), O_RDONLY) >= 0 ? 0 : errno;
    }
    if (what == "clear-death-signal") return prctl(PR_SET_PDEATHSIG, 0) == 0 ? 0 : errno;
    if (what == "thread") {
        pthread_t t;
        const int e = pthread_create(
            &t, nullptr, [](void*) -> void* { return nullptr; }, nullptr);
        if (e == 0) pthread_join(t, nullptr);
        return e;
    }
    if (what == "outlive") {
        prctl(PR_SET_PDEATHSIG, 0);
        sleep(3600);
        return 0;
    }
    if (what == "fork") {
        const pid_t pid = fork();
        if (pid == 0) _exit(0);
        if (pid < 0) return errno;
        waitpid(pid, nullptr, 0);
        return 0;
    }
    return EINVAL;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 7) return 2;
    const int e = attempt(argv[3], argv[5]);
    std::fprintf(stderr, "lexivane-words: %s: %s: %s\n", argv[6], argv[3],
                 e ? strerrorname_np(e) : "done");
    return 1;
}

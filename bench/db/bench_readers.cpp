// bench_readers FILE...: the reader helper as the program runs it (--raw, output read and
// dropped), once reading with the project's reader and once with libmdb, on each FILE.
// Prints the median wall time and the peak memory of each, and the ratio of the two.
//   bench_readers dbWords.mdb big.mdb        (helpers beside this program)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kRuns = 9;

struct Run {
    double ms = 0;
    long peakKb = 0;
    size_t bytes = 0;
    bool ok = false;
};

Run runOnce(const std::string& helper, const char* file) {
    Run r;
    int out[2];
    if (pipe(out) != 0) return r;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        close(out[0]);
        close(out[1]);
        execl(helper.c_str(), "lexivane-words", "--raw", file, static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    char buf[1 << 16];
    for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;)
        r.bytes += static_cast<size_t>(n);
    close(out[0]);
    int status = 0;
    struct rusage use {};
    wait4(pid, &status, 0, &use);
    r.ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    r.peakKb = use.ru_maxrss;
    r.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return r;
}

Run median(const std::string& helper, const char* file) {
    std::vector<Run> runs;
    for (int i = 0; i < kRuns; ++i)
        runs.push_back(runOnce(helper, file));
    std::sort(runs.begin(), runs.end(), [](const Run& a, const Run& b) { return a.ms < b.ms; });
    Run m = runs[kRuns / 2];
    for (const Run& r : runs)
        m.ok = m.ok && r.ok;
    return m;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_readers FILE...\n");
        return 2;
    }
    std::string self = argv[0];
    const std::string dir = self.substr(0, self.find_last_of('/') + 1);
    const std::string own = dir + "lexivane-words", ref = dir + "lexivane-words-libmdb";
    std::printf("%-28s %12s %12s %8s %12s %12s\n", "file (median of 9)", "own ms", "libmdb ms",
                "ratio", "own peak KB", "libmdb KB");
    for (int i = 1; i < argc; ++i) {
        const Run a = median(own, argv[i]), b = median(ref, argv[i]);
        std::string name = argv[i];
        name = name.substr(name.find_last_of('/') + 1);
        std::printf("%-28s %12.1f %12.1f %8.2f %12ld %12ld%s\n", name.c_str(), a.ms, b.ms,
                    a.ms / b.ms, a.peakKb, b.peakKb,
                    !a.ok || !b.ok       ? "  (a reader failed)"
                    : a.bytes != b.bytes ? "  (outputs differ in size)"
                                         : "");
    }
    return 0;
}

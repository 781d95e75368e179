// bench_confine HELPER RUNS FILE...: the reader on each FILE confined and unconfined, taking
// turns in the same run, so the ratio is free of the machine's mood: wall time, and the
// processor time of both sides (this process and the helper), which a busy machine does not
// stretch. Figures only.

#include "bench_util.h"
#include "db_reader.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <sys/resource.h>

namespace {

// Processor time so far of this process and of its reaped children, in ms.
double cpuMs() {
    timespec self{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &self);
    rusage children{};
    getrusage(RUSAGE_CHILDREN, &children);
    auto ms = [](const timeval& t) { return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3; };
    return double(self.tv_sec) * 1e3 + double(self.tv_nsec) / 1e6 + ms(children.ru_utime) +
           ms(children.ru_stime);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: bench_confine HELPER RUNS FILE...\n");
        return 2;
    }
    const int runs = std::max(1, std::atoi(argv[2]));
    for (int f = 3; f < argc; ++f) {
        const QString file = QString::fromLocal8Bit(argv[f]);
        std::vector<double> ms[2], cpu[2]; // confined, unconfined
        size_t words = 0;
        for (int r = 0; r < runs; ++r) {
            for (int k = 0; k < 2; ++k) {
                const int which = (r + k) % 2; // each goes first every other run
                lexivane::db::ReadLimits limits;
                limits.helperPath = QString::fromLocal8Bit(argv[1]);
                limits.timeoutMs = 120000;
                limits.confinement = which == 0 ? lexivane::confine::kAll : 0u;
                QElapsedTimer t;
                const double cpuBefore = cpuMs();
                t.start();
                words = lexivane::db::readWords(file, limits).rows.size();
                ms[which].push_back(double(t.nsecsElapsed()) / 1e6);
                cpu[which].push_back(cpuMs() - cpuBefore);
            }
        }
        using lexivane::bench::median;
        const double on = median(ms[0]), off = median(ms[1]);
        const double cpuOn = median(cpu[0]), cpuOff = median(cpu[1]);
        std::printf("%s: %zu words, median of %d\n  wall: confined %.1f ms, unconfined %.1f "
                    "ms, ratio %.3f\n  processor: confined %.1f ms, unconfined %.1f ms, ratio "
                    "%.3f\n",
                    argv[f], words, runs, on, off, on / off, cpuOn, cpuOff, cpuOn / cpuOff);
    }
    return 0;
}

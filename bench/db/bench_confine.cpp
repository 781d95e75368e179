// bench_confine HELPER RUNS FILE...: the reader on each FILE confined and unconfined, taking
// turns in the same run, so the ratio is free of the machine's mood. Figures only.

#include "bench_util.h"
#include "lookup/db_reader.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: bench_confine HELPER RUNS FILE...\n");
        return 2;
    }
    const int runs = std::max(1, std::atoi(argv[2]));
    for (int f = 3; f < argc; ++f) {
        const QString file = QString::fromLocal8Bit(argv[f]);
        std::vector<double> ms[2]; // confined, unconfined
        size_t words = 0;
        for (int r = 0; r < runs; ++r) {
            for (int k = 0; k < 2; ++k) {
                const int which = (r + k) % 2; // each goes first every other run
                lexivane::db::ReadLimits limits;
                limits.helperPath = QString::fromLocal8Bit(argv[1]);
                limits.timeoutMs = 120000;
                limits.confinement = which == 0 ? lexivane::confine::kAll : 0u;
                QElapsedTimer t;
                t.start();
                words = lexivane::db::readWords(file, limits).rows.size();
                ms[which].push_back(double(t.nsecsElapsed()) / 1e6);
            }
        }
        const double on = lexivane::bench::median(ms[0]), off = lexivane::bench::median(ms[1]);
        std::printf("%s: %zu words, median of %d: confined %.1f ms, unconfined %.1f ms, "
                    "ratio %.3f\n",
                    argv[f], words, runs, on, off, on / off);
    }
    return 0;
}

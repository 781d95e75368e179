// How long lexivane-mkdb takes to make the shipped database, next to copying the same word
// list with cp, measured in the same run so that the ratio is comparable across machines.

#include "bench_util.h"
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using lexivane::bench::median;

namespace {

double runSeconds(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        std::fprintf(stderr, "bench_mkdb: cannot start %s\n", argv[0]);
        std::exit(1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "bench_mkdb: %s failed\n", argv[0]);
        std::exit(1);
    }
    return took.count();
}

} // namespace

int main(int argc, char** argv) {
    const std::string list = argc > 1 ? argv[1] : LEXIVANE_WORDLIST;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("bench_mkdb." + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string out = (dir / "dbWords.mdb").string();
    const std::string copy = (dir / "copy.txt").string();

    std::vector<double> build, cp;
    for (int i = 0; i < rounds; ++i) { // interleaved, so both see the same machine load
        build.push_back(runSeconds({LEXIVANE_MKDB, "--lowercase-only", list, out}));
        cp.push_back(runSeconds({"cp", list, copy}));
    }
    const auto size = fs::file_size(out);
    fs::remove_all(dir);

    const double b = median(build), c = median(cp);
    std::printf("word list        %s\n", list.c_str());
    std::printf("build (median)   %.1f ms  -> %llu bytes\n", b * 1000,
                static_cast<unsigned long long>(size));
    std::printf("cp (median)      %.1f ms\n", c * 1000);
    std::printf("ratio build/cp   %.1f\n", b / c);
    return 0;
}
